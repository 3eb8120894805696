#pragma once

#include "idle_source.h"

#include <memory>

namespace olvex {

// Idle time from the X server's screen saver extension. It counts the input of the whole X
// session, whichever program has the focus.
class X11IdleSource : public IdleSource {
public:
    // Null when the display cannot be opened or has no screen saver extension. A null
    // display name means $DISPLAY.
    static std::unique_ptr<X11IdleSource> Open(const char* displayName = nullptr);
    ~X11IdleSource() override;

    std::optional<IdleSample> Sample() override;
    QString Description() const override;

private:
    struct Connection;
    explicit X11IdleSource(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection;
};

} // namespace olvex
