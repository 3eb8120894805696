#include "log_file.h"

#include "log_categories.h"

#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <system_error>

namespace olvex {

namespace {

std::atomic<LogFile*> installed{nullptr};
// A message raised while a line is being written goes straight to the fallback stream.
thread_local bool writing = false;

const char* LevelWord(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "info";
}

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (LogFile* log = installed.load())
        log->Write(type, context.category, message);
}

QString ErrorText(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

// Creates the folder for the user alone; the folders above it as the umask says.
bool MakePrivateFolder(const QString& folder) {
    if (QFileInfo(folder).isDir())
        return true;
    const QFileInfo info(folder);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || errno == EEXIST;
}

} // namespace

LogFile::LogFile(QString p, int fallback)
    : path(std::move(p)), nativePath(QFile::encodeName(path)), fallbackFd(fallback) {
    std::lock_guard lock(mutex);
    OpenLocked();
}

LogFile::~LogFile() {
    LogFile* self = this;
    if (installed.compare_exchange_strong(self, nullptr))
        qInstallMessageHandler(nullptr);
    std::lock_guard lock(mutex);
    if (fd >= 0)
        ::close(fd);
}

QString LogFile::DefaultPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative values are to be ignored.
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Olvex/olvex.log");
}

LogFile* LogFile::Installed() {
    return installed.load();
}

void LogFile::Install() {
    installed.store(this);
    qInstallMessageHandler(Handler);
}

void LogFile::SetEcho(bool on) {
    std::lock_guard lock(mutex);
    echo = on;
}

bool LogFile::Failed() const {
    std::lock_guard lock(mutex);
    return failed;
}

QByteArray LogFile::FormatLine(const QDateTime& utc, QtMsgType type, const char* category,
                               const QString& message) {
    QByteArray line = utc.toString(Qt::ISODateWithMs).toLatin1();
    line += ' ';
    line += LevelWord(type);
    line += ' ';
    line += category ? category : "default";
    line += ": ";
    // One message, one line: a name with a line break in it cannot forge another entry.
    for (const char c : message.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            static constexpr char kDigits[] = "0123456789abcdef";
            line += "\\x";
            line += kDigits[byte >> 4];
            line += kDigits[byte & 0x0f];
        } else {
            line += c;
        }
    }
    line += '\n';
    return line;
}

void LogFile::Write(QtMsgType type, const char* category, const QString& message) {
    const QByteArray line = FormatLine(QDateTime::currentDateTimeUtc(), type, category, message);
    if (writing) {
        WriteFallback(line); // the lock is held further up this thread
        return;
    }
    writing = true;
    {
        std::lock_guard lock(mutex);
        if (!failed && size > 0 && size + line.size() > kRotateBytes)
            RotateLocked();
        if (!failed) {
            qsizetype done = 0;
            while (done < line.size()) {
                const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    FailLocked(ErrorText(n < 0 ? errno : ENOSPC));
                    break;
                }
                done += n;
            }
            size += done;
        }
        // A program about to abort says why where whoever started it will look.
        if (failed || echo || type == QtFatalMsg)
            WriteFallback(line);
    }
    writing = false;
}

void LogFile::OpenLocked() {
    if (!MakePrivateFolder(QFileInfo(path).absolutePath())) {
        FailLocked(ErrorText(errno));
        return;
    }
    fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        FailLocked(ErrorText(errno));
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // A file left readable by others from before becomes private too.
        if ((st.st_mode & 077) != 0)
            ::fchmod(fd, 0600);
        size = st.st_size;
    }
}

void LogFile::RotateLocked() {
    ::close(fd);
    fd = -1;
    for (int i = kOldFiles - 1; i >= 1; --i) {
        const QByteArray from = nativePath + '.' + QByteArray::number(i);
        const QByteArray to = nativePath + '.' + QByteArray::number(i + 1);
        ::rename(from.constData(), to.constData());
    }
    const QByteArray first = nativePath + ".1";
    if (::rename(nativePath.constData(), first.constData()) != 0 && errno != ENOENT) {
        FailLocked(ErrorText(errno));
        return;
    }
    size = 0;
    OpenLocked();
}

void LogFile::FailLocked(const QString& why) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (failed)
        return;
    failed = true;
    WriteFallback(QStringLiteral("olvex: cannot write the log %1 (%2); logging to standard "
                                 "error instead\n")
                      .arg(path, why)
                      .toUtf8());
}

void LogFile::WriteFallback(const QByteArray& bytes) const {
    // A pipe nobody reads must not stop the program: a line it cannot take now is lost.
    pollfd ready{fallbackFd, POLLOUT, 0};
    if (::poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0)
        return;
    [[maybe_unused]] ssize_t n = ::write(fallbackFd, bytes.constData(), size_t(bytes.size()));
}

LogSink QtLogSink() {
    LogSink sink;
    sink.function = [](void*, LogSource source, LogLevel level, std::string_view message) {
        auto category = source == LogSource::Transport ? &lcTransport : &lcEngine;
        const QString text = QString::fromUtf8(message.data(), qsizetype(message.size()));
        switch (level) {
        case LogLevel::Debug:
            qCDebug(category).noquote() << text;
            break;
        case LogLevel::Info:
            qCInfo(category).noquote() << text;
            break;
        case LogLevel::Warning:
            qCWarning(category).noquote() << text;
            break;
        case LogLevel::Error:
            qCCritical(category).noquote() << text;
            break;
        }
    };
    const bool debug = lcTransport().isDebugEnabled() || lcEngine().isDebugEnabled();
    sink.threshold = debug ? LogLevel::Debug : LogLevel::Info;
    return sink;
}

} // namespace olvex
