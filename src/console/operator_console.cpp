#include "operator_console.h"

#include "about_dialog.h"
#include "accessibility.h"
#include "c_explorer1.h"
#include "chats_view.h"
#include "colour_label.h"
#include "console_images.h"
#include "data_files.h"
#include "desktop_services.h"
#include "flat_button.h"
#include "font_scaled.h"
#include "hyperlink_label.h"
#include "list_column_store.h"
#include "message_box.h"
#include "operator_list_view.h"
#include "options_dialog.h"
#include "page_list_view.h"
#include "product_info.h"
#include "readable_colours.h"
#include "reports_url.h"
#include "visitors_view.h"
#include "window_placement_store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace olvex {

namespace {

const QString kPlacementSection = QStringLiteral("MainWindow");
const QString kOperatorColumnsSection = QStringLiteral("UserList");
const QString kPageColumnsSection = QStringLiteral("PageList");

QFrame* NewSeparator(QFrame::Shape shape, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QString Title(const QString& state, const std::string& address) {
    return QStringLiteral("%1 - %2 [%3]")
        .arg(QLatin1String(product::kName), state, QString::fromStdString(address));
}

} // namespace

OperatorConsole::OperatorConsole(DesktopServices& services, bool embedBrowser, QWidget* parent)
    : QWidget(parent), desktop(services) {
    InitConsoleResources();
    setObjectName(QStringLiteral("OperatorConsole"));
    setWindowIcon(ProgramIcon());
    SetTitleNotConnected();
    Notifications& notifier = desktop.Notifier();
    connect(&notifier, &Notifications::ActionInvoked, this,
            [this, &notifier](int handle, const QString&) {
                if (handle <= 0 || handle != missedHandle)
                    return;
                showNormal();
                desktop.Windows().BringToFront(*this, notifier.TakeActivationToken(handle));
            });
    // Dismissed by the operator: the next missed request starts a new count.
    connect(&notifier, &Notifications::Closed, this, [this](int handle) {
        if (handle > 0 && handle == missedHandle) {
            missedHandle = 0;
            missedCallers.clear();
        }
    });

    visitorsView = new VisitorsView(this);
    pageList = &visitorsView->List();
    pageList->setObjectName(QStringLiteral("pageList"));
    pageList->setAccessibleName(QStringLiteral("Website Visitors"));
    operatorList = new OperatorListView(this);
    operatorList->setObjectName(QStringLiteral("operatorList"));
    operatorList->setAccessibleName(QStringLiteral("Website Operators"));
    reportBrowser = new CExplorer1(embedBrowser, this);
    reportBrowser->setObjectName(QStringLiteral("reportBrowser"));
    reportBrowser->setAccessibleName(QStringLiteral("Website Reports"));
    chatsView = new ChatsView(chatsModel, this);
    chatsView->setObjectName(QStringLiteral("chatsView"));
    views = new QStackedWidget(this);
    views->addWidget(visitorsView);
    views->addWidget(operatorList);
    views->addWidget(reportBrowser);
    views->addWidget(chatsView);

    caption = new ColourLabel(this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setTextFormat(Qt::PlainText);
    caption->SetFont(QString(), 0, 0, true);
    caption->setContentsMargins(2, 2, 2, 2);

    auto* viewColumn = new QVBoxLayout;
    viewColumn->setSpacing(2);
    viewColumn->addWidget(caption);
    viewColumn->addWidget(views, 1);
    auto* body = new QHBoxLayout;
    body->setSpacing(4);
    body->addWidget(BuildSideBar());
    body->addLayout(viewColumn, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(BuildToolbar());
    layout->addWidget(NewSeparator(QFrame::HLine, this));
    layout->addLayout(body, 1);

    ApplyBarColours();
    SetLoggedInButtons(false);
    ButtonOf(Button::Login).setEnabled(true);
    callWindows.SetChangeHandler([this] { emit WaitingChanged(); });
    ConnectChats();
    connect(pageList, &PageListView::SelectionChanged, this,
            [this] { ButtonOf(Button::Invite).setEnabled(pageList->HasSelection()); });
    connect(pageList, &PageListView::InviteRequested, this, &OperatorConsole::InviteRequested);

    // Tab goes along the toolbar, down the side bar, then into the view, as laid out.
    QWidget* previous = nullptr;
    for (FlatButton* button : buttons) {
        if (previous)
            setTabOrder(previous, button);
        previous = button;
    }
    for (QWidget* view :
         {static_cast<QWidget*>(&visitorsView->FindField()), static_cast<QWidget*>(pageList),
          static_cast<QWidget*>(operatorList), static_cast<QWidget*>(reportBrowser),
          static_cast<QWidget*>(chatsView)}) {
        setTabOrder(previous, view);
        previous = view;
    }

    ClearReports();
    ShowView(View::Visitors);
    pageList->setFocus();
    // The remembered password may have to come from the secret store, which answers later.
    settings.ReadRememberedPassword([console = QPointer<OperatorConsole>(this)] {
        if (console && AgentSettings::IsOn(console->settings.autoLogin))
            emit console->AutoLoginRequested();
    });

    ResizeForFont(*this, QSize(860, 500));
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);
    ListColumnStore columns;
    columns.RestoreColumnWidths(*operatorList, kOperatorColumnsSection);
    columns.RestoreColumnWidths(*pageList, kPageColumnsSection);
}

OperatorConsole::~OperatorConsole() {
    callWindows.SetChangeHandler({});
    CloseCallWindows();
    if (shutdown)
        shutdown();
}

namespace {

enum class Bar { Tool, Side };

// Every button of the toolbar and the side bar, in the order they are laid out.
struct ButtonDefinition {
    OperatorConsole::Button id;
    const char* text;
    const char* image;
    Bar bar;
    bool separatorBefore;
};

using B = OperatorConsole::Button;
constexpr ButtonDefinition kButtons[] = {
    {B::Login, "&Login", "login", Bar::Tool, false},
    {B::Logout, "L&ogout", "logout", Bar::Tool, false},
    {B::Status, "&Status", "status", Bar::Tool, false},
    {B::Invite, "&Invite", "invite", Bar::Tool, true},
    {B::Options, "O&ptions", "options", Bar::Tool, true},
    {B::Answers, "&Answers", "answers", Bar::Tool, false},
    {B::History, "His&tory", "history", Bar::Tool, false},
    {B::Help, "&Help", "help", Bar::Tool, true},
    {B::Home, "Ho&me", "home", Bar::Tool, false},
    {B::About, "A&bout", "about", Bar::Tool, false},
    {B::Visitors, "Website &Visitors", "visitors", Bar::Side, false},
    {B::Operators, "Website Op&erators", "operators", Bar::Side, false},
    {B::Reports, "Website &Reports", "reports", Bar::Side, false},
    {B::Chats, "&Chats", "chats", Bar::Side, false},
};

constexpr int kToolbarImage = 24;
constexpr int kSideBarImage = 32;

// At the screen's density: the menu's icons stay sharp at 200 %.
QPixmap StatusMenuStrip() {
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap strip(QSize(3 * 16, 16) * ratio);
    strip.setDevicePixelRatio(ratio);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    for (int i = 0; i < 3; ++i)
        painter.drawPixmap(i * 16, 0, StatusMenuImage(i).pixmap(16, 16));
    return strip;
}

} // namespace

FlatButton* OperatorConsole::NewButton(Button id, const char* text, const char* image,
                                       QWidget* parent) {
    auto* button = new FlatButton(QLatin1String(text), parent);
    button->setObjectName(QLatin1String(image) + QStringLiteral("Button"));
    buttons[static_cast<size_t>(id)] = button;
    return button;
}

QWidget* OperatorConsole::BuildToolbar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(1);
    for (const ButtonDefinition& def : kButtons) {
        if (def.bar != Bar::Tool)
            continue;
        if (def.separatorBefore)
            row->addWidget(NewSeparator(QFrame::VLine, bar));
        FlatButton* button = NewButton(def.id, def.text, def.image, bar);
        ApplyToolbarPreset(
            *button, ButtonImage(QLatin1String(def.image)).pixmap(kToolbarImage, kToolbarImage));
        button->setMinimumWidth(56);
        row->addWidget(button);
    }
    row->addStretch(1);

    FlatButton& status = ButtonOf(Button::Status);
    status.SetMenu({{QStringLiteral("Online"), kStatusOnline},
                    {QStringLiteral("Busy"), kStatusBusy},
                    {QStringLiteral("Away"), kStatusAway}},
                   nullptr, true, StatusMenuStrip(), {kStatusOnline, kStatusBusy, kStatusAway});
    connect(&status, &FlatButton::MenuCommand, this, [this](int command) {
        if (command >= kStatusOnline && command <= kStatusAway)
            emit StatusRequested(command);
    });

    connect(&ButtonOf(Button::Login), &QPushButton::clicked, this,
            &OperatorConsole::LoginRequested);
    connect(&ButtonOf(Button::Logout), &QPushButton::clicked, this,
            &OperatorConsole::LogoutRequested);
    connect(&ButtonOf(Button::Invite), &QPushButton::clicked, this,
            &OperatorConsole::InviteRequested);
    connect(&ButtonOf(Button::Answers), &QPushButton::clicked, this,
            &OperatorConsole::AnswersRequested);
    connect(&ButtonOf(Button::History), &QPushButton::clicked, this,
            &OperatorConsole::HistoryRequested);
    connect(&ButtonOf(Button::Options), &QPushButton::clicked, this, &OperatorConsole::OpenOptions);
    connect(&ButtonOf(Button::Help), &QPushButton::clicked, this, &OperatorConsole::OpenHelp);
    connect(&ButtonOf(Button::Home), &QPushButton::clicked, this, &OperatorConsole::OpenHome);
    connect(&ButtonOf(Button::About), &QPushButton::clicked, this, &OperatorConsole::OpenAbout);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &OperatorConsole::OpenHelp);
    return bar;
}

