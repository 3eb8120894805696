#pragma once

#include "call_list.h"
#include "log_sink.h"
#include "page_directory.h"
#include "protocol.h"
#include "records.h"
#include "tls_session.h"
#include "user_directory.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace olvex {

class SocketChannel;
class WireMessage;

// Why OnDisconnected was raised.
namespace DisconnectReason {
inline constexpr int Logout = 1;         // Logout by the console, or Login over an open connection
inline constexpr int ConnectionLost = 2; // the connection ended by itself
inline constexpr int SendFailed = 3;     // a server command could not be sent
inline constexpr int Shutdown = 4;       // the engine is being destroyed
} // namespace DisconnectReason

// The engine's events. Every slot may be null; the first argument is always
// AgentClient::userData. Records are lent for the call only; texts of
// OnCallRequest are null when absent and valid only during the call; its kind
// is protocol::kCallKindRequest or kCallKindTransfer.
// All slots but OnLoggedIn and OnDisconnected run on the receive thread.
struct AgentCallbacks {
    void (*OnLoggedIn)(void* userData) = nullptr;
    void (*OnDisconnected)(void* userData, int reason) = nullptr;
    void (*OnStatusChanged)(void* userData, int status) = nullptr;
    void (*OnUserListReceived)(void* userData) = nullptr;
    void (*OnUserLoggedIn)(void* userData, const UserRecord& user) = nullptr;
    void (*OnUserLoggedOut)(void* userData, const UserRecord& user) = nullptr;
    void (*OnUserStatusChanged)(void* userData, const UserRecord& user) = nullptr;
    void (*OnPageListReceived)(void* userData) = nullptr;
    void (*OnPageEntered)(void* userData, const PageRecord& page) = nullptr;
    void (*OnPageLeft)(void* userData, const PageRecord& page) = nullptr;
    void (*OnVisitorInvited)(void* userData, const PageRecord& page) = nullptr;
    void (*OnCallRequest)(void* userData, int callId, int requesterId, int kind, const char* text1,
                          const char* text2, const char* text3) = nullptr;
    void (*OnServerError)(void* userData, int requestCode, int errorCode) = nullptr;
};

struct AgentOptions {
    // Connect, answer and receive-poll time-out of the server connection.
    std::chrono::milliseconds channelTimeout{20000};
    // Wait for each missing piece of a frame header.
    std::chrono::milliseconds headerWait{10000};
    // How long Logout waits for the receive thread before leaving it to be
    // joined later. Threads are never killed.
    std::chrono::milliseconds threadWait{5000};
};

// The engine: the server connection and its receive thread, the operator and
// page directories, the own identity and status, and the callback table.
//
// Login, Logout and the commands may be called from any thread, including
// from inside a callback on the receive thread. Logout never waits for the
// thread it runs on, and waits at most the thread wait for a receive thread
// busy in a callback; such threads are joined later, never killed. The engine
// may even be destroyed from its own receive thread.
class AgentClient {
public:
    explicit AgentClient(AgentOptions options = {});
    // Logs out with reason 4, waits at most the thread wait for the receive
    // threads, then forgets the callbacks.
    ~AgentClient();
    AgentClient(const AgentClient&) = delete;
    AgentClient& operator=(const AgentClient&) = delete;

    // The process-wide engine, created on first use.
    static AgentClient* Instance();
    // Destroys the process-wide engine (OnDisconnected(4) still reaches the
    // callbacks). Call it before the owner of userData goes away.
    static void DestroyInstance();

    // Connects, sends kLogIn and waits for the answer. Returns 0, or a negative
    // result: -19 for an absent user name or password (no connection made) or
    // an unexpected answer, -20 for an answer that is neither kSucceeded nor
    // kFailed, the server's code from a kFailed, or the transport's failure. A Logout
    // asked meanwhile, or the connection ending before the log-in was
    // reported, makes it fail (-5 at the latest stage) without OnLoggedIn.
    int32_t Login(const char* host, int port, const char* userName, const char* password);
    int32_t Login(const std::string& host, int port, const std::string& userName,
                  const std::string& password) {
        return Login(host.c_str(), port, userName.c_str(), password.c_str());
    }
    // Closes the connection, stops the receive thread and raises
    // OnDisconnected(reason), whether or not a connection was open. Returns 0.
    int32_t Logout(int reason);

