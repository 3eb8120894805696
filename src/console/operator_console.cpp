#include "operator_console.h"

#include "about_dialog.h"
#include "c_explorer1.h"
#include "console_images.h"
#include "data_files.h"
#include "hyperlink_label.h"
#include "list_column_store.h"
#include "operator_list_view.h"
#include "options_dialog.h"
#include "page_list_view.h"
#include "product_info.h"
#include "reports_url.h"
#include "window_placement_store.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

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

OperatorConsole::OperatorConsole(bool embedBrowser, QWidget* parent) : QWidget(parent) {
    InitConsoleResources();
    setObjectName(QStringLiteral("OperatorConsole"));
    setWindowIcon(ProgramIcon());
    SetTitleNotConnected();

    pageList = new PageListView(this);
    pageList->setObjectName(QStringLiteral("pageList"));
    operatorList = new OperatorListView(this);
    operatorList->setObjectName(QStringLiteral("operatorList"));
    reportBrowser = new CExplorer1(embedBrowser, this);
    reportBrowser->setObjectName(QStringLiteral("reportBrowser"));
    views = new QStackedWidget(this);
    views->addWidget(pageList);
    views->addWidget(operatorList);
    views->addWidget(reportBrowser);

    caption = new QLabel(this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setTextFormat(Qt::PlainText);
    caption->setAutoFillBackground(true);
    QPalette captionColours = caption->palette();
    captionColours.setColor(QPalette::Window, palette().color(QPalette::Dark));
    captionColours.setColor(QPalette::WindowText, palette().color(QPalette::Light));
    caption->setPalette(captionColours);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
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

    SetLoggedInButtons(false);
    ButtonOf(Button::Login).setEnabled(true);
    connect(pageList, &QTreeWidget::itemSelectionChanged, this,
            [this] { ButtonOf(Button::Invite).setEnabled(!pageList->selectedItems().isEmpty()); });
    connect(pageList, &PageListView::InviteRequested, this, &OperatorConsole::InviteRequested);

    ClearReports();
    ShowView(View::Visitors);
    if (AgentSettings::IsOn(settings.autoLogin))
        QTimer::singleShot(0, this, [this] { emit AutoLoginRequested(); });

    resize(860, 500);
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);
    ListColumnStore columns;
    columns.RestoreColumnWidths(*operatorList, kOperatorColumnsSection);
    columns.RestoreColumnWidths(*pageList, kPageColumnsSection);
}

OperatorConsole::~OperatorConsole() {
    if (shutdown)
        shutdown();
}

QWidget* OperatorConsole::BuildToolbar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(1);
    struct ButtonDef {
        Button id;
        const char* text;
        const char* image;
        bool separatorBefore;
    };
    const ButtonDef definitions[] = {
        {Button::Login, "Login", "login", false},
        {Button::Logout, "Logout", "logout", false},
        {Button::Status, "Status", "status", false},
        {Button::Invite, "Invite", "invite", true},
        {Button::Options, "Options", "options", true},
        {Button::Answers, "Answers", "answers", false},
        {Button::Help, "Help", "help", true},
        {Button::Home, "Home", "home", false},
        {Button::About, "About", "about", false},
    };
    for (const ButtonDef& def : definitions) {
        if (def.separatorBefore)
            row->addWidget(NewSeparator(QFrame::VLine, bar));
        auto* button = new QToolButton(bar);
        button->setObjectName(QLatin1String(def.image) + QStringLiteral("Button"));
        button->setText(QLatin1String(def.text));
        button->setIcon(ButtonImage(QLatin1String(def.image)));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setMinimumWidth(56);
        buttons[static_cast<size_t>(def.id)] = button;
        row->addWidget(button);
    }
    row->addStretch(1);

    auto* statusMenu = new QMenu(&ButtonOf(Button::Status));
    const char* statusNames[] = {"Online", "Busy", "Away"};
    for (int32_t status = 1; status <= 3; ++status) {
        QAction* action = statusMenu->addAction(StatusMenuImage(status - 1),
                                                QLatin1String(statusNames[status - 1]));
        connect(action, &QAction::triggered, this,
                [this, status] { emit StatusRequested(status); });
    }
    ButtonOf(Button::Status).setMenu(statusMenu);
    ButtonOf(Button::Status).setPopupMode(QToolButton::InstantPopup);

    connect(&ButtonOf(Button::Login), &QToolButton::clicked, this,
            &OperatorConsole::LoginRequested);
    connect(&ButtonOf(Button::Logout), &QToolButton::clicked, this,
            &OperatorConsole::LogoutRequested);
    connect(&ButtonOf(Button::Invite), &QToolButton::clicked, this,
            &OperatorConsole::InviteRequested);
    connect(&ButtonOf(Button::Answers), &QToolButton::clicked, this,
            &OperatorConsole::AnswersRequested);
    connect(&ButtonOf(Button::Options), &QToolButton::clicked, this, &OperatorConsole::OpenOptions);
    connect(&ButtonOf(Button::Help), &QToolButton::clicked, this, &OperatorConsole::OpenHelp);
    connect(&ButtonOf(Button::Home), &QToolButton::clicked, this, &OperatorConsole::OpenHome);
    connect(&ButtonOf(Button::About), &QToolButton::clicked, this, &OperatorConsole::OpenAbout);
    return bar;
}

