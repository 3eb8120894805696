#include "call_alert_dialog.h"
#include "desktop_notifier.h"
#include "operator_console.h"

#include <QApplication>

namespace olvex {

namespace {

const QString kAcceptLabel = QStringLiteral("Accept");

} // namespace

// The alert has no parent, so it stays in view while the console is minimised;
// Accept opens the call window, which joins the console's call window list.
void OperatorConsole::ShowCallAlert(int32_t callId, int32_t requesterId, int32_t kind,
                                    const QString& text, const QString& caller) {
    QWidget* active = QApplication::activeWindow();
    bool typingInCall = false;
    for (QWidget* window : callWindows.Windows())
        typingInCall = typingInCall || window == active;
    auto* alert = new CallAlertDialog(settings, text, callId, callWindows, nullptr, !typingInCall);
    if (kind == 1)
        alert->SetVisitorName(caller);
    alert->setProperty("caller", caller);
    alert->setObjectName(QStringLiteral("callAlert"));
    alert->setProperty("callId", callId);
    alert->setProperty("requesterId", requesterId);
    alert->setProperty("kind", kind);
    std::erase_if(callAlerts, [](const QPointer<QWidget>& open) { return open.isNull(); });
    callAlerts.emplace_back(alert);

    const QString who = caller.isEmpty() ? text : caller;
    QPointer<CallAlertDialog> guard(alert);
    // The operator is elsewhere (a browser, say): the desktop tells of the request too.
    if (!active) {
        DesktopNotifier::Note note;
        note.summary = QStringLiteral("Chat request from %1").arg(who);
        note.body = notifier->BodyText(text);
        // "default" is a click on the notification itself.
        note.actions = {QStringLiteral("default"), kAcceptLabel, QStringLiteral("accept"),
                        kAcceptLabel};
        note.timeoutMs = alert->TimeoutMs();
        note.urgency = 2;
        const int handle = notifier->Notify(note);
        if (handle > 0) {
            connect(notifier, &DesktopNotifier::ActionInvoked, alert,
                    [guard, handle](int invoked, const QString&) {
                        if (invoked != handle || !guard)
                            return;
                        guard->Accept();
                        if (QWidget* window = guard->AcceptedWindow()) {
                            window->raise();
                            window->activateWindow();
                        }
                    });
            connect(alert, &QObject::destroyed, notifier,
                    [notifier = notifier, handle] { notifier->Close(handle); });
        }
    }
    connect(alert, &CallAlertDialog::TimedOut, notifier, [notifier = notifier, who] {
        DesktopNotifier::Note note;
        note.summary = QStringLiteral("Missed chat request from %1").arg(who);
        note.timeoutMs = 0;
        note.urgency = 2;
        notifier->Notify(note);
    });
    connect(alert, &QObject::destroyed, this, [this] {
        std::erase_if(callAlerts, [](const QPointer<QWidget>& open) { return open.isNull(); });
        emit WaitingChanged();
    });
    emit WaitingChanged();
}

WaitingItems OperatorConsole::Waiting() const {
    WaitingItems waiting;
    for (const QPointer<QWidget>& alert : callAlerts) {
        // An alert on its way out (closed, deletion pending) no longer waits.
        if (alert && alert->isVisible())
            waiting.requests << alert->property("caller").toString();
    }
    for (QWidget* window : callWindows.UnreadWindows())
        waiting.unread << window->windowTitle();
    return waiting;
}

// Each call window removes its call from the engine while the engine is still connected.
void OperatorConsole::CloseCallWindows() {
    for (const QPointer<QWidget>& alert : callAlerts)
        delete alert.data();
    callAlerts.clear();
    for (QWidget* window : callWindows.Windows()) {
        QPointer<QWidget> guard(window);
        delete guard.data();
    }
}

} // namespace olvex
