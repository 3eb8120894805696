#include "call_commands.h"

#include "agent_client.h"
#include "call_channel.h"
#include "call_texts.h"
#include "chat_call.h"
#include "protocol.h"
#include "result_code.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <system_error>
#include <vector>

namespace olvex {

namespace {

using Json = nlohmann::ordered_json;

std::optional<int32_t> ParseId(std::string_view text) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void AddMessage(Json& event, const WireMessage& message) {
    Json fields = Json::array();
    for (int i = 1; i <= message.FieldCount(); ++i)
        fields.push_back(std::string(message.FieldView(i)));
    event["code"] = message.Code();
    event["fields"] = std::move(fields);
}

} // namespace

CallCommands::CallCommands(CliOutput output, std::string userName)
    : output_(output), userName_(std::move(userName)) {}

Json CallCommands::Event(const Context& context, const char* name) {
    Json event;
    event["event"] = name;
    event["callId"] = context.callId;
    return event;
}

void CallCommands::Fail(std::string_view verb, int32_t result) {
    output_.error(std::string(verb) + ": " + std::to_string(result) + " " + ResultMessage(result));
}

bool CallCommands::Execute(std::string_view verb, std::string_view rest) {
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
    } else if (verb == "say") {
        QueueChatItem(*callId, protocol::kItemText, &argument);
    } else if (verb == "typing") {
        QueueChatItem(*callId, protocol::kItemTyping, nullptr);
    } else if (verb == "push") {
        QueueChatItem(*callId, protocol::kItemUrlPush, &argument);
    } else if (verb == "inviteop") {
        auto userId = ParseId(argument);
        auto call = client_->Calls().FindById(*callId);
        if (!userId)
            output_.error("inviteop: expected CALLID USERID");
        else if (!call)
            Fail(verb, ResultCode::CallNotFound);
        else if (int32_t rc = call->InviteOperator(*userId, "invitation"); rc < 0)
            Fail(verb, rc);
    } else { // hangup; a call still connecting is given up at once
        {
            std::lock_guard lock(mutex_);
            if (auto it = current_.find(*callId); it != current_.end())
                it->second->givenUp = true;
        }
        if (int32_t rc = client_->Calls().Remove(*callId); rc < 0) {
            Fail(verb, rc);
        } else {
            Record(*callId, LineKind::Event, "", false, kYouClosedText);
            EndRecord(*callId);
        }
        std::lock_guard lock(mutex_);
        if (auto it = current_.find(*callId); it != current_.end()) {
            it->second->recorder.reset(); // the context stays for a late thread, its record goes
            current_.erase(it);
        }
    }
    return true;
}

void CallCommands::Shutdown() {
    std::vector<Worker> accepts;
    {
        std::lock_guard lock(mutex_);
        shuttingDown_ = true;
        for (auto& [id, context] : current_)
            context->givenUp = true;
        accepts.swap(accepts_);
    }
    if (client_)
        client_->Calls().Clear(); // ends every Open still connecting
    for (auto& accept : accepts)
        accept.thread.join();
}

void CallCommands::Accept(int32_t callId) {
    Context* context;
    {
        std::lock_guard lock(mutex_);
        if (shuttingDown_ || current_.contains(callId))
            return Fail("accept", ResultCode::CallNotFound);
        std::erase_if(accepts_, [](Worker& w) {
            if (!w.done->load())
                return false;
            w.thread.join();
            return true;
        });
        contexts_.push_back(std::make_unique<Context>(Context{this, callId, false, nullptr}));
        context = contexts_.back().get();
        current_[callId] = context;
        try {
            auto done = std::make_shared<std::atomic<bool>>(false);
            accepts_.push_back({std::thread([this, context, done] {
                                    Connect(context);
                                    done->store(true);
                                }),
                                done});
            return;
        } catch (const std::system_error&) {
            current_.erase(callId);
        }
    }
    Fail("accept", ResultCode::ThreadCreate);
}

