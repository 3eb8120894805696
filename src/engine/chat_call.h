#pragma once

#include "channel_list.h"
#include "records.h"
#include "user_directory.h"
#include "wire_message.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

namespace olvex {

class AgentClient;

// The call window's slots, in this order. Empty slots are skipped; the first
// argument is the call's user data. Records and messages are lent for the call only.
struct CallCallbacks {
    void (*OnChatMessage)(void* userData, const WireMessage& message) = nullptr;
    void (*OnMessageSent)(void* userData, const WireMessage& message) = nullptr;
    void (*OnCallClosed)(void* userData, int32_t reason) = nullptr;
    void (*OnParticipantsReceived)(void* userData) = nullptr;
    void (*OnParticipantJoined)(void* userData, const UserRecord& user) = nullptr;
    void (*OnParticipantLeft)(void* userData, const UserRecord& user) = nullptr;
    void (*OnOperatorInvited)(void* userData, const UserRecord& user) = nullptr;
    void (*OnChannelNotice)(void* userData, int32_t a, int32_t b, int32_t c,
                            int32_t form) = nullptr;
    void (*OnCallError)(void* userData, int32_t code, int32_t detail) = nullptr;
};

// A call in progress: its participants, its channels (key 0 is the main one)
// and the callbacks of the window that shows it.
class ChatCall : public std::enable_shared_from_this<ChatCall> {
public:
    ChatCall(int32_t id, AgentClient& engine);
    ~ChatCall();
    ChatCall(const ChatCall&) = delete;
    ChatCall& operator=(const ChatCall&) = delete;

    const int32_t callId;

    UserDirectory& Participants() { return participants_; }
    ChannelList& Channels() { return channels_; }
    AgentClient& Engine() const { return engine_; }

    // Set by the call window right after the call was opened. Channel threads
    // read them under a lock, so they may change while the call runs. A call
    // that ended before any OnCallClosed was there to hear it reports its end
    // to the first table that has one, from inside this call.
    void SetCallbacks(void* userData, const CallCallbacks& callbacks);
    void ClearCallbacks() { SetCallbacks(nullptr, CallCallbacks{}); }
    CallCallbacks Callbacks() const;

    // Queues kRequestUsers on the main channel. 0, or -33 without a main channel.
    int32_t RequestParticipants();
    // Queues kInviteOperator (user id, text) on the main channel. 0 or -33.
    int32_t InviteOperator(int32_t userId, std::string_view text);
    // Queues any message on the main channel and wakes it. 0, -33, or -17 for an empty message.
    int32_t QueueMessage(const WireMessage& message);

    // OnCallClosed, remembered for a table installed later when nobody hears it now.
    void RaiseClosed(int32_t reason);

    // Raise one slot with the current user data; nothing when the slot is empty.
    template <class Slot, class... Args>
    void Raise(Slot CallCallbacks::*slot, Args&&... args) const {
        void* userData;
        Slot fn;
        {
            std::lock_guard lock(callbackMutex_);
            userData = userData_;
            fn = callbacks_.*slot;
        }
        if (fn)
            fn(userData, std::forward<Args>(args)...);
    }

private:
    AgentClient& engine_;
    UserDirectory participants_;
    ChannelList channels_;

    mutable std::mutex callbackMutex_;
    void* userData_ = nullptr;
    CallCallbacks callbacks_;
    int32_t endReason_ = 0;    // reason of the first close, 0 while the call runs
    bool endReported_ = false; // some OnCallClosed has heard the end
};

} // namespace olvex
