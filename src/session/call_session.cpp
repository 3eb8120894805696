#include "call_session.h"

#include "agent_client.h"
#include "call_channel.h"
#include "call_list.h"
#include "call_recorder.h"
#include "call_texts.h"
#include "chat_call.h"
#include "engine_log.h"
#include "event_queue.h"
#include "placeholders.h"
#include "protocol.h"
#include "result_code.h"
#include "thread_reaper.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <system_error>
#include <utility>

namespace olvex {

namespace ev = call_event;
using namespace std::chrono_literals;

// A call's connection that ends by itself looks the same whether the server closed just this
// call or went altogether. The operator's own connection tells them apart, as it sees the
// server go at about the same moment: this long is waited for it.
constexpr std::chrono::milliseconds kServerGoneWait = 300ms;
constexpr std::chrono::milliseconds kServerGonePoll = 10ms;

// What the session shares with its join worker and with the call's threads. The engine's
// callbacks get a pointer to it and reach nothing else. Lines are recorded and pushed under
// `mutex`, so the history holds them in the order the view is handed them. A report's flash
// and title go before its line: a view that shows the line has them too.
//
// The mutex is held across a queued send, so that a line's echo follows it at once. The one
// callback a send may raise on the sending thread is OnCallError, which takes no lock.
struct CallSessionCore {
    CallSessionCore(AgentClient& engine, int32_t callId, CallSession::Options& options)
        : engine(engine), callId(callId), operatorName(options.operatorName),
          welcome(std::move(options.welcome)), keepClosedCall(options.keepClosedCall),
          rawMessages(options.rawMessages),
          dateTime(std::move(options.dateTime)), visitorName(std::move(options.visitorName)),
          opening(std::move(options.opening)),
          recorder(std::move(options.archive), callId, options.operatorName) {}

    // The engine's report being handled: `mutex` is held, and its events reach the view
    // together, with one wake-up.
    class Report {
    public:
        explicit Report(CallSessionCore& core) : core(core), lock(core.mutex) {
            core.events.BeginBatch();
        }
        ~Report() { core.events.EndBatch(); }

    private:
        CallSessionCore& core;
        std::lock_guard<std::mutex> lock;
    };

    // Under `mutex`.
    void Push(CallEvent event) { events.Push(std::move(event)); }
    // Whether what the call reports is still shown: not once the session is closed, nor in a
    // window once its chat has ended (olvex-cli keeps a script told until it hangs up).
    bool Shows() const {
        return !closed && (state != CallSession::State::Closed || keepClosedCall);
    }
    void AddLine(LineKind kind, std::string name, bool own, std::string text);
    void RecordParticipants(const std::vector<UserRecord>& participants, int32_t ownUserId);
    int32_t QueueItem(ChatItemKind kind, std::optional<std::string_view> content);
    int32_t SendLine(ChatItemKind kind, std::optional<std::string_view> content, LineKind lineKind,
                     std::string shown, std::string subject = std::string());
    // The chat is over: says how, reports what never went out, and lets the call go.
    void EndChat(int32_t reason, ev::Ending ending);
    bool HasUnwritten() const;
    void ReportUndelivered();

    // Whether the operator's own connection has gone too, waiting a little for it; takes
    // `mutex` itself.
    bool ServerGone();

    // Any thread, without `mutex`.
    std::vector<UserRecord> ParticipantsNow() const;
    std::string Expand(const std::string& text) const;
    // Who the opening words are from: the visitor's name, or "Visitor" without one.
    std::string OpeningName() const;
    std::string OpeningText() const;

    AgentClient& engine;
    const int32_t callId;
    const std::string operatorName;
    const std::string welcome;
    const bool keepClosedCall;
    const bool rawMessages;
    const std::function<CallSession::DateTime()> dateTime;
    EventQueue<CallEvent> events;

