#include "channel_list.h"

#include "call_channel.h"
#include "result_code.h"

#include <algorithm>

namespace olvex {

std::shared_ptr<CallChannel> ChannelList::Find(int32_t key) const {
    std::lock_guard lock(mutex_);
    for (const auto& channel : channels_) {
        if (channel->Key() == key)
            return channel;
    }
    return nullptr;
}

int ChannelList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(channels_.size());
}

int32_t ChannelList::Open(int32_t key, ChatCall& owner, const CallEndpoint& endpoint) {
    auto channel = std::make_shared<CallChannel>(key, owner);
    {
        // The key is claimed before the slow connect, so two Opens of one key
        // never both get a channel.
        std::lock_guard lock(mutex_);
        auto hasKey = [key](auto& c) { return c->Key() == key; };
        if (std::ranges::any_of(opening_, hasKey) || std::ranges::any_of(channels_, hasKey))
            return ResultCode::ChannelNotFound;
        if (cancelled_)
            return ResultCode::Connect;
        opening_.push_back(channel);
    }
    int32_t result = channel->Open(endpoint);
    bool cancelled;
    {
        std::lock_guard lock(mutex_);
        opening_.erase(std::ranges::find(opening_, channel));
        cancelled = cancelled_;
        if (result == ResultCode::Ok && !cancelled)
            channels_.push_back(channel);
    }
    if (result == ResultCode::Ok && cancelled) {
        // Cancelled just as the handshake succeeded.
        channel->Close(CallChannel::kClosedLocally);
        result = ResultCode::Connect;
    }
    return result;
}

void ChannelList::Cancel() {
    std::vector<std::shared_ptr<CallChannel>> opening;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        opening = opening_;
    }
    for (auto& channel : opening)
        channel->Cancel();
}

void ChannelList::Clear() {
    // Closed outside the lock: a callback raised by the close (or a channel
    // thread being joined) may look for a channel of this list.
    std::vector<std::shared_ptr<CallChannel>> taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(channels_);
    }
    for (auto& channel : taken)
        channel->Close(CallChannel::kClosedLocally);
}

} // namespace olvex
