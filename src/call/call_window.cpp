#include "call_window.h"

#include "accessibility.h"
#include "agent_client.h"
#include "agent_settings.h"
#include "call_images.h"
#include "call_texts.h"
#include "call_window_list.h"
#include "event_sound.h"
#include "font_scaled.h"
#include "log_categories.h"
#include "message_box.h"
#include "result_code.h"
#include "transcript_archive.h"
#include "ui_event_pump.h"
#include "window_placement_store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTimer>
#include <utility>

namespace olvex {

namespace ev = call_event;

namespace {

constexpr int kTypingTimerMs = 1000;
const QString kPlacementSection = QStringLiteral("ChatWindow");

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

CallSession::Options SessionOptions(const AgentSettings& settings,
                                    std::shared_ptr<TranscriptArchive> archive,
                                    const QString& visitorName, const QString& opening) {
    CallSession::Options options;
    options.operatorName = settings.username;
    options.welcome = settings.welcomeMsg;
    options.visitorName = ToBytes(visitorName);
    options.opening = ToBytes(opening);
    options.archive = std::move(archive);
    // The operator's own short formats for {date} and {time}.
    options.dateTime = [] {
        const QDateTime now = QDateTime::currentDateTime();
        return CallSession::DateTime{
            ToBytes(QLocale::system().toString(now.date(), QLocale::ShortFormat)),
            ToBytes(QLocale::system().toString(now.time(), QLocale::ShortFormat))};
    };
    return options;
}

template <class... F> struct Overloaded : F... { using F::operator()...; };
// Spelled out for compilers without aggregate deduction.
template <class... F> Overloaded(F...) -> Overloaded<F...>;

} // namespace

CallWindow::CallWindow(AgentSettings& settings, int32_t callId, CallWindowList& callWindows,
                       AgentClient& engine, std::shared_ptr<TranscriptArchive> archive,
                       const QString& visitorName, const QString& opening)
    : QWidget(nullptr, Qt::Window), settings(settings), callId(callId), callWindows(callWindows),
      engine(engine), openedAt(QDateTime::currentMSecsSinceEpoch()) {
    const std::string historyPath = archive ? archive->Path() : std::string();
    session = std::make_unique<CallSession>(
        engine, callId, SessionOptions(settings, std::move(archive), visitorName, opening));
    setAttribute(Qt::WA_DeleteOnClose);
    // The console alone keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Olvex"));
    setWindowIcon(CallProgramIcon());
    BuildLayout();

    typingTimer = new QTimer(this);
    typingTimer->setInterval(kTypingTimerMs);
    connect(typingTimer, &QTimer::timeout, this, &CallWindow::ClearStaleTypingNotice);
    SetDefaultTools();

    ResizeForFont(*this, QSize(560, 400));
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);
    FillCannedTree();
    SetTabOrder();
    input->setFocus();
    show();
    // Every event of the call reaches the window through the pump, one flush per batch.
    pump = new UiEventPump(
        0, [this] { Flush(); }, this);
    session->SetWake([pump = pump] { pump->Wake(); });
    session->Start();
    callWindows.Add(this);
    LookUpEarlierChats(historyPath, ToBytes(visitorName));
}

CallWindow::~CallWindow() {
    callWindows.Remove(this);
    typingTimer->stop();
    if (contextTimer)
        contextTimer->stop();
    if (earlierLookup.joinable())
        earlierLookup.join();
    pump->Stop();
    // Nothing is posted to the window from here on; a call still connecting is given up.
    session->Close();
}

void CallWindow::Flush() {
    session->Deliver(*this);
}

std::shared_ptr<ChatCall> CallWindow::Call() const {
    return session->Call();
}

void CallWindow::SetVisitorName(const QString& name) {
    session->SetVisitorName(ToBytes(name));
}

void CallWindow::SetClock(std::function<int64_t()> clock) {
    session->SetClock(std::move(clock));
}

bool CallWindow::QueueChatItem(ChatItemKind kind, std::optional<std::string_view> content) {
    return session->Queue(kind, content) == ResultCode::Ok;
}

// ---- the operator's actions --------------------------------------------------------------

void CallWindow::SendTypedText() {
    const QString typed = input->toPlainText();
    if (typed.isEmpty())
        return;
    // What could not go out stays in the box, to be copied or kept.
    if (const int32_t result = session->SendTyped(ToBytes(typed)); result == ResultCode::Ok)
        input->clear();
    else
        NotSent(QStringLiteral("The line could not be sent"), result);
    Flush();
}

