#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QSystemTrayIcon;
class QTimer;

namespace olvex {

class AgentClient;
class OperatorConsole;

// Connects the console window to the engine: log-in, logout, status and invite run on
// worker threads owned here; engine events are copied and queued to the UI thread.
class ConsoleEngine : public QObject {
    Q_OBJECT

public:
    ConsoleEngine(OperatorConsole& console, AgentClient& engine);
    // Closes the engine's connections first so that every worker ends at once, then joins.
    ~ConsoleEngine() override;

    void Login();
    void Logout();
    void SetStatus(int32_t status);
    void Invite();

    // The console timer: keep-alives and elapsed minutes each period; a failed keep-alive is
    // retried (attempts, pause apart) on chained timers, then logout and, if on, a new log-in.
    void SetTimerPeriods(int periodMs, int retryPauseMs);

    void ShowBalloon(const QString& text);
    void RefreshTray();

private:
    void RunWorker(std::function<void()> work);
    void OnLoginFinished(int32_t result);

    void OnTick();
    void TryKeepAlive(int attemptsLeft);

    OperatorConsole& console;
    QTimer* timer = nullptr;
    int retryPauseMs = 2000;
    bool retrying = false;
    AgentClient& engine;
    QSystemTrayIcon* tray = nullptr;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
    std::vector<std::thread> workers;
    std::atomic<bool> inviting{false};
};

} // namespace olvex
