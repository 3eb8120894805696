#include "log_categories.h"

namespace olvex {

Q_LOGGING_CATEGORY(lcTransport, "olvex.transport", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEngine, "olvex.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConsole, "olvex.console", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCall, "olvex.call", QtInfoMsg)

} // namespace olvex
