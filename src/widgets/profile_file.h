#pragma once

#include <QString>

class QSettings;

namespace olvex {

// The private profile of the program: an INI file named after the executable,
// $XDG_CONFIG_HOME/Olvex/<executable name>.INI, one group per section.
QString ProfileFilePath();

// A named integer of a profile section; a missing or unreadable value gives the default.
int ReadProfileInt(const QSettings& profile, const QString& name, int defaultValue);

} // namespace olvex
