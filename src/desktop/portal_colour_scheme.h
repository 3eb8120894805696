#pragma once

#include "colour_scheme_source.h"

#include <QDBusVariant>
#include <QString>

namespace olvex {

// The org.freedesktop.appearance color-scheme setting of the desktop's settings portal on
// the session bus, read once at start and followed through its SettingChanged signal.
// Without a portal the preference is None.
class PortalColourScheme : public ColourSchemeSource {
    Q_OBJECT

public:
    explicit PortalColourScheme(QObject* parent = nullptr);

    Preference Current() const override { return current; }
    // The preference a color-scheme value stands for: 1 dark, 2 light, anything else none.
    static Preference FromValue(const QVariant& value);

private slots:
    void OnSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    Preference current = Preference::None;
};

} // namespace olvex
