#include "call_alert_dialog.h"
#include "operator_console.h"

namespace olvex {

// The alert has no parent, so it stays in view while the console is minimised;
// Accept opens the call window, which joins the console's call window list.
void OperatorConsole::ShowCallAlert(int32_t callId, int32_t requesterId, int32_t kind,
                                    const QString& text) {
    auto* alert = new CallAlertDialog(settings, text, callId, callWindows);
    alert->setObjectName(QStringLiteral("callAlert"));
    alert->setProperty("callId", callId);
    alert->setProperty("requesterId", requesterId);
    alert->setProperty("kind", kind);
    std::erase_if(callAlerts, [](const QPointer<QWidget>& open) { return open.isNull(); });
    callAlerts.emplace_back(alert);
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
