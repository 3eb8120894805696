// Run inside a virtual X display and a private session bus (see CMakeLists.txt): what the
// factory picks, the idle sources and the launcher count against the real X server and bus
// daemon.
#include "desktop_services.h"
#include "xdg_autostart.h"

#ifdef OLVEX_TEST_DBUS
#include "bus_idle_source.h"
#include "launcher_entry.h"
#include "mutter_idle_monitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#endif
#ifdef OLVEX_TEST_X11_IDLE
#include "x11_idle_source.h"
#endif

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>

namespace olvex {
namespace {

#ifdef OLVEX_TEST_DBUS
// A dock: hears the launcher count on the session bus.
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

// The match rule goes to the daemon asynchronously: a call on the same connection comes
// back only after it, so no signal sent afterwards is missed.
bool ListenForLauncher(QDBusConnection& dock, LauncherListener& listener) {
    return dock.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                        QStringLiteral("Update"), &listener, SLOT(Update(QString, QVariantMap))) &&
           dock.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
}
#endif

bool TellsOfX11(IdleSource* idle) {
    return idle && idle->Description().contains(QStringLiteral("X11"));
}

// XWayland's X server sees only the input of X clients: on Wayland the display server's
// idle time would send an operator typing in a Wayland window away.
TEST(DesktopServices, WaylandGetsTheBusAloneAndNoWindowPlacement) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display";
#ifdef OLVEX_TEST_DBUS
    QDBusConnection dock =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"));
    ASSERT_TRUE(dock.isConnected()) << "no session bus";
    // Held here, the name keeps the bus from starting a notification daemon on our display.
    ASSERT_TRUE(dock.registerService(QStringLiteral("org.freedesktop.Notifications")));
    const auto disconnect =
        qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("dock")); });
    LauncherListener listener;
    ASSERT_TRUE(ListenForLauncher(dock, listener));
#endif
    const auto x11 = MakeDesktop(QStringLiteral("xcb"));
    EXPECT_TRUE(x11->Windows().CanPlaceWindows());
#ifdef OLVEX_TEST_X11_IDLE
    // The X display answers here, so a Wayland desktop without it is no accident.
    ASSERT_TRUE(TellsOfX11(x11->Idle()));
#endif
    for (const char* platform : {"wayland", "wayland-egl"}) {
        const auto wayland = MakeDesktop(QLatin1String(platform));
        EXPECT_FALSE(TellsOfX11(wayland->Idle())) << platform;
        EXPECT_FALSE(wayland->Windows().CanPlaceWindows()) << platform;
#ifdef OLVEX_TEST_DBUS
        // The session bus's services are there on Wayland as on X11.
        listener.app.clear();
        wayland->Launcher().SetCount(2);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !listener.app.isEmpty(); }, 5000)) << platform;
#endif
    }
}

// A program run offscreen (tests, a headless start) must not reach into the desktop around
// it: no notifications, no tray, no idle time, no autostart entry.
TEST(DesktopServices, OffscreenGetsNothingFromTheDesktopAroundIt) {
    const auto none = MakeDesktop(QStringLiteral("offscreen"));
    EXPECT_EQ(none->Notifier().Notify({QStringLiteral("Olvex"), QString(), {}, 1000, 1}), 0);
    EXPECT_FALSE(none->Tray().TrayAvailable());
    EXPECT_EQ(none->Idle(), nullptr);
    none->Autostart().Set(true);
    EXPECT_FALSE(QFileInfo::exists(XdgAutostart::EntryPath()));
}

#ifdef OLVEX_TEST_X11_IDLE
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
#endif

#ifdef OLVEX_TEST_DBUS
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

    auto source = BusIdleSource::Probe(nullptr);
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->Description().contains(QStringLiteral("session screen saver")));
    // Answers arrive asynchronously; the window never waits for them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->Sample()->idleMs == 4200; }, 5000));
    EXPECT_FALSE(source->Sample()->locked);

    int locks = 0;
    source->SetLockHandler([&locks] { ++locks; });
    saver.active = true;
    QMetaObject::invokeMethod(&saver, [&saver] { emit saver.ActiveChanged(true); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return locks > 0; }, 5000));
    EXPECT_TRUE(source->Sample()->locked);
    service.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    QDBusConnection::disconnectFromBus(QStringLiteral("screensaver"));
}

