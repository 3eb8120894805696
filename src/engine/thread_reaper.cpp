#include "thread_reaper.h"

#include <vector>

namespace olvex {

namespace {

using namespace std::chrono_literals;

struct Deferred {
    std::thread thread;
    std::shared_ptr<ReapableThread::State> state;
};

class Reaper {
public:
    ~Reaper() {
        std::vector<Deferred> all;
        {
            std::lock_guard lock(mutex_);
            all.swap(threads_);
        }
        for (auto& d : all) {
            // A thread still stuck in a callback (a stalled output, say) must not hold
            // the process at exit: after a short wait the exit ends it with the rest.
            if (d.thread.get_id() != std::this_thread::get_id() && d.state->WaitFor(2s))
                d.thread.join();
            else
                d.thread.detach();
        }
    }

    void Add(Deferred d) {
        std::lock_guard lock(mutex_);
        threads_.push_back(std::move(d));
    }

    void Collect() {
        std::vector<Deferred> finished;
        {
            std::lock_guard lock(mutex_);
            for (auto it = threads_.begin(); it != threads_.end();) {
                if (IsFinished(*it) && it->thread.get_id() != std::this_thread::get_id()) {
                    finished.push_back(std::move(*it));
                    it = threads_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& d : finished)
            d.thread.join();
    }

    int Pending() {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (auto& d : threads_)
            n += !IsFinished(d);
        return n;
    }

private:
    static bool IsFinished(Deferred& d) {
        std::lock_guard lock(d.state->mutex);
        return d.state->finished;
    }

    std::mutex mutex_;
    std::vector<Deferred> threads_;
};

Reaper& TheReaper() {
    static Reaper reaper;
    return reaper;
}

} // namespace

ReapableThread& ReapableThread::operator=(ReapableThread&& other) noexcept {
    if (this != &other) {
        JoinOrDefer();
        thread_ = std::move(other.thread_);
        state_ = std::move(other.state_);
    }
    return *this;
}

void ReapableThread::Defer() {
    TheReaper().Add({std::move(thread_), std::move(state_)});
}

void ReapableThread::JoinOrDefer() {
    if (!thread_.joinable())
        return;
    if (IsCurrent())
        Defer();
    else
        thread_.join();
    state_.reset();
}

bool ReapableThread::JoinWithin(std::chrono::milliseconds wait) {
    if (!thread_.joinable())
        return true;
    if (IsCurrent() || !state_->WaitFor(wait)) {
        Defer();
        return false;
    }
    thread_.join();
    state_.reset();
    return true;
}

void ReapableThread::CollectFinished() {
    TheReaper().Collect();
}

int ReapableThread::PendingCount() {
    return TheReaper().Pending();
}

} // namespace olvex
