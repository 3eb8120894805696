#include "call_alert_dialog.h"
#include "call_window.h"
#include "desktop_services.h"
#include "operator_console.h"

#include <QApplication>
#include <utility>

namespace olvex {

namespace {

const QString kAcceptLabel = QStringLiteral("Accept");

} // namespace

// The alert has no parent, so it stays in view while the console is minimised;
// Accept opens the call window, which joins the console's call window list.
void OperatorConsole::ShowCallAlert(int32_t callId, int32_t requesterId, int32_t kind,
                                    const QString& text, const QString& caller,
                                    const QString& opening) {
    // The server may ask again for a call whose alert is still up: one alert per call.
    for (const QPointer<QWidget>& open : callAlerts) {
        if (open && open->isVisible() && open->property("callId").toInt() == callId)
            return;
    }
    chatsModel.AddRequest(callId, kind, (caller.isEmpty() ? text : caller).toStdString(),
                          opening.toStdString());
    QWidget* active = QApplication::activeWindow();
    auto* alert = new CallAlertDialog(settings, text, callId, callWindows, nullptr, opening);
    alert->SetBringToFront(
        [&windows = desktop.Windows()](QWidget& window) { windows.BringToFront(window); });
    if (kind == 1) {
        alert->SetVisitorName(caller);
        alert->SetRequesterId(requesterId);
    }
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
        Notifications* notifier = &desktop.Notifier();
        Notifications::Note note;
        note.summary = QStringLiteral("Chat request from %1").arg(who);
        note.body = opening.isEmpty() ? text : text + QLatin1Char('\n') + opening;
        // "default" is a click on the notification itself.
        note.actions = {QStringLiteral("default"), kAcceptLabel, QStringLiteral("accept"),
                        kAcceptLabel};
        note.timeoutMs = alert->TimeoutMs();
        note.urgency = 2;
        const int handle = notifier->Notify(note);
        if (handle > 0) {
            connect(notifier, &Notifications::ActionInvoked, alert,
                    [&windows = desktop.Windows(), notifier, guard, handle](int invoked,
                                                                            const QString&) {
                        if (invoked != handle || !guard)
                            return;
                        // The click's token lets the call window take the keyboard on
                        // desktops that hand focus only to windows with one.
                        const QString token = notifier->TakeActivationToken(handle);
                        if (QWidget* open = guard->AcceptedWindow()) {
                            windows.BringToFront(*open, token);
                            return;
                        }
                        guard->SetBringToFront([&windows, token](QWidget& window) {
                            windows.BringToFront(window, token);
                        });
                        guard->Accept();
                    });
            connect(alert, &QObject::destroyed, notifier,
                    [notifier = notifier, handle] { notifier->Close(handle); });
        }
    }
    connect(alert, &CallAlertDialog::TimedOut, this, [this, who, callId] {
        chatsModel.MarkMissed(callId);
        NoteMissed(who);
    });
    // Accepted or declined at its alert, a request leaves the Chats view; one that ran out
    // stays there to be taken later.
    connect(alert, &QObject::destroyed, this, [this, callId] {
        if (const ChatsModel::Request* request = chatsModel.FindRequest(callId);
            request && !request->missed && !OpenAlertOf(callId))
            chatsModel.RemoveRequest(callId);
        std::erase_if(callAlerts, [](const QPointer<QWidget>& open) { return open.isNull(); });
        emit WaitingChanged();
    });
    emit WaitingChanged();
}

QString MissedRequestsText(const QStringList& callers) {
    constexpr int kNamed = 5;
    if (callers.size() == 1)
        return QStringLiteral("Missed chat request from %1").arg(callers.front());
    QString names = callers.mid(0, kNamed).join(QStringLiteral(", "));
    if (callers.size() > kNamed)
        names += QStringLiteral(" and %1 more").arg(callers.size() - kNamed);
    return QStringLiteral("%1 missed chat requests: %2").arg(callers.size()).arg(names);
}

// One notification counts every request missed since the operator last looked; each new
// one replaces it.
void OperatorConsole::NoteMissed(const QString& caller) {
    missedCallers << caller;
    Notifications& notifier = desktop.Notifier();
    if (const int previous = std::exchange(missedHandle, 0); previous > 0)
        notifier.Close(previous);
    Notifications::Note note;
    note.summary = MissedRequestsText(missedCallers);
    note.actions = {QStringLiteral("default"), QStringLiteral("Show Olvex")};
    note.timeoutMs = 0;
    note.urgency = 2;
    missedHandle = notifier.Notify(note);
}

void OperatorConsole::WithdrawMissed() {
    missedCallers.clear();
    if (missedHandle > 0)
        desktop.Notifier().Close(std::exchange(missedHandle, 0));
}

int OperatorConsole::OpenChats() const {
    int open = 0;
    for (QWidget* window : callWindows.Windows()) {
        auto* call = qobject_cast<CallWindow*>(window);
        if (call && call->ChatOpen())
            ++open;
    }
    return open;
}

QString QuitQuestion(int chats, int requests) {
    QStringList parts;
    if (chats > 0)
        parts << (chats == 1 ? QStringLiteral("1 chat is open")
                             : QStringLiteral("%1 chats are open").arg(chats));
    if (requests > 0)
        parts << (requests == 1 ? QStringLiteral("1 request is waiting")
                                : QStringLiteral("%1 requests are waiting").arg(requests));
    if (parts.isEmpty())
        return {};
    return parts.join(QStringLiteral(" and ")) + QStringLiteral(". Quit Olvex anyway?");
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
    // Taken out first: each deletion prunes the list through its destroyed() handler.
    const std::vector<QPointer<QWidget>> alerts = std::exchange(callAlerts, {});
    for (const QPointer<QWidget>& alert : alerts)
        delete alert.data();
    for (QWidget* window : callWindows.Windows()) {
        QPointer<QWidget> guard(window);
        delete guard.data();
    }
}

} // namespace olvex
