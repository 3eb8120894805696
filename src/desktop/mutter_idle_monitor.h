#pragma once

#include "idle_source.h"

#include <QObject>
#include <memory>

namespace olvex {

// Idle time from GNOME's compositor, which offers no Wayland idle protocol but answers on
// the session bus (org.gnome.Mutter.IdleMonitor). It counts the input of the whole
// session, natively and under XWayland. Answers arrive asynchronously: a sample gives the
// latest, so the window never waits for the bus.
class MutterIdleMonitor : public QObject, public IdleSource {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.gnome.Mutter.IdleMonitor";
    static constexpr const char* kPath = "/org/gnome/Mutter/IdleMonitor/Core";

    // Null when no idle monitor answers on the session bus.
    static std::unique_ptr<MutterIdleMonitor> Probe();

    std::optional<IdleSample> Sample() override;
    QString Description() const override;

private:
    MutterIdleMonitor() = default;

    int64_t idleMs = 0;
    bool pending = false;
    bool failing = false;
};

} // namespace olvex
