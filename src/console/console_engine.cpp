#include "console_engine.h"

#include "agent_client.h"
#include "console_images.h"
#include "console_tray.h"
#include "desktop_services.h"
#include "event_sound.h"
#include "flat_button.h"
#include "hyperlink_label.h"
#include "log_categories.h"
#include "log_file.h"
#include "login_dialog.h"
#include "message_box.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "options_dialog.h"
#include "page_list_view.h"
#include "product_info.h"
#include "result_code.h"
#include "ui_event_pump.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <variant>

namespace olvex {

namespace {

const QString kLoggedInText = QStringLiteral("You are now logged in to the Olvex server");
const QString kLoggedOutText = QStringLiteral("You are now logged out from the Olvex server");
const QString kLostText =
    QStringLiteral("The connection to the Olvex server was lost; trying to reconnect");
constexpr char kConnectionClosedText[] = "The connection to the Olvex server was closed.\r\n";

QString WithResult(const char* fixed, int32_t result) {
    return QString::fromLatin1(fixed) + QString::fromUtf8(ResultText(result));
}

} // namespace

ConsoleEngine::ConsoleEngine(OperatorConsole& c, AgentClient& e)
    : QObject(&c), console(c), session(e),
      runDialog([](QDialog& dialog) { return ExecWindowModal(dialog); }) {
    QPointer<ConsoleEngine> self(this);
    console.SetShutdown([self] {
        if (self)
            self->Shutdown();
    });

    // Only a console that can be brought back from the tray hides itself when minimised;
    // the tray follows the desktop's panel while running.
    tray = new ConsoleTray(console, this);
    RefreshTray();

    connect(&console, &OperatorConsole::LoginRequested, this, &ConsoleEngine::Connect);
    connect(&console, &OperatorConsole::AutoLoginRequested, this, &ConsoleEngine::AutoLogin);
    connect(&console, &OperatorConsole::LogoutRequested, this, &ConsoleEngine::Logout);
    connect(&console, &OperatorConsole::StatusRequested, this, &ConsoleEngine::SetStatus);
    connect(&console, &OperatorConsole::InviteRequested, this, &ConsoleEngine::Invite);
    connect(&console, &OperatorConsole::WaitingChanged, this, &ConsoleEngine::WaitingChanged);

    // At most one flush per kFlushGapMs: a steady stream of events is applied in batches,
    // and the lists repaint once per batch rather than once per event.
    pump = new UiEventPump(
        kFlushGapMs, [this] { Flush(); }, this);
    session.SetWake([pump = pump] { pump->Wake(); });

    timer = new QTimer(this);
    timer->setInterval(kTimerPeriodMs);
    connect(timer, &QTimer::timeout, this, &ConsoleEngine::OnTick);
    countdown = new QTimer(this);
    countdown->setSingleShot(true);
    connect(countdown, &QTimer::timeout, this, &ConsoleEngine::ShowRetry);

    // Needs no user data, so it stays valid after the console has gone.
    e.logSink = QtLogSink();
}

ConsoleEngine::~ConsoleEngine() {
    Shutdown();
}

void ConsoleEngine::Flush() {
    flushing = true;
    lastBalloon.clear();
    console.PageList().BeginChanges();
    session.Deliver(*this);
    console.PageList().EndChanges();
    flushing = false;
    if (!lastBalloon.isEmpty())
        PostBalloon(lastBalloon);
}

void ConsoleEngine::OnEvent(const OperatorEvent& event) {
    std::visit([this](const auto& e) { Apply(e); }, event);
}

void ConsoleEngine::ShowMessage(const QString& text) {
    // Opened after the current batch, so that its event loop cannot reorder the batch.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (!closing)
                ShowMessageBox(&console, text);
        },
        Qt::QueuedConnection);
}

OperatorConfig ConsoleEngine::Config() const {
    const AgentSettings& s = console.Settings();
    return OperatorConfig{s.serverAddress,
                          s.serverPort,
                          s.username,
                          s.password,
                          TlsConfig{AgentSettings::IsOn(s.useTls), s.caFile},
                          AgentSettings::IsOn(s.reconnect)};
}

void ConsoleEngine::Connect() {
    AgentSettings& settings = console.Settings();
    if (settings.serverAddress.empty()) {
        ShowMessageBox(&console, QStringLiteral("You must first set the Olvex server address and "
                                                "port in the Options dialog."));
        OptionsDialog options(settings, console.Desktop(), &console);
        runDialog(options);
        if (settings.serverAddress.empty())
            return;
    }
    if (session.Reconnecting()) {
        ShowMessageBox(&console, QStringLiteral("Olvex is trying to reconnect to the Olvex server "
                                                "now.\r\nIf it fails, please try again in a few "
                                                "seconds."));
        return;
    }
    if (session.LoginRunning())
        return;
    // Stopped for good if the dialog is cancelled: no reconnection until the next log-in.
    StopTimer();
    LoginDialog login(settings, &console);
    if (runDialog(login) != QDialog::Accepted)
        return;
    session.Login(Config());
}

