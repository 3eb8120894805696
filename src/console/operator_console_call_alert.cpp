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
}

} // namespace olvex
