#pragma once

#include "operator_session.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class QDialog;
class QMessageBox;
class QTimer;

namespace olvex {

class AgentClient;
class ConsoleTray;
class OperatorConsole;
class UiEventPump;

// The console window's side of the operator's session: the dialogs and message boxes, the
// tray, the balloons and the launcher count, and the minute timer. The session's events
// reach the UI thread through one pump and are applied in batches, at most about 20 a
// second, whatever the burst.
class ConsoleEngine : public QObject, private OperatorObserver {
    Q_OBJECT

public:
    static constexpr int kTimerPeriodMs = 60000;
    static constexpr int kBalloonMs = 11000;
    static constexpr int kToolTipLength = 127;
    // Session events reach the window at most this often, about 20 times a second.
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

    // Ends the session: its workers are joined. Nothing reaches the window afterwards.
    void Shutdown();

    // Shortens the console timer and the pause between keep-alive attempts (tests).
    void SetTimerPeriods(int periodMs, int retryPauseMs);
    // The pauses before the reconnection's tries (tests, shortened runs).
    void SetRetryDelays(std::vector<std::chrono::milliseconds> delays,
                        double jitter = OperatorSession::kRetryJitter) {
        session.SetRetryDelays(std::move(delays), jitter);
    }
    bool TimerRunning() const;
    bool Reconnecting() const { return session.Reconnecting(); }

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
    // Applies one session event to the window.
    void OnEvent(const OperatorEvent& event) override;
    void Apply(const operator_event::Connecting& event);
    void Apply(const operator_event::LoggedIn& event);
    void Apply(const operator_event::NewVersionOffered& event);
    void Apply(const operator_event::ListsRequested& event);
    void Apply(const operator_event::LoginFinished& event);
    void Apply(const operator_event::RetryScheduled& event);
    void Apply(const operator_event::StatusFailed& event);
    void Apply(const operator_event::InvitationsFinished& event);
    void Apply(const operator_event::KeepAliveFailed& event);
    void Apply(const operator_event::Disconnected& event);
    void Apply(const operator_event::StatusChanged& event);
    void Apply(const operator_event::UserListReceived& event);
    void Apply(const operator_event::UserLoggedIn& event);
    void Apply(const operator_event::UserLoggedOut& event);
    void Apply(const operator_event::UserStatusChanged& event);
    void Apply(const operator_event::PageListReceived& event);
    void Apply(const operator_event::PageEntered& event);
    void Apply(const operator_event::PageLeft& event);
    void Apply(const operator_event::VisitorInvited& event);
    void Apply(const operator_event::CallRequest& event);
    // Error answers change nothing in the console.
    void Apply(const operator_event::ServerError&) {}

    // The pump's step on the UI thread: takes the session's batch and applies it.
    void Flush();
    // Where and as whom to log in, as the settings now say.
    OperatorConfig Config() const;
    void ShowMessage(const QString& text);
    void AskForNewVersion();

    void StartTimer();
    void StopTimer();
    void OnTick();
    // The title and tooltip while waiting for the next try, counting down the seconds.
    void ShowRetry();

    void ShowBalloon(const QString& text);
    // The tray's message, or the desktop's notification where there is no tray.
    void PostBalloon(const QString& text);
    void RefreshTray();
    void WaitingChanged();

    OperatorConsole& console;
    OperatorSession session;
    UiEventPump* pump = nullptr;
    QTimer* timer = nullptr;
    // Fires when the seconds shown until the next try change.
    QTimer* countdown = nullptr;
    std::chrono::steady_clock::time_point nextTry;
    bool retryAtStart = false;
    QString retryFailure;
    // Busy or away set again by a reconnection: its confirmation is no news.
    int32_t restoredStatus = 0;
    ConsoleTray* tray = nullptr;
    QString trayToolTip;
    bool trayConnected = false;
    int trayBadge = 0;
    int launcherCount = 0;
    DialogRunner runDialog;
    QPointer<QMessageBox> versionQuestion;
    bool closing = false;
    bool flushing = false;
    // Balloons of one flush: only the last reaches the tray, which would replace the others.
    QString lastBalloon;
};

} // namespace olvex
