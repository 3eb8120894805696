#include "demo_hub.h"

#include "protocol.h"
#include "result_code.h"
#include "site_catalogue.h"
#include "socket_channel.h"
#include "wire_message.h"

#include <algorithm>

namespace olvex::demo {

using namespace protocol;

namespace {

constexpr auto kOfferLifetime = std::chrono::minutes(2);
constexpr auto kChurnTick = std::chrono::milliseconds(5);

// A message of integer fields; texts, where there are any, are added after.
WireMessage Numbers(int32_t code, std::initializer_list<int32_t> fields) {
    WireMessage message(code);
    for (int32_t field : fields)
        message.AddInt(field);
    return message;
}

std::string Frame(std::string_view payload) {
    std::string frame(size_t(kFrameHeaderSize), '\0');
    WriteFrameHeader(reinterpret_cast<unsigned char*>(frame.data()), int32_t(payload.size()));
    frame.append(payload);
    return frame;
}

} // namespace

DemoHub::DemoHub(ServerOptions options, Clock::time_point now)
    : options_(std::move(options)), rng_(options_.seed), now_(now), churnFrom_(now) {
    for (int i = 0; i < options_.visitors; ++i)
        ArriveVisitor();
    if (options_.quiet)
        return;
    if (options_.churn > 0) {
        At(now_ + kChurnTick, [this] { Churn(); });
    } else {
        for (int32_t visitorId : present_)
            ScheduleMove(visitorId);
    }
    if (options_.requestEvery > 0) {
        auto every = std::chrono::milliseconds(int64_t(options_.requestEvery * 1000));
        At(now_ + std::max(every, std::chrono::milliseconds(1)), [this] { RequestChat(); });
    }
}

// ---- connections -----------------------------------------------------------

void DemoHub::Open(ConnId id, std::string peerHost, Clock::time_point now) {
    now_ = now;
    Connection& conn = connections_[id];
    conn.peer = std::move(peerHost);
    conn.lastInput = now;
}

void DemoHub::Receive(ConnId id, std::string_view bytes, Clock::time_point now) {
    now_ = now;
    auto it = connections_.find(id);
    if (it == connections_.end() || it->second.fate != Fate::Keep)
        return;
    Connection& conn = it->second;
    conn.lastInput = now;
    conn.decoder.Append(bytes);
    std::string payload;
    WireMessage message;
    while (conn.fate == Fate::Keep) {
        int32_t result = conn.decoder.Next(payload);
        if (result == 0)
            break;
        if (result < 0) {
            Drop(id, Fate::CloseNow);
            break;
        }
        // A payload without a readable, positive code cannot even be refused properly.
        if (message.SetPayload(std::move(payload)) < 4 || message.Code() <= 0) {
            Drop(id, Fate::CloseNow);
            break;
        }
        Dispatch(id, conn, message);
    }
    Settle();
}

void DemoHub::Close(ConnId id) {
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    Leave(id, it->second);
    connections_.erase(it);
    Settle();
}

std::string_view DemoHub::Pending(ConnId id) const {
    auto it = connections_.find(id);
    if (it == connections_.end() || it->second.fate == Fate::CloseNow)
        return {};
    return std::string_view(it->second.out).substr(it->second.outOffset);
}

void DemoHub::Consume(ConnId id, size_t count) {
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    Connection& conn = it->second;
    conn.outOffset = std::min(conn.out.size(), conn.outOffset + count);
    if (conn.outOffset == conn.out.size()) {
        conn.out.clear();
        conn.outOffset = 0;
    } else if (conn.outOffset > (size_t(1) << 20) && conn.outOffset * 2 > conn.out.size()) {
        conn.out.erase(0, conn.outOffset);
        conn.outOffset = 0;
    }
}

bool DemoHub::WantsInput(ConnId id) const {
    auto it = connections_.find(id);
    return it != connections_.end() && it->second.fate == Fate::Keep;
}

std::vector<ConnId> DemoHub::ToClose(Clock::time_point now) {
    now_ = now;
    std::vector<ConnId> result;
    for (auto& [id, conn] : connections_) {
        if (conn.fate == Fate::Keep && conn.decoder.HasPartialFrame() &&
            now - conn.lastInput > kStalledFrame)
            Drop(id, Fate::CloseNow);
    }
    Settle();
    for (auto& [id, conn] : connections_) {
        if (conn.fate == Fate::CloseNow ||
            (conn.fate == Fate::CloseWhenFlushed &&
             (conn.outOffset == conn.out.size() || now >= conn.closeBy)))
            result.push_back(id);
    }
    return result;
}

void DemoHub::Drop(ConnId id, Fate fate) {
    auto it = connections_.find(id);
    if (it == connections_.end() || it->second.fate == Fate::CloseNow)
        return;
    if (it->second.fate == Fate::Keep)
        dropped_.push_back(id);
    it->second.fate = fate;
    it->second.closeBy = now_ + kFlushGrace;
}

// Leaving announces to others, which may overflow and drop them in turn.
void DemoHub::Settle() {
    while (!dropped_.empty()) {
        ConnId id = dropped_.back();
        dropped_.pop_back();
        auto it = connections_.find(id);
        if (it != connections_.end())
            Leave(id, it->second);
    }
}

void DemoHub::Leave(ConnId id, Connection& conn) {
    const Role role = conn.role;
    conn.role = Role::Fresh;
    if (role == Role::Operator) {
        auto session = sessions_.find(conn.userId);
        if (session != sessions_.end() && session->second.conn == id) {
            sessions_.erase(session);
            ToOperators(Numbers(kNotification, {kEventUserLoggedOut, conn.userId, kKindOperator}),
                        conn.userId);
        }
    } else if (role == Role::CallMember) {
        auto call = calls_.find(conn.callId);
        if (call == calls_.end())
            return;
        auto& members = call->second.members;
        members.erase(std::remove(members.begin(), members.end(), id), members.end());
        ToMembers(call->second,
                  Numbers(kNotification, {kEventParticipantLeft, conn.userId, kKindOperator}), id);
        if (members.empty())
            EndCall(conn.callId);
    }
}

// ---- output ----------------------------------------------------------------

void DemoHub::SendFrame(ConnId id, std::string_view frame) {
    auto it = connections_.find(id);
    if (it == connections_.end() || it->second.fate == Fate::CloseNow)
        return;
    Connection& conn = it->second;
    if (conn.out.size() - conn.outOffset + frame.size() > options_.maxBacklog) {
        Drop(id, Fate::CloseNow);
        return;
    }
    conn.out.append(frame);
}

void DemoHub::Send(ConnId id, const WireMessage& message) {
    SendFrame(id, Frame(message.Payload()));
}

void DemoHub::Refuse(ConnId id, int32_t request, int32_t error) {
    Send(id, Numbers(kFailed, {request, error}));
}

void DemoHub::Reject(ConnId id, int32_t request, int32_t error) {
    Refuse(id, request, error);
    Drop(id, Fate::CloseWhenFlushed);
}

bool DemoHub::ReadInts(ConnId id, const WireMessage& message,
                       std::initializer_list<int32_t*> fields) {
    int field = 1;
    for (int32_t* value : fields) {
        *value = message.GetInt(field++);
        if (*value == ResultCode::MessageFormat) {
            Reject(id, message.Code(), ResultCode::MessageParameters);
            return false;
        }
    }
    return true;
}

void DemoHub::ToOperators(const WireMessage& message, int32_t except) {
    const std::string frame = Frame(message.Payload());
    for (const auto& [userId, session] : sessions_) {
        if (userId != except)
            SendFrame(session.conn, frame);
    }
}

void DemoHub::ToMembers(const Call& call, const WireMessage& message, ConnId except) {
    const std::string frame = Frame(message.Payload());
    for (ConnId member : call.members) {
        if (member != except)
            SendFrame(member, frame);
    }
}

void DemoHub::AddUserEntry(WireMessage& message, int32_t userId) const {
    const Session& session = sessions_.at(userId);
    AddOperatorEntry(message, userId, session.status, session.host);
}

void DemoHub::AddOperatorEntry(WireMessage& message, int32_t userId, int32_t status,
                               const std::string& host) const {
    const Account& account = AccountOf(userId);
    message.AddInt(userId);
    message.AddInt(0);
    message.AddInt(kKindOperator);
    message.AddInt(status);
    message.AddText(host);
    message.AddText(account.firstName);
    message.AddText(account.lastName);
}

void DemoHub::AddPageEntry(WireMessage& message, int32_t pageId, const Page& page) const {
    const Visitor& visitor = visitors_.at(page.visitor);
    message.AddInt(pageId);
    message.AddInt(0);
    message.AddText(page.url);
    message.AddText(page.title);
    message.AddText(visitor.referrer);
    message.AddText(page.loadTime);
    message.AddText(visitor.ip);
    message.AddInt(page.visitor);
}

// ---- requests ----------------------------------------------------------------

void DemoHub::Dispatch(ConnId id, Connection& conn, const WireMessage& message) {
    if (message.Code() == kKeepAlive)
        return; // keep-alives need no answer on any connection
    bool known = false;
    switch (conn.role) {
    case Role::Fresh:
        known = HandleFresh(id, conn, message);
        break;
    case Role::Operator:
        known = HandleOperator(id, conn, message);
        break;
    case Role::CallMember:
        known = HandleCallMember(id, conn, message);
        break;
    }
    if (!known)
        Reject(id, message.Code(), ResultCode::MessageType);
}

bool DemoHub::HandleFresh(ConnId id, Connection& conn, const WireMessage& message) {
    switch (message.Code()) {
    case kLogIn:
        Login(id, conn, message);
        break;
    case kJoinCall:
        JoinCall(id, conn, message);
        break;
    case kJoinChannel:
        // Secondary channels are never opened by the console; nothing to join.
        Reject(id, kJoinChannel, ResultCode::ChannelNotFound);
        break;
    default:
        return false;
    }
    return true;
}

void DemoHub::Login(ConnId id, Connection& conn, const WireMessage& message) {
    std::string_view user = message.FieldView(1);
    std::string_view password = message.FieldView(2);
    if (user.empty() || password.empty()) {
        Reject(id, kLogIn, ResultCode::MessageParameters);
        return;
    }
    const auto& accounts = options_.accounts;
    auto account = std::find_if(accounts.begin(), accounts.end(),
                                [&](const Account& a) { return a.userName == user; });
    if (account == accounts.end() || account->password != password) {
        Refuse(id, kLogIn, ResultCode::Credentials);
        return;
    }
    const size_t index = size_t(account - accounts.begin());
    const int32_t userId = UserIdOf(index);
    if (sessions_.count(userId)) {
        Refuse(id, kLogIn, ResultCode::AlreadySignedIn);
        return;
    }
    sessions_[userId] = Session{index, kStatusOnline, id, conn.peer};
    conn.role = Role::Operator;
    conn.userId = userId;

    Send(id, Numbers(kSucceeded, {kLogIn, userId, options_.latestVersion}));

    WireMessage note = Numbers(kNotification, {kEventUserLoggedIn});
    AddUserEntry(note, userId);
    ToOperators(note, userId);
}

bool DemoHub::HandleOperator(ConnId id, Connection& conn, const WireMessage& message) {
    switch (message.Code()) {
    case kLogIn:
        Refuse(id, kLogIn, ResultCode::AlreadySignedIn);
        break;
    case kSetStatus: {
        int32_t status = 0;
        if (!ReadInts(id, message, {&status}))
            break;
        if (status < kStatusOnline || status > kStatusAway) {
            Refuse(id, kSetStatus, ResultCode::MessageParameters);
            break;
        }
        sessions_.at(conn.userId).status = status;
        Send(id, Numbers(kSucceeded, {kSetStatus, status}));
        ToOperators(
            Numbers(kNotification, {kEventUserStatusChanged, conn.userId, kKindOperator, status}),
            conn.userId);
        break;
    }
    case kRequestUsers: {
        WireMessage answer = Numbers(kSucceeded, {kRequestUsers, int32_t(sessions_.size())});
        for (const auto& entry : sessions_)
            AddUserEntry(answer, entry.first);
        Send(id, answer);
        break;
    }
    case kRequestPages: {
        WireMessage answer = Numbers(kSucceeded, {kRequestPages, int32_t(pages_.size())});
        for (const auto& [pageId, page] : pages_)
            AddPageEntry(answer, pageId, page);
        Send(id, answer);
        break;
    }
    case kInviteVisitor:
        InviteVisitor(conn, message);
        break;
    default:
        return false;
    }
    return true;
}

void DemoHub::InviteVisitor(Connection& conn, const WireMessage& message) {
    const ConnId id = sessions_.at(conn.userId).conn;
    int32_t pageId = 0;
    if (!ReadInts(id, message, {&pageId}))
        return;
    auto page = pages_.find(pageId);
    if (page == pages_.end()) {
        Refuse(id, kInviteVisitor, ResultCode::VisitorNotFound);
        return;
    }
    Send(id, Numbers(kSucceeded, {kInviteVisitor, pageId}));

    const int32_t visitorId = page->second.visitor;
    const int32_t operatorId = conn.userId;
    auto accept = [this, visitorId, operatorId] {
        auto visitor = visitors_.find(visitorId);
        if (visitor == visitors_.end() || visitor->second.callId != 0 ||
            !sessions_.count(operatorId))
            return;
        OfferCall(visitorId, {operatorId}, "I accepted your invitation.");
    };
    if (options_.quiet) {
        accept();
    } else if (Draw(rng_, 1, 3) != 1) {
        After(Seconds(2, 6), accept);
    }
}

void DemoHub::JoinCall(ConnId id, Connection& conn, const WireMessage& message) {
    int32_t callId = 0, userId = 0, key = 0, kind = 0;
    if (!ReadInts(id, message, {&callId, &userId, &key, &kind}))
        return;
    if (key != 0 || kind != kKindOperator) {
        Refuse(id, kJoinCall, ResultCode::MessageParameters);
        return;
    }
    if (!sessions_.count(userId)) {
        Refuse(id, kJoinCall, ResultCode::UserNotOnline);
        return;
    }
    auto found = calls_.find(callId);
    if (found == calls_.end()) {
        Refuse(id, kJoinCall, ResultCode::CallNotFound);
        return;
    }
    Call& call = found->second;
    if (!call.allowed.count(userId)) {
        Refuse(id, kJoinCall, ResultCode::InvitationInvalid);
        return;
    }
    for (ConnId member : call.members) {
        if (connections_.at(member).userId == userId) {
            Refuse(id, kJoinCall, ResultCode::ChannelAlreadyOpen);
            return;
        }
    }
    if (!call.taken) {
        // The first operator to answer a visitor's request takes the call.
        call.taken = true;
        call.allowed = {userId};
    }
    call.members.push_back(id);
    conn.role = Role::CallMember;
    conn.userId = userId;
    conn.callId = callId;

    Send(id, Numbers(kSucceeded, {kJoinCall}));

    const Account& account = AccountOf(userId);
    WireMessage note = Numbers(kNotification, {kEventParticipantJoined, userId, kKindOperator, 0});
    note.AddText(account.firstName);
    note.AddText(account.lastName);
    ToMembers(call, note, id);
}

bool DemoHub::HandleCallMember(ConnId id, Connection& conn, const WireMessage& message) {
    switch (message.Code()) {
    case kRequestUsers: {
        const Call& call = calls_.at(conn.callId);
        std::vector<int32_t> operators;
        for (ConnId member : call.members) {
            int32_t userId = connections_.at(member).userId;
            if (std::find(operators.begin(), operators.end(), userId) == operators.end())
                operators.push_back(userId);
        }
        WireMessage answer = Numbers(
            kSucceeded, {kRequestUsers, int32_t(operators.size()) + (call.visitorPresent ? 1 : 0)});
        if (call.visitorPresent) {
            const Visitor& visitor = visitors_.at(call.visitor);
            for (int32_t field : {call.visitor, 0, kKindVisitor, kStatusOnline})
                answer.AddInt(field);
            answer.AddText(visitor.ip);
            answer.AddText(visitor.name);
            answer.AddText("");
        }
        for (int32_t userId : operators) {
            if (sessions_.count(userId))
                AddUserEntry(answer, userId);
            else // logged out of the console but still in the call
                AddOperatorEntry(answer, userId, kStatusOnline, conn.peer);
        }
        Send(id, answer);
        break;
    }
    case kInviteOperator:
        InviteOperator(id, conn, message);
        break;
    case kChatItem:
        ChatItem(id, conn, message);
        break;
    default:
        return false;
    }
    return true;
}

void DemoHub::InviteOperator(ConnId id, Connection& conn, const WireMessage& message) {
    int32_t target = 0;
    if (!ReadInts(id, message, {&target}))
        return;
    auto session = sessions_.find(target);
    if (session == sessions_.end()) {
        Refuse(id, kInviteOperator, ResultCode::UserNotOnline);
        return;
    }
    Call& call = calls_.at(conn.callId);
    for (ConnId member : call.members) {
        if (connections_.at(member).userId == target) {
            Refuse(id, kInviteOperator, ResultCode::InvitationInvalid);
            return;
        }
    }
    call.allowed.insert(target);

    Send(id, Numbers(kSucceeded, {kInviteOperator, target}));

    const Account& inviter = AccountOf(conn.userId);
    WireMessage transfer = Numbers(kNotification, {kEventCallTransfer, conn.userId, conn.callId});
    transfer.AddText(inviter.firstName);
    transfer.AddText(inviter.lastName);
    transfer.AddText(message.FieldView(2));
    Send(session->second.conn, transfer);
}

void DemoHub::ChatItem(ConnId id, Connection& conn, const WireMessage& message) {
    int32_t kind = 0;
    if (!ReadInts(id, message, {&kind}))
        return;
    const int32_t callId = conn.callId;
    Call& call = calls_.at(callId);
    ToMembers(call, message, id);
    if (kind == kItemText && call.visitorPresent && !call.replyPending) {
        call.replyPending = true;
        After(options_.quiet ? std::chrono::milliseconds(0) : Seconds(1, 2), [this, callId] {
            auto found = calls_.find(callId);
            if (found == calls_.end() || !found->second.visitorPresent)
                return;
            WireMessage typing = Numbers(kChatItem, {kItemTyping});
            typing.AddText(visitors_.at(found->second.visitor).name);
            ToMembers(found->second, typing, 0);
            After(options_.quiet ? std::chrono::milliseconds(200) : Seconds(2, 5),
                  [this, callId] { VisitorReply(callId); });
        });
    }
}

// ---- calls -------------------------------------------------------------------

int32_t DemoHub::OfferCall(int32_t visitorId, const std::set<int32_t>& operators,
                           const std::string& text) {
    Visitor& visitor = visitors_.at(visitorId);
    const int32_t callId = nextCallId_++;
    Call& call = calls_[callId];
    call.visitor = visitorId;
    call.allowed = operators;
    call.repliesLeft = options_.quiet ? -1 : Draw(rng_, 2, 6);
    visitor.callId = callId;

    WireMessage request = Numbers(kNotification, {kEventCallRequest, visitorId, callId});
    request.AddText(visitor.name);
    request.AddText(text);
    const std::string frame = Frame(request.Payload());
    for (int32_t operatorId : operators)
        SendFrame(sessions_.at(operatorId).conn, frame);

    At(now_ + kOfferLifetime, [this, callId] {
        auto found = calls_.find(callId);
        if (found != calls_.end() && !found->second.taken)
            EndCall(callId);
    });
    return callId;
}

void DemoHub::VisitorReply(int32_t callId) {
    auto found = calls_.find(callId);
    if (found == calls_.end() || !found->second.visitorPresent)
        return;
    Call& call = found->second;
    call.replyPending = false;
    WireMessage line = Numbers(kChatItem, {kItemText});
    line.AddText(visitors_.at(call.visitor).name);
    line.AddText(SiteCatalogue::Reply(rng_));
    ToMembers(call, line, 0);
    if (call.repliesLeft > 0 && --call.repliesLeft == 0)
        After(Seconds(3, 8), [this, callId] { VisitorLeavesCall(callId); });
}

void DemoHub::VisitorLeavesCall(int32_t callId) {
    auto found = calls_.find(callId);
    if (found == calls_.end() || !found->second.visitorPresent)
        return;
    Call& call = found->second;
    call.visitorPresent = false;
    Visitor& visitor = visitors_.at(call.visitor);
    visitor.callId = 0;
    WireMessage notice = Numbers(kChatItem, {kItemNotice});
    notice.AddText(visitor.name);
    notice.AddText(visitor.name + " has left the chat.");
    ToMembers(call, notice, 0);
    ToMembers(call, Numbers(kNotification, {kEventParticipantLeft, call.visitor, kKindVisitor}), 0);
}

void DemoHub::EndCall(int32_t callId) {
    auto found = calls_.find(callId);
    if (found == calls_.end())
        return;
    auto visitor = visitors_.find(found->second.visitor);
    if (visitor != visitors_.end() && visitor->second.callId == callId)
        visitor->second.callId = 0;
    for (ConnId member : found->second.members) {
        // Their connections stay open but belong to no call any more.
        Drop(member, Fate::CloseNow);
    }
    calls_.erase(found);
}

// ---- simulation --------------------------------------------------------------

void DemoHub::At(Clock::time_point when, std::function<void()> action) {
    timers_.push(Timer{when, timerSequence_++, std::move(action)});
}

void DemoHub::After(std::chrono::milliseconds delay, std::function<void()> action) {
    At(now_ + delay, std::move(action));
}

std::chrono::milliseconds DemoHub::Seconds(int low, int high) {
    return std::chrono::milliseconds(Draw(rng_, low * 1000, high * 1000));
}

Clock::time_point DemoHub::RunTimers(Clock::time_point now) {
    // Timers added while running wait for the next round, so a zero delay
    // cannot spin here.
    const uint64_t limit = timerSequence_;
    now_ = now;
    while (!timers_.empty() && timers_.top().when <= now && timers_.top().sequence < limit) {
        Timer timer = timers_.top();
        timers_.pop();
        timer.action();
        Settle();
    }
    return timers_.empty() ? now + std::chrono::hours(1) : timers_.top().when;
}

int32_t DemoHub::ArriveVisitor() {
    const int32_t visitorId = nextVisitorId_++;
    Visitor& visitor = visitors_[visitorId];
    visitor.name = SiteCatalogue::VisitorName(rng_);
    visitor.ip = SiteCatalogue::IpAddress(rng_);
    visitor.referrer = SiteCatalogue::Referrer(rng_);
    visitor.pagesLeft = Draw(rng_, 2, 8);
    visitor.slot = present_.size();
    present_.push_back(visitorId);
    OpenPage(visitorId, visitor);
    return visitorId;
}

void DemoHub::OpenPage(int32_t visitorId, Visitor& visitor) {
    const std::string current = visitor.pageId ? pages_.at(visitor.pageId).url : std::string();
    PageView view = SiteCatalogue::NextPage(rng_, current);
    const int32_t pageId = nextPageId_++;
    Page& page = pages_[pageId];
    page.visitor = visitorId;
    page.url = std::move(view.url);
    page.title = std::move(view.title);
    page.loadTime = SiteCatalogue::LoadTime(rng_);
    visitor.pageId = pageId;
    if (sessions_.empty())
        return;
    WireMessage note = Numbers(kNotification, {kEventPageEntered});
    AddPageEntry(note, pageId, page);
    ToOperators(note, 0);
}

void DemoHub::MoveVisitor(int32_t visitorId) {
    auto found = visitors_.find(visitorId);
    if (found == visitors_.end())
        return;
    Visitor& visitor = found->second;
    const int32_t oldPage = visitor.pageId;
    const bool leaving = visitor.pagesLeft <= 1 && visitor.callId == 0 && options_.churn == 0;
    if (!leaving)
        OpenPage(visitorId, visitor);
    if (!sessions_.empty()) {
        ToOperators(Numbers(kNotification, {kEventPageLeft, oldPage}), 0);
    }
    pages_.erase(oldPage);
    if (!leaving) {
        --visitor.pagesLeft;
        if (options_.churn == 0)
            ScheduleMove(visitorId);
        return;
    }
    // Gone from the site; someone new turns up a little later.
    present_[visitor.slot] = present_.back();
    visitors_.at(present_.back()).slot = visitor.slot;
    present_.pop_back();
    visitors_.erase(found);
    After(Seconds(2, 20), [this] { ScheduleMove(ArriveVisitor()); });
}

void DemoHub::ScheduleMove(int32_t visitorId) {
    After(Seconds(8, 90), [this, visitorId] { MoveVisitor(visitorId); });
}

void DemoHub::Churn() {
    const auto elapsed = std::chrono::duration<double>(now_ - churnFrom_).count();
    int64_t owed = int64_t(elapsed * options_.churn) - churnDone_;
    // Bounded work per round keeps the loop serving sockets under any rate.
    owed = std::min<int64_t>(owed, 20000);
    for (int64_t i = 0; i < owed && !present_.empty(); ++i)
        MoveVisitor(present_[size_t(Draw(rng_, 0, int32_t(present_.size()) - 1))]);
    churnDone_ += std::max<int64_t>(owed, 0);
    At(now_ + kChurnTick, [this] { Churn(); });
}

void DemoHub::RequestChat() {
    auto every = std::chrono::milliseconds(int64_t(options_.requestEvery * 1000));
    At(now_ + std::max(every, std::chrono::milliseconds(1)), [this] { RequestChat(); });
    std::set<int32_t> online;
    for (const auto& [userId, session] : sessions_) {
        if (session.status == kStatusOnline)
            online.insert(userId);
    }
    if (online.empty() || present_.empty())
        return;
    // A few tries to find a visitor who is not already chatting.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int32_t visitorId = present_[size_t(Draw(rng_, 0, int32_t(present_.size()) - 1))];
        if (visitors_.at(visitorId).callId == 0) {
            OfferCall(visitorId, online, SiteCatalogue::Question(rng_));
            return;
        }
    }
}

} // namespace olvex::demo
