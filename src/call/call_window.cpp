#include "call_window.h"

#include "agent_client.h"
#include "agent_settings.h"
#include "c_url_dlg.h"
#include "call_channel.h"
#include "call_images.h"
#include "call_list.h"
#include "call_recorder.h"
#include "call_window_list.h"
#include "canned_answer_store.h"
#include "canned_search.h"
#include "chat_call.h"
#include "event_sound.h"
#include "flat_button.h"
#include "invite_operator_dialog.h"
#include "log_categories.h"
#include "message_box.h"
#include "placeholders.h"
#include "result_code.h"
#include "thread_reaper.h"
#include "transcript_files.h"
#include "window_placement_store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <mutex>
#include <system_error>
#include <utility>

namespace olvex {

// What the window shares with its connect worker and with the call's threads.
// Those threads never touch the window directly: they post to it while holding
// the mutex, and the window clears `window` under the same mutex before it goes,
// so nothing is posted to a window being destroyed.
struct CallLink {
    std::mutex mutex;
    CallWindow* window = nullptr;   // null once the window is going
    AgentClient* engine = nullptr;  // outlives every window
    std::shared_ptr<ChatCall> call; // the running call, until the window forgets it
    ReapableThread worker;          // the connect worker hands itself to the reaper

    template <class F> void Post(F&& step) {
        std::lock_guard lock(mutex);
        PostLocked(std::forward<F>(step));
    }
    template <class F> void PostLocked(F&& step) {
        if (!window)
            return;
        QMetaObject::invokeMethod(
            window, [w = window, step = std::forward<F>(step)]() mutable { step(*w); },
            Qt::QueuedConnection);
    }
    std::vector<UserRecord> Participants() {
        std::shared_ptr<ChatCall> current;
        {
            std::lock_guard lock(mutex);
            current = call;
        }
        std::vector<UserRecord> copies;
        if (current) {
            for (const auto& user : current->Participants().Snapshot())
                copies.push_back(*user);
        }
        return copies;
    }
};

namespace {

constexpr int kTypingTimerMs = 1000;
constexpr int kCannedColumnWidth = 155;
const QString kPlacementSection = QStringLiteral("ChatWindow");

CallLink& LinkOf(void* userData) {
    return *static_cast<CallLink*>(userData);
}

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QFrame* Line(QFrame::Shape shape, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

FlatButton* ToolbarButton(const QString& text, const QString& image, const QString& name,
                          QWidget* parent) {
    auto* button = new FlatButton(text, parent);
    button->setObjectName(name);
    // Reached with Tab, but a click leaves the keyboard where the operator types.
    button->setFocusPolicy(Qt::TabFocus);
    ApplyToolbarPreset(*button, CallImage(image, 20));
    button->setMinimumWidth(48);
    return button;
}

constexpr int kMessageRole = Qt::UserRole;

} // namespace

CallWindow::CallWindow(AgentSettings& settings, int32_t callId, CallWindowList& callWindows,
                       AgentClient* engine)
    : QWidget(nullptr, Qt::Window), settings(settings), callId(callId), callWindows(callWindows),
      engine(engine ? *engine : *AgentClient::Instance()), link(std::make_shared<CallLink>()),
      typingSent([this] { return clock(); }) {
    setAttribute(Qt::WA_DeleteOnClose);
    // The console alone keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Olvex"));
    setWindowIcon(CallProgramIcon());
    link->window = this;
    link->engine = &this->engine;

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(2, 0, 2, 0);
    root->setSpacing(2);
    root->addWidget(BuildToolbar());
    root->addWidget(Line(QFrame::HLine, this));

    auto* body = new QHBoxLayout;
    body->setSpacing(4);
    body->addWidget(BuildCannedPanel());
    auto* chat = new QVBoxLayout;
    chat->setSpacing(3);
    transcript = new TranscriptView(this);
    transcript->setObjectName(QStringLiteral("transcript"));
    transcript->setAccessibleName(QStringLiteral("Transcript"));
    transcript->setMinimumSize(120, 60);
    recorder = std::make_unique<CallRecorder>(SessionArchive(), callId, settings.username);
    transcript->SetLineObserver(
        [r = recorder.get()](LineKind kind, const QString& name, bool own, const QString& text) {
            r->Line(kind, ToBytes(name), own, ToBytes(text));
        });
    chat->addWidget(transcript, 1);
    auto* inputRow = new QHBoxLayout;
    inputRow->setSpacing(3);
    input = new QPlainTextEdit(this);
    input->setObjectName(QStringLiteral("input"));
    input->setAccessibleName(QStringLiteral("Message to send"));
    input->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    input->setTabChangesFocus(true);
    input->setFixedHeight(42);
    input->installEventFilter(this);
    inputRow->addWidget(input, 1);
    auto* send = new FlatButton(QStringLiteral("Send"), this);
    send->setObjectName(QStringLiteral("sendButton"));
    send->setFocusPolicy(Qt::TabFocus);
    ApplySendPreset(*send, CallImage(QStringLiteral("send"), 16));
    send->SetAlignment(FlatButton::kImageLeft);
    send->setFixedSize(std::max(64, send->sizeHint().width()), 42);
    connect(send, &QPushButton::clicked, this, &CallWindow::SendTypedText);
    connect(send, &QPushButton::clicked, this, [this] { input->setFocus(); });
    sendButton = send;
    inputRow->addWidget(send);
    chat->addLayout(inputRow);
    body->addLayout(chat, 1);
    root->addLayout(body, 1);

    root->addWidget(Line(QFrame::HLine, this));
    status = new QLabel(QStringLiteral("Connecting to Olvex server..."), this);
    status->setObjectName(QStringLiteral("status"));
    status->setAccessibleName(QStringLiteral("Call status"));
    // Names in the status line come from the network: never markup, never a
    // reason for the window to grow.
    status->setTextFormat(Qt::PlainText);
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    root->addWidget(status);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        escaping = true;
        close();
    });
    auto* findAnswer = new QShortcut(CannedSearch::Shortcut(), this);
    connect(findAnswer, &QShortcut::activated, this, &CallWindow::OpenCannedSearch);
    answersButton->setToolTip(
        QStringLiteral("Canned answers (search them from the keyboard: %1)")
            .arg(CannedSearch::Shortcut().toString(QKeySequence::NativeText)));
    search = new CannedSearch(*searchField, *cannedTree, *input, kMessageRole, this);
    connect(search, &CannedSearch::Closed, this, [this] {
        if (!panelShownBeforeSearch)
            HideCannedPanel();
    });

