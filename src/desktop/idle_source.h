#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace olvex {

// What the desktop says about the operator's presence at one moment.
struct IdleSample {
    int64_t idleMs = 0;  // since the last keyboard or mouse input
    bool locked = false; // the screen is locked
};

// Where idle time and lock state come from (the X server, the session bus, a test).
class IdleSource {
public:
    virtual ~IdleSource() = default;
    // Nothing when the source cannot answer right now.
    virtual std::optional<IdleSample> Sample() = 0;
    // Which services answer, for the log.
    virtual QString Description() const = 0;
    // The service the idle time comes from, for people reading the Options dialog; empty
    // when this desktop tells only of the screen lock.
    virtual QString IdleFrom() const { return Description(); }
    // The services that tell of the screen lock; empty when none does.
    virtual QString LockFrom() const { return {}; }
    // Called when the source hears of a lock, an unlock or the operator's return between
    // samples; sources that only learn of them by sampling never call it.
    virtual void SetLockHandler(std::function<void()> handler) { (void)handler; }
};

} // namespace olvex