    mutable std::mutex mutex;
    std::condition_variable closing; // Close has run: a wait for the server's fate ends
    CallSession::State state = CallSession::State::Idle;
    bool closed = false;                // Close has run: nothing more is recorded or pushed
    std::shared_ptr<ChatCall> call;     // the call the operator acts on
    std::shared_ptr<ChatCall> released; // closed by the server, let go on the view's thread
    std::string visitorName;
    const std::string opening;
    CallRecorder recorder;
    struct Sent {
        CallSession::OutgoingLine line;
        std::string payload;
        std::string subject; // what "Not delivered" quotes: the text, or the address
    };
    std::vector<Sent> sent;
    ReapableThread worker; // the join worker hands itself to the reaper
    std::shared_ptr<ReapableThread::State> workerDone;
};

namespace {

CallSessionCore& CoreOf(void* userData) {
    return *static_cast<CallSessionCore*>(userData);
}

ev::RawMessage Raw(const WireMessage& message) {
    ev::RawMessage raw;
    raw.code = message.Code();
    for (int i = 1; i <= message.FieldCount(); ++i)
        raw.fields.emplace_back(message.FieldView(i));
    return raw;
}

ev::JoinFailed FailedToStart(int32_t result) {
    std::string reason = ResultMessage(result);
    std::string message = "Failed to start the chat.\r\n" + reason;
    return {result, std::move(reason), std::move(message)};
}

void OnChatMessage(void* userData, const WireMessage& message) {
    CallSessionCore& core = CoreOf(userData);
    const ReceivedChatItem item = DecodeChatItem(message);
    CallSessionCore::Report report(core);
    if (!core.Shows())
        return;
    if (item.Flashes())
        core.Push(ev::Flash{true});
    switch (item.action) {
    case ReceivedChatItem::Action::ShowText:
        core.AddLine(LineKind::Text, item.sender, false, item.text);
        break;
    case ReceivedChatItem::Action::ShowNotice:
        core.AddLine(LineKind::Notice, std::string(), false, item.text);
        break;
    case ReceivedChatItem::Action::ShowTyping:
        core.Push(ev::Typing{item.sender});
        break;
    case ReceivedChatItem::Action::Drop:
        break;
    }
    if (core.rawMessages)
        core.Push(ev::ChatMessage{Raw(message)});
}

void OnMessageSent(void* userData, const WireMessage& message) {
    CallSessionCore& core = CoreOf(userData);
    std::lock_guard lock(core.mutex);
    if (core.closed)
        return;
    for (CallSessionCore::Sent& sent : core.sent) {
        if (!sent.line.written && sent.payload == message.Payload()) {
            sent.line.written = true;
            break;
        }
    }
    if (core.rawMessages)
        core.Push(ev::MessageSent{Raw(message)});
}

void OnCallClosed(void* userData, int32_t reason) {
    CallSessionCore& core = CoreOf(userData);
    const bool byItself = reason != CallChannel::kClosedLocally;
    const bool serverGone = byItself && core.ServerGone();
    CallSessionCore::Report report(core);
    if (core.closed)
        return;
    // The engine may report one close more than once; only the first ends the chat.
    if (core.state == CallSession::State::Connected) {
        // Lines left unsent mean the connection failed under them, whoever closed it.
        const ev::Ending ending = !byItself                           ? ev::Ending::Here
                                  : serverGone || core.HasUnwritten() ? ev::Ending::Lost
                                                                      : ev::Ending::ByServer;
        core.EndChat(reason, ending);
        return;
    }
    core.Push(ev::CallClosed{reason});
}

void OnParticipantsReceived(void* userData) {
    CallSessionCore& core = CoreOf(userData);
    std::vector<UserRecord> participants = core.ParticipantsNow();
    const int32_t own = core.engine.OwnUserId();
    CallSessionCore::Report report(core);
    if (!core.Shows())
        return;
    const bool running = core.state == CallSession::State::Connected;
    if (running)
        core.RecordParticipants(participants, own);
    core.Push(ev::ParticipantsChanged{ev::ParticipantsChanged::Change::List, UserRecord{},
                                      participants, CallTitle(participants, own)});
    for (const UserRecord& user : participants) {
        if (running && IsShownParticipant(user, own))
            core.AddLine(LineKind::Event, std::string(), false, JoinedText(user));
    }
}

void ParticipantChange(void* userData, const UserRecord& user,
                       ev::ParticipantsChanged::Change change) {
    CallSessionCore& core = CoreOf(userData);
    std::vector<UserRecord> participants = core.ParticipantsNow();
    const int32_t own = core.engine.OwnUserId();
    CallSessionCore::Report report(core);
    if (!core.Shows())
        return;
    core.RecordParticipants(participants, own);
    const bool joined = change == ev::ParticipantsChanged::Change::Joined;
    // The chat is with the visitor: once no visitor is left in the call, it is over.
    const bool visitorGone =
        !joined && user.kind == protocol::kKindVisitor &&
        std::none_of(participants.begin(), participants.end(),
                     [](const UserRecord& p) { return p.kind == protocol::kKindVisitor; });
    std::string title = CallTitle(participants, own);
    core.Push(ev::ParticipantsChanged{change, user, std::move(participants), std::move(title)});
    core.Push(ev::Flash{false});
    core.AddLine(LineKind::Event, std::string(), false, joined ? JoinedText(user) : LeftText(user));
    if (visitorGone && core.state == CallSession::State::Connected)
        core.EndChat(0, ev::Ending::VisitorLeft);
}

CallCallbacks MakeCallbacks() {
    // These run on the call's threads (OnCallClosed also inside Remove and SetCallbacks).
    CallCallbacks cb;
    cb.OnChatMessage = OnChatMessage;
    cb.OnMessageSent = OnMessageSent;
    cb.OnCallClosed = OnCallClosed;
    cb.OnParticipantsReceived = OnParticipantsReceived;
    cb.OnParticipantJoined = [](void* u, const UserRecord& user) {
        ParticipantChange(u, user, ev::ParticipantsChanged::Change::Joined);
    };
    cb.OnParticipantLeft = [](void* u, const UserRecord& user) {
        ParticipantChange(u, user, ev::ParticipantsChanged::Change::Left);
    };
    cb.OnOperatorInvited = [](void* u, const UserRecord& user) {
        CallSessionCore& core = CoreOf(u);
        CallSessionCore::Report report(core);
        if (!core.Shows())
            return;
        core.AddLine(LineKind::Event, std::string(), false, InvitedText(user));
        core.Push(ev::OperatorInvited{user});
    };
    cb.OnChannelNotice = [](void* u, int32_t a, int32_t b, int32_t c, int32_t form) {
        CallSessionCore& core = CoreOf(u);
        std::lock_guard lock(core.mutex);
        if (!core.closed)
            core.Push(ev::ChannelNotice{a, b, c, form});
    };
    // Also raised by a send on the sending thread, which may hold the mutex: no lock here,
    // the closed queue refuses what comes after Close.
    cb.OnCallError = [](void* u, int32_t code, int32_t detail) {
        CoreOf(u).events.Push(ev::CallError{code, detail});
    };
    return cb;
}

// Once joined: the participants are asked for, then the welcome goes out as stored, its
// placeholders filled in (no apostrophe replacement).
void Welcome(CallSessionCore& core, ChatCall& call) {
    const std::string welcome = core.welcome.empty() ? std::string() : core.Expand(core.welcome);
    std::lock_guard lock(core.mutex);
    if (core.closed) {
        call.ClearCallbacks(); // the view went meanwhile; it has removed the call
        return;
    }
    if (core.state != CallSession::State::Connected)
        return;
    call.RequestParticipants();
    if (!welcome.empty())
        (void)core.SendLine(ChatItemKind::Text, welcome, LineKind::Text, welcome);
}

void JoinWorker(const std::shared_ptr<CallSessionCore>& core) {
    core->events.Push(ev::Connecting{});
    CallList& calls = core->engine.Calls();
    const int32_t result = calls.Open(core->callId);
    std::shared_ptr<ChatCall> call =
        result == ResultCode::Ok ? calls.FindById(core->callId) : nullptr;

    bool orphaned = false;
    bool install = false;
    {
        std::lock_guard lock(core->mutex);
        if (core->closed) {
            // The view went while the call was connecting: nobody shows this call.
            orphaned = result == ResultCode::Ok;
        } else if (result != ResultCode::Ok) {
            // On the thread that connected, so that a TLS failure keeps its reason.
            core->state = CallSession::State::Failed;
            core->Push(FailedToStart(result));
        } else if (!call) {
            core->state = CallSession::State::Failed;
            core->Push(ev::JoinFailed{ResultCode::CallNotFound,
                                      ResultMessage(ResultCode::CallNotFound),
                                      "Failed to open call.\r\nUnhandled software exception."});
        } else {
            // Announced before the callbacks are installed: every event of the call comes
            // after Connected.
            core->call = call;
            core->state = CallSession::State::Connected;
            core->Push(ev::Connected{});
            // The request's words were shown at Start; the history keeps them once there is
            // a conversation to keep them in.
            if (!core->opening.empty())
                (void)core->recorder.Line(LineKind::Text, core->OpeningName(), false,
                                          core->OpeningText());
            install = true;
        }
    }
    // Outside the lock: a call that has already ended reports it from inside SetCallbacks.
    if (install) {
        call->SetCallbacks(core.get(), MakeCallbacks());
        Welcome(*core, *call);
    }
    if (orphaned)
        calls.Remove(core->callId);
    // The last step: once its handle is gone, the worker touches neither engine nor session.
    ReapableThread self;
    {
        std::lock_guard lock(core->mutex);
        self = std::move(core->worker);
    }
    self.JoinOrDefer();
}

} // namespace

namespace {

// Text from the network as the history and the window take it: every byte that does not start
// a well-formed UTF-8 sequence becomes U+FFFD, as a QString made from it would have it.
std::string ValidUtf8(std::string text) {
    auto wellFormedAt = [&text](size_t i) -> size_t {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                                      : lead >= 0xE0 && lead <= 0xEF   ? 3
                                      : lead >= 0xF0 && lead <= 0xF4   ? 4
                                                                       : 0;
        if (length == 0 || i + length > text.size())
            return 0;
        for (size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                return 0;
        }
        // No overlong forms, no surrogates, nothing above U+10FFFF.
        const unsigned char second = length > 1 ? byte(i + 1) : 0;
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return 0;
        return length;
    };
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    if (i == text.size())
        return text;
    std::string valid = text.substr(0, i);
    while (i < text.size()) {
        if (const size_t length = wellFormedAt(i)) {
            valid.append(text, i, length);
            i += length;
        } else {
            valid += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return valid;
}

} // namespace

// ---- the core ---------------------------------------------------------------------------

std::string CallSessionCore::OpeningName() const {
    return visitorName.empty() ? std::string("Visitor") : ValidUtf8(visitorName);
}

std::string CallSessionCore::OpeningText() const {
    return ValidUtf8(opening);
}

void CallSessionCore::AddLine(LineKind kind, std::string name, bool own, std::string text) {
    name = ValidUtf8(std::move(name));
    text = ValidUtf8(std::move(text));
    const uint64_t ticket = recorder.Line(kind, name, own, text);
    Push(ev::Line{kind, std::move(name), own, std::move(text), ticket, ArchiveNowMs()});
}

void CallSessionCore::RecordParticipants(const std::vector<UserRecord>& participants,
                                         int32_t ownUserId) {
    for (const UserRecord& user : participants) {
        if (user.userId != ownUserId)
            recorder.Participant(ParticipantEventName(user), user.kind);
    }
}

int32_t CallSessionCore::QueueItem(ChatItemKind kind, std::optional<std::string_view> content) {
    if (closed || !call)
        return ResultCode::CallNotFound;
    return call->QueueMessage(BuildChatItem(kind, operatorName, content));
}

int32_t CallSessionCore::SendLine(ChatItemKind kind, std::optional<std::string_view> content,
                                  LineKind lineKind, std::string shown, std::string subject) {
    // No line goes out once the chat is over, even on a call olvex-cli keeps.
    if (closed || !call || state != CallSession::State::Connected)
        return ResultCode::CallNotFound;
    const WireMessage item = BuildChatItem(kind, operatorName, content);
    if (const int32_t queued = call->QueueMessage(item); queued != ResultCode::Ok)
        return queued;
    if (subject.empty())
        subject = shown;
    sent.push_back({{lineKind, shown, false}, item.Payload(), std::move(subject)});
    if (lineKind == LineKind::Push)
        AddLine(lineKind, std::string(), false, std::move(shown));
    else
        AddLine(lineKind, operatorName, true, std::move(shown));
    return ResultCode::Ok;
}

void CallSessionCore::EndChat(int32_t reason, ev::Ending ending) {
    state = CallSession::State::Closed;
    if (!keepClosedCall) {
        // A call that ended without the operator stays listed in the engine, holding its id
        // (and, when the visitor left, its connection): it is let go once the view has been
        // told.
        if (reason != CallChannel::kClosedLocally)
            released = std::move(call);
        call.reset();
    }
    const char* said = ending == ev::Ending::ByServer      ? kCallClosedText
                       : ending == ev::Ending::Lost        ? kConnectionLostText
                       : ending == ev::Ending::VisitorLeft ? kVisitorLeftText
                                                           : nullptr;
    if (said) {
        if (ending != ev::Ending::VisitorLeft) // the leaving has flashed already
            Push(ev::Flash{false});
        AddLine(LineKind::Event, std::string(), false, said);
        ReportUndelivered();
    }
    recorder.End();
    if (reason != 0)
        Push(ev::CallClosed{reason});
    Push(ev::Closed{reason, ending});
}

bool CallSessionCore::HasUnwritten() const {
    return std::any_of(sent.begin(), sent.end(), [](const Sent& s) { return !s.line.written; });
}

void CallSessionCore::ReportUndelivered() {
    for (const Sent& line : sent) {
        if (line.line.written)
            continue;
        // The length and never the text: the log holds nothing typed in a call.
        const char* what = line.line.kind == LineKind::Link   ? "link"
                           : line.line.kind == LineKind::Push ? "page push"
                                                              : "text line";
        EngineLog(engine.logSink, LogLevel::Warning,
                  "call " + std::to_string(callId) + ": " + what + " of " +
                      std::to_string(line.subject.size()) + " bytes not delivered");
        AddLine(LineKind::Event, std::string(), false, NotDeliveredText(line.subject));
    }
}

bool CallSessionCore::ServerGone() {
    std::unique_lock lock(mutex);
    for (auto left = kServerGoneWait;; left -= kServerGonePoll) {
        if (engine.OwnUserId() == 0)
            return true;
        if (closed || state != CallSession::State::Connected || left <= 0ms)
            return false;
        closing.wait_for(lock, kServerGonePoll, [this] { return closed; });
    }
}

std::vector<UserRecord> CallSessionCore::ParticipantsNow() const {
    std::shared_ptr<ChatCall> current;
    {
        std::lock_guard lock(mutex);
        current = call ? call : released;
    }
    std::vector<UserRecord> copies;
    if (current) {
        for (const auto& user : current->Participants().Snapshot())
            copies.push_back(*user);
    }
    return copies;
}

std::string CallSessionCore::Expand(const std::string& text) const {
    // Most lines hold no placeholder: leave them exactly as they are.
    if (text.find('{') == std::string::npos)
        return text;
    PlaceholderValues values;
    {
        std::lock_guard lock(mutex);
        values.visitor = visitorName;
    }
    if (values.visitor.empty()) {
        // A transfer names the operator who hands the call on; the visitor is a participant.
        for (const UserRecord& user : ParticipantsNow()) {
            if (user.kind == 1) {
                values.visitor = user.firstName;
                break;
            }
        }
    }
    const int32_t own = engine.OwnUserId();
    for (const auto& user : engine.Users().Snapshot()) {
        if (user->userId == own && user->kind == 2) {
            values.operatorName = user->firstName;
            break;
        }
    }
    if (values.operatorName.empty())
        values.operatorName = operatorName;
    if (dateTime) {
        CallSession::DateTime now = dateTime();
        values.date = std::move(now.date);
        values.time = std::move(now.time);
    }
    return ExpandPlaceholders(text, values);
}

// ---- the session ------------------------------------------------------------------------

CallSession::CallSession(AgentClient& engine, int32_t callId, Options options)
    : engine(engine), callId(callId),
      shared(std::make_shared<CallSessionCore>(engine, callId, options)),
      clock(std::move(options.clock)), typingSent([this] { return clock(); }) {}

CallSession::~CallSession() {
    Close();
}

void CallSession::SetWake(std::function<void()> wake) {
    shared->events.SetWake(std::move(wake));
}

void CallSession::Deliver(CallObserver& observer) {
    for (const CallEvent& event : shared->events.Take()) {
        if (shared->events.Closed())
            return;
        if (std::holds_alternative<ev::Typing>(event))
            lastTypingShown = clock();
        observer.OnEvent(event);
        if (std::holds_alternative<ev::Closed>(event))
            ReleaseClosedCall();
    }
}

void CallSession::ReleaseClosedCall() {
    std::shared_ptr<ChatCall> call;
    {
        std::lock_guard lock(shared->mutex);
        call = std::move(shared->released);
    }
    if (call) {
        // Cleared first: the removal's own report has nobody to tell.
        call->ClearCallbacks();
        engine.Calls().Remove(call->callId);
    }
}

void CallSession::Start() {
    std::lock_guard lock(shared->mutex);
    if (shared->closed || shared->state != State::Idle)
        return;
    shared->state = State::Connecting;
    if (!shared->opening.empty()) {
        shared->Push(ev::Line{LineKind::Text, shared->OpeningName(), false,
                              shared->OpeningText(), 0, ArchiveNowMs()});
    }
    try {
        // Stored under the lock, so the worker finds its own handle when it ends.
        shared->worker = ReapableThread::Start([core = shared] { JoinWorker(core); });
        shared->workerDone = shared->worker.Completion();
    } catch (const std::system_error&) {
        shared->state = State::Failed;
        shared->Push(FailedToStart(ResultCode::ThreadCreate));
    }
}

void CallSession::Close() {
    std::shared_ptr<ChatCall> call;
    std::shared_ptr<ChatCall> released;
    bool connecting = false;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed)
            return;
        shared->closed = true;
        call = std::move(shared->call);
        released = std::move(shared->released);
        connecting = shared->state == State::Connecting;
        shared->recorder.End();
    }
    shared->closing.notify_all();
    shared->events.Close();
    for (const auto& held : {call, released}) {
        if (held) {
            // Cleared first, so the removal reports nothing to a session that is going.
            held->ClearCallbacks();
            engine.Calls().Remove(held->callId);
        }
    }
    if (!call && connecting) {
        // The join is given up now, and the worker finds the session closed.
        engine.Calls().Remove(callId);
    }
}

void CallSession::WaitForJoin() {
    ReapableThread worker;
    std::shared_ptr<ReapableThread::State> done;
    {
        std::lock_guard lock(shared->mutex);
        worker = std::move(shared->worker);
        done = shared->workerDone;
    }
    if (worker.IsRunning()) {
        worker.JoinOrDefer();
        return;
    }
    // The worker has taken its own handle, as its last step: wait until that step is over and
    // it has gone to the reaper, so that no thread of this call is left running.
    if (done)
        done->WaitFor(std::chrono::seconds(5));
}

int32_t CallSession::End() {
    std::shared_ptr<ChatCall> call;
    bool running = false;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed || !shared->call)
            return ResultCode::CallNotFound;
        call = std::move(shared->call);
        running = shared->state == State::Connected;
        if (running)
            shared->state = State::Closed;
    }
    const int32_t removed = engine.Calls().Remove(call->callId);
    if (running) {
        std::lock_guard lock(shared->mutex);
        if (!shared->closed) {
            shared->AddLine(LineKind::Event, std::string(), false, kYouClosedText);
            shared->recorder.End();
            shared->Push(ev::Closed{CallChannel::kClosedLocally});
        }
    }
    return removed;
}

