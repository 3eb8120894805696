#include "console_tray.h"

#include "console_images.h"
#include "desktop_services.h"
#include "flat_button.h"
#include "operator_console.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace olvex {

ConsoleTray::ConsoleTray(OperatorConsole& c, QObject* parent)
    : QObject(parent), console(c), presence(c.Desktop().Tray()) {
    menu = new QMenu(&console);
    menu->setObjectName(QStringLiteral("trayMenu"));
    BuildMenu();
    connect(menu, &QMenu::aboutToShow, this, &ConsoleTray::UpdateMenu);

    probeTimer = new QTimer(this);
    probeTimer->setInterval(kProbeMs);
    connect(probeTimer, &QTimer::timeout, this, &ConsoleTray::CheckTray);
    probeTimer->start();
    CheckTray();
}

ConsoleTray::~ConsoleTray() {
    DestroyIcon();
}

void ConsoleTray::BuildMenu() {
    using B = OperatorConsole::Button;
    showAction = menu->addAction(QStringLiteral("Show Olvex"), this, &ConsoleTray::RestoreConsole);
    menu->setDefaultAction(showAction);
    menu->addSeparator();
    const char* words[] = {"Online", "Busy", "Away"};
    for (int i = 0; i < 3; ++i) {
        const int status = OperatorConsole::kStatusOnline + i;
        statusActions[i] =
            menu->addAction(StatusMenuImage(i), QLatin1String(words[i]), this,
                            [this, status] { emit console.StatusRequested(status); });
    }
    menu->addSeparator();
    loginAction = menu->addAction(QStringLiteral("Log in"), this, [this] {
        if (console.ButtonOf(B::Logout).isEnabled())
            emit console.LogoutRequested();
        else if (console.ButtonOf(B::Login).isEnabled())
            emit console.LoginRequested();
    });
    menu->addSeparator();
    menu->addAction(QStringLiteral("History"), &console, &OperatorConsole::HistoryRequested);
    // Window managers' own window menus take no entries of ours: About lives here.
    menu->addAction(QStringLiteral("About Olvex"), &console, &OperatorConsole::OpenAbout);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Quit"), &console, [this] { console.close(); });
    UpdateMenu();
}

void ConsoleTray::UpdateMenu() {
    using B = OperatorConsole::Button;
    const bool loggedIn = console.ButtonOf(B::Logout).isEnabled();
    for (QAction* action : statusActions)
        action->setEnabled(console.ButtonOf(B::Status).isEnabled());
    loginAction->setText(loggedIn ? QStringLiteral("Log out") : QStringLiteral("Log in"));
    loginAction->setEnabled(loggedIn || console.ButtonOf(B::Login).isEnabled());
}

void ConsoleTray::SetState(const QIcon& newPicture, const QString& newToolTip) {
    picture = newPicture;
    toolTip = newToolTip;
    UpdateMenu();
    if (!icon)
        return;
    icon->setIcon(picture);
    icon->setToolTip(toolTip);
}

bool ConsoleTray::ShowMessage(const QString& title, const QString& text, int msecs) {
    if (!icon)
        return false;
    // Qt's StatusNotifier item marks itself as wanting attention for every message, and
    // some hosts then draw a stock icon in place of ours for good: where a notification
    // service answers, messages go to it directly and the icon is left alone.
    Notifications& notifier = console.Desktop().Notifier();
    if (notifier.Available()) {
        Notifications::Note note;
        note.summary = title;
        note.body = text;
        note.timeoutMs = msecs;
        if (notifier.Notify(note) > 0)
            return true;
    }
    if (!QSystemTrayIcon::supportsMessages())
        return false;
    icon->showMessage(title, text, QSystemTrayIcon::Information, msecs);
    return true;
}

void ConsoleTray::CheckTray() {
    if (removed)
        return;
    const bool available = presence.TrayAvailable();
    if (available == Shown())
        return;
    if (available) {
        CreateIcon();
    } else {
        DestroyIcon();
        // Nothing would bring a hidden console back.
        if (console.isHidden())
            RestoreConsole();
    }
    console.SetHideOnMinimise(available);
    emit TrayChanged(available);
}

void ConsoleTray::CreateIcon() {
    icon = new QSystemTrayIcon(this);
    icon->setObjectName(QStringLiteral("trayIcon"));
    icon->setIcon(picture);
    icon->setToolTip(toolTip);
    icon->setContextMenu(menu);
    connect(icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Most panels report a click as a single activation, never a double click.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    RestoreConsole();
            });
    icon->show();
}

void ConsoleTray::DestroyIcon() {
    if (!icon)
        return;
    icon->hide();
    icon->setContextMenu(nullptr);
    delete icon.data();
}

void ConsoleTray::Remove() {
    removed = true;
    probeTimer->stop();
    DestroyIcon();
}

void ConsoleTray::RestoreConsole() {
    console.showNormal();
    console.Desktop().Windows().BringToFront(console);
}

} // namespace olvex
