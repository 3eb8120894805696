#include "call_alert_dialog.h"
#include "operator_console.h"

namespace olvex {

// The alert has no parent, so it stays in view while the console is minimised;
// Accept opens the call window, which joins the console's call window list.
void OperatorConsole::ShowCallAlert(int32_t callId, int32_t requesterId, int32_t kind,
                                    const QString& text, const QString& caller) {
    auto* alert = new CallAlertDialog(settings, text, callId, callWindows);
    if (kind == 1)
        alert->SetVisitorName(caller);
    alert->setProperty("caller", caller);
    alert->setObjectName(QStringLiteral("callAlert"));
    alert->setProperty("callId", callId);
    alert->setProperty("requesterId", requesterId);
    alert->setProperty("kind", kind);
    std::erase_if(callAlerts, [](const QPointer<QWidget>& open) { return open.isNull(); });
    callAlerts.emplace_back(alert);
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