int32_t CallSession::Queue(ChatItemKind kind, std::optional<std::string_view> content) {
    std::lock_guard lock(shared->mutex);
    return shared->QueueItem(kind, content);
}

int32_t CallSession::Say(std::string_view text) {
    std::lock_guard lock(shared->mutex);
    return shared->SendLine(ChatItemKind::Text, text, LineKind::Text, std::string(text));
}

int32_t CallSession::SendTyped(std::string_view typed) {
    if (typed.empty() || !Call())
        return ResultCode::CallNotFound;
    return Say(ReplaceApostrophes(Expand(std::string(typed))));
}

int32_t CallSession::SendLink(const std::string& url) {
    std::lock_guard lock(shared->mutex);
    return shared->SendLine(ChatItemKind::Text, LinkFragment(url), LineKind::Link, url);
}

int32_t CallSession::SendImage(const std::string& url) {
    std::lock_guard lock(shared->mutex);
    return shared->SendLine(ChatItemKind::Text, ImageFragment(url), LineKind::Link, url);
}

int32_t CallSession::PushUrl(const std::string& url, std::string_view content) {
    std::lock_guard lock(shared->mutex);
    return shared->SendLine(ChatItemKind::UrlPush, content, LineKind::Push, PushedUrlText(url),
                            url);
}