    // Server commands. Each returns the payload length sent, or a negative
    // result; all but SendKeepAlive log out with reason 3 when the send fails.
    int32_t SetStatus(int status);
    int32_t SendKeepAlive();
    int32_t RequestUserList();
    int32_t RequestPageList();
    int32_t InviteVisitor(int pageId, const char* text);

    // Handles one message from the server as the receive loop does: updates
    // the directories and raises the callbacks.
    void Dispatch(const WireMessage& message);

    // 0 not logged in, 1 online, 2 busy, 3 away.
    int32_t GetStatus() const { return status_.load(); }
    int32_t OwnUserId() const { return ownUserId_.load(); }
    // From the last log-in answer; kept after logout.
    int32_t LatestClientVersion() const { return latestClientVersion_.load(); }
    // Address of the current log-in; empty when not logged in.
    std::string ServerAddress() const;
    // The receive result that ended the last connection by itself (before
    // OnDisconnected(2) is raised), such as -15 for a frame above the size
    // cap; 0 when no connection has ended by itself.
    int32_t DisconnectResult() const { return disconnectResult_.load(); }
    // TLS for the next Login; the current log-in's calls use what it logged in with.
    void SetTls(TlsConfig config);
    TlsConfig ServerTls() const;
    int ServerPort() const { return serverPort_.load(); }

    PageDirectory& Pages() { return pages_; }
    UserDirectory& Users() { return users_; }
    CallList& Calls() { return calls_; }

    const AgentOptions& Options() const { return options_; }

    // The callback table and its user data, set before the first Login and
    // replaced as a whole; the engine's threads read them under a lock. A
    // session that has ended raises nothing more, so after Logout (or the
    // destructor) only a callback already running can still reach the owner.
    void SetCallbacks(void* userData, const AgentCallbacks& callbacks);
    AgentCallbacks Callbacks() const;
    void* UserData() const;
    // Where the engine, its connections and its calls say what happens; set like the
    // callbacks, but kept through the destructor.
    LogSink logSink;

private:
    struct Session;

    template <class Slot, class... Args>
    void Raise(const Session* session, Slot AgentCallbacks::*slot, Args&&... args);
    int32_t OpenSession(const char* host, int port, const char* userName, const char* password);
    // Sends the log-in on a connected channel and reads the answer: the own user id, or why not.
    int32_t Authenticate(SocketChannel& channel, const char* userName, const char* password,
                         int32_t& userId);
    int32_t EndSession(int reason, bool requested);
    void ReceiveLoop(const std::shared_ptr<Session>& session);
    void DispatchFor(const WireMessage& message, const Session* session);
    // A success answer to one of our requests, and the server's notifications.
    void DispatchAnswer(const WireMessage& message, const Session* session);
    void DispatchNotification(const WireMessage& message, const Session* session);
    void ServerError(const Session* session, int32_t request, int32_t error);
    int32_t SendCommand(const WireMessage& message, bool logoutOnFailure);
    std::shared_ptr<SocketChannel> CurrentChannel() const;
    void StopSession(const std::shared_ptr<Session>& session);
    void JoinFinished();

    const AgentOptions options_;

    mutable std::mutex mutex_; // guards session_, retired_, serverAddress_, logoutRequests_
    std::shared_ptr<Session> session_;
    // The connection a Login is still setting up, so that Logout can end it at once.
    std::shared_ptr<SocketChannel> loginChannel_;
    std::vector<std::shared_ptr<Session>> retired_; // threads still to be joined
    std::string serverAddress_;
    uint64_t logoutRequests_ = 0; // a Login fails when this moves under it
    TlsConfig tls_;               // for the next Login
    TlsConfig serverTls_;         // of the current log-in
    std::mutex loginMutex_;       // one Login at a time

    mutable std::mutex callbackMutex_;
    AgentCallbacks callbacks_;
    void* userData_ = nullptr;

    std::atomic<int32_t> status_{0};
    std::atomic<int32_t> ownUserId_{0};
    std::atomic<int32_t> latestClientVersion_{0};
    std::atomic<int32_t> disconnectResult_{0};
    std::atomic<int> serverPort_{protocol::kDefaultServerPort};

    PageDirectory pages_;
    UserDirectory users_;
    CallList calls_{*this}; // last: its calls reach the members above
};

} // namespace olvex
