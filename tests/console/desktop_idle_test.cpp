// Run inside a virtual X display and a private session bus (see CMakeLists.txt): the idle
// sources and the launcher count against the real X server and bus daemon.
#include "desktop_idle_source.h"
#include "tray_badge.h"
#include "x11_idle_source.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(DesktopIdle, XServerIdleTimeGrowsAndAMouseMoveResetsIt) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display";
    auto source = X11IdleSource::Open();
    ASSERT_TRUE(source);
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QStringLiteral("5"), QStringLiteral("5")});
    QTest::qWait(400);
    const int64_t idle = source->Sample()->idleMs;
    EXPECT_GE(idle, 300);
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QStringLiteral("50"), QStringLiteral("60")});
    EXPECT_LT(source->Sample()->idleMs, idle);
    EXPECT_LT(source->Sample()->idleMs, 200);
}

// The screen saver service of a desktop, as the session bus shows it.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    std::atomic<bool> active{false};
    std::atomic<uint> idleMs{0};
public slots:
    Q_SCRIPTABLE bool GetActive() { return active; }
    Q_SCRIPTABLE uint GetSessionIdleTime() { return idleMs; }
signals:
    Q_SCRIPTABLE void ActiveChanged(bool active);
};

TEST(DesktopIdle, SessionScreenSaverGivesIdleTimeAndTheLockAtOnce) {
    QDBusConnection service =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("screensaver"));
    ASSERT_TRUE(service.isConnected()) << "no session bus";
    // Answered on a thread of its own, as another process would: probing waits for it.
    QThread thread;
    FakeScreenSaver saver;
    saver.idleMs = 4200;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                       QDBusConnection::ExportScriptableContents));
    saver.moveToThread(&thread);
    thread.start();
    const auto stop = qScopeGuard([&] {
        thread.quit();
        thread.wait();
    });
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    auto source = DesktopIdleSource::Probe(false);
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->Description().contains(QStringLiteral("session screen saver")));
    // Answers arrive asynchronously; the window never waits for them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->Sample()->idleMs == 4200; }, 5000));
    EXPECT_FALSE(source->Sample()->locked);

    QSignalSpy lock(source.get(), &DesktopIdleSource::LockChanged);
    saver.active = true;
    QMetaObject::invokeMethod(&saver, [&saver] { emit saver.ActiveChanged(true); });
    ASSERT_TRUE(lock.wait(5000));
    EXPECT_TRUE(source->Sample()->locked);
    service.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    QDBusConnection::disconnectFromBus(QStringLiteral("screensaver"));
}

class LauncherListener : public QObject {
    Q_OBJECT
public:
    QString app;
    QVariantMap properties;
public slots:
    void Update(const QString& a, const QVariantMap& p) {
        app = a;
        properties = p;
    }
};

TEST(DesktopIdle, DocksHearTheWaitingCount) {
    QDBusConnection dock =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"));
    ASSERT_TRUE(dock.isConnected()) << "no session bus";
    LauncherListener listener;
    ASSERT_TRUE(
        dock.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                     QStringLiteral("Update"), &listener, SLOT(Update(QString, QVariantMap))));
    SendLauncherCount(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.app.isEmpty(); }, 5000));
    EXPECT_EQ(listener.app, QStringLiteral("application://olvex.desktop"));
    EXPECT_EQ(listener.properties.value(QStringLiteral("count")).toLongLong(), 3);
    EXPECT_TRUE(listener.properties.value(QStringLiteral("count-visible")).toBool());
    QDBusConnection::disconnectFromBus(QStringLiteral("dock"));
}

} // namespace
} // namespace olvex

#include "desktop_idle_test.moc"
