#pragma once

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace olvex {

// The events of a session, in the order they happened, until their reader takes them. Any
// thread may push; one reader takes them in batches. The wake hook runs once for each batch,
// from the thread that pushed its first event, so a burst of a thousand events costs the
// reader one wake-up and one pass. The hook runs under the queue's lock, so once Close has
// returned it never runs again and whatever it posts to may go.
template <class Event> class EventQueue {
public:
    using Wake = std::function<void()>;

    // The hook only posts or signals; it must not call back into the queue.
    void SetWake(Wake hook) {
        std::lock_guard lock(mutex_);
        wake_ = std::move(hook);
        // Events that came before the reader was there.
        if (wake_ && !woken_ && !events_.empty()) {
            woken_ = true;
            wake_();
        }
    }

    void Push(Event event) {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        events_.push_back(std::move(event));
        if (woken_ || !wake_ || holds_ > 0)
            return;
        woken_ = true;
        wake_();
    }

    // Between these, pushes wake nobody: the events of one report reach the reader together,
    // with one wake-up, when the outermost batch ends.
    void BeginBatch() {
        std::lock_guard lock(mutex_);
        ++holds_;
    }
    void EndBatch() {
        std::lock_guard lock(mutex_);
        if (--holds_ > 0 || closed_ || woken_ || !wake_ || events_.empty())
            return;
        woken_ = true;
        wake_();
    }

    // Everything queued so far; the next push wakes the reader again.
    std::vector<Event> Take() {
        std::lock_guard lock(mutex_);
        woken_ = false;
        return std::exchange(events_, {});
    }

    // Drops what is queued and refuses the rest; the wake hook is never run again.
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        events_.clear();
        wake_ = nullptr;
    }

    bool Closed() const {
        std::lock_guard lock(mutex_);
        return closed_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
    Wake wake_;
    bool woken_ = false;
    int holds_ = 0;
    bool closed_ = false;
};

} // namespace olvex
