#pragma once

#include "message_queue.h"
#include "semaphore_lock.h"
#include "socket_channel.h"
#include "thread_reaper.h"
#include "wire_message.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace olvex {

class ChatCall;

// Slots of a channel whose key is not 0; they stand in for the owner's chat
// item, sent, closed and error slots. The first argument is the channel's own
// user data.
struct ChannelCallbacks {
    void (*OnChatItem)(void* userData, const WireMessage& message) = nullptr;
    void (*OnSent)(void* userData, const WireMessage& message) = nullptr;
    void (*OnClosed)(void* userData, int32_t reason) = nullptr;
    void (*OnError)(void* userData, int32_t code, int32_t detail) = nullptr;
};

// Where and as whom a channel connects: the engine's last log-in.
struct CallEndpoint {
    std::string host; // empty when the engine is not logged in
    int port = 0;
    int32_t ownUserId = 0;
    std::chrono::milliseconds timeout{20000};
    TlsConfig tls;
};

// One connection of a call: a send thread that empties the queue and a
// receive thread that dispatches what arrives. Close wakes both at once and
// waits for each at most kJoinWait; a thread that is still busy in a callback
// then, or that runs the Close itself, returns by itself and is reaped later.
class CallChannel : public std::enable_shared_from_this<CallChannel> {
public:
    enum CloseReason : int32_t { kClosedLocally = 1, kConnectionLost = 2 };
    static constexpr std::chrono::milliseconds kJoinWait{500};

    CallChannel(int32_t key, ChatCall& owner);
    virtual ~CallChannel();
    CallChannel(const CallChannel&) = delete;
    CallChannel& operator=(const CallChannel&) = delete;

    // Connects, joins the call (kJoinCall for key 0, else kJoinChannel) and starts both
    // threads. 0, or the failure; a failed channel is left closed.
    int32_t Open(const CallEndpoint& endpoint);
    // Stops the channel and raises the closed callback with `reason`.
    int32_t Close(int32_t reason);
    // Makes a running or later Open fail at once. The channel cannot connect again.
    void Cancel() { connection_.Abort(); }
    // Makes the send thread look at the queue now.
    void Wake() { wake_.Release(); }
    // Queues a copy of `message` and wakes the send thread. 0, -17 for an empty
    // message, -3 when the channel has stopped (nothing is queued then).
    int32_t Queue(const WireMessage& message);

    MessageQueue& Messages() { return queue_; }
    int32_t Key() const { return key_; }
    ChatCall& Owner() const { return owner_; }
    bool IsRunning() const { return stop_.load(std::memory_order_acquire) == 0; }

    // Own slots, used only when the key is not 0.
    void SetCallbacks(void* userData, const ChannelCallbacks& callbacks);

    // What the receive thread does with one message.
    void Dispatch(const WireMessage& message);

private:
    void Shutdown(int32_t reason);
    // The connection failed under one of the channel's own threads.
    void EndByItself(const std::string& why);
    // Reports every message still queued as not sent.
    void FailQueued();
    void SendLoop();
    void ReceiveLoop();
    void RaiseChatItem(const WireMessage& message);
    void RaiseSent(const WireMessage& message);
    void RaiseClosed(int32_t reason);
    void RaiseError(int32_t code, int32_t detail);

    MessageQueue queue_;
    const int32_t key_;
    std::atomic<int32_t> stop_{1};
    // 0 while open or never opened, else the reason of the first Close.
    std::atomic<int32_t> endReason_{0};
    ChatCall& owner_;
    SocketChannel connection_;
    SemaphoreLock wake_;

    std::mutex threadMutex_; // guards the two handles
    ReapableThread sendThread_;
    ReapableThread receiveThread_;

    mutable std::mutex callbackMutex_;
    void* userData_ = nullptr;
    ChannelCallbacks callbacks_;
};

} // namespace olvex
