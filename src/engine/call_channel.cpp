#include "call_channel.h"

#include "agent_client.h"
#include "chat_call.h"
#include "engine_log.h"
#include "protocol.h"
#include "result_code.h"

#include <system_error>

namespace olvex {

namespace {

constexpr int32_t kWakeFallbackMs = 500;

// "call 17" for the main channel, "call 17 channel 2" for another.
std::string ChannelName(const CallChannel& channel) {
    std::string name = "call " + std::to_string(channel.Owner().callId);
    if (channel.Key() != 0)
        name += " channel " + std::to_string(channel.Key());
    return name;
}

} // namespace

CallChannel::CallChannel(int32_t key, ChatCall& owner) : key_(key), owner_(owner) {}

CallChannel::~CallChannel() {
    Shutdown(kClosedLocally);
}

void CallChannel::SetCallbacks(void* userData, const ChannelCallbacks& callbacks) {
    std::lock_guard lock(callbackMutex_);
    userData_ = userData;
    callbacks_ = callbacks;
}

int32_t CallChannel::Queue(const WireMessage& message) {
    if (message.Length() <= 0)
        return ResultCode::MessageEmpty;
    if (stop_.load(std::memory_order_acquire) != 0)
        return ResultCode::SendFailed;
    queue_.PushCopy(message);
    Wake();
    // The connection may have failed meanwhile, after the queue was reported.
    if (endReason_.load(std::memory_order_acquire) == kConnectionLost)
        FailQueued();
    return ResultCode::Ok;
}

void CallChannel::FailQueued() {
    while (auto message = queue_.Pop())
        RaiseError(message->Code(), ResultCode::SendFailed);
}

int32_t CallChannel::Open(const CallEndpoint& endpoint) {
    ReapableThread::CollectFinished();
    Shutdown(kClosedLocally);
    connection_.SetTimeout(endpoint.timeout);
    connection_.SetTls(endpoint.tls);
    connection_.SetLogSink(owner_.Engine().logSink);

    const int32_t joinCode = key_ == 0 ? protocol::kJoinCall : protocol::kJoinChannel;
    int32_t result = [&]() -> int32_t {
        if (endpoint.host.empty())
            return ResultCode::Connect;
        int32_t rc = connection_.Connect(endpoint.host, endpoint.port);
        if (rc <= 0)
            return rc;
        WireMessage join(joinCode);
        join.AddInt(owner_.callId);
        join.AddInt(endpoint.ownUserId);
        join.AddInt(key_);
        join.AddInt(protocol::kKindOperator);
        rc = join.Send(connection_);
        if (rc <= 0)
            return rc;
        WireMessage answer;
        rc = answer.Receive(connection_);
        if (rc <= 0)
            return rc;
        if (answer.Code() == protocol::kFailed) {
            // The server's error code; one that does not read as a failure
            // must not turn a refused join into an open call.
            int32_t error = answer.GetInt(2);
            return error < 0 ? error : ResultCode::MessageParameters;
        }
        if (answer.Code() != protocol::kSucceeded)
            return ResultCode::MessageCommand;
        if (answer.GetInt(1) != joinCode)
            return ResultCode::MessageParameters;

        endReason_.store(0, std::memory_order_release);
        stop_.store(0, std::memory_order_release);
        try {
            // A thread left busy in a callback by a Close keeps its channel and
            // call alive until it returns.
            std::lock_guard lock(threadMutex_);
            receiveThread_ = ReapableThread::Start(
                [self = shared_from_this(), owner = owner_.weak_from_this().lock()] {
                    self->ReceiveLoop();
                });
            sendThread_ = ReapableThread::Start(
                [self = shared_from_this(), owner = owner_.weak_from_this().lock()] {
                    self->SendLoop();
                });
        } catch (const std::system_error&) {
            return ResultCode::ThreadCreate;
        }
        return ResultCode::Ok;
    }();

    if (result != ResultCode::Ok)
        Shutdown(kClosedLocally);
    return result;
}

int32_t CallChannel::Close(int32_t reason) {
    Shutdown(reason);
    if (reason == kConnectionLost)
        FailQueued();
    RaiseClosed(reason);
    return ResultCode::Ok;
}

void CallChannel::Shutdown(int32_t reason) {
    int32_t open = 0;
    endReason_.compare_exchange_strong(open, reason, std::memory_order_acq_rel);
    stop_.store(1, std::memory_order_release);
    connection_.Close(); // ends a Receive or a blocked Send at once
    Wake();
    if (reason == kConnectionLost)
        return; // runs on a channel thread; the next Close or the destructor joins
    ReapableThread send, receive;
    {
        std::lock_guard lock(threadMutex_);
        send = std::move(sendThread_);
        receive = std::move(receiveThread_);
    }
    send.JoinWithin(kJoinWait);
    receive.JoinWithin(kJoinWait);
}

void CallChannel::EndByItself(const std::string& why) {
    int32_t running = 0;
    if (stop_.compare_exchange_strong(running, 1, std::memory_order_acq_rel)) {
        EngineLog(owner_.Engine().logSink, LogLevel::Warning, ChannelName(*this) + ": " + why);
        Close(kConnectionLost);
    }
}

void CallChannel::SendLoop() {
    wake_.Acquire(kWakeFallbackMs);
    while (stop_.load(std::memory_order_acquire) == 0) {
        auto message = queue_.Pop();
        if (!message) {
            wake_.Acquire(kWakeFallbackMs);
            continue;
        }
        int32_t rc = message->Send(connection_);
        if (rc == message->Length()) {
            RaiseSent(*message);
        } else if (stop_.load(std::memory_order_acquire) == 0) {
            // Part of the frame may be on the wire: anything sent after it would be
            // misread, so the channel ends here. (Cut off by Close: dropped quietly.)
            EngineLog(owner_.Engine().logSink, LogLevel::Warning,
                      ChannelName(*this) + ": message " + std::to_string(message->Code()) +
                          " not sent: " + ResultLine(rc));
            RaiseError(message->Code(), ResultCode::SendFailed);
            EndByItself("connection given up after a failed send");
        }
    }
}

void CallChannel::ReceiveLoop() {
    WireMessage message;
    int32_t last = ResultCode::Timeout;
    while (stop_.load(std::memory_order_acquire) == 0) {
        if (last <= 0 && last != ResultCode::Timeout)
            break;
        last = message.Receive(connection_);
        if (last > 0)
            Dispatch(message);
    }
    EndByItself("connection lost: " + ReceiveEndLine(last, message));
}

void CallChannel::Dispatch(const WireMessage& message) {
    const int32_t code = message.Code();
    const int32_t request = message.GetInt(1);
    const LogSink& log = owner_.Engine().logSink;
    switch (code) {
    case protocol::kChatItem:
        RaiseChatItem(message);
        return;
    case protocol::kSucceeded:
        if (request == protocol::kRequestUsers) {
            owner_.Participants().LoadFromMessage(message);
            owner_.Raise(&CallCallbacks::OnParticipantsReceived);
        } else if (request == protocol::kInviteOperator) {
            if (!owner_.Callbacks().OnOperatorInvited)
                return;
            if (auto user =
                    owner_.Engine().Users().Find(message.GetInt(2), protocol::kKindOperator))
                owner_.Raise(&CallCallbacks::OnOperatorInvited, *user);
        } else {
            owner_.Raise(&CallCallbacks::OnCallError, protocol::kSucceeded, request);
        }
        return;
    case protocol::kFailed:
        EngineLog(log, LogLevel::Info,
                  ChannelName(*this) + ": server error answer to request " +
                      std::to_string(request) + ": " + ResultLine(message.GetInt(2)));
        owner_.Raise(&CallCallbacks::OnCallError, request, message.GetInt(2));
        return;
    case protocol::kNotification:
        switch (request) {
        case protocol::kEventParticipantJoined: {
            UserRecord entry;
            entry.userId = message.GetInt(2);
            entry.kind = message.GetInt(3);
            entry.auxNumber = message.GetInt(4);
            entry.firstName = message.GetText(5).value_or(std::string());
            entry.lastName = message.GetText(6).value_or(std::string());
            entry.status = protocol::kStatusOnline;
            auto& participants = owner_.Participants();
            if (participants.Find(entry.userId, entry.kind))
                return;
            EngineLog(log, LogLevel::Info,
                      ChannelName(*this) + ": user " + std::to_string(entry.userId) + " (kind " +
                          std::to_string(entry.kind) + ") joined");
            if (auto added = participants.Add(entry))
                owner_.Raise(&CallCallbacks::OnParticipantJoined, *added);
            return;
        }
        case protocol::kEventParticipantLeft:
            EngineLog(log, LogLevel::Info,
                      ChannelName(*this) + ": user " + std::to_string(message.GetInt(2)) +
                          " (kind " + std::to_string(message.GetInt(3)) + ") left");
            if (auto left = owner_.Participants().Remove(message.GetInt(2), message.GetInt(3)))
                owner_.Raise(&CallCallbacks::OnParticipantLeft, *left);
            return;
        case protocol::kEventChannelNoticeFirst:
        case protocol::kEventChannelNoticeSecond:
            owner_.Raise(&CallCallbacks::OnChannelNotice, message.GetInt(2), message.GetInt(3),
                         message.GetInt(4), request == protocol::kEventChannelNoticeFirst ? 0 : 1);
            return;
        default:
            owner_.Raise(&CallCallbacks::OnCallError, protocol::kNotification, request);
            return;
        }
    default:
        EngineLog(log, LogLevel::Warning,
                  ChannelName(*this) + ": message of unknown type " + std::to_string(code));
        RaiseError(code, ResultCode::BadFrame);
        return;
    }
}

void CallChannel::RaiseChatItem(const WireMessage& message) {
    if (key_ == 0)
        return owner_.Raise(&CallCallbacks::OnChatMessage, message);
    std::unique_lock lock(callbackMutex_);
    auto fn = callbacks_.OnChatItem;
    void* userData = userData_;
    lock.unlock();
    if (fn)
        fn(userData, message);
}

void CallChannel::RaiseSent(const WireMessage& message) {
    if (key_ == 0)
        return owner_.Raise(&CallCallbacks::OnMessageSent, message);
    std::unique_lock lock(callbackMutex_);
    auto fn = callbacks_.OnSent;
    void* userData = userData_;
    lock.unlock();
    if (fn)
        fn(userData, message);
}

void CallChannel::RaiseClosed(int32_t reason) {
    if (key_ == 0)
        return owner_.RaiseClosed(reason);
    std::unique_lock lock(callbackMutex_);
    auto fn = callbacks_.OnClosed;
    void* userData = userData_;
    lock.unlock();
    if (fn)
        fn(userData, reason);
}

void CallChannel::RaiseError(int32_t code, int32_t detail) {
    if (key_ == 0)
        return owner_.Raise(&CallCallbacks::OnCallError, code, detail);
    std::unique_lock lock(callbackMutex_);
    auto fn = callbacks_.OnError;
    void* userData = userData_;
    lock.unlock();
    if (fn)
        fn(userData, code, detail);
}

} // namespace olvex
