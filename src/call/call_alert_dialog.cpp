#include "call_alert_dialog.h"

#include "agent_client.h"
#include "accessibility.h"
#include "agent_settings.h"
#include "alert_sound.h"
#include "alert_stack.h"
#include "call_images.h"
#include "call_window.h"
#include "call_window_list.h"
#include "flat_button.h"
#include "transcript_archive.h"
#include "window_placement_store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace olvex {

namespace {

const QString kPlacementSection = QStringLiteral("AlertWindow");
constexpr int kDefaultTimeoutSeconds = 60;
constexpr int64_t kSayWaitingAfterMs = 10'000;
constexpr int kCornerMargin = 24;

// Open alerts, oldest first; all on the UI thread.
std::vector<CallAlertDialog*>& Registry() {
    static std::vector<CallAlertDialog*> alerts;
    return alerts;
}

CallWindow* OpenCallWindow(const CallWindowList& list, int32_t callId) {
    for (QWidget* window : list.Windows()) {
        auto* call = qobject_cast<CallWindow*>(window);
        if (call && call->CallId() == callId && call->ChatOpen())
            return call;
    }
    return nullptr;
}

} // namespace

QString WaitingText(int64_t waitedMs) {
    if (waitedMs <= kSayWaitingAfterMs)
        return {};
    const int64_t seconds = waitedMs / 1000;
    if (seconds < 120)
        return QStringLiteral("waiting %1 s").arg(seconds);
    return QStringLiteral("waiting %1 min").arg(seconds / 60);
}