// KWin's screen saver service: it tells of the lock but refuses the idle time.
class RefusingScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public slots:
    Q_SCRIPTABLE bool GetActive() { return false; }
    Q_SCRIPTABLE uint GetSessionIdleTime() {
        sendErrorReply(QDBusError::NotSupported,
                       QStringLiteral("GetSessionIdleTime is not supported"));
        return 0;
    }
};

// GNOME's compositor's idle monitor.
class FakeIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    std::atomic<qulonglong> idleMs{0};
public slots:
    Q_SCRIPTABLE qulonglong GetIdletime() { return idleMs; }
};

// A service on a connection and thread of its own, as another process would answer. The
// object goes before the connection it was registered on.
template <typename Object> struct BusService {
    BusService(const char* connection, const QString& path, const QString& name)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                            QLatin1String(connection))),
          connectionName(QLatin1String(connection)), serviceName(name) {
        registered = bus.isConnected() &&
                     bus.registerObject(path, &object, QDBusConnection::ExportScriptableContents);
        object.moveToThread(&thread);
        thread.start();
        registered = registered && bus.registerService(name);
    }
    ~BusService() {
        bus.unregisterService(serviceName);
        QDBusConnection::disconnectFromBus(connectionName);
        thread.quit();
        thread.wait();
    }
    QDBusConnection bus;
    QString connectionName;
    QString serviceName;
    QThread thread;
    Object object;
    bool registered = false;
};

TEST(DesktopIdle, AScreenSaverThatRefusesIdleTimeIsClaimedForTheLockAlone) {
    BusService<RefusingScreenSaver> service("kwin-saver",
                                            QStringLiteral("/org/freedesktop/ScreenSaver"),
                                            QStringLiteral("org.freedesktop.ScreenSaver"));
    ASSERT_TRUE(service.registered) << "no session bus";
    auto source = BusIdleSource::Probe(nullptr);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->LockFrom(), QStringLiteral("session screen saver"));
    EXPECT_FALSE(source->IdleFrom().contains(QStringLiteral("screen saver")))
        << source->IdleFrom().toStdString();
}

// Under XWayland the X server sees only X clients' input: the compositor's idle time is
// taken (here GNOME's monitor, as no compositor answers), never the X screen saver's.
TEST(DesktopIdle, XWaylandTakesTheCompositorsIdleTimeNeverTheXServers) {
    BusService<FakeIdleMonitor> service("mutter",
                                        QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                                        QStringLiteral("org.gnome.Mutter.IdleMonitor"));
    FakeIdleMonitor& monitor = service.object;
    monitor.idleMs = 4200;
    ASSERT_TRUE(service.registered) << "no session bus";
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "olvex-test-no-compositor");
    const auto restore = qScopeGuard([&] {
        if (wayland.isEmpty())
            qunsetenv("WAYLAND_DISPLAY");
        else
            qputenv("WAYLAND_DISPLAY", wayland);
    });
    const auto xwayland = MakeDesktop(QStringLiteral("xcb"));
    ASSERT_TRUE(xwayland->Idle());
    EXPECT_EQ(xwayland->Idle()->IdleFrom(), QStringLiteral("GNOME idle monitor"));
    EXPECT_FALSE(TellsOfX11(xwayland->Idle()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return xwayland->Idle()->Sample()->idleMs == 4200; }, 5000));
    monitor.idleMs = 10;
    ASSERT_TRUE(QTest::qWaitFor([&] { return xwayland->Idle()->Sample()->idleMs == 10; }, 5000));
}

TEST(DesktopIdle, DocksHearTheWaitingCount) {
    QDBusConnection dock =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"));
    ASSERT_TRUE(dock.isConnected()) << "no session bus";
    LauncherListener listener;
    ASSERT_TRUE(ListenForLauncher(dock, listener));
    LauncherEntryCount().SetCount(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.app.isEmpty(); }, 5000));
    EXPECT_EQ(listener.app, QStringLiteral("application://olvex.desktop"));
    EXPECT_EQ(listener.properties.value(QStringLiteral("count")).toLongLong(), 3);
    EXPECT_TRUE(listener.properties.value(QStringLiteral("count-visible")).toBool());
    QDBusConnection::disconnectFromBus(QStringLiteral("dock"));
}
#endif

} // namespace
} // namespace olvex

#include "desktop_services_test.moc"
