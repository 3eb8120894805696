#pragma once

#include "composing.h"
#include "records.h"
#include "transcript_view.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace olvex {

class AgentClient;
class AgentSettings;
class CallRecorder;
class CallWindowList;
class CannedSearch;
class ChatCall;
class FlatButton;
struct CallCallbacks;
struct CallLink;

// The chat window of one accepted call. It connects the call on a worker
// thread of its own, shows what happens in the call and sends what the
// operator composes. "Close" ends the call but keeps the window, so the
// transcript can still be read, saved and printed; the close box and Escape
// destroy the window, ending the call if it still runs.
//
// The window owns itself and is deleted once closed. It joins the call window
// list at construction and leaves it at destruction; both the settings and the
// list must outlive it.
class CallWindow : public QWidget {
    Q_OBJECT
public:
    // `engine` is the process-wide one unless a test gives another.
    CallWindow(AgentSettings& settings, int32_t callId, CallWindowList& callWindows,
               AgentClient* engine = nullptr);
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
    // The visitor's name from the chat request, for {visitor}.
    void SetVisitorName(const QString& name) { visitorName = name; }
    // Whole seconds for the typing notices, both ways.
    void SetClock(std::function<int64_t()> clock) { this->clock = std::move(clock); }

    enum class CallState { Connecting, Connected, Error, Closed };
    CallState State() const { return state; }
    // Joining or joined: the visitor is there or about to be.
    bool ChatOpen() const {
        return state == CallState::Connecting || state == CallState::Connected;
    }
    int32_t CallId() const { return callId; }
    AgentClient& Engine() const { return engine; }
    const AgentSettings& Settings() const { return settings; }
    // The running call, or null while connecting, after an error and once ended.
    std::shared_ptr<ChatCall> Call() const;
    TranscriptView& Transcript() const { return *transcript; }
    QPlainTextEdit& InputBox() const { return *input; }
    QLabel& StatusLine() const { return *status; }
    QTreeWidget& CannedTree() const { return *cannedTree; }
    bool CannedPanelShown() const { return cannedShown; }
    QLineEdit& CannedSearchField() const { return *searchField; }
    bool CannedSearchOpen() const;
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
    QWidget* BuildToolbar();
    QWidget* BuildCannedPanel();
    void SetTabOrder();
    void FillCannedTree();
    void PickAnswer(QTreeWidgetItem* item);
    void StartConnecting();
    void SendUrl(UrlAction action);
    void TypingKey();
    void EchoOwn(const QString& text, const QColor& colour);
    std::string Expand(const std::string& text) const;
    void Flash();
    void SetStatus(const QString& text);
    void UpdateTitle(const std::vector<UserRecord>& participants, int32_t ownUserId);
    void RecordParticipants(const std::vector<UserRecord>& participants, int32_t ownUserId);
    void SetClosedState();
    std::shared_ptr<ChatCall> TakeCall();
    // Who the chat is with, for the question before a running chat is ended.
    QString PeerName() const;

    // Steps that the worker and the call's threads hand to the window's thread.
    static void ConnectWorker(const std::shared_ptr<CallLink>& link, int32_t callId);
    static CallCallbacks MakeCallbacks();
    void ShowError(const QString& message);
    void OnConnected();
    void OnClosed(int32_t reason);
    void OnChatItem(const ReceivedChatItem& item);
    void OnParticipantList(const std::vector<UserRecord>& participants, int32_t ownUserId);
    void OnParticipantChange(const std::string& line, const std::vector<UserRecord>& participants,
                             int32_t ownUserId);

    AgentSettings& settings;
    const int32_t callId;
    CallWindowList& callWindows;
    AgentClient& engine;
    std::shared_ptr<CallLink> link;
    // Keeps every line the transcript shows in the history.
    std::unique_ptr<CallRecorder> recorder;

    TranscriptView* transcript = nullptr;
    QPlainTextEdit* input = nullptr;
    QLabel* status = nullptr;
    QTreeWidget* cannedTree = nullptr;
    QWidget* cannedPanel = nullptr;
    QWidget* toolbar = nullptr;
    QWidget* sendButton = nullptr;
    FlatButton* answersButton = nullptr;
    QLineEdit* searchField = nullptr;
    CannedSearch* search = nullptr;
    bool panelShownBeforeSearch = false;
    QString visitorName;
    QTimer* typingTimer = nullptr;

    std::function<int64_t()> clock = TypingNoticeThrottle::SystemSeconds;
    TypingNoticeThrottle typingSent;
    int64_t lastTypingReceived = 0; // whole seconds; 0: never
    bool cannedShown = false;
    bool escaping = false;
    bool asking = false;       // the question before ending a running chat is open
    bool endConfirmed = false; // the operator said yes to it
    CallState state = CallState::Connecting;
    int flashRequests = 0;

    Tool inviteHandler;
    Tool saveHandler;
    Tool printHandler;
    UrlPrompt urlPrompt;
};

} // namespace olvex
