#pragma once

#include "call_session.h"
#include "composing.h"
#include "records.h"
#include "transcript_files.h"
#include "transcript_view.h"
#include "visitor_context.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QShortcut;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace olvex {

class AgentClient;
class AgentSettings;
class CallWindowList;
class CannedSearch;
class ChatCall;
class FlatButton;
class TranscriptArchive;
class UiEventPump;

// The chat window of one accepted call: a view over its CallSession, which joins the call,
// keeps the history and sends what the operator composes. "Close" ends the call but keeps
// the window, so the transcript can still be read, saved and printed; the close box and
// Escape destroy the window, ending the call if it still runs.
//
// The window owns itself and is deleted once closed. It joins the call window list at
// construction and leaves it at destruction; the settings, the list and the engine must
// outlive it. Lines are kept in `archive` when there is one. `opening`, the visitor's words
// from the request, is the transcript's first line.
class CallWindow : public QWidget, private CallObserver {
    Q_OBJECT
public:
    CallWindow(AgentSettings& settings, int32_t callId, CallWindowList& callWindows,
               AgentClient& engine, std::shared_ptr<TranscriptArchive> archive = nullptr,
               const QString& visitorName = QString(), const QString& opening = QString());
    ~CallWindow() override;

    // Queues a chat item on the call's main channel. False, with nothing sent,
    // when there is no call or no main channel; callers then skip their echo.
    bool QueueChatItem(ChatItemKind kind, std::optional<std::string_view> content = std::nullopt);

    // Invite, Save and Print run the call tools unless replaced.
    using Tool = std::function<void(CallWindow&)>;
    void SetInviteHandler(Tool handler) { inviteHandler = std::move(handler); }
    void SetSaveHandler(Tool handler) { saveHandler = std::move(handler); }
    void SetPrintHandler(Tool handler) { printHandler = std::move(handler); }

    // Asks for the address of a link, an image or a pushed page, completed for
    // the action; nothing on Cancel. CUrlDlg unless replaced.
    using UrlPrompt = std::function<std::optional<std::string>(QWidget*, UrlAction)>;
    void SetUrlPrompt(UrlPrompt prompt) { urlPrompt = std::move(prompt); }
    // The visitor's name from the chat request, for {visitor}; the constructor's unless
    // changed.
    void SetVisitorName(const QString& name);
    // Whole seconds for the typing notices, both ways.
    void SetClock(std::function<int64_t()> clock);
    // Shows where the visitor with that id is on the site and follows their moves; the
    // visitor's page views, oldest first, come from `lookup` (the engine's page directory
    // when empty). An id of 0 or less follows nobody.
    using PagesLookup = std::function<std::vector<PageRecord>(int32_t visitorId)>;
    void FollowVisitor(int32_t visitorId, PagesLookup lookup = {});

    enum class CallState { Connecting, Connected, Error, Closed };
    CallState State() const { return state; }
    // Joining or joined: the visitor is there or about to be.
    bool ChatOpen() const {
        return state == CallState::Connecting || state == CallState::Connected;
    }
    int32_t CallId() const { return callId; }
    AgentClient& Engine() const { return engine; }
    const AgentSettings& Settings() const { return settings; }
    CallSession& Session() const { return *session; }
    // The running call, or null while connecting, after an error and once ended.
    std::shared_ptr<ChatCall> Call() const;
    TranscriptView& Transcript() const { return *transcript; }
    QPlainTextEdit& InputBox() const { return *input; }
    QLabel& StatusLine() const { return *status; }
    QTreeWidget& CannedTree() const { return *cannedTree; }
    bool CannedPanelShown() const { return cannedShown; }
    QLineEdit& CannedSearchField() const { return *searchField; }
    bool CannedSearchOpen() const;
    // Who the chat is with and when, for the head of a saved or printed transcript.
    TranscriptHeader Header() const;
    // How often the window asked to be flashed (it flashes only when not in front).
    int FlashRequests() const { return flashRequests; }

public slots:
    void SendTypedText();
    void SendLink();
    void SendImage();
    void PushUrl();
    void ToggleCannedPanel();
    void HideCannedPanel();
    // The search field over the canned answers, opened from the keyboard.
    void OpenCannedSearch();
    // "Close": ends the call, keeps the window.
    void EndCall();
    // The typing timer's tick: a typing notice older than 3 s leaves the status line.
    void ClearStaleTypingNotice();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // call_window_layout.cpp
    void BuildLayout();
    QWidget* BuildToolbar();
    QWidget* BuildCannedPanel();
    QLayout* BuildChatColumn();
    QWidget* BuildStatusLine();
    void BuildShortcuts();
    void SetDefaultTools();
    void SetTabOrder();
    void FillCannedTree();
    void PickAnswer(QTreeWidgetItem* item);

