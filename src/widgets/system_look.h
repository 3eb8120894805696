#pragma once

#include <QString>

namespace olvex {

// The class of the running Windows version, as the drawn widgets use it to
// pick their shades: 0 for consumer versions before 4; 3 for 4.10, 4 for
// 4.90, else 2 on the consumer line; 5 for NT 4, 6 for 5.0, 7 for 5.1, else 1.
// Other systems report 1. Worked out once per process.
int WindowsVersionClass();

// True when the user's current desktop theme is the classic one. Always
// false outside Windows. Worked out once per process.
bool IsClassicTheme();

// The pure parts of the two checks above, kept apart so they can be tested
// anywhere.
int ClassifyWindowsVersion(bool ntLine, int major, int minor);
bool IsClassicThemeFile(const QString& themePath);

} // namespace olvex
