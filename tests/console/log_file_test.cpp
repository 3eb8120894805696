// The log file: its lines, its mode, its rotation, and what happens when it cannot be written.
#include "log_file.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olvex {
namespace {

// Outside olvex.*, which the test main keeps quiet.
Q_LOGGING_CATEGORY(lcTest, "test.log")

mode_t ModeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 0777;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A pipe standing in for standard error.
struct Fallback {
    Fallback() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Fallback() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    QByteArray Drain() {
        QByteArray all;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            all.append(buffer, n);
        return all;
    }
    int fds[2] = {-1, -1};
};

TEST(LogFile, PrivateLinesRotatedAtOneMebibyteWithThreeOldFiles) {
    QTemporaryDir home;
    const QString path = home.path() + QStringLiteral("/state/Olvex/olvex.log");
    const mode_t umask = ::umask(0); // a file created 0666 and left to the umask would show
    Fallback fallback;
    {
        LogFile log(path, fallback.fds[1]);
        log.Install();
        qCInfo(lcTest) << "first line";
    }
    EXPECT_EQ(ModeOf(home.path() + QStringLiteral("/state/Olvex")), 0700u);
    // Left readable by everyone in between; the log makes it private again.
    ::chmod(QFile::encodeName(path).constData(), 0644);
    {
        LogFile log(path, fallback.fds[1]);
        EXPECT_EQ(ModeOf(path), 0600u);
        log.Install();
        qCWarning(lcTest).noquote() << "forged\n2026-01-01T00:00:00.000Z info olvex.engine: x";
        const QString filler(1000, QLatin1Char('x'));
        for (int i = 0; i < 5 * 1024; ++i)
            qCInfo(lcTest).noquote() << filler;
        qCInfo(lcTest) << "last line";
    }
    ::umask(umask);

    for (const char* suffix : {"", ".1", ".2", ".3"}) {
        const QString file = path + QLatin1String(suffix);
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(ModeOf(file), 0600u);
        EXPECT_LE(QFileInfo(file).size(), LogFile::kRotateBytes);
        if (*suffix) {
            EXPECT_GT(QFileInfo(file).size(), LogFile::kRotateBytes - 2000);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".4")));
    EXPECT_TRUE(ReadAll(path).endsWith("info test.log: last line\n"));
    EXPECT_TRUE(fallback.Drain().isEmpty());

    const QByteArray oldest = ReadAll(path + QStringLiteral(".3"));
    const QRegularExpression stamp(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z info test\.log: x{1000}$)"));
    const QList<QByteArray> lines = oldest.trimmed().split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(stamp.match(QString::fromLatin1(lines.last())).hasMatch()) << lines.last().data();
    // The three old files are the newest three: the first lines went with the fourth.
    EXPECT_FALSE(oldest.contains("first line"));
    // A line break in a message cannot start a line of its own.
    for (const char* suffix : {"", ".1", ".2", ".3"})
        EXPECT_FALSE(ReadAll(path + QLatin1String(suffix)).contains("\n2026-01-01T"));
}

TEST(LogFile, UnwritableLogGoesToTheFallbackSaidOnceAndNeverBlocks) {
    QTemporaryDir home;
    // A folder that cannot be made (a file is in the way, which stops root as well), and a
    // full disk.
    QFile blocker(home.path() + QStringLiteral("/state"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString full = home.path() + QStringLiteral("/full.log");
    ASSERT_EQ(::symlink("/dev/full", QFile::encodeName(full).constData()), 0);

    for (const QString& path : {home.path() + QStringLiteral("/state/Olvex/olvex.log"), full}) {
        SCOPED_TRACE(path.toStdString());
        Fallback fallback;
        {
            LogFile log(path, fallback.fds[1]);
            log.Install();
            qCInfo(lcTest) << "one";
            qCInfo(lcTest) << "two";
            EXPECT_TRUE(log.Failed());
        }
        const QByteArray said = fallback.Drain();
        EXPECT_EQ(said.count("cannot write the log"), 1) << said.data();
        EXPECT_TRUE(said.contains(QFile::encodeName(path))) << said.data();
        EXPECT_TRUE(said.contains("info test.log: one\n")) << said.data();
        EXPECT_TRUE(said.contains("info test.log: two\n")) << said.data();
    }

    // A fallback that nobody reads loses lines rather than stopping the program.
    Fallback stuck;
    while (::write(stuck.fds[1], "xxxxxxxxxxxxxxxx", 16) > 0) {
    }
    ::fcntl(stuck.fds[1], F_SETFL, 0); // blocking, as standard error would be
    LogFile log(home.path() + QStringLiteral("/state/Olvex/olvex.log"), stuck.fds[1]);
    log.Install();
    for (int i = 0; i < 1000; ++i)
        qCInfo(lcTest) << "lost line" << i;
    EXPECT_TRUE(log.Failed());
}

} // namespace
} // namespace olvex
