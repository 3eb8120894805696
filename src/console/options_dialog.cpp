#include "options_dialog.h"

#include "agent_settings.h"
#include "desktop_services.h"
#include "font_scaled.h"
#include "leading_number.h"
#include "message_box.h"
#include "placeholders.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace olvex {

namespace {

QCheckBox* NewSwitch(const QString& text, const char* name, int32_t value, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(AgentSettings::IsOn(value));
    return box;
}

QLineEdit* NewDigitsEdit(const char* name, int32_t value, QWidget* parent) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

} // namespace

QString AutoAwayNote(const IdleSource* idle) {
    const QString idleFrom = idle ? idle->IdleFrom() : QString();
    const QString lockFrom = idle ? idle->LockFrom() : QString();
    if (idleFrom.isEmpty() && lockFrom.isEmpty())
        return QStringLiteral("This desktop reports no idle time or screen lock, so the status "
                              "is never changed automatically.");
    if (idleFrom.isEmpty())
        return QStringLiteral("This desktop reports no idle time: only locking the screen sets "
                              "the status to Away (screen lock from: %1).")
            .arg(lockFrom);
    QString note = QStringLiteral("Idle time from: %1.").arg(idleFrom);
    if (!lockFrom.isEmpty())
        note += QStringLiteral(" Screen lock from: %1.").arg(lockFrom);
    return note;
}

