#include "operator_session.h"

#include "product_info.h"
#include "result_code.h"

#include <algorithm>
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
    cb.OnStatusChanged = [](void* u, int status) { Self(u).OnStatusConfirmed(status); };
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
        if (Self(u).HoldsRequest(kind))
            return;
        Self(u).Push(
            ev::CallRequest{callId, requesterId, kind, Text(text1), Text(text2), Text(text3)});
    };
    cb.OnServerError = [](void* u, int requestCode, int errorCode) {
        if (requestCode == protocol::kSetStatus) {
            // The server keeps the status it had: nothing more to wait for.
            std::lock_guard lock(Self(u).mutex_);
            Self(u).holdRequests_ = false;
        }
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
        if (loginsRunning_ > 0)
            --loginsRunning_;
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

bool OperatorSession::Login(OperatorConfig config, bool automatic) {
    uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (loginsRunning_ > 0 || closing_)
            return false;
        config_ = config;
        ++loginsRunning_;
        generation = ++loginGeneration_;
        StopRetries();
        refused_ = false;
        logoutForLoss_ = false;
        // Whoever logs in by hand is at the desk.
        wantedStatus_ = protocol::kStatusOnline;
    }
    wake_.notify_all();
    // Queued behind whatever the engine already reported (a logout just now, say), so that
    // the connecting state is what the reader is left with.
    Push(ev::Connecting{false});
    const LoginKind kind = automatic ? LoginKind::Automatic : LoginKind::Operator;
    const bool started = StartWorker([this, config = std::move(config), kind, generation] {
        RunLogin(config, kind, generation);
    });
    if (!started)
        Push(ev::LoginFinished{ResultCode::ThreadCreate, ResultText(ResultCode::ThreadCreate)});
    return true;
}

void OperatorSession::SetConfig(OperatorConfig config) {
    std::lock_guard lock(mutex_);
    config_ = std::move(config);
}

bool OperatorSession::LoginRunning() const {
    std::lock_guard lock(mutex_);
    return loginsRunning_ > 0;
}

bool OperatorSession::Reconnecting() const {
    std::lock_guard lock(mutex_);
    return reconnecting_;
}

namespace {

// Trying again cannot change the server's mind about these.
bool Refusal(int32_t result) {
    return result == ResultCode::Credentials || result == ResultCode::AppVersion;
}

} // namespace

void OperatorSession::RunLogin(const OperatorConfig& config, LoginKind kind, uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        tryGeneration_ = generation;
        // A request that comes with the log-in's answer is dispatched before OnLoggedIn runs.
        holdRequests_ = wantedStatus_ != protocol::kStatusOnline;
    }
    engine_.SetTls(config.tls);
    const int32_t result = engine_.Login(config.host, config.port, config.user, config.password);
    // The reason of a TLS failure is known only on this thread.
    std::string message = ResultMessage(result);
    bool cancelled = false;
    {
        // Queued under the lock, so that a Logout meanwhile either comes after these events
        // or finds nothing left to stop.
        std::lock_guard lock(mutex_);
        std::optional<ev::RetryScheduled> next;
        if (result != 0) {
            holdRequests_ = false;
            cancelled = closing_ || generation != loginGeneration_;
            if (cancelled) {
                // The operator's logout or log-in has settled the state already.
            } else if (kind == LoginKind::Retry && reconnecting_ && MayReconnect()) {
                next = ScheduleRetry(result, message);
            } else if (kind == LoginKind::Automatic && MayReconnect() && !Refusal(result)) {
                if (!retryingAtStart_)
                    retryAttempt_ = 0;
                reconnecting_ = true;
                retryingAtStart_ = true;
                next = ScheduleRetry(result, message);
            }
            if (!next && !cancelled)
                StopRetries();
        }
        Push(ev::LoginFinished{result, std::move(message), kind == LoginKind::Retry,
                               next.has_value(), cancelled});
        if (next)
            Push(std::move(*next));
    }
    wake_.notify_all();
}

void OperatorSession::OnLoggedIn() {
    if (closing_)
        return;
    int32_t status = protocol::kStatusOnline;
    bool stale = false;
    {
        std::lock_guard lock(mutex_);
        // The operator logged out just as this try began, before the engine could see it.
        stale = tryGeneration_ != loginGeneration_;
        if (!stale) {
            engaged_ = true;
            StopRetries();
        }
        status = wantedStatus_;
    }
    if (stale) {
        engine_.Logout(DisconnectReason::Logout);
        return;
    }
    // First of all: the server takes every log-in as online and may offer it a visitor's
    // request any moment now.
    if (status != protocol::kStatusOnline && engine_.SetStatus(status) < 0)
        return; // the engine has logged out, and a new reconnection is under way
    Push(ev::LoggedIn{status});
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
    // the same refusal, until the operator logs in again.
    const bool tooLarge =
        reason == DisconnectReason::ConnectionLost && result == ResultCode::MessageSize;
    {
        std::lock_guard lock(mutex_);
        const bool lost = (engaged_ && (reason == DisconnectReason::ConnectionLost ||
                                        reason == DisconnectReason::SendFailed)) ||
                          logoutForLoss_;
        engaged_ = false;
        logoutForLoss_ = false;
        std::optional<ev::RetryScheduled> next;
        if (tooLarge) {
            refused_ = true;
            ++keepAliveChain_;
            keepAliveRunning_ = false;
        } else if (lost && !closing_ && MayReconnect()) {
            // The keep-alives of a dead connection have nothing left to find out.
            ++keepAliveChain_;
            keepAliveRunning_ = false;
            reconnecting_ = true;
            retryingAtStart_ = false;
            retryAttempt_ = 0;
            next = ScheduleRetry(0, {});
            if (!next)
                StopRetries();
        }
        Push(ev::Disconnected{reason, result, reconnecting_});
        if (next)
            Push(std::move(*next));
        // Under the lock: a receive thread that ends by itself is not joined by Shutdown,
        // whose own locking waits for this instead.
        wake_.notify_all();
    }
}

