#include "agent_client.h"

#include "engine_log.h"
#include "protocol.h"
#include "result_code.h"
#include "socket_channel.h"
#include "thread_reaper.h"
#include "wire_message.h"

#include <condition_variable>
#include <system_error>
#include <thread>

namespace olvex {

namespace {

bool IsPresenceStatus(int32_t status) {
    return status >= protocol::kStatusOnline && status <= protocol::kStatusAway;
}

std::string Endpoint(const char* host, int port) {
    return std::string(host ? host : "") + ":" + std::to_string(port);
}

// Visitors' and page addresses: for debug lines only.
std::string PageLine(const PageRecord& page) {
    return "page " + std::to_string(page.pageId) + ", visitor " +
           std::to_string(page.visitorNumber) + " at " + page.ipAddress + ", " + page.url;
}

std::mutex instanceMutex;
std::unique_ptr<AgentClient> instance;

} // namespace

// One log-in: its connection and the receive thread reading it. The thread
// holds the session, so a thread left behind by a bounded wait (or by the
// engine's destruction on that very thread) still has it.
struct AgentClient::Session {
    std::shared_ptr<SocketChannel> channel;
    std::string peer; // "host:port" for the log
    ReapableThread thread;
    std::thread::id threadId;
    // Whoever sets this first reports the end of the session: Logout, or the
    // receive thread when the connection ended by itself.
    std::atomic<bool> ended{false};
    // Its log-in is reported (or about to be); under mutex_.
    bool announced = false;

    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool finished = false;

