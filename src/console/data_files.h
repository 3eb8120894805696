#pragma once

#include <QString>

namespace olvex {

// A read-only file shipped with the program ("Help/help.htm", "license.txt"): beside the
// executable in the build tree, else in the installed data directory.
QString DataFilePath(const QString& relativePath);

} // namespace olvex
