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
    // A call still being opened is given up at once: its Open returns -28.
    // 0, or -28 when there is no such call. Waits at most about a second per
    // channel for threads busy in a callback.
    int32_t Remove(int32_t callId);
    // Removes every call, in list order, and gives up every Open still
    // connecting without waiting for it; Opens are refused until Clear returns.
    void Clear();
    int Count() const;

private:
    void Close(ChatCall& call);

    AgentClient& engine_;
    mutable std::mutex mutex_;
    std::condition_variable opened_;
    std::vector<std::shared_ptr<ChatCall>> calls_;
    struct Opening {
        std::shared_ptr<ChatCall> call;
        bool cancelled = false;
    };
    // Gives up an Open; under mutex_.
    static void CancelLocked(Opening& opening);

    std::vector<Opening> opening_;
    int clearing_ = 0;
};

} // namespace olvex
