#pragma once

#include "semaphore_lock.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace olvex {

// An ordered list of shared elements, like SyncList, with an index by key beside it so that
// lookups, appends and removals by key do not scan. Keys may repeat: lookups and removals
// find the first element of a key in list order. One SemaphoreLock is held for the whole of
// each operation.
//
// Elements sit in insertion-ordered elements; a removal leaves an empty slot behind, and a count
// of live elements per range (a Fenwick tree) finds the i-th element without walking the list.
// The elements are packed again once half of them are empty.
template <typename T> class KeyedList {
public:
    using Pointer = std::shared_ptr<T>;
    using Key = uint64_t;

    KeyedList() = default;
    virtual ~KeyedList() = default;
    KeyedList(const KeyedList&) = delete;
    KeyedList& operator=(const KeyedList&) = delete;

    int32_t Count() const {
        SemaphoreGuard guard(lock_);
        return static_cast<int32_t>(live_);
    }

    // The element at `index` (from 0), or null outside the list.
    Pointer At(int32_t index) const {
        SemaphoreGuard guard(lock_);
        if (index < 0 || static_cast<size_t>(index) >= live_)
            return nullptr;
        return store_.elements[SlotOfRank(static_cast<size_t>(index))];
    }

    // Every element, in order, taken under one lock.
    std::vector<Pointer> Snapshot() const {
        SemaphoreGuard guard(lock_);
        std::vector<Pointer> out;
        out.reserve(live_);
        for (const Pointer& element : store_.elements) {
            if (element)
                out.push_back(element);
        }
        return out;
    }

    void Clear() {
        Storage old;
        {
            SemaphoreGuard guard(lock_);
            old.swap(store_);
            live_ = 0;
        }
        // Elements die here, outside the lock, unless a reader still holds one.
    }

protected:
    // The parts of the list that change together; swapped whole by Clear and Replace.
    struct Storage {
        std::vector<Pointer> elements;
        std::vector<uint32_t> liveCounts; // Fenwick tree over the elements, 1-based
        std::vector<uint32_t> nextOfKey;  // next slot holding the same key, or kNone
        struct Chain {
            uint32_t first;
            uint32_t last;
        };
        struct Hash {
            size_t operator()(Key key) const {
                // Ids come from the server; mixing keeps crafted ids from sharing buckets.
                key ^= key >> 33;
                key *= 0xff51afd7ed558ccdULL;
                key ^= key >> 33;
                return static_cast<size_t>(key);
            }
        };
        std::unordered_map<Key, Chain, Hash> chains;

        void swap(Storage& other) noexcept {
            elements.swap(other.elements);
            liveCounts.swap(other.liveCounts);
            nextOfKey.swap(other.nextOfKey);
            chains.swap(other.chains);
        }
    };
    static constexpr uint32_t kNone = UINT32_MAX;

    // Runs `f` under the list's lock.
    template <typename F> decltype(auto) Locked(F&& f) const {
        SemaphoreGuard guard(lock_);
        return f();
    }

    // The first element with that key, or null. Caller holds the lock.
    Pointer FindLocked(Key key) const {
        auto chain = store_.chains.find(key);
        return chain == store_.chains.end() ? nullptr : store_.elements[chain->second.first];
    }

    // Appends; caller holds the lock.
    void AppendLocked(Key key, Pointer element) {
        const auto slot = static_cast<uint32_t>(store_.elements.size());
        store_.elements.push_back(std::move(element));
        store_.nextOfKey.push_back(kNone);
        // A new tree node covers its own slot and the nodes below it.
        const size_t node = slot + 1;
        uint32_t count = 1;
        for (size_t step = 1; step < (node & (~node + 1)); step <<= 1)
            count += store_.liveCounts[node - step - 1];
        store_.liveCounts.push_back(count);
        ++live_;
        auto [chain, added] = store_.chains.try_emplace(key, typename Storage::Chain{slot, slot});
        if (!added) {
            store_.nextOfKey[chain->second.last] = slot;
            chain->second.last = slot;
        }
    }

    // Takes the first element of that key out of the list; null when absent. Caller holds
    // the lock.
    Pointer RemoveLocked(Key key) {
        auto chain = store_.chains.find(key);
        if (chain == store_.chains.end())
            return nullptr;
        const uint32_t slot = chain->second.first;
        const uint32_t next = store_.nextOfKey[slot];
        if (next == kNone)
            store_.chains.erase(chain);
        else
            chain->second.first = next;
        Pointer element = std::move(store_.elements[slot]);
        for (size_t node = slot + 1; node <= store_.liveCounts.size(); node += node & (~node + 1))
            --store_.liveCounts[node - 1];
        --live_;
        if (store_.elements.size() >= 64 && live_ * 2 < store_.elements.size())
            Pack();
        return element;
    }

    size_t CountLocked() const { return live_; }
    // The elements in order, empty ones included. Caller holds the lock.
    const std::vector<Pointer>& SlotsLocked() const { return store_.elements; }

    // Replaces the element that is first for its key. Caller holds the lock.
    void ReplaceFirstLocked(Key key, Pointer element) {
        auto chain = store_.chains.find(key);
        if (chain != store_.chains.end())
            store_.elements[chain->second.first] = std::move(element);
    }

    // Replaces the whole contents, in order, under one lock; the old elements die outside it.
    void Replace(std::vector<std::pair<Key, Pointer>> fresh) {
        KeyedList built;
        built.store_.elements.reserve(fresh.size());
        built.store_.liveCounts.reserve(fresh.size());
        built.store_.nextOfKey.reserve(fresh.size());
        built.store_.chains.reserve(fresh.size());
        for (auto& [key, element] : fresh)
            built.AppendLocked(key, std::move(element));
        {
            SemaphoreGuard guard(lock_);
            store_.swap(built.store_);
            std::swap(live_, built.live_);
        }
    }

private:
    // The slot of the element at `rank` (from 0); rank is below the live count.
    size_t SlotOfRank(size_t rank) const {
        const auto& tree = store_.liveCounts;
        size_t node = 0;
        size_t step = 1;
        while (step * 2 <= tree.size())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (node + step <= tree.size() && tree[node + step - 1] <= rank) {
                node += step;
                rank -= tree[node - 1];
            }
        }
        return node; // the slot after the last node whose prefix holds `rank` elements
    }

    // Drops the empty elements, keeping order and keys.
    void Pack() {
        Storage& s = store_;
        std::vector<uint32_t> moved(s.elements.size(), kNone);
        uint32_t packed = 0;
        for (size_t slot = 0; slot < s.elements.size(); ++slot) {
            if (!s.elements[slot])
                continue;
            moved[slot] = packed;
            if (packed != slot) {
                s.elements[packed] = std::move(s.elements[slot]);
                s.nextOfKey[packed] = s.nextOfKey[slot];
            }
            ++packed;
        }
        s.elements.resize(packed);
        s.nextOfKey.resize(packed);
        // Chains only ever hold live slots, so every link has a new place.
        for (uint32_t& link : s.nextOfKey) {
            if (link != kNone)
                link = moved[link];
        }
        for (auto& [key, chain] : s.chains) {
            chain.first = moved[chain.first];
            chain.last = moved[chain.last];
        }
        // With every slot live, each tree node counts the slots it covers.
        s.liveCounts.resize(packed);
        for (size_t node = 1; node <= packed; ++node)
            s.liveCounts[node - 1] = static_cast<uint32_t>(node & (~node + 1));
    }

    mutable SemaphoreLock lock_;
    Storage store_;
    size_t live_ = 0;
};

} // namespace olvex
