// The call window's widgets: toolbar, canned answers panel, transcript, input row and status
// line, and how the keyboard moves between them.
#include "agent_client.h"
#include "c_url_dlg.h"
#include "call_images.h"
#include "call_window.h"
#include "canned_answer_store.h"
#include "canned_search.h"
#include "flat_button.h"
#include "invite_operator_dialog.h"
#include "transcript_files.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <utility>

namespace olvex {

namespace {

constexpr int kCannedColumnWidth = 155;
constexpr int kMessageRole = Qt::UserRole;

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

} // namespace

void CallWindow::BuildLayout() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(2, 0, 2, 0);
    root->setSpacing(2);
    root->addWidget(BuildToolbar());
    root->addWidget(Line(QFrame::HLine, this));

    auto* body = new QHBoxLayout;
    body->setSpacing(4);
    body->addWidget(BuildCannedPanel());
    body->addLayout(BuildChatColumn(), 1);
    root->addLayout(body, 1);

    root->addWidget(Line(QFrame::HLine, this));
    root->addWidget(BuildStatusLine());
    BuildShortcuts();
}

QLayout* CallWindow::BuildChatColumn() {
    auto* chat = new QVBoxLayout;
    chat->setSpacing(3);
    chat->addWidget(BuildContextPanel());
    transcript = new TranscriptView(this);
    transcript->setObjectName(QStringLiteral("transcript"));
    transcript->setAccessibleName(QStringLiteral("Transcript"));
    transcript->setMinimumSize(120, 60);
    chat->addWidget(transcript, 1);
    auto* inputRow = new QHBoxLayout;
    inputRow->setSpacing(3);
    input = new QPlainTextEdit(this);
    input->setObjectName(QStringLiteral("input"));
    input->setAccessibleName(QStringLiteral("Message to send"));
    input->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    input->setTabChangesFocus(true);
    // Two lines of whatever font the desktop (or a style sheet) gives.
    input->ensurePolished();
    const int inputHeight = std::max(42, 2 * input->fontMetrics().lineSpacing() + 12);
    input->setFixedHeight(inputHeight);
    input->installEventFilter(this);
    inputRow->addWidget(input, 1);
    auto* send = new FlatButton(QStringLiteral("Se&nd"), this);
    send->setObjectName(QStringLiteral("sendButton"));
    send->setFocusPolicy(Qt::TabFocus);
    ApplySendPreset(*send, CallImage(QStringLiteral("send"), 16));
    send->SetAlignment(FlatButton::kImageLeft);
    // As wide as its text in whatever font it ends up with; as high as the input box.
    send->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    send->setMinimumSize(64, inputHeight);
    connect(send, &QPushButton::clicked, this, &CallWindow::SendTypedText);
    connect(send, &QPushButton::clicked, this, [this] { input->setFocus(); });
    sendButton = send;
    sendingTools.push_back(send);
    inputRow->addWidget(send);
    chat->addLayout(inputRow);
    return chat;
}

QWidget* CallWindow::BuildStatusLine() {
    status = new QLabel(QStringLiteral("Connecting to Olvex server..."), this);
    status->setObjectName(QStringLiteral("status"));
    // Its text is what a screen reader reads; the description says what the line is.
    status->setAccessibleDescription(QStringLiteral("Call status"));
    // Names in the status line come from the network: never markup, never a
    // reason for the window to grow.
    status->setTextFormat(Qt::PlainText);
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return status;
}

void CallWindow::BuildShortcuts() {
    // The usual keys of a document window: save, print, close.
    const std::pair<QKeySequence, std::function<void()>> standard[] = {
        {QKeySequence::Save, [this] { saveHandler ? saveHandler(*this) : void(); }},
        {QKeySequence::Print, [this] { printHandler ? printHandler(*this) : void(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); }},
    };
    for (const auto& [keys, step] : standard)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, step);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        escaping = true;
        close();
    });
    findAnswer = new QShortcut(CannedSearch::Shortcut(), this);
    connect(findAnswer, &QShortcut::activated, this, &CallWindow::OpenCannedSearch);
    answersButton->setToolTip(
        QStringLiteral("Canned answers (search them from the keyboard: %1)")
            .arg(CannedSearch::Shortcut().toString(QKeySequence::NativeText)));
    search = new CannedSearch(*searchField, *cannedTree, *input, kMessageRole, this);
    connect(search, &CannedSearch::Closed, this, [this] {
        if (!panelShownBeforeSearch)
            HideCannedPanel();
    });
}

void CallWindow::SetDefaultTools() {
    urlPrompt = [](QWidget* parent, UrlAction action) { return CUrlDlg::Ask(parent, action); };
    inviteHandler = [](CallWindow& w) {
        RunInviteOperatorDialog(&w, w.engine.Users(), w.engine.OwnUserId(),
                                [&w] { return w.Call(); });
    };
    saveHandler = [](CallWindow& w) {
        const TranscriptHeader header = w.Header();
        SaveTranscriptWithDialog(
            &w, *w.transcript,
            ProposedTranscriptPath(header.visitor, QDate::currentDate(), QStringLiteral("rtf")),
            header);
    };
    printHandler = [](CallWindow& w) {
        PrintTranscriptWithDialog(&w, *w.transcript, w.windowTitle(), w.Header());
    };
}

QWidget* CallWindow::BuildToolbar() {
    auto* bar = new QWidget(this);
    toolbar = bar;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 1, 0, 1);
    row->setSpacing(1);
    row->addWidget(Line(QFrame::VLine, bar));
    answersButton = ToolbarButton(QStringLiteral("&Answers"), QStringLiteral("answers"),
                                  QStringLiteral("answersButton"), bar);
    row->addWidget(answersButton);
    sendingTools.push_back(answersButton);
    row->addWidget(Line(QFrame::VLine, bar));
    struct Def {
        const char* text;
        const char* image;
        void (CallWindow::*slot)();
    };
    const Def middle[] = {
        {"&Invite", "invite", nullptr},
        {"P&ush", "push", &CallWindow::PushUrl},
        {"&Link", "link", &CallWindow::SendLink},
        {"I&mage", "image", &CallWindow::SendImage},
    };
    const Def right[] = {
        {"&Save", "save", nullptr},
        {"&Close", "close", &CallWindow::EndCall},
        {"&Print", "print", nullptr},
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
        sendingTools.push_back(button);
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
    cannedPanel->ensurePolished();
    cannedPanel->setFixedWidth(
        std::max(kCannedColumnWidth,
                 cannedPanel->fontMetrics().horizontalAdvance(QStringLiteral("Canned answers")) +
                     40));
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
        auto* top =
            new QTreeWidgetItem(cannedTree, QStringList(QString::fromStdString(category.name)));
        top->setIcon(0, categoryIcon);
        for (const CannedAnswer& answer : category.answers) {
            auto* item =
                new QTreeWidgetItem(top, QStringList(QString::fromStdString(answer.title)));
            item->setIcon(0, answerIcon);
            item->setData(0, kMessageRole, QString::fromStdString(answer.message));
        }
    }
}

void CallWindow::PickAnswer(QTreeWidgetItem* item) {
    // Moving through the search's matches only points at them; Enter inserts. A box that
    // takes no more input keeps its text.
    if (!item || (search && search->Active()) || input->isReadOnly())
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
                 std::initializer_list<QWidget*>{cannedPanel->findChild<FlatButton*>(QStringLiteral("cannedCloseButton")),
                  searchField, cannedTree, earlierToggle, earlierView,
                  transcript, input, sendButton});
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

} // namespace olvex