OptionsDialog::OptionsDialog(AgentSettings& record, DesktopServices& services, QWidget* parent)
    : QDialog(parent), settings(record), desktop(services) {
    setWindowTitle(QStringLiteral("Olvex Options"));
    setWindowModality(Qt::WindowModal);

    // Built in the order of the keyboard focus chain. The groups scroll where the screen is
    // too low for them (large fonts, scaling); OK and Cancel stay below, always in view.
    auto* groups = new QWidget(this);
    auto* groupsLayout = new QVBoxLayout(groups);
    groupsLayout->setContentsMargins(0, 0, 0, 0);
    groupsLayout->addWidget(BuildServerGroup());
    groupsLayout->addWidget(BuildGeneralGroup());
    groupsLayout->addWidget(BuildCallGroup());
    groupsLayout->addWidget(BuildWelcomeGroup());
    groupsLayout->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("optionGroups"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(groups);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    layout->addWidget(buttons);
    FitScreen(*groups, *scroll, *buttons);
}

// As large as the groups want, wrapped lines included, but never beyond the screen.
void OptionsDialog::FitScreen(QWidget& groups, QScrollArea& scroll, QWidget& buttons) {
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The window manager's frame around it is not known before it is shown: a fair guess.
    const int frame = 2 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const QMargins margins = layout()->contentsMargins();
    const int spacing = layout()->spacing();
    const int scrollBar = scroll.verticalScrollBar()->sizeHint().width();
    const int widest = available.width() - margins.left() - margins.right() - scrollBar;
    int width =
        std::min(std::max(groups.sizeHint().width(), groups.minimumSizeHint().width()), widest);
    const int height =
        groups.hasHeightForWidth() ? groups.heightForWidth(width) : groups.sizeHint().height();
    const int chrome = margins.top() + margins.bottom() + spacing + buttons.sizeHint().height();
    const int highest = available.height() - frame;
    if (height + chrome > highest)
        width += scrollBar; // room for the scroll bar beside the groups
    resize(std::min(width + margins.left() + margins.right(), available.width()),
           std::min(height + chrome, highest));
}

QWidget* OptionsDialog::BuildServerGroup() {
    auto* serverGroup = new QGroupBox(QStringLiteral("Olvex Server"), this);
    serverAddress = new QLineEdit(QString::fromStdString(settings.serverAddress), serverGroup);
    serverAddress->setObjectName(QStringLiteral("serverAddress"));
    serverAddress->setMaxLength(AgentSettings::kMaxShortText);
    serverPort = NewDigitsEdit("serverPort", settings.serverPort, serverGroup);
    serverPort->setMaxLength(10);
    useTls = NewSwitch(QStringLiteral("Use a secure connection (TLS)"), "useTls", settings.useTls,
                       serverGroup);
    caFile = new QLineEdit(QString::fromStdString(settings.caFile), serverGroup);
    caFile->setObjectName(QStringLiteral("caFile"));
    caFile->setMaxLength(AgentSettings::kMaxPathText);
    caFile->setPlaceholderText(QStringLiteral("the system's trusted certificates"));
    caFile->setEnabled(useTls->isChecked());
    connect(useTls, &QCheckBox::toggled, caFile, &QLineEdit::setEnabled);
    auto* serverForm = new QFormLayout(serverGroup);
    serverForm->addRow(QStringLiteral("Server Address:"), serverAddress);
    serverForm->addRow(QStringLiteral("Server Port:"), serverPort);
    serverForm->addRow(useTls);
    serverForm->addRow(QStringLiteral("CA File (PEM):"), caFile);
    return serverGroup;
}

QWidget* OptionsDialog::BuildGeneralGroup() {
    auto* generalGroup = new QGroupBox(QStringLiteral("General Settings"), this);
    autoRun = NewSwitch(QStringLiteral("Automatically run Olvex when Windows starts"), "autoRun",
                        settings.autoRun, generalGroup);
    autoLogin = NewSwitch(QStringLiteral("Automatically login to server when Olvex starts"),
                          "autoLogin", settings.autoLogin, generalGroup);
    reconnect = NewSwitch(QStringLiteral("Automatically reconnect when disconnected"), "reconnect",
                          settings.reconnect, generalGroup);
    showHints = NewSwitch(QStringLiteral("Display events as system tray notifications"),
                          "showHints", settings.showHints, generalGroup);
    visitorHints = NewSwitch(QStringLiteral("Show visitors entering pages"), "visitorHints",
                             settings.visitorHints, generalGroup);
    visitorHints->setEnabled(showHints->isChecked());
    connect(showHints, &QCheckBox::toggled, visitorHints, &QCheckBox::setEnabled);
    auto* generalLayout = new QVBoxLayout(generalGroup);
    for (QCheckBox* box : {autoRun, autoLogin, reconnect, showHints})
        generalLayout->addWidget(box);
    // Belongs to the notifications above it.
    auto* visitorHintsRow = new QHBoxLayout;
    visitorHintsRow->addSpacing(20);
    visitorHintsRow->addWidget(visitorHints);
    generalLayout->addLayout(visitorHintsRow);
    autoAwayMinutes =
        NewDigitsEdit("autoAwayMinutes", std::max(0, settings.autoAwayMinutes), generalGroup);
    autoAwayMinutes->setMaxLength(4);
    autoAwayMinutes->setMaximumWidth(70);
    auto* awayRow = new QHBoxLayout;
    awayRow->addWidget(new QLabel(QStringLiteral("Set my status to Away after"), generalGroup));
    awayRow->addWidget(autoAwayMinutes);
    awayRow->addWidget(
        new QLabel(QStringLiteral("minutes without input (0: never)"), generalGroup));
    awayRow->addStretch();
    generalLayout->addLayout(awayRow);
    const IdleSource* idle = desktop.Idle();
    auto* awayNote = new QLabel(AutoAwayNote(idle), generalGroup);
    awayNote->setObjectName(QStringLiteral("autoAwayNote"));
    awayNote->setTextFormat(Qt::PlainText);
    awayNote->setWordWrap(true);
    // The minutes count only where the desktop tells the idle time; a lock alone still
    // sets the status away.
    autoAwayMinutes->setEnabled(idle && !idle->IdleFrom().isEmpty());
    generalLayout->addWidget(awayNote);
    historyDays = NewDigitsEdit("historyDays", settings.historyDays, generalGroup);
    historyDays->setMaxLength(6);
    historyDays->setMaximumWidth(70);
    auto* historyRow = new QHBoxLayout;
    historyRow->addWidget(new QLabel(QStringLiteral("Keep chat history for "), generalGroup));
    historyRow->addWidget(historyDays);
    historyRow->addWidget(new QLabel(QStringLiteral("days (0: for ever)"), generalGroup));
    historyRow->addStretch();
    generalLayout->addLayout(historyRow);
    return generalGroup;
}

QWidget* OptionsDialog::BuildCallGroup() {
    auto* callGroup = new QGroupBox(QStringLiteral("Call Notifications"), this);
    notifyTimeout = NewDigitsEdit("notifyTimeout", settings.notifyTimeout, callGroup);
    notifyTimeout->setMaxLength(10);
    notifyTimeout->setMaximumWidth(70);
    notifySound = NewSwitch(QStringLiteral("Play a sound when receiving a new chat request"),
                            "notifySound", settings.NotifySoundOn() ? 1 : 0, callGroup);
    auto* timeoutRow = new QHBoxLayout;
    notifyTimeout->setAccessibleName(QStringLiteral("Seconds to display new chat requests"));
    timeoutRow->addWidget(new QLabel(QStringLiteral("Display new chat requests for "), callGroup));
    timeoutRow->addWidget(notifyTimeout);
    timeoutRow->addWidget(new QLabel(QStringLiteral("seconds"), callGroup));
    timeoutRow->addStretch();
    lineSound = NewSwitch(QStringLiteral("Play a sound for a new line in a call window in the "
                                         "background"),
                          "lineSound", settings.lineSound, callGroup);
    visitorSound = NewSwitch(QStringLiteral("Play a sound when a visitor enters the website"),
                             "visitorSound", settings.visitorSound, callGroup);
    auto* callLayout = new QVBoxLayout(callGroup);
    callLayout->addLayout(timeoutRow);
    callLayout->addWidget(notifySound);
    callLayout->addWidget(lineSound);
    callLayout->addWidget(visitorSound);
    return callGroup;
}

QWidget* OptionsDialog::BuildWelcomeGroup() {
    auto* welcomeGroup = new QGroupBox(QStringLiteral("Welcome Message"), this);
    welcomeMsg = new QPlainTextEdit(QString::fromStdString(settings.welcomeMsg), welcomeGroup);
    welcomeMsg->setAccessibleName(QStringLiteral("Welcome Message"));
    welcomeMsg->setObjectName(QStringLiteral("welcomeMsg"));
    welcomeMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    welcomeMsg->setTabChangesFocus(true);
    welcomeMsg->setFixedHeight(FontScaled(*welcomeMsg, 70));
    auto* welcomeLayout = new QVBoxLayout(welcomeGroup);
    welcomeLayout->addWidget(welcomeMsg);
    auto* placeholders = new QLabel(QLatin1String(kPlaceholderHint), welcomeGroup);
    placeholders->setObjectName(QStringLiteral("placeholderHint"));
    placeholders->setTextFormat(Qt::PlainText);
    placeholders->setWordWrap(true);
    welcomeLayout->addWidget(placeholders);
    return welcomeGroup;
}

void OptionsDialog::accept() {
    const int32_t port = LeadingNumber(serverPort->text());
    // Ports end at 65535; a larger number could never connect.
    if (port < 1 || port > 65535) {
        ShowMessageBox(this, QStringLiteral("The server port must be a valid number."));
        serverPort->setFocus();
        return;
    }
    const int32_t timeout = LeadingNumber(notifyTimeout->text());
    if (timeout < 1) {
        ShowMessageBox(this, QStringLiteral("The alert timeout must be a valid number."));
        notifyTimeout->setFocus();
        return;
    }
    settings.serverAddress = serverAddress->text().toStdString();
    settings.serverPort = port;
    settings.useTls = useTls->isChecked() ? 1 : 0;
    settings.caFile = caFile->text().trimmed().toStdString();
    settings.autoRun = autoRun->isChecked() ? 1 : 0;
    settings.autoLogin = autoLogin->isChecked() ? 1 : 0;
    settings.reconnect = reconnect->isChecked() ? 1 : 0;
    settings.showHints = showHints->isChecked() ? 1 : 0;
    settings.visitorHints = visitorHints->isChecked() ? 1 : 0;
    settings.notifyTimeout = timeout;
    settings.notifySound = notifySound->isChecked() ? 1 : 0;
    settings.lineSound = lineSound->isChecked() ? 1 : 0;
    settings.visitorSound = visitorSound->isChecked() ? 1 : 0;
    // Without an idle source the field is off and the stored value stays as it was.
    if (autoAwayMinutes->isEnabled())
        settings.autoAwayMinutes = LeadingNumber(autoAwayMinutes->text());
    settings.welcomeMsg = welcomeMsg->toPlainText().toStdString();
    settings.historyDays = std::max(0, LeadingNumber(historyDays->text()));
    if (settings.Save() != 0) {
        ShowMessageBox(this, QStringLiteral("There was an error while saving the Olvex settings in "
                                            "the Windows registry.\r\nPlease check that you have "
                                            "the required permissions to modify the Windows "
                                            "registry."));
        return;
    }
    // Like the start-up entry it mirrors, a failure here is not worth a message.
    desktop.Autostart().Set(AgentSettings::IsOn(settings.autoRun));
    QDialog::accept();
}

} // namespace olvex