    typingTimer = new QTimer(this);
    typingTimer->setInterval(kTypingTimerMs);
    connect(typingTimer, &QTimer::timeout, this, &CallWindow::ClearStaleTypingNotice);

    urlPrompt = [](QWidget* parent, UrlAction action) { return CUrlDlg::Ask(parent, action); };
    inviteHandler = [](CallWindow& w) {
        RunInviteOperatorDialog(&w, w.engine.Users(), w.engine.OwnUserId(),
                                [&w] { return w.Call(); });
    };
    saveHandler = [](CallWindow& w) { SaveTranscriptWithDialog(&w, *w.transcript); };
    printHandler = [](CallWindow& w) {
        PrintTranscriptWithDialog(&w, *w.transcript, w.windowTitle());
    };

    resize(560, 400);
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);
    FillCannedTree();
    SetTabOrder();
    input->setFocus();
    show();
    StartConnecting();
    callWindows.Add(this);
}

CallWindow::~CallWindow() {
    callWindows.Remove(this);
    typingTimer->stop();
    std::shared_ptr<ChatCall> call;
    {
        std::lock_guard lock(link->mutex);
        link->window = nullptr;
        call = std::move(link->call);
    }
    if (call) {
        // Cleared first, so the removal reports nothing to a window that is going.
        call->ClearCallbacks();
        engine.Calls().Remove(call->callId);
    } else {
        // Still connecting: the connection is given up now, and the worker finds the
        // window gone.
        engine.Calls().Remove(callId);
    }
}