    bool IsOwnThread() const { return threadId == std::this_thread::get_id(); }
    bool WaitFinished(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(doneMutex);
        return doneCv.wait_until(lock, deadline, [this] { return finished; });
    }
    bool IsFinished() {
        std::lock_guard lock(doneMutex);
        return finished;
    }
};

AgentClient::AgentClient(AgentOptions options) : options_(options) {}

AgentClient::~AgentClient() {
    Logout(DisconnectReason::Shutdown);
    // Threads still busy in a callback get the thread wait in all, then the reaper.
    const auto deadline = std::chrono::steady_clock::now() + options_.threadWait;
    std::vector<std::shared_ptr<Session>> retired;
    {
        std::lock_guard lock(mutex_);
        retired.swap(retired_);
    }
    for (auto& session : retired) {
        if (!session->IsOwnThread())
            session->WaitFinished(deadline);
        session->thread.JoinWithin(std::chrono::milliseconds(0));
    }
    SetCallbacks(nullptr, AgentCallbacks{});
    calls_.Clear();
    users_.Clear();
    pages_.Clear();
}

AgentClient* AgentClient::Instance() {
    std::lock_guard lock(instanceMutex);
    if (!instance)
        instance = std::make_unique<AgentClient>();
    return instance.get();
}

void AgentClient::DestroyInstance() {
    std::unique_ptr<AgentClient> doomed;
    {
        std::lock_guard lock(instanceMutex);
        doomed = std::move(instance);
    }
}

void AgentClient::SetCallbacks(void* userData, const AgentCallbacks& callbacks) {
    std::lock_guard lock(callbackMutex_);
    userData_ = userData;
    callbacks_ = callbacks;
}

AgentCallbacks AgentClient::Callbacks() const {
    std::lock_guard lock(callbackMutex_);
    return callbacks_;
}

void* AgentClient::UserData() const {
    std::lock_guard lock(callbackMutex_);
    return userData_;
}

template <class Slot, class... Args>
void AgentClient::Raise(const Session* session, Slot AgentCallbacks::*slot, Args&&... args) {
    Slot fn;
    void* data;
    {
        std::lock_guard lock(callbackMutex_);
        if (session != nullptr && session->ended.load())
            return;
        fn = callbacks_.*slot;
        data = userData_;
    }
    if (fn)
        fn(data, std::forward<Args>(args)...);
}

std::string AgentClient::ServerAddress() const {
    std::lock_guard lock(mutex_);
    return serverAddress_;
}

void AgentClient::SetTls(TlsConfig config) {
    std::lock_guard lock(mutex_);
    tls_ = std::move(config);
}

TlsConfig AgentClient::ServerTls() const {
    std::lock_guard lock(mutex_);
    return serverTls_;
}

std::shared_ptr<SocketChannel> AgentClient::CurrentChannel() const {
    std::lock_guard lock(mutex_);
    return session_ ? session_->channel : nullptr;
}

int32_t AgentClient::Login(const char* host, int port, const char* userName, const char* password) {
    const std::string where = Endpoint(host, port);
    EngineLog(logSink, LogLevel::Info,
              "logging in to " + where + " as " +
                  (userName ? "\"" + std::string(userName) + "\"" : std::string("nobody")));
    const int32_t result = OpenSession(host, port, userName, password);
    if (result != ResultCode::Ok)
        EngineLog(logSink, LogLevel::Warning,
                  "log-in to " + where + " failed: " + ResultLine(result));
    return result;
}

int32_t AgentClient::Authenticate(SocketChannel& channel, const char* userName,
                                  const char* password, int32_t& userId) {
    WireMessage request(protocol::kLogIn);
    request.AddText(userName);
    request.AddText(password);
    // Neither ever returns 0 for a frame; should one, it is no log-in.
    int32_t result = request.Send(channel);
    if (result <= 0)
        return result < 0 ? result : ResultCode::SendFailed;

    WireMessage answer;
    result = answer.Receive(channel);
    if (result <= 0)
        return result < 0 ? result : ResultCode::ConnectionLost;

    if (answer.Code() == protocol::kFailed) {
        int32_t error = answer.GetInt(2);
        // A refusal must never read as success, whatever the server put there.
        return error < 0 ? error : ResultCode::MessageParameters;
    }
    if (answer.Code() != protocol::kSucceeded)
        return ResultCode::MessageCommand;

    latestClientVersion_.store(answer.GetInt(3));
    userId = answer.GetInt(2);
    if (answer.GetInt(1) != protocol::kLogIn || userId <= 0)
        return ResultCode::MessageParameters;
    return ResultCode::Ok;
}

int32_t AgentClient::OpenSession(const char* host, int port, const char* userName,
                                 const char* password) {
    if (userName == nullptr || password == nullptr)
        return ResultCode::MessageParameters;
    std::lock_guard loginLock(loginMutex_);

    uint64_t generation;
    bool open;
    {
        std::lock_guard lock(mutex_);
        generation = logoutRequests_;
        open = session_ != nullptr;
    }
    if (open)
        EndSession(DisconnectReason::Logout, false);
    JoinFinished();

    auto channel = std::make_shared<SocketChannel>(options_.channelTimeout);
    channel->SetHeaderWait(options_.headerWait);
    channel->SetLogSink(logSink);
    TlsConfig tls;
    {
        std::lock_guard lock(mutex_);
        if (logoutRequests_ != generation)
            return ResultCode::ConnectionLost;
        loginChannel_ = channel;
        tls = tls_;
    }
    channel->SetTls(tls);
    struct ForgetLoginChannel {
        AgentClient& client;
        ~ForgetLoginChannel() {
            std::lock_guard lock(client.mutex_);
            client.loginChannel_.reset();
        }
    } forget{*this};
    int32_t result = channel->Connect(host ? host : "", port);
    if (result <= 0)
        return result;

    auto fail = [&](int32_t code) {
        channel->Close();
        return code;
    };
    int32_t userId = 0;
    result = Authenticate(*channel, userName, password, userId);
    if (result != ResultCode::Ok)
        return fail(result);

    auto session = std::make_shared<Session>();
    session->channel = channel;
    session->peer = Endpoint(host, port);
    {
        // State is in place before the thread can dispatch anything.
        std::lock_guard lock(mutex_);
        // A Logout asked since this log-in began wins: it is not reported at all.
        if (logoutRequests_ != generation)
            return fail(ResultCode::ConnectionLost);
        try {
            session->thread = ReapableThread::Start([this, session] { ReceiveLoop(session); });
        } catch (const std::system_error&) {
            return fail(ResultCode::ThreadCreate);
        }
        session->threadId = session->thread.Id();
        session_ = session;
        serverAddress_ = host ? host : "";
        serverTls_ = tls;
        serverPort_.store(port);
        ownUserId_.store(userId);
        status_.store(protocol::kStatusOnline);
        disconnectResult_.store(0);
    }
    {
        // The connection may already have failed under the new thread.
        std::lock_guard lock(mutex_);
        if (session->ended.load())
            return ResultCode::ConnectionLost; // the thread cleaned up, and reports nothing
        session->announced = true;
    }
    EngineLog(logSink, LogLevel::Info,
              "logged in to " + session->peer + " as user " + std::to_string(userId) +
                  ", newest client version " + std::to_string(latestClientVersion_.load()));
    Raise(nullptr, &AgentCallbacks::OnLoggedIn);
    return ResultCode::Ok;
}

int32_t AgentClient::Logout(int reason) {
    return EndSession(reason, true);
}

int32_t AgentClient::EndSession(int reason, bool requested) {
    std::shared_ptr<Session> session;
    std::shared_ptr<SocketChannel> connecting;
    {
        std::lock_guard lock(mutex_);
        if (requested)
            ++logoutRequests_;
        session = std::move(session_);
        session_.reset();
        connecting = loginChannel_;
    }
    // A log-in still connecting or waiting for its answer gives up now, not after its time-out.
    if (connecting)
        connecting->Abort();
    if (session) {
        session->ended.store(true);
        session->channel->Close();
        if (reason != DisconnectReason::ConnectionLost)
            StopSession(session);
        else {
            std::lock_guard lock(mutex_);
            retired_.push_back(session);
        }
    }
    {
        std::lock_guard lock(mutex_);
        ownUserId_.store(0);
        status_.store(0);
        serverAddress_.clear();
    }
    EngineLog(
        logSink, session ? LogLevel::Info : LogLevel::Debug,
        (session ? "logged out from " + session->peer : std::string("logout, not logged in")) +
            " (" + DisconnectReasonLine(reason) + ")");
    Raise(nullptr, &AgentCallbacks::OnDisconnected, reason);
    return ResultCode::Ok;
}

// Waits a bounded time for the receive thread. A thread that is still busy
// (in a callback, or the caller itself) goes to the reaper instead of being
// killed; the destructor still gives it the thread wait before it goes.
void AgentClient::StopSession(const std::shared_ptr<Session>& session) {
    if (session->thread.JoinWithin(session->IsOwnThread() ? std::chrono::milliseconds(0)
                                                          : options_.threadWait))
        return;
    std::lock_guard lock(mutex_);
    retired_.push_back(session);
}

void AgentClient::JoinFinished() {
    std::vector<std::shared_ptr<Session>> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = retired_.begin(); it != retired_.end();) {
            if ((*it)->IsFinished()) {
                done.push_back(std::move(*it));
                it = retired_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& session : done)
        session->thread.JoinOrDefer();
    ReapableThread::CollectFinished();
}

void AgentClient::ReceiveLoop(const std::shared_ptr<Session>& session) {
    SocketChannel& channel = *session->channel;
    WireMessage message;
    int32_t last = ResultCode::Timeout;
    while (channel.IsOpen()) {
        if (last <= 0 && last != ResultCode::Timeout)
            break;
        last = message.Receive(channel);
        if (last > 0)
            DispatchFor(message, session.get());
    }

    // Once the session has ended, the engine may be gone: nothing below touches it then.
    if (!session->ended.exchange(true)) {
        EngineLog(logSink, LogLevel::Warning,
                  "connection to " + session->peer + " lost: " + ReceiveEndLine(last, message) +
                      " (" + DisconnectReasonLine(DisconnectReason::ConnectionLost) + ")");
        channel.Close();
        bool announced;
        {
            std::lock_guard lock(mutex_);
            announced = session->announced;
            if (session_ == session) {
                retired_.push_back(std::move(session_));
                session_.reset();
                ownUserId_.store(0);
                status_.store(0);
                serverAddress_.clear();
            }
            disconnectResult_.store(last);
        }
        // A session whose log-in was never reported ends without a word: Login fails instead.
        if (announced)
            Raise(nullptr, &AgentCallbacks::OnDisconnected, DisconnectReason::ConnectionLost);
    }

    std::lock_guard lock(session->doneMutex);
    session->finished = true;
    session->doneCv.notify_all();
}

void AgentClient::Dispatch(const WireMessage& message) {
    DispatchFor(message, nullptr);
}

void AgentClient::DispatchFor(const WireMessage& message, const Session* session) {
    switch (message.Code()) {
    case protocol::kKeepAlive:
        return;
    case protocol::kSucceeded:
        return DispatchAnswer(message, session);
    case protocol::kFailed:
        return ServerError(session, message.GetInt(1), message.GetInt(2));
    case protocol::kNotification:
        return DispatchNotification(message, session);
    default:
        EngineLog(logSink, LogLevel::Warning,
                  "message of unknown type " + std::to_string(message.Code()));
        return ServerError(session, protocol::kUnknownMessage, message.GetInt(2));
    }
}

void AgentClient::ServerError(const Session* session, int32_t request, int32_t error) {
    EngineLog(logSink, LogLevel::Info,
              "server error answer to request " + std::to_string(request) + ": " +
                  ResultLine(error));
    Raise(session, &AgentCallbacks::OnServerError, request, error);
}

void AgentClient::DispatchAnswer(const WireMessage& message, const Session* session) {
    const int32_t a = message.GetInt(1);
    const int32_t b = message.GetInt(2);
    switch (a) {
    case protocol::kSetStatus: {
        // Anything but a presence status would read as "logged out" while
        // the connection is up.
        if (!IsPresenceStatus(b))
            return ServerError(session, a, b);
        {
            // An answer racing a Logout must not resurrect the status.
            std::lock_guard lock(mutex_);
            if (session != nullptr && session_.get() != session)
                return;
            status_.store(b);
        }
        EngineLog(logSink, LogLevel::Info, "status is now " + std::to_string(b));
        Raise(session, &AgentCallbacks::OnStatusChanged, b);
        return;
    }
    case protocol::kRequestUsers:
        EngineLog(logSink, LogLevel::Info,
                  "operator list: " + std::to_string(users_.LoadFromMessage(message)));
        Raise(session, &AgentCallbacks::OnUserListReceived);
        return;
    case protocol::kRequestPages:
        EngineLog(logSink, LogLevel::Info,
                  "page list: " + std::to_string(pages_.LoadFromMessage(message)));
        Raise(session, &AgentCallbacks::OnPageListReceived);
        return;
    case protocol::kInviteVisitor:
        EngineLog(logSink, LogLevel::Info,
                  "the server took the invitation to page " + std::to_string(b));
        if (Callbacks().OnVisitorInvited) {
            if (auto page = pages_.FindById(b))
                Raise(session, &AgentCallbacks::OnVisitorInvited, *page);
        }
        return;
    default:
        return ServerError(session, a, b);
    }
}

void AgentClient::DispatchNotification(const WireMessage& message, const Session* session) {
    const int32_t a = message.GetInt(1);
    const int32_t b = message.GetInt(2);
    switch (a) {
    case protocol::kEventUserLoggedIn: {
        auto [user, added] = users_.Insert(ReadUserEntry(message, 2));
        if (added)
            Raise(session, &AgentCallbacks::OnUserLoggedIn, *user);
        return;
    }
    case protocol::kEventUserLoggedOut:
        if (auto user = users_.Remove(b, message.GetInt(3)))
            Raise(session, &AgentCallbacks::OnUserLoggedOut, *user);
        return;
    case protocol::kEventUserStatusChanged:
        if (auto user = users_.UpdateStatus(b, message.GetInt(3), message.GetInt(4)); user)
            Raise(session, &AgentCallbacks::OnUserStatusChanged, *user);
        return;
    case protocol::kEventCallRequest:
    case protocol::kEventCallTransfer: {
        EngineLog(
            logSink, LogLevel::Info,
            std::string(a == protocol::kEventCallTransfer ? "call transfer" : "call request") +
                " for call " + std::to_string(message.GetInt(3)) + " from user " +
                std::to_string(b));
        if (!Callbacks().OnCallRequest)
            return;
        const bool transfer = a == protocol::kEventCallTransfer;
        auto text1 = message.GetText(4);
        auto text2 = message.GetText(5);
        auto text3 = transfer ? message.GetText(6) : std::nullopt;
        Raise(session, &AgentCallbacks::OnCallRequest, message.GetInt(3), b,
              transfer ? protocol::kCallKindTransfer : protocol::kCallKindRequest,
              text1 ? text1->c_str() : nullptr, text2 ? text2->c_str() : nullptr,
              text3 ? text3->c_str() : nullptr);
        return;
    }
    case protocol::kEventPageEntered:
        if (logSink.Enabled(LogLevel::Debug))
            EngineLog(logSink, LogLevel::Debug,
                      "page opened: " + PageLine(ReadPageEntry(message, 2)));
        if (auto page = pages_.AddIfAbsent(ReadPageEntry(message, 2)))
            Raise(session, &AgentCallbacks::OnPageEntered, *page);
        return;
    case protocol::kEventPageLeft:
        if (logSink.Enabled(LogLevel::Debug))
            EngineLog(logSink, LogLevel::Debug, "page left: " + std::to_string(b));
        if (auto page = pages_.Remove(b))
            Raise(session, &AgentCallbacks::OnPageLeft, *page);
        return;
    default:
        return;
    }
}

int32_t AgentClient::SendCommand(const WireMessage& message, bool logoutOnFailure) {
    auto channel = CurrentChannel();
    const int32_t result = channel ? message.Send(*channel) : ResultCode::Connect;
    // Without a connection (keep-alives while the server is away) that is no news.
    if (result != message.Length())
        EngineLog(logSink, channel ? LogLevel::Warning : LogLevel::Debug,
                  "command " + std::to_string(message.Code()) + " not sent: " +
                      (channel ? ResultLine(result) : std::string("not logged in")) +
                      (logoutOnFailure ? ", logging out" : ""));
    if (logoutOnFailure && result != message.Length())
        Logout(DisconnectReason::SendFailed);
    return result;
}

int32_t AgentClient::SetStatus(int status) {
    WireMessage message(protocol::kSetStatus);
    message.AddInt(status);
    return SendCommand(message, true);
}

int32_t AgentClient::SendKeepAlive() {
    return SendCommand(WireMessage(protocol::kKeepAlive), false);
}

int32_t AgentClient::RequestUserList() {
    return SendCommand(WireMessage(protocol::kRequestUsers), true);
}

int32_t AgentClient::RequestPageList() {
    return SendCommand(WireMessage(protocol::kRequestPages), true);
}

int32_t AgentClient::InviteVisitor(int pageId, const char* text) {
    WireMessage message(protocol::kInviteVisitor);
    message.AddInt(pageId);
    message.AddText(text);
    return SendCommand(message, true);
}

} // namespace olvex