QWidget* OperatorConsole::BuildSideBar() {
    // The grey strip lies behind the buttons rather than holding them, so that its colours
    // never reach the buttons, which keep their own.
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("sideBar"));
    auto* stack = new QGridLayout(bar);
    stack->setContentsMargins(0, 0, 0, 0);
    auto* background = new ColourLabel(bar);
    background->setObjectName(QStringLiteral("sideBarBackground"));
    stack->addWidget(background, 0, 0);
    auto* front = new QWidget(bar);
    stack->addWidget(front, 0, 0);
    auto* column = new QVBoxLayout(front);
    column->setContentsMargins(3, 4, 3, 4);
    column->setSpacing(6);
    for (const ButtonDefinition& def : kButtons) {
        if (def.bar != Bar::Side)
            continue;
        FlatButton* button = NewButton(def.id, def.text, def.image, front);
        ApplySideBarPreset(
            *button, ButtonImage(QLatin1String(def.image)).pixmap(kSideBarImage, kSideBarImage));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        column->addWidget(button);
    }
    column->addStretch(1);
    connect(&ButtonOf(Button::Visitors), &QPushButton::clicked, this,
            [this] { ShowView(View::Visitors); });
    connect(&ButtonOf(Button::Operators), &QPushButton::clicked, this,
            [this] { ShowView(View::Operators); });
    connect(&ButtonOf(Button::Reports), &QPushButton::clicked, this,
            [this] { ShowView(View::Reports); });
    connect(&ButtonOf(Button::Chats), &QPushButton::clicked, this,
            [this] { ShowView(View::Chats); });
    return bar;
}