QWidget* CallWindow::BuildToolbar() {
    auto* bar = new QWidget(this);
    toolbar = bar;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 1, 0, 1);
    row->setSpacing(1);
    row->addWidget(Line(QFrame::VLine, bar));
    answersButton = ToolbarButton(QStringLiteral("Answers"), QStringLiteral("answers"),
                                  QStringLiteral("answersButton"), bar);
    row->addWidget(answersButton);
    row->addWidget(Line(QFrame::VLine, bar));
    struct Def {
        const char* text;
        const char* image;
        void (CallWindow::*slot)();
    };
    const Def middle[] = {
        {"Invite", "invite", nullptr},
        {"Push", "push", &CallWindow::PushUrl},
        {"Link", "link", &CallWindow::SendLink},
        {"Image", "image", &CallWindow::SendImage},
    };
    const Def right[] = {
        {"Save", "save", nullptr},
        {"Close", "close", &CallWindow::EndCall},
        {"Print", "print", nullptr},
    };
    auto add = [&](const Def& def) {
        FlatButton* button =
            ToolbarButton(QLatin1String(def.text), QLatin1String(def.image),
                          QLatin1String(def.image) + QStringLiteral("Button"), bar);
        if (def.slot)
            connect(button, &QPushButton::clicked, this, def.slot);
        // Whatever the tool did, the next keystroke belongs to the input box.
        connect(button, &QPushButton::clicked, this, [this] { input->setFocus(); });
        row->addWidget(button);
        return button;
    };
    for (const Def& def : middle) {
        FlatButton* button = add(def);
        if (QLatin1String(def.image) == QLatin1String("invite"))
            connect(button, &QPushButton::clicked, this, [this] {
                if (inviteHandler)
                    inviteHandler(*this);
            });
    }
    row->addWidget(Line(QFrame::VLine, bar));
    for (const Def& def : right) {
        FlatButton* button = add(def);
        if (QLatin1String(def.image) == QLatin1String("save"))
            connect(button, &QPushButton::clicked, this, [this] {
                if (saveHandler)
                    saveHandler(*this);
            });
        if (QLatin1String(def.image) == QLatin1String("print"))
            connect(button, &QPushButton::clicked, this, [this] {
                if (printHandler)
                    printHandler(*this);
            });
    }
    row->addStretch(1);
    connect(answersButton, &QPushButton::clicked, this, &CallWindow::ToggleCannedPanel);
    return bar;
}

