#pragma once

#include <cstdint>

namespace olvex {

// Idle time rebuilt from a compositor that only says "idle" once no input came for a
// chosen stretch, and "resumed" at the next input: the operator has been idle since that
// stretch before the idle event. Before the first event nothing is known, which reads as
// active (the compositor tells within one stretch if the operator is idle).
class IdleEdges {
public:
    explicit IdleEdges(int64_t stretchMs) : stretch(stretchMs) {}

    int64_t StretchMs() const { return stretch; }
    void Idled(int64_t nowMs) {
        if (!idle) {
            idle = true;
            idleSince = nowMs - stretch;
        }
    }
    void Resumed() { idle = false; }
    int64_t IdleMs(int64_t nowMs) const {
        return idle && nowMs > idleSince ? nowMs - idleSince : 0;
    }

private:
    int64_t stretch;
    bool idle = false;
    int64_t idleSince = 0;
};

} // namespace olvex
