#pragma once

#include "idle_edges.h"
#include "idle_source.h"

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace olvex {

// Idle time from the Wayland compositor: ext-idle-notify (KWin, sway 1.8 and later) or
// the older org_kde_kwin_idle (sway 1.7). It keeps a connection of its own to the
// compositor, so it works for a native Wayland run and under XWayland alike, and counts
// the input of every program on the seat. The compositor tells when no input came for
// kStretchMs and when input comes again; samples are rebuilt from that.
class WaylandIdleSource : public QObject, public IdleSource {
    Q_OBJECT

public:
    static constexpr int64_t kStretchMs = 1000;

    // Null without a compositor ($WAYLAND_DISPLAY) or when it offers neither protocol.
    static std::unique_ptr<WaylandIdleSource> Open();
    ~WaylandIdleSource() override;

    // Nothing once the compositor has gone.
    std::optional<IdleSample> Sample() override;
    QString Description() const override;
    // Told at once when the operator comes back.
    void SetLockHandler(std::function<void()> handler) override;

    struct Connection;

private:
    explicit WaylandIdleSource(std::unique_ptr<Connection> connection);
    void ReadEvents();

    std::unique_ptr<Connection> connection;
    QSocketNotifier* notifier = nullptr;
    std::function<void()> changed;
};

} // namespace olvex
