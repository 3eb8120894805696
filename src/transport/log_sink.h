#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace olvex {

enum class LogLevel : int { Debug = 0, Info = 1, Warning = 2, Error = 3 };

// Who wrote a line; the console files the two under categories of their own.
enum class LogSource : int { Transport = 0, Engine = 1 };

// Where the transport and the engine say what happens on their connections: one function
// and its user data, set once before the first connection, like the engine's callbacks.
// The function is called from any of the engine's threads, possibly several at once.
//
// What goes in: addresses of the server, codes, counts, ids, result texts and the headers
// of refused frames. Never passwords or anything typed in a call; visitors' and page
// addresses only at Debug.
struct LogSink {
    using Function = void (*)(void* userData, LogSource source, LogLevel level,
                              std::string_view message);

    Function function = nullptr;
    void* userData = nullptr;
    // Lines below this level are dropped before they are put together.
    LogLevel threshold = LogLevel::Info;

    bool Enabled(LogLevel level) const { return function != nullptr && level >= threshold; }
    void Write(LogSource source, LogLevel level, std::string_view message) const {
        if (Enabled(level))
            function(userData, source, level, message);
    }
};

// "3c 21 3e 00": raw bytes of a frame header for a log line.
std::string HexBytes(const void* data, size_t size);

// "debug", "info", "warning", "error".
const char* LogLevelName(LogLevel level);

} // namespace olvex
