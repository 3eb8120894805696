#include "operator_console.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace olvex {

// A plain alert until the call alert window exists: it shows the text and only closes.
void OperatorConsole::ShowCallAlert(int32_t callId, int32_t requesterId, int32_t kind,
                                    const QString& text) {
    auto* alert = new QDialog(this, Qt::Window | Qt::WindowStaysOnTopHint);
    alert->setObjectName(QStringLiteral("callAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowTitle(QStringLiteral("Olvex Call"));
    alert->setProperty("callId", callId);
    alert->setProperty("requesterId", requesterId);
    alert->setProperty("kind", kind);
    auto* message = new QLabel(text, alert);
    message->setObjectName(QStringLiteral("message"));
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(alert);
    buttons->addButton(QStringLiteral("Accept"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, alert, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, alert, &QDialog::reject);
    auto* layout = new QVBoxLayout(alert);
    layout->addWidget(message);
    layout->addWidget(buttons);
    alert->show();
}

} // namespace olvex
