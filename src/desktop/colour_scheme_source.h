#pragma once

#include <QObject>

namespace olvex {

// The desktop's wish for light or dark windows, and its changes while we run.
class ColourSchemeSource : public QObject {
    Q_OBJECT

public:
    // The values the settings portal's color-scheme setting takes.
    enum class Preference { None = 0, Dark = 1, Light = 2 };

    using QObject::QObject;

    virtual Preference Current() const = 0;

signals:
    void Changed(ColourSchemeSource::Preference preference);
};

} // namespace olvex
