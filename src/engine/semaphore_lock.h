#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace olvex {

// A semaphore with a maximum count of 1: the lock of every engine list, and
// the wake-up signal of a send thread. Unlike std::binary_semaphore, releasing
// a signal that is already set is defined: it is refused with -10.
class SemaphoreLock {
public:
    explicit SemaphoreLock(bool set = true) : available_(set) {}
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

    // Takes the count. `milliseconds` below 0 waits without limit.
    // Returns 0, or -10 when the count did not become free in time.
    int32_t Acquire(int32_t milliseconds);
    // Gives the count back. Returns 0, or -10 when it was already there
    // (the signal stays set).
    int32_t Release();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool available_;
};

// Holds a SemaphoreLock for one scope.
class SemaphoreGuard {
public:
    explicit SemaphoreGuard(SemaphoreLock& lock) : lock_(lock) { lock_.Acquire(-1); }
    ~SemaphoreGuard() { lock_.Release(); }
    SemaphoreGuard(const SemaphoreGuard&) = delete;
    SemaphoreGuard& operator=(const SemaphoreGuard&) = delete;

private:
    SemaphoreLock& lock_;
};

} // namespace olvex
