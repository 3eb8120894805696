#include "auto_away.h"

#include <algorithm>
#include <utility>

namespace olvex {

namespace {

// Idle readings from two polls disagree by a little even without input.
constexpr int64_t kInputToleranceMs = 500;

} // namespace

AutoAway::AutoAway(IdleSource* idleSource, Clock now, StatusCommand command)
    : source(idleSource), clock(std::move(now)), setStatus(std::move(command)) {}

void AutoAway::StatusConfirmed(int32_t confirmed) {
    if (status == 0 && confirmed != 0)
        activeSince = clock();
    status = confirmed;
    // A status the server confirmed that is not our away (someone else set it, or a new
    // log-in as online): nothing of ours is left to undo.
    if (ours && confirmed != 0 && confirmed != kAway)
        ours = false;
}

void AutoAway::StatusChosen(int32_t) {
    ours = false;
}

void AutoAway::Tick() {
    if (!Enabled()) {
        ours = false;
        return;
    }
    // Logged out (a lock meanwhile still reaches us): what we set waits for the log-in.
    if (status == 0)
        return;
    const std::optional<IdleSample> sample = source->Sample();
    if (!sample)
        return;
    const int64_t now = clock();
    const int64_t lastInput = now - sample->idleMs;
    const bool unlocked = wasLocked && !sample->locked;
    wasLocked = sample->locked;

    if (!ours) {
        const int64_t idle = std::min(sample->idleMs, now - activeSince);
        if (status == kOnline && (sample->locked || idle >= thresholdMs)) {
            ours = true;
            statusBefore = status;
            lastInputAtAway = lastInput;
            setStatus(kAway);
        }
        return;
    }
    // Input on the lock screen is no return: only the unlock is.
    if (sample->locked)
        return;
    if (unlocked || lastInput > lastInputAtAway + kInputToleranceMs) {
        ours = false;
        activeSince = now;
        setStatus(statusBefore);
    }
}

} // namespace olvex
