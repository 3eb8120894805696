#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace olvex {

// A thread that its owner can stop waiting for. When the owner's wait runs out
// (a callback on the thread is busy) or the owner runs on the thread itself,
// the thread goes to a process-wide reaper, which joins it once it has
// returned: at the next collection, or at process exit. No thread is killed.
class ReapableThread {
public:
    ReapableThread() = default;
    ReapableThread(ReapableThread&&) = default;
    ReapableThread& operator=(ReapableThread&& other) noexcept;
    ~ReapableThread() { JoinOrDefer(); }

    // Starts `body` on a new thread; throws std::system_error like std::thread.
    template <class F> static ReapableThread Start(F&& body) {
        ReapableThread t;
        t.state_ = std::make_shared<State>();
        t.thread_ = std::thread([state = t.state_, body = std::forward<F>(body)]() mutable {
            {
                // What the body holds goes before the thread counts as finished.
                auto run = std::move(body);
                run();
            }
            state->Finish();
        });
        return t;
    }

    bool IsRunning() const { return thread_.joinable(); }
    struct State;
    // What tells that the body has returned, kept by whoever must wait for the thread after
    // its handle has gone to the reaper.
    std::shared_ptr<State> Completion() const { return state_; }
    bool IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }
    std::thread::id Id() const { return thread_.get_id(); }
    // Joins the thread, or, when called on the thread itself, hands it to the reaper.
    void JoinOrDefer();
    // Joins the thread if it returns within `wait`; otherwise hands it to the
    // reaper. True when it was joined.
    bool JoinWithin(std::chrono::milliseconds wait);

    // Joins the handed-over threads that have returned.
    static void CollectFinished();
    // Handed-over threads still running.
    static int PendingCount();

    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        bool finished = false;
        void Finish() {
            std::lock_guard lock(mutex);
            finished = true;
            cv.notify_all();
        }
        bool WaitFor(std::chrono::milliseconds wait) {
            std::unique_lock lock(mutex);
            return cv.wait_for(lock, wait, [this] { return finished; });
        }
    };

private:
    void Defer();

    std::thread thread_;
    std::shared_ptr<State> state_;
};

} // namespace olvex
