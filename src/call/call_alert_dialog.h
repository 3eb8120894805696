#pragma once

#include "call_window.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>

class QTimer;

namespace olvex {

class AgentClient;
class AgentSettings;
class CallWindowList;

// The popup that announces one call request or transfer: it rings (while
// NotifySound is not 0), flashes, and waits for the operator. Accept opens the
// call's window; Cancel, Escape or the NotifyTimeout simply close it. Several
// can be open at once. It owns itself and is deleted once closed.
class CallAlertDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the alert at once. The settings and the call window list must
    // outlive it and every call window it opens; `engine` is handed on to the
    // call window (the process-wide one when null).
    // Without takeFocus the alert appears without taking the keyboard from the active window.
    CallAlertDialog(AgentSettings& settings, const QString& text, int32_t callId,
                    CallWindowList& callWindows, AgentClient* engine = nullptr,
                    bool takeFocus = true);
    ~CallAlertDialog() override;

    int32_t CallId() const { return callId; }
    QString Text() const { return text; }
    // The alert's life in milliseconds, from NotifyTimeout.
    int TimeoutMs() const;
    // The visitor's name from the request, handed to the call window.
    void SetVisitorName(const QString& name) { visitor = name; }
    // The call window that Accept opened, until it goes.
    CallWindow* AcceptedWindow() const { return accepted; }

signals:
    // The operator let the alert run out; it closes right after.
    void TimedOut();

public slots:
    void Accept();
    void Cancel();
    void reject() override { Cancel(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    AgentSettings& settings;
    CallWindowList& callWindows;
    AgentClient* engine;
    const QString text;
    const int32_t callId;
    const bool withSound;
    QTimer* timer = nullptr;
    QPointer<CallWindow> accepted;
    QString visitor;
};

} // namespace olvex
