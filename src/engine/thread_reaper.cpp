#include "thread_reaper.h"

#include <mutex>
#include <vector>

namespace olvex {

namespace {

struct Deferred {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

class Reaper {
public:
    ~Reaper() {
        // At exit every handed-over thread is past its owner's Close and about to return.
        std::vector<Deferred> all;
        {
            std::lock_guard lock(mutex_);
            all.swap(threads_);
        }
        for (auto& d : all) {
            if (d.thread.get_id() != std::this_thread::get_id())
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
                if (it->done->load(std::memory_order_acquire) &&
                    it->thread.get_id() != std::this_thread::get_id()) {
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

private:
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
        done_ = std::move(other.done_);
    }
    return *this;
}

void ReapableThread::JoinOrDefer() {
    if (!thread_.joinable())
        return;
    if (IsCurrent())
        TheReaper().Add({std::move(thread_), std::move(done_)});
    else
        thread_.join();
    done_.reset();
}

void ReapableThread::CollectFinished() {
    TheReaper().Collect();
}

} // namespace olvex
