#include "cli_calls.h"

#include "agent_client.h"
#include "call_session.h"
#include "result_code.h"
#include "transcript_archive.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <system_error>

namespace olvex {

namespace {

using Json = nlohmann::ordered_json;
namespace ev = call_event;

template <class... F> struct Overloaded : F... { using F::operator()...; };
// Spelled out for compilers without aggregate deduction.
template <class... F> Overloaded(F...) -> Overloaded<F...>;

std::optional<int32_t> ParseId(std::string_view text) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void AddMessage(Json& event, const ev::RawMessage& message) {
    event["code"] = message.code;
    event["fields"] = message.fields;
}

} // namespace

// One call: its session, and the printer of its events.
struct CliCalls::Call : CallObserver {
    Call(CliCalls& owner, int32_t callId)
        : output(owner.output_), archive(owner.archive_), callId(callId),
          session(*owner.client_, callId, [&owner] {
              CallSession::Options options;
              options.operatorName = owner.userName_;
              options.archive = owner.archive_;
              // A script sees each close the engine reports, the hangup's too.
              options.keepClosedCall = true;
              options.rawMessages = true;
              return options;
          }()) {}

    // The start of an event line: its name, then the call's id.
    Json Event(const char* name) const {
        Json event;
        event["event"] = name;
        event["callId"] = callId;
        return event;
    }

    void OnEvent(const CallEvent& event) override {
        std::visit(
            Overloaded{
                [this](const ev::Line& line) {
                    // What is printed after it is on disk: a kill then loses nothing.
                    if (archive && line.ticket)
                        archive->WaitWritten(line.ticket, std::chrono::seconds(2));
                },
                [this](const ev::JoinFailed& failed) {
                    output.error("accept: " + std::to_string(failed.result) + " " + failed.reason);
                },
                [this](const ev::ChatMessage& item) {
                    Json e = Event("OnChatMessage");
                    AddMessage(e, item.message);
                    output.emit(e);
                },
                [this](const ev::MessageSent& sent) {
                    Json e = Event("OnMessageSent");
                    AddMessage(e, sent.message);
                    output.emit(e);
                },
                [this](const ev::CallClosed& closed) {
                    Json e = Event("OnCallClosed");
                    e["reason"] = closed.reason;
                    output.emit(e);
                },
                [this](const ev::ParticipantsChanged& changed) {
                    using Change = ev::ParticipantsChanged::Change;
                    if (changed.change == Change::List)
                        return output.emit(Event("OnParticipantsReceived"));
                    const bool joined = changed.change == Change::Joined;
                    output.emit(output.withUser(
                        Event(joined ? "OnParticipantJoined" : "OnParticipantLeft"), changed.user));
                },
                [this](const ev::OperatorInvited& invited) {
                    output.emit(output.withUser(Event("OnOperatorInvited"), invited.user));
                },
                [this](const ev::ChannelNotice& notice) {
                    Json e = Event("OnChannelNotice");
                    e["value1"] = notice.value1;
                    e["value2"] = notice.value2;
                    e["value3"] = notice.value3;
                    e["form"] = notice.form;
                    output.emit(e);
                },
                [this](const ev::CallError& error) {
                    Json e = Event("OnCallError");
                    e["code"] = error.code;
                    e["detail"] = error.detail;
                    output.emit(e);
                },
                // What a window shows; the lines above already tell a script.
                [](const auto&) {},
            },
            event);
    }

