#pragma once

#include "log_sink.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <mutex>
#include <unistd.h>

namespace olvex {

// The program's log: every Qt message, from any thread, as one line with a UTC time stamp
// in milliseconds, the level and the category, appended to a file only its user may read.
// At 1 MiB the file moves to "<path>.1" (older ones to ".2" and ".3", the oldest dropped)
// and a new one starts. Fatal messages go to the fallback stream as well.
//
// A log that cannot be written never holds the program up: the lines go to the fallback
// stream (standard error) from then on, after one line that says why, and a fallback that
// is not ready to take a line loses it instead of blocking.
class LogFile {
public:
    static constexpr qint64 kRotateBytes = 1024 * 1024;
    static constexpr int kOldFiles = 3;

    explicit LogFile(QString path = DefaultPath(), int fallbackFd = STDERR_FILENO);
    // Gives the Qt messages back to Qt's own handler.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // $XDG_STATE_HOME/Olvex/olvex.log, by default ~/.local/state/Olvex/olvex.log.
    static QString DefaultPath();
    // The log that takes the Qt messages now, if any.
    static LogFile* Installed();

    // Makes this log the handler of every Qt message until it is destroyed.
    void Install();
    // Copies every line to the fallback stream as well (olvex --verbose).
    void SetEcho(bool on);

    void Write(QtMsgType type, const char* category, const QString& message);

    const QString& Path() const { return path; }
    // True once the file could not be written; the lines go to the fallback stream.
    bool Failed() const;

    // "2026-12-08T14:02:46.123Z info olvex.engine: text\n", control characters escaped.
    static QByteArray FormatLine(const QDateTime& utc, QtMsgType type, const char* category,
                                 const QString& message);

private:
    void OpenLocked();
    void RotateLocked();
    void FailLocked(const QString& why);
    void WriteFallback(const QByteArray& bytes) const;

    const QString path;
    const QByteArray nativePath;
    const int fallbackFd;

    mutable std::mutex mutex;
    int fd = -1;
    qint64 size = 0;
    bool failed = false;
    bool echo = false;
};

// A sink for the engine and the transport that hands their lines to the olvex.engine and
// olvex.transport categories; debug lines are put together only when those are enabled.
LogSink QtLogSink();

} // namespace olvex
