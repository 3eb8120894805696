#pragma once

#include "semaphore_lock.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

namespace olvex {

// An ordered list of shared elements guarded by one SemaphoreLock, held for
// the whole of each operation. Elements are handed out as shared pointers, so
// a reader on another thread keeps its element alive after it left the list.
template <typename T> class SyncList {
public:
    using Pointer = std::shared_ptr<T>;

    SyncList() = default;
    virtual ~SyncList() = default;
    SyncList(const SyncList&) = delete;
    SyncList& operator=(const SyncList&) = delete;

    int32_t Count() const {
        return WithLock([](const auto& items) { return static_cast<int32_t>(items.size()); });
    }

    // The element at `index` (from 0), or null outside the list.
    Pointer At(int32_t index) const {
        return WithLock([index](const auto& items) -> Pointer {
            if (index < 0 || static_cast<size_t>(index) >= items.size())
                return nullptr;
            return items[static_cast<size_t>(index)];
        });
    }

    // Every element, in order, taken under one lock.
    std::vector<Pointer> Snapshot() const {
        return WithLock(
            [](const auto& items) { return std::vector<Pointer>(items.begin(), items.end()); });
    }

    void PushBack(Pointer element) {
        WithLock([&](auto& items) { items.push_back(std::move(element)); });
    }

    // The oldest element, taken out of the list; null when empty.
    Pointer PopFront() {
        return WithLock([](auto& items) -> Pointer {
            if (items.empty())
                return nullptr;
            Pointer front = std::move(items.front());
            items.pop_front();
            return front;
        });
    }

    void Clear() {
        std::deque<Pointer> old;
        WithLock([&](auto& items) { old.swap(items); });
        // Elements die here, outside the lock, unless a reader still holds one.
    }

protected:
    template <typename F> decltype(auto) WithLock(F&& f) {
        SemaphoreGuard guard(lock_);
        return f(items_);
    }
    template <typename F> decltype(auto) WithLock(F&& f) const {
        SemaphoreGuard guard(lock_);
        return f(std::as_const(items_));
    }

    // Replaces the whole contents under one lock; the old elements die outside it.
    void ReplaceAll(std::deque<Pointer> fresh) {
        WithLock([&](auto& items) { items.swap(fresh); });
    }

private:
    mutable SemaphoreLock lock_;
    std::deque<Pointer> items_;
};

} // namespace olvex