    const CliOutput& output;
    const std::shared_ptr<TranscriptArchive> archive;
    const int32_t callId;
    CallSession session;
};

CliCalls::CliCalls(CliOutput output, std::string userName)
    : output_(output), userName_(std::move(userName)), printer_([this] { Print(); }) {}

CliCalls::~CliCalls() {
    printer_.Finish();
}

void CliCalls::Fail(std::string_view verb, int32_t result) const {
    output_.error(std::string(verb) + ": " + std::to_string(result) + " " + ResultMessage(result));
}

std::shared_ptr<CliCalls::Call> CliCalls::Find(int32_t callId) {
    std::lock_guard lock(mutex_);
    auto found = current_.find(callId);
    return found == current_.end() ? nullptr : found->second;
}

bool CliCalls::Execute(std::string_view verb, std::string_view rest) {
    static constexpr std::string_view kVerbs[] = {"accept", "say",      "typing",
                                                  "push",   "inviteop", "hangup"};
    if (std::find(std::begin(kVerbs), std::end(kVerbs), verb) == std::end(kVerbs))
        return false;

    const auto space = rest.find(' ');
    const auto callId = ParseId(rest.substr(0, space));
    const bool hasArgument = space != std::string_view::npos;
    const std::string argument = hasArgument ? std::string(rest.substr(space + 1)) : std::string();
    const bool takesArgument = verb == "say" || verb == "push" || verb == "inviteop";
    if (!callId || !client_ || hasArgument != takesArgument) {
        output_.error(std::string(verb) + ": expected CALLID" +
                      (verb == "say"        ? " TEXT"
                       : verb == "push"     ? " URL"
                       : verb == "inviteop" ? " USERID"
                                            : ""));
        return true;
    }
    if (verb == "accept") {
        Accept(*callId);
    } else if (verb == "hangup") {
        Hangup(*callId);
    } else if (const auto userId = ParseId(argument); verb == "inviteop" && !userId) {
        output_.error("inviteop: expected CALLID USERID");
    } else if (const std::shared_ptr<Call> call = Find(*callId); !call) {
        Fail(verb, ResultCode::CallNotFound);
    } else {
        CallSession& session = call->session;
        const int32_t result = verb == "say"      ? session.Say(argument)
                               : verb == "typing" ? session.Queue(ChatItemKind::Typing)
                               : verb == "push"   ? session.PushUrl(argument, argument)
                                                  : session.InviteOperator(*userId, "invitation");
        if (result < 0)
            Fail(verb, result);
    }
    return true;
}

void CliCalls::Accept(int32_t callId) {
    // A call whose join failed may be accepted again.
    const std::shared_ptr<Call> open = Find(callId);
    if (open && open->session.CurrentState() != CallSession::State::Failed)
        return Fail("accept", ResultCode::CallNotFound);
    auto call = std::make_shared<Call>(*this, callId);
    {
        std::lock_guard lock(mutex_);
        if (shuttingDown_)
            return Fail("accept", ResultCode::CallNotFound);
        current_[callId] = call;
        calls_.push_back(call);
    }
    call->session.SetWake([this] { printer_.Wake(); });
    call->session.Start();
}

void CliCalls::Hangup(int32_t callId) {
    std::shared_ptr<Call> call;
    {
        std::lock_guard lock(mutex_);
        if (auto found = current_.find(callId); found != current_.end()) {
            call = found->second;
            current_.erase(found);
        }
    }
    if (!call)
        return Fail("hangup", ResultCode::CallNotFound);
    // A call still connecting is given up at once, silently.
    if (call->session.CurrentState() == CallSession::State::Connecting)
        return call->session.Close();
    if (const int32_t result = call->session.End(); result < 0)
        Fail("hangup", result);
}

void CliCalls::Shutdown() {
    std::vector<std::shared_ptr<Call>> calls;
    {
        std::lock_guard lock(mutex_);
        shuttingDown_ = true;
        calls = calls_;
    }
    for (const auto& call : calls) {
        if (call->session.CurrentState() == CallSession::State::Connecting)
            call->session.Close();
    }
    if (client_)
        client_->Calls().Clear(); // ends every join still connecting, reports every close
    for (const auto& call : calls)
        call->session.WaitForJoin();
    printer_.Finish();
    for (const auto& call : calls)
        call->session.Close();
}

void CliCalls::Print() {
    std::vector<std::shared_ptr<Call>> calls;
    {
        std::lock_guard lock(mutex_);
        calls = calls_;
    }
    for (const auto& call : calls)
        call->session.Deliver(*call);
}

} // namespace olvex