bool CallSession::TypingKey() {
    return typingSent.KeyPressed() && Queue(ChatItemKind::Typing) == ResultCode::Ok;
}

int32_t CallSession::InviteOperator(int32_t userId, std::string_view text) {
    std::shared_ptr<ChatCall> call = Call();
    return call ? call->InviteOperator(userId, text) : ResultCode::CallNotFound;
}

bool CallSession::TypingNoticeStale() const {
    return olvex::TypingNoticeStale(lastTypingShown, clock());
}

CallSession::State CallSession::CurrentState() const {
    std::lock_guard lock(shared->mutex);
    return shared->state;
}

std::shared_ptr<ChatCall> CallSession::Call() const {
    std::lock_guard lock(shared->mutex);
    return shared->call;
}

void CallSession::SetVisitorName(std::string name) {
    std::lock_guard lock(shared->mutex);
    shared->visitorName = std::move(name);
}

std::string CallSession::VisitorName() const {
    std::lock_guard lock(shared->mutex);
    return shared->visitorName;
}

std::vector<UserRecord> CallSession::Participants() const {
    return shared->ParticipantsNow();
}

std::vector<CallSession::OutgoingLine> CallSession::Outgoing() const {
    std::lock_guard lock(shared->mutex);
    std::vector<OutgoingLine> lines;
    for (const CallSessionCore::Sent& sent : shared->sent)
        lines.push_back(sent.line);
    return lines;
}

void CallSession::SetClock(std::function<int64_t()> newClock) {
    clock = std::move(newClock);
}

std::string CallSession::Expand(const std::string& text) const {
    return shared->Expand(text);
}

CallSession::DateTime CallSession::LocalDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[64];
    char time[64];
    const size_t dateLength = std::strftime(date, sizeof date, "%x", &local);
    const size_t timeLength = std::strftime(time, sizeof time, "%H:%M", &local);
    return {std::string(date, dateLength), std::string(time, timeLength)};
}

} // namespace olvex
