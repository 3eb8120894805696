#include "wayland_activation.h"

#include "desktop_log.h"
#include "xdg-activation-v1-client.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstring>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace olvex {

namespace {

// A window shown from hidden is known to the compositor once it has painted; after this
// long without that the request is dropped.
constexpr int kMapWaitMs = 5000;

} // namespace

// Our objects live on a queue of their own on Qt's display connection, so that Qt's event
// thread never dispatches them and we never dispatch Qt's.
struct WaylandActivation::Protocol {
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;
    wl_display* wrapper = nullptr;
    wl_registry* registry = nullptr;
    xdg_activation_v1* activation = nullptr;

    ~Protocol() {
        if (activation)
            xdg_activation_v1_destroy(activation);
        if (registry)
            wl_registry_destroy(registry);
        if (wrapper)
            wl_proxy_wrapper_destroy(wrapper);
        if (queue)
            wl_event_queue_destroy(queue);
    }
};

namespace {

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* p = static_cast<WaylandActivation::Protocol*>(data);
    if (!p->activation && std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        p->activation = static_cast<xdg_activation_v1*>(
            wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void OnGlobalRemoved(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemoved};

void OnTokenDone(void* data, xdg_activation_token_v1*, const char* token) {
    *static_cast<QString*>(data) = QString::fromUtf8(token);
}

const xdg_activation_token_v1_listener kTokenListener = {OnTokenDone};

wl_surface* SurfaceOf(QWindow& window) {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_surface*>(
                        native->nativeResourceForWindow(QByteArrayLiteral("surface"), &window))
                  : nullptr;
}

// The token a launcher or Qt's tray item left for us, taken so that it is used once.
QString TakeEnvironmentToken() {
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    qunsetenv("XDG_ACTIVATION_TOKEN");
    return token;
}

} // namespace

std::unique_ptr<WaylandActivation> WaylandActivation::Open(bool tiling) {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = native ? static_cast<wl_display*>(native->nativeResourceForIntegration(
                                 QByteArrayLiteral("wl_display")))
                           : nullptr;
    if (!display)
        return nullptr;
    auto protocol = std::make_unique<Protocol>();
    protocol->display = display;
    protocol->queue = wl_display_create_queue(display);
    protocol->wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(protocol->wrapper), protocol->queue);
    protocol->registry = wl_display_get_registry(protocol->wrapper);
    wl_registry_add_listener(protocol->registry, &kRegistryListener, protocol.get());
    if (wl_display_roundtrip_queue(display, protocol->queue) < 0 || !protocol->activation) {
        qCInfo(lcDesktop) << "the compositor offers no xdg-activation: windows only ask for "
                             "attention";
        return nullptr;
    }
    return std::unique_ptr<WaylandActivation>(new WaylandActivation(std::move(protocol), tiling));
}

WaylandActivation::WaylandActivation(std::unique_ptr<Protocol> p, bool tiles)
    : protocol(std::move(p)), tiling(tiles) {}

WaylandActivation::~WaylandActivation() = default;

void WaylandActivation::BringToFront(QWidget& window, const QString& givenToken) {
    // A minimised window stays mapped but is not exposed until the compositor shows it
    // again, which is what the token asks for: it needs no waiting.
    const bool minimised = window.isMinimized();
    if (minimised)
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    const QString token = givenToken.isEmpty() ? TakeEnvironmentToken() : givenToken;
    WhenMapped(window, minimised, [this, token](QWindow& handle) {
        if (!token.isEmpty()) {
            Activate(handle, token);
        } else if (QGuiApplication::focusWindow()) {
            // We have the keyboard: Qt asks for a token with the operator's last input.
            handle.requestActivate();
        } else {
            AskForAttention(handle);
        }
    });
}

void WaylandActivation::WhenMapped(QWidget& window, bool mapped,
                                   std::function<void(QWindow&)> step) {
    QWindow* handle = window.windowHandle();
    if (handle && (mapped || handle->isExposed()) && SurfaceOf(*handle)) {
        step(*handle);
        return;
    }
    // Shown just now: the surface gets its first picture on the expose, after which the
    // compositor knows the window.
    QPointer<QWidget> guard(&window);
    auto* poll = new QTimer(this);
    poll->setInterval(20);
    auto waited = std::make_shared<int>(0);
    connect(poll, &QTimer::timeout, this, [guard, poll, waited, step = std::move(step)] {
        *waited += poll->interval();
        QWindow* handle = guard ? guard->windowHandle() : nullptr;
        if (handle && handle->isExposed() && SurfaceOf(*handle)) {
            poll->deleteLater();
            poll->stop();
            step(*handle);
        } else if (!guard || *waited >= kMapWaitMs) {
            poll->deleteLater();
            poll->stop();
        }
    });
    poll->start();
}

void WaylandActivation::Activate(QWindow& window, const QString& token) {
    wl_surface* surface = SurfaceOf(window);
    if (!surface)
        return;
    qCInfo(lcDesktop).noquote() << "activating" << window.title() << "with the desktop's token";
    xdg_activation_v1_activate(protocol->activation, token.toUtf8().constData(), surface);
    wl_display_flush(protocol->display);
}

// A token for our own surface without an input serial: the compositor will not move the
// focus for it, but marks the window as wanting attention.
void WaylandActivation::AskForAttention(QWindow& window) {
    wl_surface* surface = SurfaceOf(window);
    if (!surface)
        return;
    QString token;
    xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(protocol->activation);
    xdg_activation_token_v1_add_listener(request, &kTokenListener, &token);
    xdg_activation_token_v1_set_surface(request, surface);
    const QByteArray appId = QGuiApplication::desktopFileName().toUtf8();
    if (!appId.isEmpty())
        xdg_activation_token_v1_set_app_id(request, appId.constData());
    xdg_activation_token_v1_commit(request);
    wl_display_roundtrip_queue(protocol->display, protocol->queue);
    xdg_activation_token_v1_destroy(request);
    qCInfo(lcDesktop).noquote() << window.title() << "asks for attention (no activation token)";
    if (!token.isEmpty()) {
        xdg_activation_v1_activate(protocol->activation, token.toUtf8().constData(), surface);
        wl_display_flush(protocol->display);
    }
}

} // namespace olvex
