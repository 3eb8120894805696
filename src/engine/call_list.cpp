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
    ReapableThread::CollectFinished();
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
    {
        // The id is claimed under the same lock hold as the check, so two
        // Opens of one id racing on two threads never both connect.
        std::lock_guard lock(mutex_);
        bool taken = clearing_ > 0 || std::ranges::find(opening_, callId) != opening_.end() ||
                     std::ranges::any_of(calls_, [callId](auto& c) { return c->callId == callId; });
        if (taken) {
            EngineLog(engine_.logSink, LogLevel::Warning,
                      "call " + std::to_string(callId) + " not joined: it is already open");
            return ResultCode::CallNotFound;
        }
        opening_.push_back(callId);
    }
    EngineLog(engine_.logSink, LogLevel::Info, "joining call " + std::to_string(callId));

    auto call = std::make_shared<ChatCall>(callId, engine_);
    int32_t result = call->Channels().Open(0, *call, EndpointOf(engine_));

    bool refused = false;
    {
        std::lock_guard lock(mutex_);
        opening_.erase(std::ranges::find(opening_, callId));
        if (result == ResultCode::Ok) {
            if (clearing_ > 0)
                refused = true;
            else
                calls_.push_back(call);
        }
    }
    opened_.notify_all();
    if (result == ResultCode::Ok)
        EngineLog(engine_.logSink, LogLevel::Info, "joined call " + std::to_string(callId));
    else
        EngineLog(engine_.logSink, LogLevel::Warning,
                  "call " + std::to_string(callId) + " not joined: " + ResultLine(result));
    if (refused) {
        // The list is being cleared (engine going away): the late call goes too.
        Close(*call);
        return ResultCode::CallNotFound;
    }
    return result;
}

int32_t CallList::Remove(int32_t callId) {
    std::shared_ptr<ChatCall> call;
    {
        std::lock_guard lock(mutex_);
        auto it = std::ranges::find_if(calls_, [callId](auto& c) { return c->callId == callId; });
        if (it == calls_.end())
            return ResultCode::CallNotFound;
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
        std::unique_lock lock(mutex_);
        ++clearing_;
        opened_.wait(lock, [this] { return opening_.empty(); });
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
    call.Raise(&CallCallbacks::OnCallClosed, int32_t{1});
    call.ClearCallbacks();
    call.Participants().Clear();
}

} // namespace olvex
