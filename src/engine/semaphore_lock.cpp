#include "semaphore_lock.h"

#include "result_code.h"

#include <chrono>

namespace olvex {

int32_t SemaphoreLock::Acquire(int32_t milliseconds) {
    std::unique_lock lock(mutex_);
    if (milliseconds < 0) {
        cv_.wait(lock, [this] { return available_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [this] { return available_; })) {
        return ResultCode::Semaphore;
    }
    available_ = false;
    return ResultCode::Ok;
}

int32_t SemaphoreLock::Release() {
    {
        std::lock_guard lock(mutex_);
        if (available_)
            return ResultCode::Semaphore;
        available_ = true;
    }
    cv_.notify_one();
    return ResultCode::Ok;
}

} // namespace olvex
