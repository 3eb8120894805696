#pragma once

#include "alert_key_guard.h"
#include "call_window.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

class QLabel;
class QTimer;

namespace olvex {

class AgentClient;
class AgentSettings;
class CallWindowList;

// The popup that announces one call request or transfer: it rings (while
// NotifySound is not 0), flashes, and waits for the operator. Accept opens the
// call's window; Cancel, Escape or the NotifyTimeout simply close it. Several
// can be open at once, side by side in the order they came. It owns itself and
// is deleted once closed.
//
// It never takes the keyboard by itself: it appears without activation, and where
// the platform focuses it anyway, keys count only from a second after it appeared
// and only when pressed after that (AlertKeyGuard). Clicks count at once.
class CallAlertDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the alert at once. The settings and the call window list must
    // outlive it and every call window it opens; `engine` is handed on to the
    // call window (the process-wide one when null). `opening` is what the visitor wrote with
    // the request, shown under the sentence and handed to the call window.
    CallAlertDialog(AgentSettings& settings, const QString& text, int32_t callId,
                    CallWindowList& callWindows, AgentClient* engine = nullptr,
                    const QString& opening = QString());
    ~CallAlertDialog() override;

    int32_t CallId() const { return callId; }
    QString Text() const { return text; }
    QString Opening() const { return opening; }
    // The alert's life in milliseconds, from NotifyTimeout.
    int TimeoutMs() const;
    // The visitor's name from the request, handed to the call window.
    void SetVisitorName(const QString& name) { visitor = name; }
    // The requester's id, so that the call window can follow the visitor's pages; 0: none.
    void SetRequesterId(int32_t id) { requesterId = id; }
    // How the accepted call window is brought to the front with the keyboard; raising and
    // activating it unless the desktop has its own way.
    void SetBringToFront(std::function<void(QWidget&)> step) { bringToFront = std::move(step); }
    // The call window that Accept opened or found open, until it goes.
    CallWindow* AcceptedWindow() const { return accepted; }
    // Its place among the open alerts: 0 at the remembered place, the others beside it.
    int Slot() const { return slot; }
    // Milliseconds on a steady scale, for the key guard and the waiting time; the times
    // start again from the new clock's now.
    void SetClock(AlertKeyGuard::Clock clock);
    // The open alerts, oldest first.
    static std::vector<CallAlertDialog*> OpenAlerts();

signals:
    // The operator let the alert run out; it closes right after.
    void TimedOut();

public slots:
    // Opens the call window once; a second Accept, or one for a call whose window is
    // already open, only brings that window to the front.
    void Accept();
    void Cancel();
    void reject() override { Cancel(); }
    // Says how long the request has waited, once that is worth saying.
    void UpdateWaiting();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Place();
    static void KeepOldestInFront();

    AgentSettings& settings;
    CallWindowList& callWindows;
    AgentClient* engine;
    std::function<void(QWidget&)> bringToFront;
    const QString text;
    const QString opening;
    const int32_t callId;
    int32_t requesterId = 0;
    const bool withSound;
    int slot = 0;
    bool answered = false;
    AlertKeyGuard::Clock clock = SteadyMs;
    int64_t appearedAt = 0;
    QTimer* timer = nullptr;
    QTimer* waitingTimer = nullptr;
    QLabel* waiting = nullptr;
    AlertKeyGuard* keyGuard = nullptr;
    QPointer<CallWindow> accepted;
    QString visitor;
};

// "waiting 25 s" once a request has waited over 10 s; empty before.
QString WaitingText(int64_t waitedMs);

} // namespace olvex
