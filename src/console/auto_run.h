#pragma once

#include <QString>
#include <cstdint>

namespace olvex {

// Starting with the desktop session: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/olvex.desktop.
QString AutoRunEntryPath();

// Writes the entry with the executable's full path when on, removes it when off.
// 0, or -1 when the entry could not be written or removed.
int32_t ApplyAutoRun(bool on, const QString& executablePath);

// The executable path as one quoted argument of a desktop entry's Exec key.
QString DesktopExecQuote(const QString& path);

} // namespace olvex