void OperatorConsole::ShowView(View view) {
    currentView = view;
    switch (view) {
    case View::Visitors:
        views->setCurrentWidget(visitorsView);
        caption->setText(QStringLiteral(" Website Visitors"));
        break;
    case View::Operators:
        views->setCurrentWidget(operatorList);
        caption->setText(QStringLiteral(" Website Operators"));
        break;
    case View::Reports:
        views->setCurrentWidget(reportBrowser);
        caption->setText(QStringLiteral(" Website reports"));
        break;
    case View::Chats:
        views->setCurrentWidget(chatsView);
        caption->setText(QStringLiteral(" Chats"));
        break;
    }
}

void OperatorConsole::SetTitleNotConnected() {
    setWindowTitle(QStringLiteral("%1 - Not connected").arg(QLatin1String(product::kName)));
    AnnounceState(windowTitle());
}

void OperatorConsole::SetTitleConnecting() {
    setWindowTitle(Title(QStringLiteral("Connecting"), settings.serverAddress));
    AnnounceState(windowTitle());
}

void OperatorConsole::SetTitleOnline() {
    setWindowTitle(Title(QStringLiteral("Online"), settings.serverAddress));
    AnnounceState(windowTitle());
}

void OperatorConsole::SetTitleStatus(int32_t status) {
    setWindowTitle(Title(OperatorListView::StatusWord(status), settings.serverAddress));
    AnnounceState(windowTitle());
}