QWidget* OperatorConsole::BuildSideBar() {
    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("sideBar"));
    bar->setAutoFillBackground(true);
    QPalette colours = bar->palette();
    colours.setColor(QPalette::Window, palette().color(QPalette::Dark));
    colours.setColor(QPalette::ButtonText, palette().color(QPalette::Light));
    colours.setColor(QPalette::WindowText, palette().color(QPalette::Light));
    bar->setPalette(colours);
    // Light text on the shadow colour at rest; while hovered or pressed a lighter face with
    // dark blue text, so the label stays readable in every state.
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor hover(std::min(shadow.red() + 20, 255), std::min(shadow.green() + 20, 255),
                       std::min(shadow.blue() + 20, 255));
    bar->setStyleSheet(
        QStringLiteral("QToolButton { color: %1; border: 1px solid transparent; padding: 3px; }"
                       "QToolButton:hover { background: %2; color: rgb(0, 0, 200);"
                       " border-color: %1; }"
                       "QToolButton:pressed { background: %3; color: rgb(0, 0, 200); }")
            .arg(palette().color(QPalette::Light).name(), hover.name(),
                 shadow.darker(110).name()));
    auto* column = new QVBoxLayout(bar);
    column->setContentsMargins(3, 4, 3, 4);
    column->setSpacing(6);
    struct ButtonDef {
        Button id;
        const char* text;
        const char* image;
        View view;
    };
    const ButtonDef definitions[] = {
        {Button::Visitors, "Website Visitors", "visitors", View::Visitors},
        {Button::Operators, "Website Operators", "operators", View::Operators},
        {Button::Reports, "Website Reports", "reports", View::Reports},
    };
    for (const ButtonDef& def : definitions) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QLatin1String(def.image) + QStringLiteral("Button"));
        button->setText(QLatin1String(def.text));
        button->setIcon(ButtonImage(QLatin1String(def.image)));
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        buttons[static_cast<size_t>(def.id)] = button;
        column->addWidget(button);
        const View view = def.view;
        connect(button, &QToolButton::clicked, this, [this, view] { ShowView(view); });
    }
    column->addStretch(1);
    return bar;
}

void OperatorConsole::ShowView(View view) {
    currentView = view;
    switch (view) {
    case View::Visitors:
        views->setCurrentWidget(pageList);
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
    }
}

void OperatorConsole::SetTitleNotConnected() {
    setWindowTitle(QStringLiteral("%1 - Not connected").arg(QLatin1String(product::kName)));
}

void OperatorConsole::SetTitleConnecting() {
    setWindowTitle(Title(QStringLiteral("Connecting"), settings.serverAddress));
}

void OperatorConsole::SetTitleOnline() {
    setWindowTitle(Title(QStringLiteral("Online"), settings.serverAddress));
}

void OperatorConsole::SetTitleStatus(int32_t status) {
    setWindowTitle(Title(OperatorListView::StatusWord(status), settings.serverAddress));
}

void OperatorConsole::SetLoggedInButtons(bool loggedIn) {
    ButtonOf(Button::Login).setEnabled(!loggedIn);
    ButtonOf(Button::Logout).setEnabled(loggedIn);
    ButtonOf(Button::Status).setEnabled(loggedIn);
    ButtonOf(Button::Invite).setEnabled(loggedIn);
}

void OperatorConsole::ShowReports() {
    reportBrowser->Navigate(ReportsUrl(settings.username, settings.password));
}

void OperatorConsole::ClearReports() {
    reportBrowser->Navigate(QString::fromLatin1(kBlankPage));
}

void OperatorConsole::OpenOptions() {
    OptionsDialog dialog(settings, this);
    dialog.exec();
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
    dialog.exec();
}

void OperatorConsole::closeEvent(QCloseEvent* event) {
    WindowPlacementStore().SaveWindowPlacement(*this, kPlacementSection);
    ListColumnStore columns;
    columns.SaveColumnWidths(*operatorList, kOperatorColumnsSection);
    columns.SaveColumnWidths(*pageList, kPageColumnsSection);
    event->accept();
    emit Closed();
}

void OperatorConsole::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
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
