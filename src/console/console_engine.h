#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QDialog;
class QMessageBox;
class QTimer;

namespace olvex {

class AgentClient;
class ConsoleTray;
class OperatorConsole;

// Connects the console window to the engine. Log-in, status and invitations run on worker
// threads owned here; logout and the console timer run on the UI thread. Engine events are
// copied out of their records and queued, in arrival order, to the UI thread, where they are
// applied in batches, at most about 20 a second, whatever the burst.
class ConsoleEngine : public QObject {
    Q_OBJECT

public:
    static constexpr int kTimerPeriodMs = 60000;
    static constexpr int kKeepAliveAttempts = 4;
    static constexpr int kKeepAlivePauseMs = 2000;
    static constexpr int kBalloonMs = 11000;
    static constexpr int kToolTipLength = 127;
    // Engine events reach the window at most this often, about 20 times a second.
    static constexpr int kFlushGapMs = 50;

    ConsoleEngine(OperatorConsole& console, AgentClient& engine);
    // Runs Shutdown() if the console has not already done so.
    ~ConsoleEngine() override;

    // The Login button: asks for the credentials, then logs in on a worker.
    void Connect();
    // Run once at start when AutoLogin is on.
    void AutoLogin();
    void Logout();
    // The status menu: 1 online, 2 busy, 3 away.
    void SetStatus(int32_t status);
    // Invites the visitors of the selected pages.
    void Invite();

    // Closes the engine's connection so that every worker ends at once, then joins them.
    // Nothing reaches the window afterwards.
    void Shutdown();

    // Shortens the console timer and the pause between keep-alive attempts (tests).
    void SetTimerPeriods(int periodMs, int retryPauseMs);
    bool TimerRunning() const;
    bool Reconnecting() const { return reconnecting; }

    // Modal dialogs (login, options) run through this; tests answer them without blocking.
    using DialogRunner = std::function<int(QDialog& dialog)>;
    void SetDialogRunner(DialogRunner runner) { runDialog = std::move(runner); }

    // The call alert's text for a request (kind 1) or a transfer (kind 2); nothing for any
    // other kind. Absent texts count as empty.
    static std::optional<QString> CallAlertText(int kind, const char* name, const char* second);

    // The tray as last refreshed: also kept where the desktop has no tray.
    QString TrayToolTip() const { return trayToolTip; }
    bool TrayShowsConnected() const { return trayConnected; }
    ConsoleTray& Tray() { return *tray; }
    // The number on the tray icon's badge: requests waiting plus call windows unread.
    int TrayBadge() const { return trayBadge; }

signals:
    // A balloon that was shown (ShowHints is 1): title, text and time-out.
    void BalloonShown(const QString& title, const QString& text, int msecs);
    // The operator's own status as the window now shows it: 1 online, 2 busy, 3 away, 0 after
    // a log-out.
    void StatusShown(int32_t status);

private:
    using Change = std::function<void(ConsoleEngine&)>;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // The login worker's wait for the new-version question, woken by Shutdown as well.
    struct Question {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
    };

    void RegisterHandlers();
    // Any thread: queue a change for the UI thread; never waits.
    void Deliver(Change change);
    void ScheduleFlush();
    void Flush();

    // False when no thread could be started.
    bool StartWorker(std::function<void()> work);
    void ReapWorkers();
    void StartLoginWorker();
    // `message` is the result's text, with the reason of a TLS failure.
    void OnLoginFinished(int32_t result, const std::string& message);
    // Login worker, inside Login: the parts of the log-in that talk to the engine.
    void LoggedInOnWorker();
    void AskForNewVersion(const std::shared_ptr<Question>& question);
    void ShowMessage(const QString& text);

    void StartTimer();
    void StopTimer();
    void OnTick();
    void TryKeepAlive(int attempt, uint64_t chain);
    void OnKeepAliveSent(int32_t result, int attempt, uint64_t chain);

    void ShowBalloon(const QString& text);
    // The tray's message, or the desktop's notification where there is no tray.
    void PostBalloon(const QString& text);
    void RefreshTray();
    void WaitingChanged();

    OperatorConsole& console;
    AgentClient& engine;
    QTimer* timer = nullptr;
    int retryPauseMs = kKeepAlivePauseMs;
    // Each start or stop of the timer ends the keep-alive retries of the tick before.
    uint64_t keepAliveChain = 0;
    bool keepAliveRunning = false;
    ConsoleTray* tray = nullptr;
    QString trayToolTip;
    bool trayConnected = false;
    int trayBadge = 0;
    int launcherCount = 0;
    DialogRunner runDialog;

    // UI thread only.
    bool reconnecting = false;
    bool loginRunning = false;
    int32_t requestedStatus = 0;
    std::vector<int32_t> pendingInvitations;
    QPointer<QMessageBox> versionQuestion;

    std::mutex pendingMutex;
    std::deque<Change> pending;
    bool flushQueued = false;
    QTimer* flushTimer = nullptr;
    QElapsedTimer lastFlush;
    bool flushing = false;
    std::atomic<bool> closing{false};
    // Balloons of one flush: only the last reaches the tray, which would replace the others.
    QString lastBalloon;

    std::mutex questionMutex;
    std::shared_ptr<Question> openQuestion;

    std::vector<Worker> workers;
};

} // namespace olvex
