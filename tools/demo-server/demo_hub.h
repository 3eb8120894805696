#pragma once

#include "frame_decoder.h"
#include "protocol.h"
#include "server_options.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <queue>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace olvex {
class WireMessage;
}

namespace olvex::demo {

using Clock = std::chrono::steady_clock;
using ConnId = uint64_t;

// Everything the demo server knows and does, without any I/O: operators and
// their sessions, the simulated visitors and their page views, calls, and the
// timers that drive the simulation. The event loop feeds it bytes and time and
// writes out what it queues per connection.
class DemoHub {
public:
    static constexpr int32_t kMaxPayload = 1 << 20;
    // A frame left unfinished this long drops its connection.
    static constexpr std::chrono::seconds kStalledFrame{30};
    // An answer queued before a drop gets this long to go out.
    static constexpr std::chrono::seconds kFlushGrace{5};

    DemoHub(ServerOptions options, Clock::time_point now);

    void Open(ConnId id, std::string peerHost, Clock::time_point now);
    void Receive(ConnId id, std::string_view bytes, Clock::time_point now);
    // The connection is gone (peer closed, I/O error, or the loop closed it).
    void Close(ConnId id);

    // Runs the timers that are due; returns when the next one is.
    Clock::time_point RunTimers(Clock::time_point now);

    std::string_view Pending(ConnId id) const;
    void Consume(ConnId id, size_t count);
    bool WantsInput(ConnId id) const;
    // Connections the loop must close now: dropped ones once their last
    // answer went out (or the grace ran out), and stalled ones.
    std::vector<ConnId> ToClose(Clock::time_point now);

    size_t PageCount() const { return pages_.size(); }
    size_t ConnectionCount() const { return connections_.size(); }

private:
    enum class Role { Fresh, Operator, CallMember };
    enum class Fate { Keep, CloseWhenFlushed, CloseNow };

    struct Connection {
        std::string peer;
        FrameDecoder decoder{kMaxPayload};
        std::string out;
        size_t outOffset = 0;
        Fate fate = Fate::Keep;
        Role role = Role::Fresh;
        int32_t userId = 0;
        int32_t callId = 0;
        Clock::time_point lastInput;
        Clock::time_point closeBy;
    };
    struct Session {
        size_t account = 0;
        int32_t status = protocol::kStatusOnline;
        ConnId conn = 0;
        std::string host;
    };
    struct Page {
        int32_t visitor = 0;
        std::string url;
        std::string title;
        std::string loadTime;
    };
    struct Visitor {
        std::string name;
        std::string ip;
        std::string referrer;
        int32_t pageId = 0;
        int pagesLeft = 0;
        int32_t callId = 0;
        size_t slot = 0; // index in present_
    };
    struct Call {
        int32_t visitor = 0;
        bool visitorPresent = true;
        bool taken = false; // an operator has joined
        bool replyPending = false;
        int repliesLeft = 0;       // lines before the visitor leaves; <0: never
        std::set<int32_t> allowed; // operators offered the call or invited into it
        std::vector<ConnId> members;
    };
    struct Timer {
        Clock::time_point when;
        uint64_t sequence;
        std::function<void()> action;
        bool operator>(const Timer& other) const {
            return when != other.when ? when > other.when : sequence > other.sequence;
        }
    };

    void Dispatch(ConnId id, Connection& conn, const WireMessage& message);
    // Each handles the requests its kind of connection may send; false for the others.
    bool HandleFresh(ConnId id, Connection& conn, const WireMessage& message);
    bool HandleOperator(ConnId id, Connection& conn, const WireMessage& message);
    bool HandleCallMember(ConnId id, Connection& conn, const WireMessage& message);
    void Login(ConnId id, Connection& conn, const WireMessage& message);
    void JoinCall(ConnId id, Connection& conn, const WireMessage& message);
    void InviteOperator(ConnId id, Connection& conn, const WireMessage& message);
    void ChatItem(ConnId id, Connection& conn, const WireMessage& message);
    void InviteVisitor(Connection& conn, const WireMessage& message);

    void Send(ConnId id, const WireMessage& message);
    void SendFrame(ConnId id, std::string_view frame);
    void Refuse(ConnId id, int32_t request, int32_t error);
    // Refuses and closes the connection once the refusal is out.
    void Reject(ConnId id, int32_t request, int32_t error);
    // Reads integer fields 1, 2, ... into `fields`; a missing one rejects the
    // request (code of `message`) and gives false.
    bool ReadInts(ConnId id, const WireMessage& message, std::initializer_list<int32_t*> fields);
    void Drop(ConnId id, Fate fate);
    void Settle();
    void Leave(ConnId id, Connection& conn);
    void ToOperators(const WireMessage& message, int32_t except);
    void ToMembers(const Call& call, const WireMessage& message, ConnId except);

    void AddUserEntry(WireMessage& message, int32_t userId) const;
    void AddOperatorEntry(WireMessage& message, int32_t userId, int32_t status,
                          const std::string& host) const;
    void AddPageEntry(WireMessage& message, int32_t pageId, const Page& page) const;

    void At(Clock::time_point when, std::function<void()> action);
    void After(std::chrono::milliseconds delay, std::function<void()> action);
    std::chrono::milliseconds Seconds(int low, int high);

    int32_t ArriveVisitor();
    void OpenPage(int32_t visitorId, Visitor& visitor);
    void MoveVisitor(int32_t visitorId);
    void ScheduleMove(int32_t visitorId);
    void Churn();
    void RequestChat();
    int32_t OfferCall(int32_t visitorId, const std::set<int32_t>& operators,
                      const std::string& text);
    void VisitorReply(int32_t callId);
    void VisitorLeavesCall(int32_t callId);
    void EndCall(int32_t callId);

    int32_t UserIdOf(size_t account) const { return int32_t(account) + 101; }
    const Account& AccountOf(int32_t userId) const {
        return options_.accounts[size_t(userId - 101)];
    }

    ServerOptions options_;
    std::mt19937 rng_;
    Clock::time_point now_;
    std::unordered_map<ConnId, Connection> connections_;
    std::vector<ConnId> dropped_;
    std::map<int32_t, Session> sessions_; // by user id
    std::map<int32_t, Page> pages_;       // by page id, in arrival order
    std::unordered_map<int32_t, Visitor> visitors_;
    std::vector<int32_t> present_; // visitors on the site, for drawing one
    std::map<int32_t, Call> calls_;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
    uint64_t timerSequence_ = 0;
    int32_t nextPageId_ = 1;
    int32_t nextVisitorId_ = 5001;
    int32_t nextCallId_ = 7001;
    Clock::time_point churnFrom_;
    int64_t churnDone_ = 0;
};

} // namespace olvex::demo