void ConsoleEngine::AutoLogin() {
    const AgentSettings& settings = console.Settings();
    if (!AgentSettings::IsOn(settings.saveLogin)) {
        Connect();
        return;
    }
    if (settings.serverAddress.empty()) {
        ShowMessageBox(&console, QStringLiteral("You must first set the Olvex server address and "
                                                "port in the Options dialog."));
        return;
    }
    if (session.LoginRunning())
        return;
    // Nothing remembered after all (a locked or missing secret store, say): ask for it.
    if (settings.username.empty() || settings.password.empty()) {
        Connect();
        return;
    }
    // With Reconnect on, a server not yet reachable (the network still coming up) is tried
    // again until it answers.
    session.Login(Config(), true);
}

void ConsoleEngine::Apply(const operator_event::Connecting& event) {
    countdown->stop();
    if (event.reconnecting)
        qCInfo(lcConsole) << "reconnecting";
    // A reconnection leaves Login pressable: it then says that a reconnection is under way.
    else
        console.ButtonOf(OperatorConsole::Button::Login).setEnabled(false);
    console.SetTitleConnecting();
    RefreshTray();
}

void ConsoleEngine::Apply(const operator_event::LoginFinished& event) {
    if (event.result == 0)
        return;
    // The tray keeps the connecting tooltip until its next refresh; a retry's countdown
    // follows at once.
    console.SetTitleNotConnected();
    // Failures of the session's own tries are shown in the title, not one box per try.
    if (!event.reconnecting && !event.retrying && !event.cancelled)
        ShowMessage(QStringLiteral("Failed to connect to the Olvex server.\r\n") +
                    QString::fromStdString(event.message));
    console.ButtonOf(OperatorConsole::Button::Login).setEnabled(true);
    if (!event.retrying) {
        countdown->stop();
        console.ButtonOf(OperatorConsole::Button::Logout).setEnabled(false);
    }
}

void ConsoleEngine::Apply(const operator_event::RetryScheduled& event) {
    qCInfo(lcConsole).nospace() << (event.atStart ? "log-in" : "reconnection") << " try "
                                << event.attempt << " in " << event.delay.count() << " ms";
    nextTry = event.nextTry;
    retryAtStart = event.atStart;
    retryFailure = event.result < 0 ? QString::fromStdString(event.message) : QString();
    ShowRetry();
    // Logout is how the operator ends the tries; Login only explains that they run.
    console.ButtonOf(OperatorConsole::Button::Logout).setEnabled(true);
    console.ButtonOf(OperatorConsole::Button::Login).setEnabled(true);
}

void ConsoleEngine::ShowRetry() {
    using namespace std::chrono;
    const int64_t left =
        std::max<int64_t>(duration_cast<milliseconds>(nextTry - steady_clock::now()).count(), 0);
    const int64_t seconds = std::max<int64_t>(1, (left + 500) / 1000);
    console.SetTitleRetrying(retryAtStart, int(seconds), retryFailure);
    RefreshTray();
    // Again when the rounded number drops; the last second lasts until the try begins.
    if (seconds > 1)
        countdown->start(int(left - (seconds * 1000 - 500)) + 1);
}

void ConsoleEngine::Apply(const operator_event::LoggedIn& event) {
    countdown->stop();
    console.OperatorList().Clear();
    console.PageList().Clear();
    // Busy or away kept over a reconnection has already gone out again.
    if (event.status == OperatorConsole::kStatusOnline)
        console.SetTitleOnline();
    else
        console.SetTitleStatus(event.status);
    restoredStatus = event.status == OperatorConsole::kStatusOnline ? 0 : event.status;
    RefreshTray();
    console.SetLoggedInButtons(true);
    emit StatusShown(event.status);
}

void ConsoleEngine::Apply(const operator_event::NewVersionOffered&) {
    AskForNewVersion();
}

void ConsoleEngine::Apply(const operator_event::ListsRequested&) {
    console.ShowReports();
    StartTimer();
    ShowBalloon(kLoggedInText);
}

