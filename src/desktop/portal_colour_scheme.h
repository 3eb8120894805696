#pragma once

#include "colour_scheme_source.h"

#include <QDBusMessage>
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
    // The whole message: QtDBus will not hand a variant argument to a slot of its own.
    void OnSettingChanged(const QDBusMessage& message);

private:
    Preference current = Preference::None;
};

} // namespace olvex
