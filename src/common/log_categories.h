#pragma once

#include <QLoggingCategory>

namespace olvex {

// The program's log categories. Debug lines are off unless turned on (olvex --verbose, or
// QT_LOGGING_RULES="olvex.*.debug=true"); they are the only ones that may name visitors'
// and page addresses.
Q_DECLARE_LOGGING_CATEGORY(lcTransport)
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
Q_DECLARE_LOGGING_CATEGORY(lcConsole)
Q_DECLARE_LOGGING_CATEGORY(lcCall)

} // namespace olvex