void OperatorConsole::AnnounceState(const QString& state) {
    // The title changes by itself, and a screen reader follows titles of the window in front
    // only. Said once per change: the retry countdown is not news every second.
    if (state == announcedState)
        return;
    announcedState = state;
    AnnouncePolitely(*this, state);
}

void OperatorConsole::SetTitleRetrying(bool atStart, int seconds, const QString& failure) {
    QString title =
        QStringLiteral("%1 - %2 (next try in %3 s)")
            .arg(QLatin1String(product::kName),
                 atStart ? QStringLiteral("Not connected") : QStringLiteral("Reconnecting"))
            .arg(seconds);
    if (!failure.isEmpty())
        title += QStringLiteral(": ") + failure;
    setWindowTitle(title);
    AnnounceState(QStringLiteral("%1 - %2")
                      .arg(QLatin1String(product::kName),
                           atStart ? QStringLiteral("Not connected")
                                   : QStringLiteral("Reconnecting")) +
                  (failure.isEmpty() ? QString() : QStringLiteral(": ") + failure));
}

void OperatorConsole::SetLoggedInButtons(bool loggedIn) {
    ButtonOf(Button::Login).setEnabled(!loggedIn);
    ButtonOf(Button::Logout).setEnabled(loggedIn);
    ButtonOf(Button::Status).setEnabled(loggedIn);
    ButtonOf(Button::Invite).setEnabled(loggedIn);
}

void OperatorConsole::ShowReports() {
    reportBrowser->Navigate(
        ReportsUrl(settings.username, settings.password, AgentSettings::IsOn(settings.useTls)));
}

void OperatorConsole::ClearReports() {
    reportBrowser->Navigate(QString::fromLatin1(kBlankPage));
}

void OperatorConsole::OpenOptions() {
    OptionsDialog dialog(settings, desktop, this);
    ExecWindowModal(dialog);
}

void OperatorConsole::OpenHelp() {
    const int result = HyperlinkLabel::OpenLink(DataFilePath(QStringLiteral("Help/help.htm")));
    if (result <= 32)
        HyperlinkLabel::ShowOpenError(this, result);
}

void OperatorConsole::OpenHome() {
    const int result = HyperlinkLabel::OpenLink(QLatin1String(product::kHomePageUrl));
    if (result <= 32)
        HyperlinkLabel::ShowOpenError(this, result);
}

void OperatorConsole::OpenAbout() {
    AboutDialog dialog(this);
    ExecWindowModal(dialog);
}

void OperatorConsole::closeEvent(QCloseEvent* event) {
    const QString question = QuitQuestion(OpenChats(), Waiting().requests.size());
    if (!question.isEmpty() && !quitConfirmed) {
        event->ignore();
        // Asked where it can be seen, also when the Quit came from the tray.
        if (!isVisible() || isMinimized())
            showNormal();
        desktop.Windows().BringToFront(*this);
        if (askingToQuit)
            return;
        askingToQuit = true;
        AskWindowModal(this, question, [this](QMessageBox::StandardButton answer) {
            askingToQuit = false;
            if (answer != QMessageBox::Yes)
                return;
            quitConfirmed = true;
            // Not from inside this close, which is still being refused.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        });
        return;
    }
    WindowPlacementStore().SaveWindowPlacement(*this, kPlacementSection);
    ListColumnStore columns;
    columns.SaveColumnWidths(*operatorList, kOperatorColumnsSection);
    columns.SaveColumnWidths(*pageList, kPageColumnsSection);
    event->accept();
    emit Closed();
}

void OperatorConsole::ApplyBarColours() {
    // The shadow colour behind the highlight colour, as long as the highlight reads on it.
    const QPalette pal = QApplication::palette(this);
    const QColor shade = SideBarShade(pal);
    caption->SetBackgroundColour(shade);
    caption->SetTextColour(ReadableOn(pal.color(QPalette::Active, QPalette::Light), shade));
    if (auto* background = findChild<ColourLabel*>(QStringLiteral("sideBarBackground")))
        background->SetBackgroundColour(shade);
}

void OperatorConsole::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        ApplyBarColours();
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        WithdrawMissed();
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Open calls stay on screen while the console is out of the way.
    callWindows.ShowAll();
    if (hideOnMinimise) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
}

} // namespace olvex
