#pragma once

#include "call_events.h"
#include "composing.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

class AgentClient;
class ChatCall;
class TranscriptArchive;
struct CallSessionCore;

// One accepted call: it joins on a worker thread of its own, turns what the engine reports
// into CallEvents, sends what the operator composes and keeps every line in the history.
//
// Threads: the engine's threads and the worker push events; the view takes them with Deliver
// on its own thread, once SetWake has told it there are some. Deliver, TypingKey,
// TypingNoticeStale and SetClock belong to that thread; the rest may be called from any.
// Close, or the destructor, ends the session: nothing is delivered and no wake hook runs
// after it returns.
class CallSession {
public:
    // {date} and {time} of the placeholders, in the operator's local short formats.
    struct DateTime {
        std::string date;
        std::string time;
    };

    struct Options {
        std::string operatorName; // the sender of every item
        std::string welcome;      // sent once joined, placeholders filled; empty: none
        std::string visitorName;  // from the chat request, for {visitor}
        // The visitor's opening words from the request: the first line of the transcript,
        // kept in the history once the call is joined. Empty: none.
        std::string opening;
        std::shared_ptr<TranscriptArchive> archive; // null: nothing is kept
        // Whole seconds, for the typing notices both ways.
        std::function<int64_t()> clock = TypingNoticeThrottle::SystemSeconds;
        std::function<DateTime()> dateTime = LocalDateTime;
        // A window lets go of a call the server closed, so that its id is free again;
        // olvex-cli keeps it until the script hangs up.
        bool keepClosedCall = false;
        // Also report every message as it came and went on the wire (ChatMessage,
        // MessageSent), for scripts; a window shows only the lines.
        bool rawMessages = false;
    };

    // What became of a line the operator sent: queued, then written to the server.
    struct OutgoingLine {
        LineKind kind = LineKind::Text;
        std::string text;
        bool written = false;
    };

    enum class State { Idle, Connecting, Connected, Failed, Closed };

    CallSession(AgentClient& engine, int32_t callId, Options options);
    ~CallSession();
    CallSession(const CallSession&) = delete;
    CallSession& operator=(const CallSession&) = delete;

    // Runs once for each batch of events, from the thread that pushed the first of them and
    // under the queue's lock: it may only post or signal. Set it before Start.
    void SetWake(std::function<void()> wake);
    // Hands every event pushed so far to `observer`, in order, on the caller's thread.
    void Deliver(CallObserver& observer);

    // Starts joining the call.
    void Start();
    // Gives up the session: the call is removed from the engine (a join still connecting is
    // given up), the history's conversation ends, and nothing is delivered any more.
    void Close();
    // Waits until the join worker is done with the engine; before a program destroys it.
    void WaitForJoin();

    // The operator ends the call ("Close"): "You have closed this call." The engine's result
    // of the removal, or -28 when there is no call.
    int32_t End();

    // Sending: each returns 0 (ResultCode::Ok) once the item is queued on the call's main
    // channel, else the engine's code with nothing sent (-28 without a call, and for a line
    // once the chat has ended). What was queued as a line is shown, recorded and kept in
    // Outgoing; a line still unwritten when the chat ends is reported "Not delivered".
    //
    // A chat item, showing nothing.
    int32_t Queue(ChatItemKind kind, std::optional<std::string_view> content = std::nullopt);
    // `text` as it is, shown as the operator's line.
    int32_t Say(std::string_view text);
    // Typed text: placeholders filled in and apostrophes turned into backquotes.
    int32_t SendTyped(std::string_view typed);
    // A link or an image; the address completed for the action.
    int32_t SendLink(const std::string& url);
    int32_t SendImage(const std::string& url);
    // Opens `url` in the visitor's browser; `content` is what goes out for it.
    int32_t PushUrl(const std::string& url, std::string_view content);
    // A key in the input box: a typing notice when one is due.
    bool TypingKey();
    // Queues an invitation for another operator. 0, or the engine's error.
    int32_t InviteOperator(int32_t userId, std::string_view text);

    // Whether the typing notice last delivered is older than 3 s; the clock is read here.
    bool TypingNoticeStale() const;

    int32_t CallId() const { return callId; }
    AgentClient& Engine() const { return engine; }
    State CurrentState() const;
    // The running call, or null while connecting, after a failure and once ended.
    std::shared_ptr<ChatCall> Call() const;
    // The visitor's name for {visitor} and the question before a chat is ended.
    void SetVisitorName(std::string name);
    std::string VisitorName() const;
    // The participants as the engine holds them now.
    std::vector<UserRecord> Participants() const;
    // The lines sent so far, oldest first.
    std::vector<OutgoingLine> Outgoing() const;
    // Whole seconds; set by tests.
    void SetClock(std::function<int64_t()> clock);

    // Fills {visitor}, {operator}, {date} and {time}.
    std::string Expand(const std::string& text) const;

    // The local short date and time, as the C library writes them.
    static DateTime LocalDateTime();

private:
    void ReleaseClosedCall();

    AgentClient& engine;
    const int32_t callId;
    std::shared_ptr<CallSessionCore> shared; // what the engine's threads may reach
    std::function<int64_t()> clock;
    TypingNoticeThrottle typingSent;
    int64_t lastTypingShown = 0; // whole seconds; 0: never
};

} // namespace olvex
