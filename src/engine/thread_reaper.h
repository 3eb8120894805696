#pragma once

#include <atomic>
#include <memory>
#include <thread>

namespace olvex {

// A thread started through ReapableThread can be let go by its own code (a
// callback running on it closed the object that owns it). Such a thread is
// handed to a process-wide reaper and joined once it has returned, by the next
// thread that collects, or at process exit. No thread is detached or killed.
class ReapableThread {
public:
    ReapableThread() = default;
    ReapableThread(ReapableThread&&) = default;
    ReapableThread& operator=(ReapableThread&& other) noexcept;
    ~ReapableThread() { JoinOrDefer(); }

    // Starts `body` on a new thread; throws std::system_error like std::thread.
    template <class F> static ReapableThread Start(F&& body) {
        ReapableThread t;
        t.done_ = std::make_shared<std::atomic<bool>>(false);
        t.thread_ = std::thread([done = t.done_, body = std::forward<F>(body)]() mutable {
            body();
            done->store(true, std::memory_order_release);
        });
        return t;
    }

    bool IsRunning() const { return thread_.joinable(); }
    bool IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }
    // Joins the thread, or, when called on the thread itself, hands it to the reaper.
    void JoinOrDefer();

    // Joins the handed-over threads that have returned.
    static void CollectFinished();

private:
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> done_;
};

} // namespace olvex
