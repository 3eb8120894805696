#include "wayland_idle_source.h"

#include "ext-idle-notify-v1-client.h"
#include "idle-client.h"
#include "steady_ms.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

namespace olvex {

namespace {

// The compositor answers at once; one that does not is treated as absent.
constexpr int kProbeTimeoutMs = 3000;

} // namespace

struct WaylandIdleSource::Connection {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* notifier = nullptr;
    ext_idle_notification_v1* notification = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
    IdleEdges edges{kStretchMs};
    std::function<void()> resumed;
    bool synced = false;

    ~Connection() {
        if (notification)
            ext_idle_notification_v1_destroy(notification);
        if (notifier)
            ext_idle_notifier_v1_destroy(notifier);
        if (kdeTimeout)
            org_kde_kwin_idle_timeout_release(kdeTimeout);
        if (kdeIdle)
            org_kde_kwin_idle_destroy(kdeIdle);
        if (seat)
            wl_seat_destroy(seat);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    void OnIdle() { edges.Idled(SteadyMs()); }
    void OnResumed() {
        edges.Resumed();
        if (resumed)
            resumed();
    }

    // A round trip that gives up after `timeoutMs` instead of waiting for ever.
    bool RoundTrip(int timeoutMs);
    // Reads what the compositor sent; false once the connection has failed.
    bool Dispatch(bool wait, int timeoutMs);
};

namespace {

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* c = static_cast<WaylandIdleSource::Connection*>(data);
    // The first seat: idle notifications are per seat, and desktops have one.
    if (!c->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        c->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
        c->notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0)
        c->kdeIdle = static_cast<org_kde_kwin_idle*>(
            wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
}

void OnGlobalRemoved(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemoved};

void OnSynced(void* data, wl_callback* callback, uint32_t) {
    static_cast<WaylandIdleSource::Connection*>(data)->synced = true;
    wl_callback_destroy(callback);
}

const wl_callback_listener kSyncListener = {OnSynced};

const ext_idle_notification_v1_listener kNotificationListener = {
    [](void* data, ext_idle_notification_v1*) {
        static_cast<WaylandIdleSource::Connection*>(data)->OnIdle();
    },
    [](void* data, ext_idle_notification_v1*) {
        static_cast<WaylandIdleSource::Connection*>(data)->OnResumed();
    },
};

const org_kde_kwin_idle_timeout_listener kKdeTimeoutListener = {
    [](void* data, org_kde_kwin_idle_timeout*) {
        static_cast<WaylandIdleSource::Connection*>(data)->OnIdle();
    },
    [](void* data, org_kde_kwin_idle_timeout*) {
        static_cast<WaylandIdleSource::Connection*>(data)->OnResumed();
    },
};

} // namespace

bool WaylandIdleSource::Connection::Dispatch(bool wait, int timeoutMs) {
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return false;
    }
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&fd, 1, wait ? timeoutMs : 0) <= 0) {
        wl_display_cancel_read(display);
        return wl_display_get_error(display) == 0;
    }
    if (wl_display_read_events(display) < 0)
        return false;
    return wl_display_dispatch_pending(display) >= 0;
}

bool WaylandIdleSource::Connection::RoundTrip(int timeoutMs) {
    synced = false;
    wl_callback_add_listener(wl_display_sync(display), &kSyncListener, this);
    QElapsedTimer waited;
    waited.start();
    while (!synced) {
        const int left = timeoutMs - int(waited.elapsed());
        if (left <= 0 || !Dispatch(true, left))
            return false;
    }
    return true;
}

std::unique_ptr<WaylandIdleSource> WaylandIdleSource::Open() {
    // Without the variable libwayland would guess a socket name: on X11 that could be a
    // compositor the program does not run on.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->display = wl_display_connect(nullptr);
    if (!connection->display)
        return nullptr;
    connection->registry = wl_display_get_registry(connection->display);
    wl_registry_add_listener(connection->registry, &kRegistryListener, connection.get());
    if (!connection->RoundTrip(kProbeTimeoutMs) || !connection->seat)
        return nullptr;
    if (connection->notifier) {
        connection->notification = ext_idle_notifier_v1_get_idle_notification(
            connection->notifier, uint32_t(kStretchMs), connection->seat);
        ext_idle_notification_v1_add_listener(connection->notification, &kNotificationListener,
                                              connection.get());
    } else if (connection->kdeIdle) {
        connection->kdeTimeout = org_kde_kwin_idle_get_idle_timeout(
            connection->kdeIdle, connection->seat, uint32_t(kStretchMs));
        org_kde_kwin_idle_timeout_add_listener(connection->kdeTimeout, &kKdeTimeoutListener,
                                               connection.get());
    } else {
        return nullptr;
    }
    if (!connection->RoundTrip(kProbeTimeoutMs))
        return nullptr;
    return std::unique_ptr<WaylandIdleSource>(new WaylandIdleSource(std::move(connection)));
}

WaylandIdleSource::WaylandIdleSource(std::unique_ptr<Connection> c) : connection(std::move(c)) {
    connection->resumed = [this] {
        if (changed)
            changed();
    };
    notifier =
        new QSocketNotifier(wl_display_get_fd(connection->display), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &WaylandIdleSource::ReadEvents);
}

WaylandIdleSource::~WaylandIdleSource() {
    delete notifier;
    connection->resumed = {};
}

void WaylandIdleSource::ReadEvents() {
    if (!connection->Dispatch(false, 0)) {
        // The compositor went (or threw us out): nothing more will come.
        notifier->setEnabled(false);
    }
}

std::optional<IdleSample> WaylandIdleSource::Sample() {
    if (wl_display_get_error(connection->display) != 0)
        return std::nullopt;
    IdleSample sample;
    sample.idleMs = connection->edges.IdleMs(SteadyMs());
    return sample;
}

QString WaylandIdleSource::Description() const {
    return connection->notifier ? QStringLiteral("compositor (ext-idle-notify)")
                                : QStringLiteral("compositor (org_kde_kwin_idle)");
}

void WaylandIdleSource::SetLockHandler(std::function<void()> handler) {
    changed = std::move(handler);
}

} // namespace olvex