CallAlertDialog::CallAlertDialog(AgentSettings& settings, const QString& text, int32_t callId,
                                 CallWindowList& callWindows, AgentClient* engine,
                                 const QString& opening)
    : QDialog(nullptr,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings(settings), callWindows(callWindows), engine(engine), text(text),
      opening(opening), callId(callId),
      withSound(settings.NotifySoundOn()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setModal(false);
    // Whatever the operator is typing into keeps the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Olvex Call"));
    setWindowIcon(CallProgramIcon());
    // Read out whole as it appears, who is calling included, while the focus stays elsewhere.
    SetAccessibleRole(*this, QAccessible::AlertMessage);
    const QString quoted = QStringLiteral("\u201C%1\u201D").arg(opening);
    setAccessibleDescription(opening.isEmpty() ? text
                                               : text + QStringLiteral(" The visitor wrote: ") + quoted);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(CallProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* message = new QLabel(text, this);
    message->setObjectName(QStringLiteral("message"));
    // The name in the text is the visitor's own: shown as typed, never as markup.
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    message->setMinimumWidth(230);
    // The visitor's own words, in quotes under the sentence; plain text like the name.
    auto* question = new QLabel(this);
    question->setObjectName(QStringLiteral("opening"));
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    // Heard as "The visitor wrote: ..." with the words themselves, never instead of them.
    question->setAccessibleName(QStringLiteral("The visitor wrote: ") + quoted);
    question->setText(quoted);
    question->setVisible(!opening.isEmpty());
    waiting = new QLabel(this);
    waiting->setObjectName(QStringLiteral("waiting"));
    waiting->setTextFormat(Qt::PlainText);
    waiting->setAlignment(Qt::AlignRight);
    // Reserves its line from the start, so the alert never grows under the mouse.
    waiting->setText(QStringLiteral(" "));

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
    auto* words = new QVBoxLayout;
    words->addWidget(message, 1);
    if (!opening.isEmpty())
        words->addWidget(question);
    words->addWidget(waiting);
    top->addLayout(words, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(acceptButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(9, 8, 9, 8);
    root->addLayout(top);
    root->addLayout(buttons);

    keyGuard = new AlertKeyGuard(*this, clock);
    appearedAt = clock();

    // A new alert's sound replaces the one playing.
    if (withSound)
        AlertSound::Shared().Play();
    ensurePolished(); // a style sheet's font counts in the size
    adjustSize();
    // One size only: tiling window managers float such a dialog at that size instead of
    // tiling it as a column, and no size a desktop once gave it is taken for its own.
    setFixedSize(size());
    Place();

    timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(TimeoutMs());
    connect(timer, &QTimer::timeout, this, [this] {
        emit TimedOut();
        Cancel();
    });
    waitingTimer = new QTimer(this);
    waitingTimer->setInterval(1000);
    connect(waitingTimer, &QTimer::timeout, this, &CallAlertDialog::UpdateWaiting);
    Registry().push_back(this);
    show();
    timer->start();
    waitingTimer->start();
    acceptButton->setFocus();
    KeepOldestInFront();
    if (!isActiveWindow())
        QApplication::alert(this, 0);
}

CallAlertDialog::~CallAlertDialog() {
    std::erase(Registry(), this);
    // One sound for all alerts: closing any of them silences it.
    if (withSound)
        AlertSound::Shared().Stop();
    // The remembered place is the first alert's; the others only stand beside it.
    if (slot == 0)
        WindowPlacementStore().SaveWindowPlacement(*this, kPlacementSection);
    timer->stop();
}

std::vector<CallAlertDialog*> CallAlertDialog::OpenAlerts() {
    return Registry();
}

void CallAlertDialog::Place() {
    // Until the operator moves one, the first alert stands in the bottom right corner, out of
    // the way of the windows' own dialogs, which open over their centres.
    // The frame's title bar is not known before the window is shown: a style's guess.
    const int title = std::max(24, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        // The title bar sits above the dialog: without it the bottom edge went off the screen.
        const QRect screen = primary->availableGeometry();
        move(screen.right() - width() - kCornerMargin,
             screen.bottom() - height() - title - kCornerMargin);
    }
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);
    std::vector<int> used;
    for (const CallAlertDialog* other : Registry())
        used.push_back(other->slot);
    const QRect first = geometry().adjusted(0, -title, 0, 0);
    QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    slot = alert_stack::NextSlot(used, alert_stack::Capacity(first, available));
    if (slot == 0)
        return;
    const QPoint at = alert_stack::SlotPosition(first, available, slot);
    move(at.x(), at.y() + title);
}

void CallAlertDialog::KeepOldestInFront() {
    // Raised newest first, so the one that has waited longest ends on top.
    const std::vector<CallAlertDialog*>& alerts = Registry();
    for (auto it = alerts.rbegin(); it != alerts.rend(); ++it) {
        if ((*it)->isVisible())
            (*it)->raise();
    }
}

void CallAlertDialog::SetClock(AlertKeyGuard::Clock newClock) {
    clock = std::move(newClock);
    keyGuard->Restart(clock);
    appearedAt = clock();
    UpdateWaiting();
}

void CallAlertDialog::UpdateWaiting() {
    const QString said = WaitingText(clock() - appearedAt);
    waiting->setText(said.isEmpty() ? QStringLiteral(" ") : said);
    waiting->setAccessibleName(said);
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
    // One request, one join: a burst of Enter or a second alert of the same call
    // opens nothing more.
    if (answered)
        return;
    answered = true;
    timer->stop();
    accepted = OpenCallWindow(callWindows, callId);
    if (!accepted) {
        accepted =
            new CallWindow(settings, callId, callWindows,
                           engine ? *engine : *AgentClient::Instance(), SessionArchive(), visitor,
                           opening);
        accepted->FollowVisitor(requesterId);
    }
    // The operator chose this chat: it gets the keyboard.
    if (bringToFront) {
        bringToFront(*accepted);
    } else {
        accepted->raise();
        accepted->activateWindow();
    }
    close();
}

// Closing is the end of the alert, not a question to reject().
void CallAlertDialog::closeEvent(QCloseEvent* event) {
    // Its slot is free for the next request from now on, not only once it is deleted.
    std::erase(Registry(), this);
    event->accept();
}

void CallAlertDialog::Cancel() {
    if (answered)
        return;
    answered = true;
    timer->stop();
    close();
}

} // namespace olvex