void CallWindow::TypingKey() {
    session->TypingKey();
}

bool CallWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == input && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            SendTypedText();
            return true;
        }
        // Alt combinations are the system's keys (menus, mnemonics), not typing.
        if (!(key->modifiers() & Qt::AltModifier) && !input->isReadOnly())
            TypingKey();
    }
    return QWidget::eventFilter(watched, event);
}

void CallWindow::SendUrl(UrlAction action) {
    const std::optional<std::string> url = urlPrompt ? urlPrompt(this, action) : std::nullopt;
    if (!url)
        return;
    int32_t result = ResultCode::Ok;
    switch (action) {
    case UrlAction::Link:
        if ((result = session->SendLink(*url)) != ResultCode::Ok)
            NotSent(QStringLiteral("The link could not be sent"), result);
        break;
    case UrlAction::Image:
        if ((result = session->SendImage(*url)) != ResultCode::Ok)
            NotSent(QStringLiteral("The image could not be sent"), result);
        break;
    case UrlAction::Push:
        if ((result = session->PushUrl(*url, FormEncode(*url))) != ResultCode::Ok)
            NotSent(QStringLiteral("The page could not be pushed"), result);
        break;
    }
    Flush();
}

void CallWindow::SendLink() {
    SendUrl(UrlAction::Link);
}

void CallWindow::SendImage() {
    SendUrl(UrlAction::Image);
}

void CallWindow::PushUrl() {
    SendUrl(UrlAction::Push);
}

void CallWindow::EndCall() {
    session->End();
    Flush();
}

void CallWindow::ClearStaleTypingNotice() {
    if (session->TypingNoticeStale())
        SetStatus(QString());
}

// ---- what the window shows ---------------------------------------------------------------

void CallWindow::OnEvent(const CallEvent& event) {
    std::visit(Overloaded{
                   [this](const ev::Connecting&) {
                       setWindowTitle(QStringLiteral("Olvex Call - Connecting"));
                       SetStatus(QStringLiteral("Connecting to Olvex server..."));
                   },
                   [this](const ev::Connected&) {
                       state = CallState::Connected;
                       callWindows.SetState(this, CallWindowList::ChatState::InChat);
                       SetStatus(QStringLiteral("Connected to Olvex server."));
                       typingTimer->start();
                   },
                   [this](const ev::JoinFailed& failed) { ShowError(FromBytes(failed.message)); },
                   [this](const ev::Line& line) { ShowLine(line); },
                   [this](const ev::Typing& typing) {
                       const QString text = FromBytes(TypingStatusText(typing.sender));
                       SetStatus(text);
                       // Once a chat: the notices keep coming while the other side types.
                       if (!typingAnnounced) {
                           typingAnnounced = true;
                           AnnouncePolitely(*this, text + QStringLiteral(" (") +
                                                       windowTitle() + QLatin1Char(')'));
                       }
                   },
                   [this](const ev::Flash& flash) {
                       Flash();
                       if (flash.unread && !isActiveWindow()) {
                           callWindows.SetUnread(this, true);
                           if (AgentSettings::IsOn(settings.lineSound))
                               EventSound::Shared().Play(EventSound::Kind::Line);
                       }
                   },
                   [this](const ev::ParticipantsChanged& changed) {
                       if (state == CallState::Connected)
                           setWindowTitle(FromBytes(changed.title));
                   },
                   [this](const ev::Closed& closed) {
                       qCInfo(lcCall) << "call" << callId << "window: call ended, reason"
                                      << closed.reason << "ending" << int(closed.ending);
                       SetClosedState();
                   },
                   // The engine's own reports are for scripts; the lines above show them.
                   [](const auto&) {},
               },
               event);
}

