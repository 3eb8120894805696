#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace olvex {

class AgentClient;
class ChatCall;

// The calls in progress, each with its own connection to the server.
class CallList {
public:
    explicit CallList(AgentClient& engine);
    ~CallList();
    CallList(const CallList&) = delete;
    CallList& operator=(const CallList&) = delete;

    // Opens the call's main channel and keeps the call. 0, -28 when a call
    // with that id is open or being opened, or the failure of the channel.
    int32_t Open(int32_t callId);
    std::shared_ptr<ChatCall> FindById(int32_t callId) const;
    // Closes the call's channels, raises OnCallClosed(1) and forgets the call.
    // 0, or -28 when there is no such call.
    int32_t Remove(int32_t callId);
    // Removes every call, in list order. Opens still connecting are waited for
    // and their calls closed; later Opens are refused until Clear returns.
    void Clear();
    int Count() const;

private:
    void Close(ChatCall& call);

    AgentClient& engine_;
    mutable std::mutex mutex_;
    std::condition_variable opened_;
    std::vector<std::shared_ptr<ChatCall>> calls_;
    std::vector<int32_t> opening_;
    int clearing_ = 0;
};

} // namespace olvex
