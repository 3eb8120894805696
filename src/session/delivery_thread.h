#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace olvex {

// Where there is no UI thread (olvex-cli), the thread that hands a session's events over
// whenever the session wakes it: `deliver` runs on it once per wake-up, and once more at the
// end for what was queued by then.
class DeliveryThread {
public:
    explicit DeliveryThread(std::function<void()> deliver)
        : deliver_(std::move(deliver)), thread_([this] { Run(); }) {}
    ~DeliveryThread() { Finish(); }
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    // A session's wake hook: it only signals.
    void Wake() {
        std::lock_guard lock(mutex_);
        woken_ = true;
        ready_.notify_one();
    }
    // Delivers what is queued by now, then ends the thread.
    void Finish() {
        {
            std::lock_guard lock(mutex_);
            finishing_ = true;
            ready_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return woken_ || finishing_; });
            const bool last = finishing_;
            woken_ = false;
            lock.unlock();
            deliver_();
            if (last)
                return;
            lock.lock();
        }
    }

    std::function<void()> deliver_;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool woken_ = false;
    bool finishing_ = false;
    std::thread thread_; // last: it starts once everything above is in place
};

} // namespace olvex