void ConsoleEngine::AskForNewVersion() {
    auto* box = new QMessageBox(
        QMessageBox::NoIcon, QStringLiteral("New Olvex version"),
        QStringLiteral("There is a new version of the Olvex Operator application available for "
                       "download.\r\nWould you like to download and install the new version?"),
        QMessageBox::Yes | QMessageBox::No, &console);
    box->setObjectName(QStringLiteral("newVersionQuestion"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    // Not a nested event loop: the window keeps applying the session's events meanwhile.
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (box->clickedButton() == box->button(QMessageBox::Yes))
            HyperlinkLabel::OpenLink(QStringLiteral("http://") +
                                     QLatin1String(product::kVendorHost) +
                                     QLatin1String(product::kDownloadsPath));
        session.AnswerNewVersion();
    });
    versionQuestion = box;
    box->show();
}

void ConsoleEngine::Logout() {
    StopTimer();
    countdown->stop();
    session.Logout();
}

void ConsoleEngine::SetStatus(int32_t status) {
    if (session.LoggedIn())
        session.SetStatus(status);
}

void ConsoleEngine::Apply(const operator_event::StatusFailed& event) {
    ShowMessage(WithResult("Failed to change your status.\r\n", event.result));
}

void ConsoleEngine::Invite() {
    if (!session.LoggedIn())
        return;
    PageListView& pages = console.PageList();
    std::vector<int32_t> pageIds;
    for (const int32_t pageId : pages.SelectedPageIds()) {
        if (pageId > 0)
            pageIds.push_back(pageId);
    }
    switch (session.Invite(pageIds, console.Settings().username)) {
    case OperatorSession::Command::Accepted:
        for (const int32_t pageId : pageIds)
            pages.MarkInvited(pageId);
        return;
    case OperatorSession::Command::AlreadyRunning:
        ShowMessageBox(&console,
                       QStringLiteral("There is already a similar command in progress.\r\nPlease "
                                      "wait for the previous command to finish first."));
        return;
    default:
        return;
    }
}

void ConsoleEngine::Apply(const operator_event::InvitationsFinished& event) {
    // Rows already marked keep their mark.
    if (event.result < 0)
        ShowMessage(WithResult("Failed to invite selected users to chat.\r\n", event.result));
}

void ConsoleEngine::SetTimerPeriods(int periodMs, int pauseMs) {
    timer->setInterval(periodMs);
    session.SetKeepAlivePause(std::chrono::milliseconds(pauseMs));
}

bool ConsoleEngine::TimerRunning() const {
    return timer->isActive();
}

void ConsoleEngine::StartTimer() {
    session.ResetKeepAlive();
    timer->start();
}

void ConsoleEngine::StopTimer() {
    session.ResetKeepAlive();
    timer->stop();
}

void ConsoleEngine::OnTick() {
    console.PageList().AddElapsedMinute();
    // Options changed since the log-in count for a reconnection.
    session.SetConfig(Config());
    session.Tick();
}

void ConsoleEngine::Apply(const operator_event::KeepAliveFailed& event) {
    qCWarning(lcConsole) << "no keep-alive went through in" << event.attempts
                         << "attempts, logging out";
}

void ConsoleEngine::Apply(const operator_event::Disconnected& event) {
    // The engine goes with the console; there is nothing left to reset.
    if (event.reason == DisconnectReason::Shutdown)
        return;
    // A frame too large to take is no passing fault: say so, and do not reconnect into the
    // same refusal every minute.
    if (event.reason == DisconnectReason::ConnectionLost &&
        event.result == ResultCode::MessageSize) {
        StopTimer();
        ShowMessage(WithResult(kConnectionClosedText, ResultCode::MessageSize));
    }
    // The timer keeps running through a reconnection; its ticks wait for the log-in.
    if (!event.reconnecting)
        countdown->stop();
    console.OperatorList().Clear();
    console.PageList().Clear();
    console.ClearReports();
    console.SetTitleNotConnected();
    RefreshTray();
    console.SetLoggedInButtons(false);
    // One notification for the loss; the tries that follow show only in the title.
    ShowBalloon(event.reconnecting ? kLostText : kLoggedOutText);
    emit StatusShown(0);
}

void ConsoleEngine::Apply(const operator_event::StatusChanged& event) {
    console.SetTitleStatus(event.status);
    RefreshTray();
    const bool restored = event.status == restoredStatus;
    restoredStatus = 0;
    // The return after a reconnection has its one notification already.
    if (!restored)
        ShowBalloon(QStringLiteral("Your status has now been changed to %1")
                        .arg(OperatorListView::StatusWord(event.status)));
    emit StatusShown(event.status);
}

void ConsoleEngine::Shutdown() {
    if (closing)
        return;
    closing = true;
    StopTimer();
    countdown->stop();
    pump->Stop();
    delete versionQuestion.data();
    session.Shutdown();
    tray->Remove();
    // Docks would otherwise go on showing a count for a program that has ended.
    if (launcherCount != 0)
        console.Desktop().Launcher().SetCount(0);
}

} // namespace olvex
