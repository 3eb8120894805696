#pragma once

#include <QLoggingCategory>

namespace olvex {

// What the desktop parts found and did: the idle time's source, activation, attention.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

} // namespace olvex
