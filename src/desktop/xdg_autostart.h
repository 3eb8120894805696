#pragma once

#include "session_autostart.h"

#include <QString>
#include <cstdint>

namespace olvex {

// The XDG autostart entry $XDG_CONFIG_HOME/autostart/olvex.desktop, read by X11 and Wayland
// sessions alike.
class XdgAutostart : public SessionAutostart {
public:
    explicit XdgAutostart(QString executablePath);

    // Writes the entry with the executable's full path when on, removes it when off.
    int32_t Set(bool on) override;
    bool IsOn() const override;

    static QString EntryPath();

private:
    QString executable;
};

// The executable path as one quoted argument of a desktop entry's Exec key.
QString DesktopExecQuote(const QString& path);

} // namespace olvex