QWidget* CallWindow::BuildCannedPanel() {
    cannedPanel = new QWidget(this);
    cannedPanel->setObjectName(QStringLiteral("cannedPanel"));
    cannedPanel->setFixedWidth(kCannedColumnWidth);
    auto* column = new QVBoxLayout(cannedPanel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* heading = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Canned answers"), cannedPanel);
    label->setObjectName(QStringLiteral("cannedLabel"));
    heading->addWidget(label, 1);
    auto* closePanel = new FlatButton(cannedPanel);
    closePanel->setObjectName(QStringLiteral("cannedCloseButton"));
    closePanel->setFocusPolicy(Qt::TabFocus);
    closePanel->setAccessibleName(QStringLiteral("Close canned answers"));
    closePanel->SetImage(CallImage(QStringLiteral("panel_close"), 10));
    closePanel->SetMargins(QPoint(3, 3));
    closePanel->setFixedSize(16, 16);
    connect(closePanel, &QPushButton::clicked, this, &CallWindow::HideCannedPanel);
    heading->addWidget(closePanel);
    column->addLayout(heading);
    searchField = new QLineEdit(cannedPanel);
    searchField->setObjectName(QStringLiteral("cannedSearch"));
    searchField->setAccessibleName(QStringLiteral("Search canned answers"));
    searchField->setPlaceholderText(QStringLiteral("Search"));
    searchField->setClearButtonEnabled(true);
    column->addWidget(searchField);
    cannedTree = new QTreeWidget(cannedPanel);
    cannedTree->setObjectName(QStringLiteral("cannedTree"));
    cannedTree->setAccessibleName(QStringLiteral("Canned answers"));
    cannedTree->setHeaderHidden(true);
    cannedTree->setRootIsDecorated(true);
    cannedTree->setIconSize(QSize(16, 16));
    connect(cannedTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { PickAnswer(current); });
    // Choosing an answer (Enter, a click) hands the keyboard to the input box to send it;
    // arrowing through the tree only previews.
    auto toInput = [this](QTreeWidgetItem* item) {
        if (item && item->data(0, kMessageRole).isValid())
            input->setFocus();
    };
    connect(cannedTree, &QTreeWidget::itemActivated, this, toInput);
    connect(cannedTree, &QTreeWidget::itemClicked, this, toInput);
    column->addWidget(cannedTree, 1);
    cannedPanel->hide();
    return cannedPanel;
}

void CallWindow::FillCannedTree() {
    // A copy for the window's life: edits made elsewhere meanwhile do not reach it.
    CannedAnswerStore store;
    store.Load(CannedFilePath());
    const QIcon categoryIcon = CallIcon(QStringLiteral("category"));
    const QIcon answerIcon = CallIcon(QStringLiteral("answer"));
    for (const CannedCategory& category : store.categories) {
        auto* top = new QTreeWidgetItem(cannedTree, QStringList(FromBytes(category.name)));
        top->setIcon(0, categoryIcon);
        for (const CannedAnswer& answer : category.answers) {
            auto* item = new QTreeWidgetItem(top, QStringList(FromBytes(answer.title)));
            item->setIcon(0, answerIcon);
            item->setData(0, kMessageRole, FromBytes(answer.message));
        }
    }
}

void CallWindow::PickAnswer(QTreeWidgetItem* item) {
    // Moving through the search's matches only points at them; Enter inserts.
    if (!item || (search && search->Active()))
        return;
    const QVariant message = item->data(0, kMessageRole);
    if (message.isValid())
        input->setPlainText(message.toString());
}

void CallWindow::ToggleCannedPanel() {
    if (cannedShown) {
        HideCannedPanel();
        return;
    }
    cannedShown = !cannedShown;
    cannedPanel->setVisible(cannedShown);
    answersButton->SetCheck(cannedShown ? 1 : 0);
    // An opened panel is there to pick from.
    if (cannedShown)
        cannedTree->setFocus();
    else
        input->setFocus();
}

void CallWindow::HideCannedPanel() {
    search->Close();
    cannedShown = false;
    cannedPanel->hide();
    answersButton->SetCheck(0);
    input->setFocus();
}

void CallWindow::SetTabOrder() {
    // Left to right along the toolbar, then the panel, the transcript and the input row.
    std::vector<QWidget*> order;
    for (QObject* child : toolbar->children()) {
        if (auto* button = qobject_cast<FlatButton*>(child))
            order.push_back(button);
    }
    order.insert(order.end(),
                 {cannedPanel->findChild<FlatButton*>(QStringLiteral("cannedCloseButton")),
                  searchField, cannedTree, transcript, input, sendButton});
    QWidget* previous = nullptr;
    for (QWidget* next : order) {
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

void CallWindow::OpenCannedSearch() {
    if (!search->Active())
        panelShownBeforeSearch = cannedShown;
    if (!cannedShown)
        ToggleCannedPanel();
    search->Open();
}

bool CallWindow::CannedSearchOpen() const {
    return search->Active();
}

std::shared_ptr<ChatCall> CallWindow::Call() const {
    std::lock_guard lock(link->mutex);
    return link->call;
}

std::shared_ptr<ChatCall> CallWindow::TakeCall() {
    std::lock_guard lock(link->mutex);
    return std::move(link->call);
}

bool CallWindow::QueueChatItem(ChatItemKind kind, std::optional<std::string_view> content) {
    std::shared_ptr<ChatCall> call = Call();
    if (!call)
        return false;
    return call->QueueMessage(BuildChatItem(kind, settings.username, content)) == ResultCode::Ok;
}

void CallWindow::EchoOwn(const QString& text, const QColor& colour) {
    transcript->AppendNameLine(FromBytes(settings.username), true);
    transcript->AppendPlain(text, colour);
}

std::string CallWindow::Expand(const std::string& text) const {
    // Most lines hold no placeholder: leave them exactly as they are.
    if (text.find('{') == std::string::npos)
        return text;
    PlaceholderValues values;
    values.visitor = ToBytes(visitorName);
    if (values.visitor.empty()) {
        // A transfer names the operator who hands the call on; the visitor is a participant.
        for (const UserRecord& user : link->Participants()) {
            if (user.kind == 1) {
                values.visitor = user.firstName;
                break;
            }
        }
    }
    const int32_t own = engine.OwnUserId();
    for (const auto& user : engine.Users().Snapshot()) {
        if (user->userId == own && user->kind == 2) {
            values.operatorName = user->firstName;
            break;
        }
    }
    if (values.operatorName.empty())
        values.operatorName = settings.username;
    const QDateTime now = QDateTime::currentDateTime();
    values.date = ToBytes(QLocale::system().toString(now.date(), QLocale::ShortFormat));
    values.time = ToBytes(QLocale::system().toString(now.time(), QLocale::ShortFormat));
    return ExpandPlaceholders(text, values);
}

void CallWindow::SendTypedText() {
    const QString typed = input->toPlainText();
    if (!typed.isEmpty() && Call()) {
        const std::string text = ReplaceApostrophes(Expand(ToBytes(typed)));
        if (QueueChatItem(ChatItemKind::Text, text))
            EchoOwn(FromBytes(text), kTextColour);
    }
    input->clear();
}

void CallWindow::TypingKey() {
    if (typingSent.KeyPressed())
        QueueChatItem(ChatItemKind::Typing);
}

bool CallWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == input && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            SendTypedText();
            return true;
        }
        // Alt combinations are the system's keys (menus, mnemonics), not typing.
        if (!(key->modifiers() & Qt::AltModifier))
            TypingKey();
    }
    return QWidget::eventFilter(watched, event);
}

