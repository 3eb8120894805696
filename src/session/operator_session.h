#pragma once

#include "agent_client.h"
#include "event_queue.h"
#include "operator_events.h"
#include "tls_session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace olvex {

// Where and as whom the operator logs in, copied from the window's settings.
struct OperatorConfig {
    std::string host;
    int port = protocol::kDefaultServerPort;
    std::string user;
    std::string password;
    TlsConfig tls;
    // Log in again when the keep-alives find the connection dead.
    bool reconnect = false;
};

// One operator's presence on the server: log-in and log-out, status, invitations, the
// keep-alives and the reconnection, over the engine. It owns the engine's callback table and
// turns every engine event into a typed event; the results of its workers come the same way.
// Events wait in a queue until the reader takes them with Deliver, on the reader's thread.
//
// Log-in, status changes, invitations and keep-alives run on workers owned here, so that the
// caller never waits for the network. The state that refuses a second command (a log-in or
// invitations still running) follows what the reader has been handed: a log-in counts as
// running until its LoginFinished has been delivered, as the window then shows.
class OperatorSession {
public:
    static constexpr int kKeepAliveAttempts = 4;
    static constexpr std::chrono::milliseconds kKeepAlivePause{2000};

    // What became of a command.
    enum class Command { Accepted, AlreadyRunning, NothingToDo };

    explicit OperatorSession(AgentClient& engine);
    // Runs Shutdown.
    ~OperatorSession();
    OperatorSession(const OperatorSession&) = delete;
    OperatorSession& operator=(const OperatorSession&) = delete;

    // Run once for each batch of events, from the thread that queued its first event and
    // under the queue's lock: it may only post or signal.
    void SetWake(std::function<void()> wake);
    // Hands the events queued so far to `observer`, in order, on this thread.
    void Deliver(OperatorObserver& observer);

    // Logs in on a worker with `config`, which also serves the reconnections. False when a
    // log-in is already running.
    bool Login(OperatorConfig config);
    // The settings changed: later reconnections use these.
    void SetConfig(OperatorConfig config);
    bool LoginRunning() const;
    // A log-in of the session's own, after the keep-alives failed, is running.
    bool Reconnecting() const;
    // The operator has answered NewVersionOffered: the log-in goes on.
    void AnswerNewVersion();
    bool LoggedIn() const { return engine_.GetStatus() > 0; }

    // Ends the keep-alives and logs out; olvex-cli's quit ends with reason Shutdown.
    void Logout(int reason = DisconnectReason::Logout);
    // 1 online, 2 busy, 3 away; a failure comes as StatusFailed. Sent whether or not logged
    // in: the engine's answer without a connection is a failure like any other.
    void SetStatus(int32_t status);
    // Invites the visitors of these pages, with `text` as the inviter, one after the other;
    // refused while the previous invitations are still going out.
    Command Invite(std::vector<int32_t> pageIds, std::string text);

    // The minute's tick: sends up to kKeepAliveAttempts keep-alives, a pause apart, on a
    // worker. When none goes through it logs out and, with reconnect on and the credentials
    // known, logs in again; a failed reconnection is tried again at the next tick. After a
    // frame above the size cap the ticks do nothing until the next Login.
    void Tick();
    // Ends the retries of the tick before: the window's timer was started or stopped.
    void ResetKeepAlive();
    void SetKeepAlivePause(std::chrono::milliseconds pause);

    // Closes the engine's connection so that every worker ends at once, wakes the wait for
    // the new-version answer, joins the workers and clears the engine's callbacks. Nothing is
    // delivered afterwards.
    void Shutdown();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    static AgentCallbacks Callbacks();
    void Push(OperatorEvent event) { events_.Push(std::move(event)); }
    // The state a delivered event settles.
    void Settle(const OperatorEvent& event);
    // False when no thread could be started, or the session is closing.
    bool StartWorker(std::function<void()> work);
    // `loginRunning_` is already set.
    void StartLogin(bool reconnecting);
    // Login worker, inside Login: what follows the server's yes.
    void OnLoggedIn();
    void OnDisconnected(int reason);
    // False when the session closed during the wait.
    bool AwaitNewVersionAnswer();
    void KeepAlive(uint64_t chain);
    // False when the chain ended during the pause.
    bool Pause(uint64_t chain);
    void KeepAliveLost(uint64_t chain);

    AgentClient& engine_;
    EventQueue<OperatorEvent> events_;

    mutable std::mutex mutex_;
    // Wakes the keep-alive pause and the new-version wait.
    std::condition_variable wake_;
    std::atomic<bool> closing_{false};
    OperatorConfig config_;
    bool loginRunning_ = false;
    bool reconnecting_ = false;
    bool invitationsRunning_ = false;
    bool versionQuestionOpen_ = false;
    bool versionAnswered_ = false;
    // Each reset ends the keep-alive retries of the tick before.
    uint64_t keepAliveChain_ = 0;
    bool keepAliveRunning_ = false;
    // The server sent a frame above the size cap: no keep-alives until the next Login.
    bool refused_ = false;
    std::chrono::milliseconds keepAlivePause_ = kKeepAlivePause;
    std::vector<Worker> workers_;
};

} // namespace olvex