void OperatorSession::OnStatusConfirmed(int32_t status) {
    {
        std::lock_guard lock(mutex_);
        if (status == wantedStatus_)
            holdRequests_ = false;
    }
    Push(ev::StatusChanged{status});
}

bool OperatorSession::HoldsRequest(int kind) {
    // Transfers are addressed by another operator, to this one: only the server's offers of
    // visitors depend on the status.
    if (kind != protocol::kCallKindRequest)
        return false;
    std::lock_guard lock(mutex_);
    return holdRequests_;
}

bool OperatorSession::MayReconnect() const {
    return config_.reconnect && !config_.user.empty() && !config_.password.empty() && !refused_ &&
           !closing_;
}

std::optional<ev::RetryScheduled> OperatorSession::ScheduleRetry(int32_t result,
                                                                 std::string message) {
    if (!retryThread_.joinable()) {
        try {
            retryThread_ = std::thread([this] { RetryLoop(); });
        } catch (const std::system_error&) {
            return std::nullopt;
        }
    }
    const size_t step = std::min<size_t>(size_t(retryAttempt_), retryDelays_.size() - 1);
    const std::chrono::milliseconds base = retryDelays_[step];
    const double share =
        retryJitter_ > 0 ? std::uniform_real_distribution<double>(0.0, retryJitter_)(random_) : 0;
    const std::chrono::milliseconds delay =
        base + std::chrono::milliseconds(int64_t(double(base.count()) * share));
    ++retryAttempt_;
    retryAt_ = std::chrono::steady_clock::now() + delay;
    return ev::RetryScheduled{delay,  *retryAt_,          retryAttempt_,
                              result, std::move(message), retryingAtStart_};
}

void OperatorSession::StopRetries() {
    reconnecting_ = false;
    retryingAtStart_ = false;
    retryAttempt_ = 0;
    retryAt_.reset();
}

void OperatorSession::RetryLoop() {
    std::unique_lock lock(mutex_);
    while (!closing_) {
        if (!retryAt_) {
            wake_.wait(lock);
            continue;
        }
        const auto due = *retryAt_;
        if (std::chrono::steady_clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        retryAt_.reset();
        if (!reconnecting_)
            continue;
        // The try runs here: the next one is never due before this one has ended. While no
        // log-in has been taken it is the automatic log-in once more.
        const OperatorConfig config = config_;
        const uint64_t generation = loginGeneration_;
        const LoginKind kind = retryingAtStart_ ? LoginKind::Automatic : LoginKind::Retry;
        ++loginsRunning_;
        Push(ev::Connecting{kind == LoginKind::Retry});
        lock.unlock();
        RunLogin(config, kind, generation);
        lock.lock();
    }
}

void OperatorSession::SetRetryDelays(std::vector<std::chrono::milliseconds> delays, double jitter) {
    std::lock_guard lock(mutex_);
    if (!delays.empty())
        retryDelays_ = std::move(delays);
    retryJitter_ = std::max(0.0, jitter);
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
    {
        std::lock_guard lock(mutex_);
        ++loginGeneration_;
        ++keepAliveChain_;
        keepAliveRunning_ = false;
        logoutForLoss_ = false;
        StopRetries();
    }
    wake_.notify_all();
    engine_.Logout(reason);
}

void OperatorSession::SetStatus(int32_t status) {
    {
        std::lock_guard lock(mutex_);
        wantedStatus_ = status;
        // Whatever the server confirms next is the operator's own choice.
        holdRequests_ = false;
    }
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
        if (keepAliveRunning_ || loginsRunning_ > 0 || reconnecting_ || refused_ || closing_)
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
        // A logout or log-in by the operator meanwhile clears this: no reconnection then.
        logoutForLoss_ = loginsRunning_ == 0;
    }
    Push(ev::KeepAliveFailed{kKeepAliveAttempts});
    // Reported as a loss, with the reconnection it starts.
    engine_.Logout(DisconnectReason::Logout);
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
    // Nothing starts it once closing_ is set.
    if (retryThread_.joinable())
        retryThread_.join();
    // A log-in that completed while the workers were joined.
    if (engine_.GetStatus() > 0)
        engine_.Logout(DisconnectReason::Shutdown);
    engine_.SetCallbacks(nullptr, AgentCallbacks{});
}

} // namespace olvex
