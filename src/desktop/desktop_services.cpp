#include "desktop_services.h"

#include "xdg_autostart.h"

#include <QCoreApplication>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#ifdef OLVEX_HAVE_DBUS
#include "bus_idle_source.h"
#include "freedesktop_notifications.h"
#include "launcher_entry.h"
#include "portal_colour_scheme.h"
#include "status_notifier_tray.h"
#endif
#ifdef OLVEX_HAVE_XEMBED
#include "xembed_tray.h"
#endif
#ifdef OLVEX_HAVE_XCB_SCREENSAVER
#include "x11_idle_source.h"
#endif

namespace olvex {

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

// Qt passes an activation token on where the platform has them (Wayland's xdg-activation).
class QtWindowActivation : public WindowActivation {
public:
    explicit QtWindowActivation(bool placement) : canPlace(placement) {}
    void BringToFront(QWidget& window) override {
        window.raise();
        window.activateWindow();
    }
    bool CanPlaceWindows() const override { return canPlace; }

private:
    bool canPlace;
};

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
        parts.windows = std::make_unique<QtWindowActivation>(true);
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

    // Under XWayland $DISPLAY works too, but its X server sees only the input X clients
    // get: the display server's idle time is taken on X11 alone.
    std::unique_ptr<IdleSource> serverIdle;
#ifdef OLVEX_HAVE_XCB_SCREENSAVER
    if (x11)
        serverIdle = X11IdleSource::Open();
#endif
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
    parts.windows = std::make_unique<QtWindowActivation>(x11);
    return std::make_unique<DesktopServices>(std::move(parts));
}

} // namespace olvex
