#include "call_alert_dialog.h"

#include "agent_settings.h"
#include "alert_sound.h"
#include "call_images.h"
#include "call_window.h"
#include "flat_button.h"
#include "window_placement_store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace olvex {

namespace {

const QString kPlacementSection = QStringLiteral("AlertWindow");
constexpr int kDefaultTimeoutSeconds = 60;

} // namespace

CallAlertDialog::CallAlertDialog(AgentSettings& settings, const QString& text, int32_t callId,
                                 CallWindowList& callWindows, AgentClient* engine, bool takeFocus)
    : QDialog(nullptr,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings(settings), callWindows(callWindows), engine(engine), text(text), callId(callId),
      withSound(settings.NotifySoundOn()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setModal(false);
    // A request that comes in while the operator types elsewhere must not take the keys.
    setAttribute(Qt::WA_ShowWithoutActivating, !takeFocus);
    setWindowTitle(QStringLiteral("Olvex Call"));
    setWindowIcon(CallProgramIcon());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(CallProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* message = new QLabel(text, this);
    message->setObjectName(QStringLiteral("message"));
    message->setAccessibleName(QStringLiteral("Call request"));
    // The name in the text is the visitor's own: shown as typed, never as markup.
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    message->setMinimumWidth(230);

    auto* acceptButton = new FlatButton(QStringLiteral("Accept"), this);
    acceptButton->setObjectName(QStringLiteral("acceptButton"));
    ApplyDialogPreset(*acceptButton, CallImage(QStringLiteral("accept"), 16));
    acceptButton->setDefault(true);
    auto* cancelButton = new FlatButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    ApplyDialogPreset(*cancelButton, CallImage(QStringLiteral("cancel"), 16));
    for (FlatButton* button : {acceptButton, cancelButton})
        button->setMinimumWidth(76);
    connect(acceptButton, &QPushButton::clicked, this, &CallAlertDialog::Accept);
    connect(cancelButton, &QPushButton::clicked, this, &CallAlertDialog::Cancel);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(message, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(acceptButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(9, 8, 9, 8);
    root->addLayout(top);
    root->addLayout(buttons);

    // A new alert's sound replaces the one playing.
    if (withSound)
        AlertSound::Shared().Play();
    adjustSize();
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);

    timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(TimeoutMs());
    connect(timer, &QTimer::timeout, this, [this] {
        emit TimedOut();
        Cancel();
    });
    show();
    timer->start();
    acceptButton->setFocus();
    if (takeFocus) {
        raise();
        activateWindow();
    }
    if (!isActiveWindow())
        QApplication::alert(this, 0);
}

CallAlertDialog::~CallAlertDialog() {
    // One sound for all alerts: closing any of them silences it.
    if (withSound)
        AlertSound::Shared().Stop();
    WindowPlacementStore().SaveWindowPlacement(*this, kPlacementSection);
    timer->stop();
}

int CallAlertDialog::TimeoutMs() const {
    // A time-out of 0 or less would close every alert before the operator saw
    // it; such a value means the default. Very large values are cut to what a
    // timer can hold instead of overflowing.
    const int64_t seconds =
        settings.notifyTimeout > 0 ? settings.notifyTimeout : kDefaultTimeoutSeconds;
    return static_cast<int>(std::min<int64_t>(seconds * 1000, std::numeric_limits<int>::max()));
}

void CallAlertDialog::Accept() {
    timer->stop();
    accepted = new CallWindow(settings, callId, callWindows, engine);
    accepted->SetVisitorName(visitor);
    close();
}

// Closing is the end of the alert, not a question to reject().
void CallAlertDialog::closeEvent(QCloseEvent* event) {
    event->accept();
}

void CallAlertDialog::Cancel() {
    timer->stop();
    close();
}

} // namespace olvex