void CallWindow::SendUrl(UrlAction action) {
    const std::optional<std::string> url = urlPrompt ? urlPrompt(this, action) : std::nullopt;
    if (!url)
        return;
    switch (action) {
    case UrlAction::Link:
        if (QueueChatItem(ChatItemKind::Text, LinkFragment(*url)))
            EchoOwn(FromBytes(*url), kLinkColour);
        break;
    case UrlAction::Image:
        if (QueueChatItem(ChatItemKind::Text, ImageFragment(*url)))
            EchoOwn(FromBytes(*url), kLinkColour);
        break;
    case UrlAction::Push:
        if (QueueChatItem(ChatItemKind::UrlPush, FormEncode(*url)))
            transcript->AppendEvent(FromBytes(PushedUrlText(*url)), LineKind::Push);
        break;
    }
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

void CallWindow::Flash() {
    ++flashRequests;
    if (!isActiveWindow())
        QApplication::alert(this, 0);
}

void CallWindow::SetStatus(const QString& text) {
    status->setText(text);
}

void CallWindow::UpdateTitle(const std::vector<UserRecord>& participants, int32_t ownUserId) {
    if (!Call())
        return;
    setWindowTitle(FromBytes(CallTitle(participants, ownUserId)));
}

void CallWindow::RecordParticipants(const std::vector<UserRecord>& participants,
                                    int32_t ownUserId) {
    for (const UserRecord& user : participants) {
        if (user.userId != ownUserId)
            recorder->Participant(ParticipantEventName(user), user.kind);
    }
}

void CallWindow::SetClosedState() {
    state = CallState::Closed;
    setWindowTitle(QStringLiteral("Olvex Call - Closed"));
    SetStatus(QStringLiteral("Chat closed"));
}

void CallWindow::EndCall() {
    std::shared_ptr<ChatCall> call = TakeCall();
    if (!call)
        return;
    engine.Calls().Remove(call->callId);
    SetClosedState();
    transcript->AppendEvent(QString::fromLatin1(kYouClosedText));
    recorder->End();
}

void CallWindow::ClearStaleTypingNotice() {
    if (TypingNoticeStale(lastTypingReceived, clock()))
        SetStatus(QString());
}

QString CallWindow::PeerName() const {
    if (!visitorName.isEmpty())
        return visitorName;
    const int32_t own = engine.OwnUserId();
    QStringList names;
    for (const UserRecord& user : link->Participants()) {
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

// ---- connecting ---------------------------------------------------------------

void CallWindow::StartConnecting() {
    std::lock_guard lock(link->mutex);
    try {
        // Stored under the lock, so the worker finds its own handle when it ends.
        link->worker = ReapableThread::Start(
            [link = link, id = callId]() mutable { ConnectWorker(link, id); });
    } catch (const std::system_error&) {
        link->PostLocked([](CallWindow& w) {
            w.ShowError(QStringLiteral("Failed to start the chat.\r\n") +
                        QString::fromUtf8(ResultText(ResultCode::ThreadCreate)));
        });
    }
}

void CallWindow::ConnectWorker(const std::shared_ptr<CallLink>& link, int32_t callId) {
    link->Post([](CallWindow& w) {
        w.setWindowTitle(QStringLiteral("Olvex Call - Connecting"));
        w.SetStatus(QStringLiteral("Connecting to Olvex server..."));
    });
    CallList& calls = link->engine->Calls();
    const int32_t result = calls.Open(callId);
    std::shared_ptr<ChatCall> call = result == ResultCode::Ok ? calls.FindById(callId) : nullptr;

    bool orphaned = false;
    bool install = false;
    ReapableThread self;
    {
        std::lock_guard lock(link->mutex);
        self = std::move(link->worker);
        if (!link->window) {
            // The window went while the call was connecting: nobody shows this call.
            orphaned = result == ResultCode::Ok;
        } else if (result != ResultCode::Ok) {
            // On the thread that connected, so that a TLS failure keeps its reason.
            const QString text = QStringLiteral("Failed to start the chat.\r\n") +
                                 QString::fromStdString(ResultMessage(result));
            link->PostLocked([text](CallWindow& w) { w.ShowError(text); });
        } else if (!call) {
            link->PostLocked([](CallWindow& w) {
                w.ShowError(
                    QStringLiteral("Failed to open call.\r\nUnhandled software exception."));
            });
        } else {
            // Announced before the callbacks are installed: every event of the
            // call reaches the window after OnConnected.
            link->call = call;
            link->PostLocked([](CallWindow& w) { w.OnConnected(); });
            install = true;
        }
    }
    // Outside the lock: a call that has already ended reports it from inside SetCallbacks.
    if (install) {
        call->SetCallbacks(link.get(), MakeCallbacks());
        std::lock_guard lock(link->mutex);
        if (!link->window)
            call->ClearCallbacks(); // the window went meanwhile; it has removed the call
    }
    if (orphaned)
        calls.Remove(callId);
    // Joined by the reaper once this function has returned.
    self.JoinOrDefer();
}

void CallWindow::ShowError(const QString& message) {
    qCWarning(lcCall).noquote() << "call" << callId << "failed:" << message;
    state = CallState::Error;
    setWindowTitle(QStringLiteral("Olvex Call - Error"));
    SetStatus(QStringLiteral("Failed to conect to Olvex server."));
    ShowMessageBox(this, message);
}

void CallWindow::OnConnected() {
    std::shared_ptr<ChatCall> call = Call();
    if (!call)
        return;
    state = CallState::Connected;
    SetStatus(QStringLiteral("Connected to Olvex server."));
    call->RequestParticipants();
    // The welcome text goes out as stored, placeholders filled in: no apostrophe replacement.
    const std::string welcome = Expand(settings.welcomeMsg);
    if (!welcome.empty() && QueueChatItem(ChatItemKind::Text, welcome))
        EchoOwn(FromBytes(welcome), kTextColour);
    typingTimer->start();
}

// ---- call events ----------------------------------------------------------------

CallCallbacks CallWindow::MakeCallbacks() {
    // These run on the call's threads (OnCallClosed also inside Remove): they
    // copy what they need and hand it to the window's thread.
    CallCallbacks cb;
    cb.OnChatMessage = [](void* u, const WireMessage& message) {
        ReceivedChatItem item = DecodeChatItem(message);
        if (item.action == ReceivedChatItem::Action::Drop)
            return;
        LinkOf(u).Post([item = std::move(item)](CallWindow& w) { w.OnChatItem(item); });
    };
    cb.OnCallClosed = [](void* u, int32_t reason) {
        LinkOf(u).Post([reason](CallWindow& w) { w.OnClosed(reason); });
    };
    cb.OnParticipantsReceived = [](void* u) {
        CallLink& link = LinkOf(u);
        std::vector<UserRecord> participants = link.Participants();
        const int32_t own = link.engine->OwnUserId();
        link.Post([participants = std::move(participants), own](CallWindow& w) {
            w.OnParticipantList(participants, own);
        });
    };
    cb.OnParticipantJoined = [](void* u, const UserRecord& user) {
        CallLink& link = LinkOf(u);
        std::vector<UserRecord> participants = link.Participants();
        const int32_t own = link.engine->OwnUserId();
        link.Post([line = JoinedText(user), participants = std::move(participants),
                   own](CallWindow& w) { w.OnParticipantChange(line, participants, own); });
    };
    cb.OnParticipantLeft = [](void* u, const UserRecord& user) {
        CallLink& link = LinkOf(u);
        std::vector<UserRecord> participants = link.Participants();
        const int32_t own = link.engine->OwnUserId();
        link.Post([line = LeftText(user), participants = std::move(participants),
                   own](CallWindow& w) { w.OnParticipantChange(line, participants, own); });
    };
    cb.OnOperatorInvited = [](void* u, const UserRecord& user) {
        LinkOf(u).Post([line = InvitedText(user)](CallWindow& w) {
            w.transcript->AppendEvent(FromBytes(line));
        });
    };
    return cb;
}

void CallWindow::OnChatItem(const ReceivedChatItem& item) {
    if (item.action == ReceivedChatItem::Action::ShowTyping) {
        SetStatus(FromBytes(TypingStatusText(item.sender)));
        lastTypingReceived = clock();
        return;
    }
    ShowReceivedItem(*transcript, item);
    if (item.Flashes()) {
        Flash();
        if (!isActiveWindow()) {
            callWindows.SetUnread(this, true);
            if (AgentSettings::IsOn(settings.lineSound))
                EventSound::Shared().Play(EventSound::Kind::Line);
        }
    }
}

void CallWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        callWindows.SetUnread(this, false);
}

void CallWindow::OnClosed(int32_t reason) {
    // The engine may report one close more than once; only the first counts.
    std::shared_ptr<ChatCall> call = TakeCall();
    if (!call)
        return;
    qCInfo(lcCall) << "call" << callId << "window: call ended, reason" << reason;
    if (reason != CallChannel::kClosedLocally) {
        transcript->AppendEvent(QString::fromLatin1(kCallClosedText));
        Flash();
    }
    SetClosedState();
    recorder->End();
    if (reason != CallChannel::kClosedLocally) {
        // The dead call would otherwise stay listed in the engine, holding its
        // id and a pointer back to this window.
        call->ClearCallbacks();
        engine.Calls().Remove(call->callId);
    }
}

void CallWindow::OnParticipantList(const std::vector<UserRecord>& participants, int32_t ownUserId) {
    if (!Call())
        return;
    RecordParticipants(participants, ownUserId);
    UpdateTitle(participants, ownUserId);
    for (const UserRecord& user : participants) {
        if (IsShownParticipant(user, ownUserId))
            transcript->AppendEvent(FromBytes(JoinedText(user)));
    }
}

void CallWindow::OnParticipantChange(const std::string& line,
                                     const std::vector<UserRecord>& participants,
                                     int32_t ownUserId) {
    RecordParticipants(participants, ownUserId);
    transcript->AppendEvent(FromBytes(line));
    UpdateTitle(participants, ownUserId);
    Flash();
}

} // namespace olvex
