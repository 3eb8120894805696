#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace olvex {

class CallChannel;
class ChatCall;
struct CallEndpoint;

// The channels of one call, by key.
class ChannelList {
public:
    ChannelList() = default;
    ~ChannelList() { Clear(); }
    ChannelList(const ChannelList&) = delete;
    ChannelList& operator=(const ChannelList&) = delete;

    std::shared_ptr<CallChannel> Find(int32_t key) const;
    // Opens a channel with `key` for `owner` and keeps it. 0, -33 when a
    // channel with that key exists or is being opened, or the open's failure.
    int32_t Open(int32_t key, ChatCall& owner, const CallEndpoint& endpoint);
    // Closes (reason 1) and drops every channel; their queued messages go with them.
    void Clear();
    // Ends the Opens running now at once and refuses later ones (-2).
    void Cancel();
    int Count() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<CallChannel>> channels_;
    std::vector<std::shared_ptr<CallChannel>> opening_;
    bool cancelled_ = false;
};

} // namespace olvex
