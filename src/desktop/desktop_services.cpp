#include "desktop_services.h"

#include "desktop_log.h"
#include "xdg_autostart.h"

#include <QApplication>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#ifdef OLVEX_HAVE_DBUS
#include "bus_idle_source.h"
#include "freedesktop_notifications.h"
#include "launcher_entry.h"
#include "mutter_idle_monitor.h"
#include "portal_colour_scheme.h"
#include "status_notifier_tray.h"
#endif
#ifdef OLVEX_HAVE_XEMBED
#include "xembed_tray.h"
#endif
#ifdef OLVEX_HAVE_XCB_SCREENSAVER
#include "x11_idle_source.h"
#endif
#ifdef OLVEX_HAVE_WAYLAND
#include "wayland_activation.h"
#include "wayland_idle_source.h"
#endif

namespace olvex {

Q_LOGGING_CATEGORY(lcDesktop, "olvex.desktop", QtInfoMsg)

namespace {

class NoNotifications : public Notifications {
public:
    int Notify(const Note&) override { return 0; }
    void Close(int) override {}
};

class NoLauncher : public LauncherCount {
public:
    void SetCount(int) override {}
};

class NoColourScheme : public ColourSchemeSource {
public:
    Preference Current() const override { return Preference::None; }
};

class NoAutostart : public SessionAutostart {
public:
    int32_t Set(bool) override { return 0; }
    bool IsOn() const override { return false; }
};

// Any of the probes finds a tray; none at all finds none.
class ProbedTray : public TrayPresence {
public:
    explicit ProbedTray(std::vector<std::function<bool()>> p) : probes(std::move(p)) {}
    bool TrayAvailable() override {
        for (const auto& probe : probes) {
            if (probe())
                return true;
        }
        return false;
    }

private:
    std::vector<std::function<bool()>> probes;
};

// X11 (XWayland too) and anything else: the window manager moves the focus when asked.
class QtWindowActivation : public WindowActivation {
public:
    QtWindowActivation(bool placement, bool tiles) : canPlace(placement), tiling(tiles) {}
    using WindowActivation::BringToFront;
    void BringToFront(QWidget& window, const QString&) override {
        window.raise();
        window.activateWindow();
        // Window managers that refuse the focus to a program in the background at least
        // show that it wants attention.
        if (!window.isActiveWindow())
            QApplication::alert(&window);
    }
    bool CanPlaceWindows() const override { return canPlace; }
    bool TilesWindows() const override { return tiling; }

private:
    bool canPlace;
    bool tiling;
};

// sway (and i3 before it) tell their programs where their control socket lies.
bool TilingWindowManager() {
    return !qEnvironmentVariableIsEmpty("SWAYSOCK") || !qEnvironmentVariableIsEmpty("I3SOCK");
}

// The idle time of the display server or compositor the operator works on. Under XWayland
// the X server sees only the input X clients get: there the compositor is asked, as on a
// native Wayland run, never the X screen saver.
std::unique_ptr<IdleSource> DisplayIdle(bool x11, bool onWayland) {
    std::unique_ptr<IdleSource> idle;
#ifdef OLVEX_HAVE_WAYLAND
    if (onWayland)
        idle = WaylandIdleSource::Open();
#endif
#ifdef OLVEX_HAVE_DBUS
    // GNOME's compositor has neither Wayland idle protocol but answers on the bus.
    if (!idle && onWayland)
        idle = MutterIdleMonitor::Probe();
#endif
#ifdef OLVEX_HAVE_XCB_SCREENSAVER
    if (x11 && !onWayland)
        idle = X11IdleSource::Open();
#endif
    (void)x11;
    return idle;
}

void LogIdle(const IdleSource* idle) {
    if (!idle)
        qCInfo(lcDesktop) << "no idle time and no screen lock on this desktop: no automatic away";
    else if (idle->IdleFrom().isEmpty())
        qCInfo(lcDesktop).noquote()
            << "no idle time on this desktop; screen lock from" << idle->LockFrom();
    else
        qCInfo(lcDesktop).noquote() << "idle source:" << idle->Description();
}

} // namespace

DesktopServices::DesktopServices(Parts p) : parts(std::move(p)) {
    if (!parts.notifications)
        parts.notifications = std::make_unique<NoNotifications>();
    if (!parts.tray)
        parts.tray = std::make_unique<ProbedTray>(std::vector<std::function<bool()>>{});
    if (!parts.launcher)
        parts.launcher = std::make_unique<NoLauncher>();
    if (!parts.autostart)
        parts.autostart = std::make_unique<NoAutostart>();
    if (!parts.windows)
        parts.windows = std::make_unique<QtWindowActivation>(true, false);
    if (!parts.colourScheme)
        parts.colourScheme = std::make_unique<NoColourScheme>();
}

DesktopServices::DesktopServices() : DesktopServices(Parts{}) {}

DesktopServices::~DesktopServices() = default;

std::unique_ptr<DesktopServices> MakeDesktop(const QString& platform) {
    const bool x11 = platform == QLatin1String("xcb");
    // Qt names its Wayland platforms "wayland", "wayland-egl" and the like.
    const bool wayland = platform.startsWith(QLatin1String("wayland"));
    DesktopServices::Parts parts;
    if (!x11 && !wayland)
        return std::make_unique<DesktopServices>(std::move(parts));

    // An X11 run inside a Wayland session goes through XWayland.
    const bool onWayland = wayland || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    std::unique_ptr<IdleSource> serverIdle = DisplayIdle(x11, onWayland);
    std::vector<std::function<bool()>> trayProbes;
#ifdef OLVEX_HAVE_DBUS
    parts.notifications = std::make_unique<FreedesktopNotifications>();
    parts.launcher = std::make_unique<LauncherEntryCount>();
    parts.idle = BusIdleSource::Probe(std::move(serverIdle));
    trayProbes.emplace_back(StatusNotifierHostPresent);
    parts.colourScheme = std::make_unique<PortalColourScheme>();
#else
    parts.idle = std::move(serverIdle);
#endif
#ifdef OLVEX_HAVE_XEMBED
    if (x11)
        trayProbes.emplace_back(XEmbedTrayPresent);
#endif
    parts.tray = std::make_unique<ProbedTray>(std::move(trayProbes));
    parts.autostart = std::make_unique<XdgAutostart>(QCoreApplication::applicationFilePath());
    const bool tiling = TilingWindowManager();
#ifdef OLVEX_HAVE_WAYLAND
    if (wayland)
        parts.windows = WaylandActivation::Open(tiling);
#endif
    if (!parts.windows)
        parts.windows = std::make_unique<QtWindowActivation>(x11, tiling);
    LogIdle(parts.idle.get());
    return std::make_unique<DesktopServices>(std::move(parts));
}

} // namespace olvex
