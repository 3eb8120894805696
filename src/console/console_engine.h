#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QSystemTrayIcon;

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

    void ShowBalloon(const QString& text);
    void RefreshTray();

private:
    void RunWorker(std::function<void()> work);
    void OnLoginFinished(int32_t result);

    OperatorConsole& console;
    AgentClient& engine;
    QSystemTrayIcon* tray = nullptr;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
    std::vector<std::thread> workers;
    std::atomic<bool> inviting{false};
};

} // namespace olvex
