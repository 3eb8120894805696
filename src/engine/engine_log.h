#pragma once

#include "log_sink.h"

#include <cstdint>
#include <string>

namespace olvex {

class WireMessage;

// "The supplied user credentials are not valid. (-24)"
std::string ResultLine(int32_t code);
// "1 logout", "2 connection lost", ...
std::string DisconnectReasonLine(int reason);
// Why a receive loop ended, from the last receive result and the message it left.
std::string ReceiveEndLine(int32_t result, const WireMessage& message);

inline void EngineLog(const LogSink& sink, LogLevel level, const std::string& message) {
    sink.Write(LogSource::Engine, level, message);
}

} // namespace olvex
