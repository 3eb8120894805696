#pragma once

#include "idle_source.h"

#include <cstdint>
#include <functional>

namespace olvex {

// Sets an online operator away after a stretch without input, or at once when the screen
// locks, and puts back the status from before at the first input or on unlock. It only ever
// undoes its own change: an operator who picks a status meanwhile, or was busy or away to
// begin with, is left alone. Statuses: 1 online, 2 busy, 3 away; 0 logged out.
class AutoAway {
public:
    using Clock = std::function<int64_t()>; // milliseconds, monotonic
    using StatusCommand = std::function<void(int32_t status)>;

    static constexpr int32_t kOnline = 1;
    static constexpr int32_t kAway = 3;

    // `source` may be null (no idle source on this desktop): the machine then does nothing.
    AutoAway(IdleSource* source, Clock clock, StatusCommand setStatus);

    void SetThresholdMs(int64_t ms) { thresholdMs = ms; }
    // Off without a source or with a threshold of 0 or less.
    bool Enabled() const { return source && thresholdMs > 0; }
    bool AwayIsOurs() const { return ours; }

    // The operator's own status as the server confirmed it; 0 when logged out. Our away
    // outlives a lost connection: the reconnection sets it again, and the operator's return
    // still undoes it. Any other status after the log-in ends it.
    void StatusConfirmed(int32_t status);
    // The operator picked a status: whatever we set is theirs from now on.
    void StatusChosen(int32_t status);
    // Called periodically: samples the source and acts.
    void Tick();

private:
    IdleSource* source;
    Clock clock;
    StatusCommand setStatus;
    int64_t thresholdMs = 0;
    int32_t status = 0;
    bool ours = false;
    int32_t statusBefore = 0;
    int64_t lastInputAtAway = 0; // on the clock
    // Log-in or our return: idle time from before it does not count.
    int64_t activeSince = 0;
    bool wasLocked = false;
};

} // namespace olvex
