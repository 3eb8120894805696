#pragma once

#include "colour_scheme_source.h"
#include "idle_source.h"
#include "launcher_count.h"
#include "notifications.h"
#include "session_autostart.h"
#include "tray_presence.h"
#include "window_activation.h"

#include <QString>
#include <memory>

namespace olvex {

// What the desktop offers the program, picked once for the window system it runs on.
class DesktopServices {
public:
    struct Parts {
        std::unique_ptr<Notifications> notifications;
        std::unique_ptr<TrayPresence> tray;
        std::unique_ptr<LauncherCount> launcher;
        std::unique_ptr<IdleSource> idle;
        std::unique_ptr<SessionAutostart> autostart;
        std::unique_ptr<WindowActivation> windows;
        std::unique_ptr<ColourSchemeSource> colourScheme;
    };

    // Parts left empty do nothing (windows are still raised and activated as Qt does it),
    // except that an empty idle source stays empty.
    explicit DesktopServices(Parts parts);
    // Nothing at all: no notifications, no tray, no idle time.
    DesktopServices();
    ~DesktopServices();
    DesktopServices(const DesktopServices&) = delete;
    DesktopServices& operator=(const DesktopServices&) = delete;

    Notifications& Notifier() { return *parts.notifications; }
    TrayPresence& Tray() { return *parts.tray; }
    LauncherCount& Launcher() { return *parts.launcher; }
    // Null: this desktop tells nothing of idle time or the screen lock.
    IdleSource* Idle() { return parts.idle.get(); }
    SessionAutostart& Autostart() { return *parts.autostart; }
    WindowActivation& Windows() { return *parts.windows; }
    // The desktop's light or dark wish; no wish where it tells none.
    ColourSchemeSource& ColourScheme() { return *parts.colourScheme; }

private:
    Parts parts;
};

// `platform` is the window system's name as Qt gives it: "xcb" (X11) gets the X server's
// and the session bus's services, "wayland" the session bus's alone, anything else
// ("offscreen", "minimal") nothing. A build without D-Bus or X11 leaves those parts out.
// The buses are probed here, once: call it after the application object exists.
std::unique_ptr<DesktopServices> MakeDesktop(const QString& platform);

} // namespace olvex