void CallCommands::Connect(Context* context) {
    const int32_t callId = context->callId;
    const int32_t opened = client_->Calls().Open(callId);
    auto call = opened < 0 ? nullptr : client_->Calls().FindById(callId);
    bool givenUp;
    {
        std::lock_guard lock(mutex_);
        givenUp = context->givenUp;
        if (auto it = current_.find(callId); !call && it != current_.end() && it->second == context)
            current_.erase(it);
    }
    if (!call) {
        if (!givenUp)
            Fail("accept", opened < 0 ? opened : ResultCode::CallNotFound);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (archive_ && !context->recorder)
            context->recorder = std::make_unique<CallRecorder>(archive_, callId, userName_);
    }
    // Each slot starts its line with the event's name and the call's id.
    CallCallbacks cb;
    cb.OnChatMessage = [](void* data, const WireMessage& message) {
        auto& c = *static_cast<Context*>(data);
        const ReceivedChatItem item = DecodeChatItem(message);
        if (item.action == ReceivedChatItem::Action::ShowText)
            c.owner->Record(c.callId, LineKind::Text, item.sender, false, item.text);
        else if (item.action == ReceivedChatItem::Action::ShowNotice)
            c.owner->Record(c.callId, LineKind::Notice, "", false, item.text);
        auto e = Event(c, "OnChatMessage");
        AddMessage(e, message);
        c.owner->output_.emit(e);
    };
    cb.OnMessageSent = [](void* data, const WireMessage& message) {
        auto& c = *static_cast<Context*>(data);
        auto e = Event(c, "OnMessageSent");
        AddMessage(e, message);
        c.owner->output_.emit(e);
    };
    cb.OnCallClosed = [](void* data, int32_t reason) {
        auto& c = *static_cast<Context*>(data);
        if (reason != CallChannel::kClosedLocally)
            c.owner->Record(c.callId, LineKind::Event, "", false, kCallClosedText);
        c.owner->EndRecord(c.callId);
        auto e = Event(c, "OnCallClosed");
        e["reason"] = reason;
        c.owner->output_.emit(e);
    };
    cb.OnParticipantsReceived = [](void* data) {
        auto& c = *static_cast<Context*>(data);
        c.owner->RecordParticipants(c, true);
        c.owner->output_.emit(Event(c, "OnParticipantsReceived"));
    };
    cb.OnParticipantJoined = [](void* data, const UserRecord& user) {
        auto& c = *static_cast<Context*>(data);
        c.owner->RecordParticipants(c, false);
        c.owner->Record(c.callId, LineKind::Event, "", false, JoinedText(user));
        c.owner->output_.emit(c.owner->output_.withUser(Event(c, "OnParticipantJoined"), user));
    };
    cb.OnParticipantLeft = [](void* data, const UserRecord& user) {
        auto& c = *static_cast<Context*>(data);
        c.owner->Record(c.callId, LineKind::Event, "", false, LeftText(user));
        c.owner->output_.emit(c.owner->output_.withUser(Event(c, "OnParticipantLeft"), user));
    };
    cb.OnOperatorInvited = [](void* data, const UserRecord& user) {
        auto& c = *static_cast<Context*>(data);
        c.owner->Record(c.callId, LineKind::Event, "", false, InvitedText(user));
        c.owner->output_.emit(c.owner->output_.withUser(Event(c, "OnOperatorInvited"), user));
    };
    cb.OnChannelNotice = [](void* data, int32_t a, int32_t b, int32_t n, int32_t form) {
        auto& c = *static_cast<Context*>(data);
        auto e = Event(c, "OnChannelNotice");
        e["value1"] = a;
        e["value2"] = b;
        e["value3"] = n;
        e["form"] = form;
        c.owner->output_.emit(e);
    };
    cb.OnCallError = [](void* data, int32_t code, int32_t detail) {
        auto& c = *static_cast<Context*>(data);
        auto e = Event(c, "OnCallError");
        e["code"] = code;
        e["detail"] = detail;
        c.owner->output_.emit(e);
    };
    call->SetCallbacks(context, cb);
    if (int32_t rc = call->RequestParticipants(); rc < 0)
        Fail("accept", rc);
}

void CallCommands::QueueChatItem(int32_t callId, int32_t kind, const std::string* text) {
    const char* verb = kind == protocol::kItemText     ? "say"
                       : kind == protocol::kItemTyping ? "typing"
                                                       : "push";
    auto call = client_->Calls().FindById(callId);
    if (!call)
        return Fail(verb, ResultCode::CallNotFound);
    WireMessage item(protocol::kChatItem);
    item.AddInt(kind);
    item.AddText(userName_);
    if (text)
        item.AddText(*text);
    if (int32_t rc = call->QueueMessage(item); rc < 0)
        Fail(verb, rc);
    else if (kind == protocol::kItemText)
        Record(callId, LineKind::Text, userName_, true, *text);
    else if (kind == protocol::kItemUrlPush)
        Record(callId, LineKind::Push, "", false, PushedUrlText(*text));
}

void CallCommands::Record(int32_t callId, LineKind kind, const std::string& name, bool own,
                          const std::string& text) {
    if (!archive_)
        return;
    uint64_t ticket = 0;
    {
        std::lock_guard lock(mutex_);
        auto found = current_.find(callId);
        if (found == current_.end() || !found->second->recorder)
            return;
        ticket = found->second->recorder->Line(kind, name, own, text);
    }
    // What is printed is on disk: a kill after the line loses nothing.
    if (ticket)
        archive_->WaitWritten(ticket, std::chrono::seconds(2));
}

void CallCommands::RecordParticipants(Context& context, bool announce) {
    if (!archive_)
        return;
    auto call = client_->Calls().FindById(context.callId);
    if (!call)
        return;
    const int32_t own = client_->OwnUserId();
    std::vector<std::string> joined;
    {
        std::lock_guard lock(mutex_);
        if (!context.recorder)
            return;
        for (const auto& user : call->Participants().Snapshot()) {
            if (user->userId != own)
                context.recorder->Participant(ParticipantEventName(*user), user->kind);
            if (announce && IsShownParticipant(*user, own))
                joined.push_back(JoinedText(*user));
        }
    }
    for (const std::string& line : joined)
        Record(context.callId, LineKind::Event, "", false, line);
}

void CallCommands::EndRecord(int32_t callId) {
    std::lock_guard lock(mutex_);
    auto found = current_.find(callId);
    if (found != current_.end() && found->second->recorder)
        found->second->recorder->End();
}

} // namespace olvex
