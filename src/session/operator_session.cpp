#include "operator_session.h"

#include "product_info.h"
#include "result_code.h"

#include <system_error>

namespace olvex {

namespace ev = operator_event;

namespace {

OperatorSession& Self(void* userData) {
    return *static_cast<OperatorSession*>(userData);
}

std::optional<std::string> Text(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

template <class Record>
std::vector<std::shared_ptr<const Record>> Shared(std::vector<std::shared_ptr<Record>> records) {
    return {std::make_move_iterator(records.begin()), std::make_move_iterator(records.end())};
}

// The directory's record when `page` is it, rather than a second copy of every page on a
// busy site; a copy otherwise.
std::shared_ptr<const PageRecord> SharedPage(AgentClient& engine, const PageRecord& page) {
    std::shared_ptr<const PageRecord> shared = engine.Pages().FindById(page.pageId);
    if (shared.get() != &page)
        shared = std::make_shared<const PageRecord>(page);
    return shared;
}

} // namespace

OperatorSession::OperatorSession(AgentClient& engine) : engine_(engine) {
    engine_.SetCallbacks(this, Callbacks());
}

OperatorSession::~OperatorSession() {
    Shutdown();
}

// Every handler copies what it needs and queues it; none waits for the reader, so a Logout
// on the reader's thread never has to sit out the engine's bounded stop.
AgentCallbacks OperatorSession::Callbacks() {
    AgentCallbacks cb;
    cb.OnLoggedIn = [](void* u) { Self(u).OnLoggedIn(); };
    cb.OnDisconnected = [](void* u, int reason) { Self(u).OnDisconnected(reason); };
    cb.OnStatusChanged = [](void* u, int status) { Self(u).Push(ev::StatusChanged{status}); };
    cb.OnUserListReceived = [](void* u) {
        Self(u).Push(ev::UserListReceived{Shared(Self(u).engine_.Users().Snapshot())});
    };
    cb.OnUserLoggedIn = [](void* u, const UserRecord& user) {
        Self(u).Push(ev::UserLoggedIn{user});
    };
    cb.OnUserLoggedOut = [](void* u, const UserRecord& user) {
        Self(u).Push(ev::UserLoggedOut{user});
    };
    cb.OnUserStatusChanged = [](void* u, const UserRecord& user) {
        Self(u).Push(ev::UserStatusChanged{user});
    };
    cb.OnPageListReceived = [](void* u) {
        Self(u).Push(ev::PageListReceived{Shared(Self(u).engine_.Pages().Snapshot())});
    };
    cb.OnPageEntered = [](void* u, const PageRecord& page) {
        Self(u).Push(ev::PageEntered{SharedPage(Self(u).engine_, page)});
    };
    cb.OnPageLeft = [](void* u, const PageRecord& page) {
        Self(u).Push(ev::PageLeft{std::make_shared<const PageRecord>(page)});
    };
    cb.OnVisitorInvited = [](void* u, const PageRecord& page) {
        Self(u).Push(ev::VisitorInvited{SharedPage(Self(u).engine_, page)});
    };
    cb.OnCallRequest = [](void* u, int callId, int requesterId, int kind, const char* text1,
                          const char* text2, const char* text3) {
        Self(u).Push(
            ev::CallRequest{callId, requesterId, kind, Text(text1), Text(text2), Text(text3)});
    };
    cb.OnServerError = [](void* u, int requestCode, int errorCode) {
        Self(u).Push(ev::ServerError{requestCode, errorCode});
    };
    return cb;
}

void OperatorSession::SetWake(std::function<void()> wake) {
    events_.SetWake(std::move(wake));
}

void OperatorSession::Deliver(OperatorObserver& observer) {
    for (const OperatorEvent& event : events_.Take()) {
        if (closing_)
            return;
        Settle(event);
        observer.OnEvent(event);
    }
}

void OperatorSession::Settle(const OperatorEvent& event) {
    std::lock_guard lock(mutex_);
    if (std::holds_alternative<ev::LoginFinished>(event)) {
        loginRunning_ = false;
        reconnecting_ = false;
    } else if (std::holds_alternative<ev::InvitationsFinished>(event)) {
        invitationsRunning_ = false;
    }
}

bool OperatorSession::StartWorker(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (closing_)
        return false;
    std::erase_if(workers_, [](Worker& worker) {
        if (!worker.done->load())
            return false;
        worker.thread.join();
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        workers_.push_back({std::thread([work = std::move(work), done] {
                                work();
                                done->store(true);
                            }),
                            done});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool OperatorSession::Login(OperatorConfig config) {
    {
        std::lock_guard lock(mutex_);
        if (loginRunning_ || closing_)
            return false;
        config_ = std::move(config);
        loginRunning_ = true;
        reconnecting_ = false;
        refused_ = false;
    }
    StartLogin(false);
    return true;
}

void OperatorSession::SetConfig(OperatorConfig config) {
    std::lock_guard lock(mutex_);
    config_ = std::move(config);
}

bool OperatorSession::LoginRunning() const {
    std::lock_guard lock(mutex_);
    return loginRunning_;
}

bool OperatorSession::Reconnecting() const {
    std::lock_guard lock(mutex_);
    return reconnecting_;
}

void OperatorSession::StartLogin(bool reconnecting) {
    OperatorConfig config;
    {
        std::lock_guard lock(mutex_);
        config = config_;
    }
    // Queued behind whatever the engine already reported (a logout just now, say), so that
    // the connecting state is what the reader is left with.
    Push(ev::Connecting{reconnecting});
    engine_.SetTls(config.tls);
    const bool started = StartWorker([this, config = std::move(config), reconnecting] {
        const int32_t result =
            engine_.Login(config.host, config.port, config.user, config.password);
        // The reason of a TLS failure is known only on this thread.
        Push(ev::LoginFinished{result, ResultMessage(result), reconnecting});
    });
    if (!started)
        Push(ev::LoginFinished{ResultCode::ThreadCreate, ResultText(ResultCode::ThreadCreate),
                               reconnecting});
}

void OperatorSession::OnLoggedIn() {
    if (closing_)
        return;
    Push(ev::LoggedIn{});
    // The worker waits for the answer; the receive thread runs on, and so does the reader.
    if (engine_.LatestClientVersion() > product::kClientVersion && !AwaitNewVersionAnswer())
        return;
    const int32_t users = engine_.RequestUserList();
    const int32_t pages = engine_.RequestPageList();
    Push(ev::ListsRequested{users, pages});
}

void OperatorSession::OnDisconnected(int reason) {
    const int32_t result = engine_.DisconnectResult();
    // A frame too large to take is no passing fault: no keep-alives, and no reconnection into
    // the same refusal every minute, until the operator logs in again.
    if (reason == DisconnectReason::ConnectionLost && result == ResultCode::MessageSize) {
        {
            std::lock_guard lock(mutex_);
            refused_ = true;
            ++keepAliveChain_;
            keepAliveRunning_ = false;
        }
        wake_.notify_all();
    }
    Push(ev::Disconnected{reason, result});
}

bool OperatorSession::AwaitNewVersionAnswer() {
    {
        std::lock_guard lock(mutex_);
        if (closing_)
            return false;
        versionQuestionOpen_ = true;
        versionAnswered_ = false;
    }
    Push(ev::NewVersionOffered{engine_.LatestClientVersion()});
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return versionAnswered_ || closing_; });
    versionQuestionOpen_ = false;
    return !closing_;
}

void OperatorSession::AnswerNewVersion() {
    {
        std::lock_guard lock(mutex_);
        if (!versionQuestionOpen_)
            return;
        versionAnswered_ = true;
    }
    wake_.notify_all();
}

void OperatorSession::Logout(int reason) {
    ResetKeepAlive();
    engine_.Logout(reason);
}

void OperatorSession::SetStatus(int32_t status) {
    const bool started = StartWorker([this, status] {
        const int32_t result = engine_.SetStatus(status);
        if (result < 0)
            Push(ev::StatusFailed{result});
    });
    if (!started)
        Push(ev::StatusFailed{ResultCode::ThreadCreate});
}

OperatorSession::Command OperatorSession::Invite(std::vector<int32_t> pageIds, std::string text) {
    {
        std::lock_guard lock(mutex_);
        if (invitationsRunning_)
            return Command::AlreadyRunning;
        if (pageIds.empty())
            return Command::NothingToDo;
        invitationsRunning_ = true;
    }
    const bool started = StartWorker([this, ids = std::move(pageIds), text = std::move(text)] {
        int32_t result = 0;
        for (const int32_t pageId : ids) {
            result = engine_.InviteVisitor(pageId, text.c_str());
            if (result < 0)
                break;
        }
        Push(ev::InvitationsFinished{result});
    });
    if (!started)
        Push(ev::InvitationsFinished{ResultCode::ThreadCreate});
    return Command::Accepted;
}

void OperatorSession::SetKeepAlivePause(std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex_);
    keepAlivePause_ = pause;
}

void OperatorSession::ResetKeepAlive() {
    {
        std::lock_guard lock(mutex_);
        ++keepAliveChain_;
        keepAliveRunning_ = false;
    }
    wake_.notify_all();
}

void OperatorSession::Tick() {
    uint64_t chain = 0;
    {
        std::lock_guard lock(mutex_);
        // A connection being made is not a dead one; neither is a tick still retrying.
        if (keepAliveRunning_ || loginRunning_ || refused_ || closing_)
            return;
        keepAliveRunning_ = true;
        chain = keepAliveChain_;
    }
    // A send may wait behind another worker's for the whole send time-out, and the caller
    // must not; the pauses between the attempts are the worker's too.
    if (!StartWorker([this, chain] { KeepAlive(chain); })) {
        // No thread: the next tick tries again.
        std::lock_guard lock(mutex_);
        if (chain == keepAliveChain_)
            keepAliveRunning_ = false;
    }
}

void OperatorSession::KeepAlive(uint64_t chain) {
    for (int attempt = 1; attempt <= kKeepAliveAttempts; ++attempt) {
        if (attempt > 1 && !Pause(chain))
            return;
        if (engine_.SendKeepAlive() >= 0) {
            std::lock_guard lock(mutex_);
            if (chain == keepAliveChain_)
                keepAliveRunning_ = false;
            return;
        }
    }
    KeepAliveLost(chain);
}

bool OperatorSession::Pause(uint64_t chain) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, keepAlivePause_, [&] { return closing_ || chain != keepAliveChain_; });
    return !closing_ && chain == keepAliveChain_;
}