    // call_window_context.cpp
    QWidget* BuildContextPanel();
    void RefreshContext();
    void LookUpEarlierChats(const std::string& historyPath, const std::string& visitor);
    void ShowEarlierChats(const std::vector<ConversationSummary>& earlier,
                          const std::vector<ArchivedLine>& lastLines);

    // The session's events, applied on the window's thread.
    void OnEvent(const CallEvent& event) override;
    void ShowLine(const call_event::Line& line);
    void ShowError(const QString& message);
    // Applies what the session has for the window now: after the pump's wake-up, and right
    // after the operator's own actions so that their echo is there at once.
    void Flush();
    void SendUrl(UrlAction action);
    void TypingKey();
    void Flash();
    void SetStatus(const QString& text);
    void SetClosedState();
    // Once the chat is over: the box keeps its text but takes no more, the sending tools stop.
    void StopInput(const QString& why);
    // The status line's word on `what` that was not queued.
    void NotSent(const QString& what, int32_t result);
    // Who the chat is with, for the question before a running chat is ended.
    QString PeerName() const;

    AgentSettings& settings;
    const int32_t callId;
    CallWindowList& callWindows;
    AgentClient& engine;
    std::unique_ptr<CallSession> session;
    UiEventPump* pump = nullptr;

    TranscriptView* transcript = nullptr;
    QPlainTextEdit* input = nullptr;
    QLabel* status = nullptr;
    QTreeWidget* cannedTree = nullptr;
    QWidget* cannedPanel = nullptr;
    QWidget* toolbar = nullptr;
    QWidget* sendButton = nullptr;
    FlatButton* answersButton = nullptr;
    // Send, Answers, Invite, Push, Link and Image; with the search's shortcut, what puts a
    // line in the box or sends one.
    std::vector<QWidget*> sendingTools;
    QShortcut* findAnswer = nullptr;
    QLineEdit* searchField = nullptr;
    CannedSearch* search = nullptr;
    bool panelShownBeforeSearch = false;
    QTimer* typingTimer = nullptr;

    bool cannedShown = false;
    bool escaping = false;
    bool typingAnnounced = false;
    bool asking = false;       // the question before ending a running chat is open
    bool endConfirmed = false; // the operator said yes to it
    CallState state = CallState::Connecting;
    int flashRequests = 0;

    // The visitor's context above the transcript.
    QWidget* contextPanel = nullptr;
    QLabel* pageLabel = nullptr;
    QLabel* detailsLabel = nullptr;
    QLabel* earlierLabel = nullptr;
    QToolButton* earlierToggle = nullptr;
    TranscriptView* earlierView = nullptr;
    QTimer* contextTimer = nullptr;
    int32_t visitorId = 0;
    int64_t openedAt = 0; // milliseconds since the epoch
    int64_t endedAt = 0;
    PagesLookup pagesLookup;
    VisitorTrail visitorTrail;
    std::thread earlierLookup; // joined when the window goes

    Tool inviteHandler;
    Tool saveHandler;
    Tool printHandler;
    UrlPrompt urlPrompt;
};

} // namespace olvex
