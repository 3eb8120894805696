#include "call_list.h"

#include "agent_client.h"
#include "call_channel.h"
#include "chat_call.h"
#include "engine_log.h"
#include "result_code.h"
#include "thread_reaper.h"

#include <algorithm>

namespace olvex {

namespace {

// Calls connect where the engine logged in, with the engine's channel time-out.
CallEndpoint EndpointOf(const AgentClient& engine) {
    CallEndpoint endpoint;
    endpoint.host = engine.ServerAddress();
    endpoint.port = engine.ServerPort();
    endpoint.ownUserId = engine.OwnUserId();
    endpoint.timeout = engine.Options().channelTimeout;
    endpoint.tls = engine.ServerTls();
    return endpoint;
}

} // namespace

// Collecting here also creates the thread reaper before any engine, so a
// process-wide engine destroyed at exit still finds it.
CallList::CallList(AgentClient& engine) : engine_(engine) {
    ReapableThread::CollectFinished();
}

CallList::~CallList() {
    Clear();
    // The given-up Opens return at once; they must be out before the list goes.
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return opening_.empty(); });
    lock.unlock();
    ReapableThread::CollectFinished();
}

void CallList::CancelLocked(Opening& opening) {
    opening.cancelled = true;
    opening.call->Channels().Cancel();
}

int CallList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(calls_.size());
}

std::shared_ptr<ChatCall> CallList::FindById(int32_t callId) const {
    std::lock_guard lock(mutex_);
    auto it = std::ranges::find_if(calls_, [callId](auto& c) { return c->callId == callId; });
    return it == calls_.end() ? nullptr : *it;
}

int32_t CallList::Open(int32_t callId) {
    ReapableThread::CollectFinished();
    auto call = std::make_shared<ChatCall>(callId, engine_);
    {
        // The id is claimed under the same lock hold as the check, so two
        // Opens of one id racing on two threads never both connect.
        std::lock_guard lock(mutex_);
        bool taken =
            clearing_ > 0 ||
            std::ranges::any_of(opening_, [callId](auto& o) { return o.call->callId == callId; }) ||
            std::ranges::any_of(calls_, [callId](auto& c) { return c->callId == callId; });
        if (taken) {
            EngineLog(engine_.logSink, LogLevel::Warning,
                      "call " + std::to_string(callId) + " not joined: it is already open");
            return ResultCode::CallNotFound;
        }
        opening_.push_back({call, false});
    }
    EngineLog(engine_.logSink, LogLevel::Info, "joining call " + std::to_string(callId));

    int32_t result = call->Channels().Open(0, *call, EndpointOf(engine_));

    if (result == ResultCode::Ok)
        EngineLog(engine_.logSink, LogLevel::Info, "joined call " + std::to_string(callId));
    else
        EngineLog(engine_.logSink, LogLevel::Warning,
                  "call " + std::to_string(callId) + " not joined: " + ResultLine(result));
    auto isThis = [&](auto& o) { return o.call == call; };
    std::unique_lock lock(mutex_);
    bool cancelled = std::ranges::find_if(opening_, isThis)->cancelled || clearing_ > 0;
    if (result == ResultCode::Ok && cancelled) {
        // Removed, or the list cleared, just as the handshake succeeded: the
        // call goes, before this Open stops counting as running.
        lock.unlock();
        Close(*call);
        lock.lock();
    }
    opening_.erase(std::ranges::find_if(opening_, isThis));
    if (result == ResultCode::Ok && !cancelled)
        calls_.push_back(call);
    // Under the lock: the list may be destroyed as soon as it sees no Open running.
    opened_.notify_all();
    if (cancelled)
        return ResultCode::CallNotFound;
    return result;
}

int32_t CallList::Remove(int32_t callId) {
    std::shared_ptr<ChatCall> call;
    {
        std::lock_guard lock(mutex_);
        auto it = std::ranges::find_if(calls_, [callId](auto& c) { return c->callId == callId; });
        if (it == calls_.end()) {
            auto pending = std::ranges::find_if(
                opening_, [callId](auto& o) { return o.call->callId == callId && !o.cancelled; });
            if (pending == opening_.end())
                return ResultCode::CallNotFound;
            CancelLocked(*pending);
            return ResultCode::Ok;
        }
        call = std::move(*it);
        calls_.erase(it);
    }
    Close(*call);
    ReapableThread::CollectFinished();
    return ResultCode::Ok;
}

void CallList::Clear() {
    std::vector<std::shared_ptr<ChatCall>> taken;
    {
        std::lock_guard lock(mutex_);
        ++clearing_;
        for (auto& opening : opening_)
            CancelLocked(opening);
        taken.swap(calls_);
    }
    for (auto& call : taken)
        Close(*call);
    std::lock_guard lock(mutex_);
    --clearing_;
}

void CallList::Close(ChatCall& call) {
    EngineLog(engine_.logSink, LogLevel::Info, "call " + std::to_string(call.callId) + " closed");
    call.Channels().Clear();
    call.RaiseClosed(1);
    call.ClearCallbacks();
    call.Participants().Clear();
}

} // namespace olvex
