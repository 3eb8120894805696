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
#include <optional>
#include <random>
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
    // Log in again when the connection is lost, and go on trying an automatic log-in that
    // failed.
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
//
// A lost connection is logged in again at once, by a thread of the session's own that waits
// out a growing pause between the tries (about 1, 2, 4, 8, 16, 30, then every 60 seconds,
// each a little longer at random so that many consoles do not come back in step) until one
// is taken, the operator logs out or the session shuts down. The status the operator last
// asked for is set again before the new log-in is reported.
class OperatorSession {
public:
    static constexpr int kKeepAliveAttempts = 4;
    static constexpr std::chrono::milliseconds kKeepAlivePause{2000};
    // Up to this share of a pause is added at random.
    static constexpr double kRetryJitter = 0.1;
    // The pauses before the first, second... reconnection try; the last repeats.
    static std::vector<std::chrono::milliseconds> DefaultRetryDelays() {
        using std::chrono::seconds;
        return {seconds(1),  seconds(2),  seconds(4), seconds(8),
                seconds(16), seconds(30), seconds(60)};
    }

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

    // Logs in on a worker with `config`, which also serves the reconnections, as online.
    // False when a log-in is already running. An `automatic` log-in (the one at start) that
    // fails is tried again like a lost connection when reconnect is on, unless the server
    // refused the credentials or this program's version.
    bool Login(OperatorConfig config, bool automatic = false);
    // The settings changed: later reconnections use these.
    void SetConfig(OperatorConfig config);
    bool LoginRunning() const;
    // The session is logging in again by itself: waiting for the next try or trying.
    bool Reconnecting() const;
    // The operator has answered NewVersionOffered: the log-in goes on.
    void AnswerNewVersion();
    bool LoggedIn() const { return engine_.GetStatus() > 0; }

    // Ends the keep-alives and the reconnection, and logs out; olvex-cli's quit ends with
    // reason Shutdown.
    void Logout(int reason = DisconnectReason::Logout);
    // 1 online, 2 busy, 3 away; a failure comes as StatusFailed. Sent whether or not logged
    // in: the engine's answer without a connection is a failure like any other. Busy and
    // away are set again after a reconnection.
    void SetStatus(int32_t status);
    // Invites the visitors of these pages, with `text` as the inviter, one after the other;
    // refused while the previous invitations are still going out.
    Command Invite(std::vector<int32_t> pageIds, std::string text);

    // The minute's tick: sends up to kKeepAliveAttempts keep-alives, a pause apart, on a
    // worker. When none goes through it logs out and, with reconnect on and the credentials
    // known, reconnects. Nothing while reconnecting, and after a frame above the size cap
    // nothing until the next Login: no reconnection into the same refusal.
    void Tick();
    // Ends the retries of the tick before: the window's timer was started or stopped.
    void ResetKeepAlive();
    void SetKeepAlivePause(std::chrono::milliseconds pause);
    // Other pauses before the reconnection's tries, and the share of each added at random
    // (tests, shortened runs).
    void SetRetryDelays(std::vector<std::chrono::milliseconds> delays,
                        double jitter = kRetryJitter);

    // Closes the engine's connection so that every worker ends at once, wakes the wait for
    // the new-version answer and the one for the next reconnection try, joins the threads
    // and clears the engine's callbacks. Nothing is delivered afterwards.
    void Shutdown();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    enum class LoginKind { Operator, Automatic, Retry };

    static AgentCallbacks Callbacks();
    void Push(OperatorEvent event) { events_.Push(std::move(event)); }
    // The state a delivered event settles.
    void Settle(const OperatorEvent& event);
    // False when no thread could be started, or the session is closing.
    bool StartWorker(std::function<void()> work);
    // One log-in, on the thread that runs it; `generation` is the one it began in.
    void RunLogin(const OperatorConfig& config, LoginKind kind, uint64_t generation);
    // Login's thread, inside Login: what follows the server's yes.
    void OnLoggedIn();
    void OnDisconnected(int reason);
    void OnStatusConfirmed(int32_t status);
    // A visitor's request that reaches an operator who is being set busy or away again has
    // slipped in before the server knew: it is not shown.
    bool HoldsRequest(int kind);
    // False when the session closed during the wait.
    bool AwaitNewVersionAnswer();
    void KeepAlive(uint64_t chain);
    // False when the chain ended during the pause.
    bool Pause(uint64_t chain);
    void KeepAliveLost(uint64_t chain);

    // Under mutex_: whether a reconnection may start with the settings as they are.
    bool MayReconnect() const;
    // Under mutex_: the next try of the reconnection, on the retry thread (started here when
    // it is not yet running). Nothing when no thread could be started.
    std::optional<operator_event::RetryScheduled> ScheduleRetry(int32_t result,
                                                                std::string message);
    // Ends a reconnection, under mutex_.
    void StopRetries();
    // The retry thread: waits for each try and runs it.
    void RetryLoop();

    AgentClient& engine_;
    EventQueue<OperatorEvent> events_;

    mutable std::mutex mutex_;
    // Wakes the keep-alive pause, the new-version wait and the retry thread.
    std::condition_variable wake_;
    std::atomic<bool> closing_{false};
    OperatorConfig config_;
    // Log-ins whose LoginFinished the reader has not yet been handed.
    int loginsRunning_ = 0;
    // Each log-in and logout of the operator's begins a new one: a try from before it does
    // not go on reconnecting.
    uint64_t loginGeneration_ = 0;
    // The generation of the log-in under way.
    uint64_t tryGeneration_ = 0;
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

    // Logged in, as far as the session knows: a loss from here is reconnected.
    bool engaged_ = false;
    // The keep-alives failed: the logout that follows is a loss.
    bool logoutForLoss_ = false;
    bool reconnecting_ = false;
    // No log-in has been taken yet: the automatic one at start is being tried again.
    bool retryingAtStart_ = false;
    int retryAttempt_ = 0;
    std::optional<std::chrono::steady_clock::time_point> retryAt_;
    std::vector<std::chrono::milliseconds> retryDelays_ = DefaultRetryDelays();
    double retryJitter_ = kRetryJitter;
    std::minstd_rand random_{std::random_device{}()};
    std::thread retryThread_;

    // What the operator (or the automatic away) last asked for; a log-in of the operator's
    // own starts online.
    int32_t wantedStatus_ = protocol::kStatusOnline;
    // From a log-in that sets busy or away again until the server has confirmed it.
    bool holdRequests_ = false;
};

} // namespace olvex
