#pragma once

#include <chrono>
#include <cstdint>

namespace olvex {

// Milliseconds on the steady clock: for durations and deadlines, never for dates.
inline int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace olvex