void OperatorSession::KeepAliveLost(uint64_t chain) {
    {
        std::lock_guard lock(mutex_);
        if (closing_ || chain != keepAliveChain_)
            return;
        keepAliveRunning_ = false;
    }
    Push(ev::KeepAliveFailed{kKeepAliveAttempts});
    engine_.Logout(DisconnectReason::Logout);
    {
        // A logout or log-in by the operator meanwhile has reset the chain: no reconnection.
        std::lock_guard lock(mutex_);
        if (closing_ || chain != keepAliveChain_ || loginRunning_ || !config_.reconnect ||
            config_.user.empty() || config_.password.empty())
            return;
        loginRunning_ = true;
        reconnecting_ = true;
    }
    StartLogin(true);
}

void OperatorSession::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (closing_)
            return;
        // No worker starts after this, and the waits end.
        closing_ = true;
        ++keepAliveChain_;
    }
    wake_.notify_all();
    events_.Close();
    // Closing the connection ends every engine call a worker may be in.
    engine_.Logout(DisconnectReason::Shutdown);
    std::vector<Worker> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (Worker& worker : workers)
        worker.thread.join();
    // A log-in that completed while the workers were joined.
    if (engine_.GetStatus() > 0)
        engine_.Logout(DisconnectReason::Shutdown);
    engine_.SetCallbacks(nullptr, AgentCallbacks{});
}

} // namespace olvex
