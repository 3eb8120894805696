#pragma once

#include "agent_settings.h"
#include "call_window_list.h"
#include "chats_model.h"
#include "tray_badge.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QStackedWidget;

namespace olvex {

class CExplorer1;
class ChatsView;
class ColourLabel;
class DesktopServices;
class FlatButton;
class OperatorListView;
class PageListView;
class VisitorsView;

// The main window: a toolbar, a side bar of three view buttons, a caption, and one of three
// views (visitors' pages, operators, reports). Commands that need the engine leave through
// the signals below; the window itself only shows state.
class OperatorConsole : public QWidget {
    Q_OBJECT

public:
    enum class View { Visitors = 1, Operators = 2, Reports = 3, Chats = 4 };
    enum class Button {
        Login,
        Logout,
        Status,
        Invite,
        Options,
        Answers,
        History,
        Help,
        Home,
        About,
        Visitors,
        Operators,
        Reports,
        Chats,
        Count
    };
    // Commands of the status menu: the status numbers they ask for.
    static constexpr int kStatusOnline = 1;
    static constexpr int kStatusBusy = 2;
    static constexpr int kStatusAway = 3;

    // `desktop` outlives the console. Without embedBrowser the report browser never creates
    // its web view (tests).
    explicit OperatorConsole(DesktopServices& desktop, bool embedBrowser = true,
                             QWidget* parent = nullptr);
    ~OperatorConsole() override;

    AgentSettings& Settings() { return settings; }
    PageListView& PageList() { return *pageList; }
    OperatorListView& OperatorList() { return *operatorList; }
    CExplorer1& ReportBrowser() { return *reportBrowser; }
    ChatsView& Chats() { return *chatsView; }
    const ChatsModel& ChatList() const { return chatsModel; }
    FlatButton& ButtonOf(Button button) { return *buttons[static_cast<size_t>(button)]; }
    ColourLabel& Caption() { return *caption; }
    CallWindowList& CallWindows() { return callWindows; }

    void ShowView(View view);
    View CurrentView() const { return currentView; }

    // Titles carry the server address of the settings.
    void SetTitleNotConnected();
    void SetTitleConnecting();
    void SetTitleOnline();
    void SetTitleStatus(int32_t status);
    // Waiting for the next try of a reconnection, or of the automatic log-in at start while
    // none has been taken (`atStart`): "Olvex - Reconnecting (next try in 8 s)", followed by
    // ": " and what failed last when something did.
    void SetTitleRetrying(bool atStart, int seconds, const QString& failure);
    // Logged in: Login off, Logout, Status and Invite on; logged out the other way round.
    void SetLoggedInButtons(bool loggedIn);
    // The report browser shows the operator's reports, or the blank page.
    void ShowReports();
    void ClearReports();

    // An incoming call request (kind 1) or transfer (kind 2) with its ready-made alert text:
    // opens the call alert. Runs on the UI thread and returns without waiting for the operator.
    // While no window of ours is active the desktop is notified as well, with an Accept action;
    // an alert that runs out leaves a notification naming the caller that stays.
    // `caller` names who asks (the tray's tooltip lists it); for a request it is the visitor,
    // whom the call window's {visitor} stands for. `opening` is the visitor's question.
    void ShowCallAlert(int32_t callId, int32_t requesterId, int32_t kind, const QString& text,
                       const QString& caller = QString(), const QString& opening = QString());
    // Open alerts and call windows with unseen lines; WaitingChanged follows every change.
    WaitingItems Waiting() const;
    DesktopServices& Desktop() { return desktop; }
    // Call windows whose chat is connecting or running.
    int OpenChats() const;

    // Hide the window when it is minimised; only where it can be brought back (a tray icon).
    void SetHideOnMinimise(bool on) { hideOnMinimise = on; }
    // Runs first when the window is destroyed, while every child still exists.
    void SetShutdown(std::function<void()> steps) { shutdown = std::move(steps); }
    bool HidesOnMinimise() const { return hideOnMinimise; }

    // Modal to the console only.
    void OpenAbout();

signals:
    void LoginRequested();
    void LogoutRequested();
    void StatusRequested(int32_t status);
    void InviteRequested();
    void AnswersRequested();
    // The History button, and the tray menu's entry.
    void HistoryRequested();
    // Emitted once after construction, from the event loop, when AutoLogin is on.
    void AutoLoginRequested();
    // The window was closed: the program ends.
    void Closed();
    void WaitingChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* BuildToolbar();
    QWidget* BuildSideBar();
    FlatButton* NewButton(Button id, const char* text, const char* image, QWidget* parent);
    void ApplyBarColours();
    // Tells a screen reader of a new connection state, once.
    void AnnounceState(const QString& state);
    void OpenOptions();
    void OpenHelp();
    void OpenHome();
    // Alerts and call windows have no parent and use our settings and list: they go first.
    void CloseCallWindows();
    void NoteMissed(const QString& caller);
    // operator_console_chats.cpp: the Chats view follows the alerts and call windows.
    void ConnectChats();
    void RefreshChats();
    void TakeRequest(int32_t callId);
    void RaiseChat(const void* window);
    void DismissRequest(int32_t callId);
    QWidget* OpenAlertOf(int32_t callId) const;
    // The operator has looked: the missed requests are no longer news.
    void WithdrawMissed();

    AgentSettings settings;
    CallWindowList callWindows;
    std::vector<QPointer<QWidget>> callAlerts;
    DesktopServices& desktop;
    std::array<FlatButton*, static_cast<size_t>(Button::Count)> buttons{};
    VisitorsView* visitorsView = nullptr;
    PageListView* pageList = nullptr;
    OperatorListView* operatorList = nullptr;
    CExplorer1* reportBrowser = nullptr;
    ChatsModel chatsModel;
    ChatsView* chatsView = nullptr;
    QStackedWidget* views = nullptr;
    ColourLabel* caption = nullptr;
    View currentView = View::Visitors;
    bool hideOnMinimise = false;
    QStringList missedCallers;
    int missedHandle = 0;
    QString announcedState;
    bool askingToQuit = false;
    bool quitConfirmed = false;
    std::function<void()> shutdown;
};

// "Missed chat request from Ann O.", or "3 missed chat requests: Ann O., Bob T., Cat T.".
QString MissedRequestsText(const QStringList& callers);
// "2 chats are open and 1 request is waiting. Quit Olvex anyway?"; empty with nothing open.
QString QuitQuestion(int chats, int requests);

} // namespace olvex