void CallWindow::ShowLine(const ev::Line& line) {
    const QString text = FromBytes(line.text);
    // The operator reads the window in front; what arrives behind it is said, with where.
    if (!line.own && !isActiveWindow()) {
        const QString name = FromBytes(line.name);
        AnnouncePolitely(*this, name.isEmpty()
                                    ? QStringLiteral("%1: %2").arg(windowTitle(), text)
                                    : QStringLiteral("%1 in %2: %3").arg(name, windowTitle(), text));
    }
    switch (line.kind) {
    case LineKind::Text:
    case LineKind::Link:
        transcript->AppendNameLine(FromBytes(line.name), line.own, line.time);
        transcript->AppendPlain(text, line.kind == LineKind::Link ? kLinkColour : kTextColour);
        break;
    case LineKind::Event:
    case LineKind::Push:
    case LineKind::Notice:
        transcript->AppendEvent(text, line.kind, line.time);
        break;
    }
}

void CallWindow::ShowError(const QString& message) {
    qCWarning(lcCall).noquote() << "call" << callId << "failed:" << message;
    state = CallState::Error;
    callWindows.SetState(this, CallWindowList::ChatState::Ended);
    setWindowTitle(QStringLiteral("Olvex Call - Error"));
    SetStatus(QStringLiteral("Failed to conect to Olvex server."));
    StopInput(QStringLiteral("The chat could not be started."));
    ShowMessageBox(this, message);
}

void CallWindow::Flash() {
    ++flashRequests;
    if (!isActiveWindow())
        QApplication::alert(this, 0);
}

void CallWindow::SetStatus(const QString& text) {
    status->setText(text);
}

void CallWindow::SetClosedState() {
    state = CallState::Closed;
    endedAt = QDateTime::currentMSecsSinceEpoch();
    callWindows.SetState(this, CallWindowList::ChatState::Ended);
    setWindowTitle(QStringLiteral("Olvex Call - Closed"));
    SetStatus(QStringLiteral("Chat closed"));
    // No typing notice comes any more: what the status line says now stays.
    typingTimer->stop();
    StopInput(QStringLiteral("The chat has ended."));
}

void CallWindow::StopInput(const QString& why) {
    // Read-only rather than disabled: a screen reader still reads what is in the box.
    input->setReadOnly(true);
    input->setAccessibleDescription(why);
    if (cannedShown)
        HideCannedPanel();
    for (QWidget* tool : sendingTools)
        tool->setEnabled(false);
    findAnswer->setEnabled(false);
}

void CallWindow::NotSent(const QString& what, int32_t result) {
    qCInfo(lcCall) << "call" << callId << "window: nothing queued, result" << result;
    QString why;
    switch (session->CurrentState()) {
    case CallSession::State::Idle:
    case CallSession::State::Connecting:
        why = QStringLiteral("the chat has not started yet.");
        break;
    case CallSession::State::Failed:
        why = QStringLiteral("the chat could not be started.");
        break;
    case CallSession::State::Connected:
    case CallSession::State::Closed:
        why = QStringLiteral("the chat has ended.");
        break;
    }
    SetStatus(what + QStringLiteral(": ") + why);
}

void CallWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        callWindows.SetUnread(this, false);
}

TranscriptHeader CallWindow::Header() const {
    return {FromBytes(session->VisitorName()), FromBytes(settings.username), openedAt, endedAt};
}

QString CallWindow::PeerName() const {
    const QString visitor = FromBytes(session->VisitorName());
    if (!visitor.isEmpty())
        return visitor;
    const int32_t own = engine.OwnUserId();
    QStringList names;
    for (const UserRecord& user : session->Participants()) {
        if (user.userId != own)
            names << FromBytes(ParticipantEventName(user));
    }
    return names.isEmpty() ? QStringLiteral("the visitor") : names.join(QStringLiteral(", "));
}

void CallWindow::closeEvent(QCloseEvent* event) {
    // A running chat is not ended by a stray Escape or close box: the visitor is still there.
    if (Call() && !endConfirmed) {
        event->ignore();
        const bool byEscape = std::exchange(escaping, false);
        if (asking)
            return;
        asking = true;
        AskWindowModal(this, QStringLiteral("End the chat with %1?").arg(PeerName()),
                       [this, byEscape](QMessageBox::StandardButton answer) {
                           asking = false;
                           if (answer != QMessageBox::Yes)
                               return;
                           endConfirmed = true;
                           escaping = byEscape;
                           // Not from inside this close, which is still being refused.
                           QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
                       });
        return;
    }
    // Escape leaves the placement of the last window closed with its close box.
    if (!escaping)
        WindowPlacementStore().SaveWindowPlacement(*this, kPlacementSection);
    event->accept();
}

} // namespace olvex
