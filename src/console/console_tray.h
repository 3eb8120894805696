#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

class QTimer;

namespace olvex {

class OperatorConsole;
class TrayPresence;

// The console's tray icon. A click or a double click brings the console back; the context
// menu carries the console's main commands. The desktop's tray is followed while running:
// a panel that starts later gets the icon, and when it goes away a console hidden in it is
// shown again and minimising no longer hides it.
class ConsoleTray : public QObject {
    Q_OBJECT

public:
    static constexpr int kProbeMs = 2000;

    // Asks the console's desktop whether there is a tray.
    ConsoleTray(OperatorConsole& console, QObject* parent);
    ~ConsoleTray() override;

    // The icon is in the desktop's tray.
    bool Shown() const { return icon != nullptr; }
    QSystemTrayIcon* Icon() const { return icon; }
    QMenu& Menu() const { return *menu; }

    // Icon and tooltip, kept for an icon made later.
    void SetState(const QIcon& picture, const QString& toolTip);
    // A tray message; false when there is no tray to show it.
    bool ShowMessage(const QString& title, const QString& text, int msecs);
    // Asks the desktop now (it also asks every kProbeMs) and follows its answer.
    void CheckTray();
    // Shows, raises and activates the console.
    void RestoreConsole();
    // Takes the icon out of the tray for good (the console is going).
    void Remove();

signals:
    void TrayChanged(bool shown);

private:
    // Every entry of the tray menu is made here.
    void BuildMenu();
    // Entries follow the console's buttons.
    void UpdateMenu();
    void CreateIcon();
    void DestroyIcon();

    OperatorConsole& console;
    TrayPresence& presence;
    QPointer<QSystemTrayIcon> icon;
    QMenu* menu = nullptr;
    QTimer* probeTimer = nullptr;
    QAction* showAction = nullptr;
    QAction* statusActions[3] = {};
    QAction* loginAction = nullptr;
    QIcon picture;
    QString toolTip;
    bool removed = false;
};

} // namespace olvex
