#include "chat_call.h"

#include "call_channel.h"
#include "protocol.h"
#include "result_code.h"

namespace olvex {

ChatCall::ChatCall(int32_t id, AgentClient& engine) : callId(id), engine_(engine) {}

// The channels raise this call's slots while they close, so they go first.
ChatCall::~ChatCall() {
    channels_.Clear();
}

void ChatCall::SetCallbacks(void* userData, const CallCallbacks& callbacks) {
    int32_t lateEnd = 0;
    {
        std::lock_guard lock(callbackMutex_);
        userData_ = userData;
        callbacks_ = callbacks;
        if (endReason_ != 0 && !endReported_ && callbacks.OnCallClosed) {
            endReported_ = true;
            lateEnd = endReason_;
        }
    }
    if (lateEnd != 0)
        callbacks.OnCallClosed(userData, lateEnd);
}

void ChatCall::RaiseClosed(int32_t reason) {
    void* userData;
    decltype(CallCallbacks::OnCallClosed) fn;
    {
        std::lock_guard lock(callbackMutex_);
        if (endReason_ == 0)
            endReason_ = reason;
        userData = userData_;
        fn = callbacks_.OnCallClosed;
        if (fn)
            endReported_ = true;
    }
    if (fn)
        fn(userData, reason);
}

CallCallbacks ChatCall::Callbacks() const {
    std::lock_guard lock(callbackMutex_);
    return callbacks_;
}

int32_t ChatCall::QueueMessage(const WireMessage& message) {
    auto main = channels_.Find(0);
    if (!main)
        return ResultCode::ChannelNotFound;
    return main->Queue(message);
}

int32_t ChatCall::RequestParticipants() {
    return QueueMessage(WireMessage(protocol::kRequestUsers));
}

int32_t ChatCall::InviteOperator(int32_t userId, std::string_view text) {
    WireMessage invite(protocol::kInviteOperator);
    invite.AddInt(userId);
    invite.AddText(text);
    return QueueMessage(invite);
}

} // namespace olvex
