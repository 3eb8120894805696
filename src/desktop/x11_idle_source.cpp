#include "x11_idle_source.h"

#include <cstdlib>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

namespace olvex {

struct X11IdleSource::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;
    ~Connection() {
        if (xcb)
            xcb_disconnect(xcb);
    }
};

std::unique_ptr<X11IdleSource> X11IdleSource::Open(const char* displayName) {
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    connection->xcb = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(connection->xcb))
        return nullptr;
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection->xcb, &xcb_screensaver_id);
    if (!extension || !extension->present)
        return nullptr;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0)
        return nullptr;
    connection->root = screens.data->root;
    auto source = std::unique_ptr<X11IdleSource>(new X11IdleSource(std::move(connection)));
    if (!source->Sample())
        return nullptr;
    return source;
}

X11IdleSource::X11IdleSource(std::unique_ptr<Connection> c) : connection(std::move(c)) {}

X11IdleSource::~X11IdleSource() = default;

std::optional<IdleSample> X11IdleSource::Sample() {
    if (xcb_connection_has_error(connection->xcb))
        return std::nullopt;
    xcb_screensaver_query_info_cookie_t cookie =
        xcb_screensaver_query_info(connection->xcb, connection->root);
    xcb_screensaver_query_info_reply_t* reply =
        xcb_screensaver_query_info_reply(connection->xcb, cookie, nullptr);
    if (!reply)
        return std::nullopt;
    IdleSample sample;
    sample.idleMs = reply->ms_since_user_input;
    std::free(reply);
    return sample;
}

QString X11IdleSource::Description() const {
    return QStringLiteral("X11 screen saver extension");
}

} // namespace olvex
