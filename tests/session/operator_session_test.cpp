// OperatorSession against the fake server, without Qt: the events a window is handed, in
// order, and the workers, waits and keep-alives behind them.
#include "agent_client.h"
#include "engine_log_in.h"
#include "fake_server.h"
#include "operator_session.h"
#include "result_code.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

namespace olvex {
namespace {

using namespace std::chrono_literals;
using test::FakeConnection;
using test::Payload;
using Command = OperatorSession::Command;
using Clock = std::chrono::steady_clock;
namespace ev = operator_event;

template <class Event> size_t KindOf() {
    return OperatorEvent(std::in_place_type<Event>).index();
}

// Takes the session's events on the test's thread, as a window does on its own: woken once
// per batch by the session's hook.
class Reader : public OperatorObserver {
public:
    explicit Reader(OperatorSession& session) : session_(session) {
        session_.SetWake([this] {
            std::lock_guard lock(mutex_);
            woken_ = true;
            wake_.notify_all();
        });
    }

    void OnEvent(const OperatorEvent& event) override { events.push_back(event); }

    // Delivers until `done` holds or the time is up.
    bool DeliverUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            session_.Deliver(*this);
            if (done())
                return true;
            std::unique_lock lock(mutex_);
            if (!wake_.wait_until(lock, deadline, [this] { return woken_; }))
                return false;
            woken_ = false;
        }
    }
    // What a window would be shown meanwhile.
    void DeliverFor(std::chrono::milliseconds time) {
        DeliverUntil([] { return false; }, time);
    }

    template <class Event> int Count() const {
        return int(std::count_if(events.begin(), events.end(), [](const OperatorEvent& event) {
            return std::holds_alternative<Event>(event);
        }));
    }
    // The n-th event of its type, once delivered.
    template <class Event> std::optional<Event> WaitFor(int n = 1) {
        if (!DeliverUntil([&] { return Count<Event>() >= n; }))
            return std::nullopt;
        for (const OperatorEvent& event : events) {
            if (std::holds_alternative<Event>(event) && --n == 0)
                return std::get<Event>(event);
        }
        return std::nullopt;
    }
    std::vector<size_t> Kinds() const {
        std::vector<size_t> kinds;
        for (const OperatorEvent& event : events)
            kinds.push_back(event.index());
        return kinds;
    }

    std::vector<OperatorEvent> events;

private:
    OperatorSession& session_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
};

struct OperatorSessionTest : ::testing::Test {
    // Before the reader that the wake hook reaches goes.
    ~OperatorSessionTest() override { session.Shutdown(); }

    OperatorConfig Config(bool reconnect = false) {
        OperatorConfig config;
        config.host = "127.0.0.1";
        config.port = server.Port();
        config.user = "ann";
        config.password = "pw";
        config.reconnect = reconnect;
        return config;
    }

    // Logs in, answered with `version` as the newest client version; with this program's
    // own, returns once the log-in has finished, the lists requested.
    std::unique_ptr<FakeConnection> LogIn(const char* version = "15", bool reconnect = false) {
        EXPECT_TRUE(session.Login(Config(reconnect)));
        auto peer = AnswerLogIn(server, version);
        if (peer && std::string_view(version) == "15") {
            EXPECT_TRUE(reader.WaitFor<ev::LoginFinished>());
        }
        return peer;
    }

    // The first event of the reader is the next one delivered.
    void Forget() { reader.events.clear(); }

    test::FakeServer server;
    AgentClient engine{AgentOptions{2000ms, 1000ms, 2000ms}};
    OperatorSession session{engine};
    Reader reader{session};
};

TEST_F(OperatorSessionTest, LogInAndTheEnginesEventsArriveTypedAndInOrder) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    EXPECT_EQ(reader.Kinds(),
              (std::vector{KindOf<ev::Connecting>(), KindOf<ev::LoggedIn>(),
                           KindOf<ev::ListsRequested>(), KindOf<ev::LoginFinished>()}));
    EXPECT_FALSE(std::get<ev::Connecting>(reader.events[0]).reconnecting);
    const auto lists = std::get<ev::ListsRequested>(reader.events[2]);
    EXPECT_GT(lists.usersResult, 0);
    EXPECT_GT(lists.pagesResult, 0);
    EXPECT_EQ(std::get<ev::LoginFinished>(reader.events[3]).result, 0);
    EXPECT_FALSE(session.LoginRunning());
    EXPECT_TRUE(session.LoggedIn());
    Forget();

    peer->Send(Payload(9001, {"1006", "1", "7", "0", "2", "1", "host7", "Bob", "Jones"}));
    peer->Send(Payload(9001, {"1007", "1", "17", "0", "/a", "A", "", "2s", "10.0.0.9", "88"}));
    peer->Send(Payload(9003, {"1001", "8", "0", "2", "1", "h", "Cat", "T"}));
    peer->Send(Payload(9003, {"1003", "8", "2", "3"}));
    peer->Send(Payload(9003, {"1002", "8", "2"}));
    peer->Send(Payload(9003, {"4001", "18", "0", "/b", "B", "", "", "", "5"}));
    peer->Send(Payload(9001, {"4003", "18"}));
    peer->Send(Payload(9003, {"4002", "18"}));
    peer->Send(Payload(9003, {"2001", "40", "77", "Vi"}));
    peer->Send(Payload(9001, {"1003", "2"}));
    peer->Send(Payload(9002, {"1003", "-7"}));
    ASSERT_TRUE(reader.DeliverUntil([&] { return reader.events.size() >= 11; }));
    EXPECT_EQ(reader.Kinds(),
              (std::vector{KindOf<ev::UserListReceived>(), KindOf<ev::PageListReceived>(),
                           KindOf<ev::UserLoggedIn>(), KindOf<ev::UserStatusChanged>(),
                           KindOf<ev::UserLoggedOut>(), KindOf<ev::PageEntered>(),
                           KindOf<ev::VisitorInvited>(), KindOf<ev::PageLeft>(),
                           KindOf<ev::CallRequest>(), KindOf<ev::StatusChanged>(),
                           KindOf<ev::ServerError>()}));

    const auto& users = std::get<ev::UserListReceived>(reader.events[0]).users;
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0]->lastName, "Jones");
    const auto& pages = std::get<ev::PageListReceived>(reader.events[1]).pages;
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->visitorNumber, 88);
    EXPECT_EQ(std::get<ev::UserLoggedIn>(reader.events[2]).user.firstName, "Cat");
    EXPECT_EQ(std::get<ev::UserStatusChanged>(reader.events[3]).user.status, 3);
    EXPECT_EQ(std::get<ev::UserLoggedOut>(reader.events[4]).user.userId, 8);
    // The records outlive the directory's: the page has left by the time they are read.
    const auto& entered = std::get<ev::PageEntered>(reader.events[5]).page;
    EXPECT_EQ(entered->title, "B");
    EXPECT_EQ(entered->visitorNumber, 5);
    EXPECT_EQ(std::get<ev::VisitorInvited>(reader.events[6]).page, entered) << "one shared record";
    EXPECT_EQ(std::get<ev::PageLeft>(reader.events[7]).page->url, "/b");
    const auto call = std::get<ev::CallRequest>(reader.events[8]);
    EXPECT_EQ(call.callId, 77);
    EXPECT_EQ(call.requesterId, 40);
    EXPECT_EQ(call.kind, 1);
    EXPECT_EQ(call.text1, "Vi");
    EXPECT_FALSE(call.text2);
    EXPECT_FALSE(call.text3);
    EXPECT_EQ(std::get<ev::StatusChanged>(reader.events[9]).status, 2);
    EXPECT_EQ(std::get<ev::ServerError>(reader.events[10]).requestCode, 1003);
    EXPECT_EQ(std::get<ev::ServerError>(reader.events[10]).errorCode, -7);
    Forget();

    // Invitations go out in the order given, with the text as the inviter.
    EXPECT_EQ(session.Invite({18, 17}, "ann"), Command::Accepted);
    EXPECT_TRUE(peer->Expect(Payload(4003, {"18", "ann"})));
    EXPECT_TRUE(peer->Expect(Payload(4003, {"17", "ann"})));
    const auto invited = reader.WaitFor<ev::InvitationsFinished>();
    ASSERT_TRUE(invited);
    EXPECT_GT(invited->result, 0);

    session.Logout();
    const auto out = reader.WaitFor<ev::Disconnected>();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->reason, DisconnectReason::Logout);
    EXPECT_TRUE(peer->WaitForPeerClose());
}

TEST_F(OperatorSessionTest, CommandFailuresAndTheInvitationRefusalComeAsEvents) {
    // Not logged in: the engine logs out (reason 3) and the command reports the failure.
    session.SetStatus(2);
    const auto status = reader.WaitFor<ev::StatusFailed>();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->result, ResultCode::Connect);
    EXPECT_EQ(reader.Kinds(),
              (std::vector{KindOf<ev::Disconnected>(), KindOf<ev::StatusFailed>()}));
    EXPECT_EQ(std::get<ev::Disconnected>(reader.events[0]).reason, DisconnectReason::SendFailed);
    Forget();

    EXPECT_EQ(session.Invite({}, "ann"), Command::NothingToDo);
    EXPECT_EQ(session.Invite({17, 18}, "ann"), Command::Accepted);
    // Running until the reader has been told how they went, however soon they failed.
    EXPECT_EQ(session.Invite({19}, "ann"), Command::AlreadyRunning);
    EXPECT_EQ(session.Invite({}, "ann"), Command::AlreadyRunning);
    const auto invited = reader.WaitFor<ev::InvitationsFinished>();
    ASSERT_TRUE(invited);
    EXPECT_EQ(invited->result, ResultCode::Connect);
    // The first failure ends them: one logout, for page 17.
    EXPECT_EQ(reader.Count<ev::Disconnected>(), 1);
    EXPECT_EQ(session.Invite({19}, "ann"), Command::Accepted);
    EXPECT_TRUE(reader.WaitFor<ev::InvitationsFinished>(2));
}

// ---- reconnection ---------------------------------------------------------------------

TEST_F(OperatorSessionTest, LostConnectionIsTriedAgainAtOnceOnTheScheduleUntilTaken) {
    session.SetRetryDelays({50ms, 100ms, 200ms}, 0.1);
    auto peer = LogIn("15", true);
    ASSERT_TRUE(peer);
    Forget();
    auto since = Clock::now();
    peer->Close();
    // No minute's tick: the first try follows the loss by the first pause.
    auto first = server.Accept();
    ASSERT_TRUE(first);
    EXPECT_GE(Clock::now() - since, 50ms);
    EXPECT_LT(Clock::now() - since, 1s);
    ASSERT_TRUE(first->Expect(Payload(1001, {"ann", "pw"})));
    EXPECT_TRUE(session.Reconnecting());
    EXPECT_TRUE(session.LoginRunning());
    since = Clock::now();
    first->Send(Payload(9002, {"1001", "-19"}));
    auto second = server.Accept();
    ASSERT_TRUE(second);
    EXPECT_GE(Clock::now() - since, 100ms);
    ASSERT_TRUE(second->Expect(Payload(1001, {"ann", "pw"})));
    since = Clock::now();
    second->Close();
    auto third = server.Accept();
    ASSERT_TRUE(third);
    EXPECT_GE(Clock::now() - since, 200ms);
    ASSERT_TRUE(third->Expect(Payload(1001, {"ann", "pw"})));
    third->Send(Payload(9001, {"1001", "42", "15"}));
    EXPECT_TRUE(third->Expect(Payload(1006)));
    ASSERT_TRUE(reader.DeliverUntil([&] {
        return reader.Count<ev::LoginFinished>() == 3 &&
               std::get<ev::LoginFinished>(reader.events.back()).result == 0;
    }));
    EXPECT_FALSE(session.Reconnecting());
    EXPECT_TRUE(session.LoggedIn());

    const auto C = KindOf<ev::Connecting>(), F = KindOf<ev::LoginFinished>(),
               R = KindOf<ev::RetryScheduled>();
    EXPECT_EQ(reader.Kinds(),
              (std::vector{KindOf<ev::Disconnected>(), R, C, F, R, C, F, R, C,
                           KindOf<ev::LoggedIn>(), KindOf<ev::ListsRequested>(), F}));
    const auto lost = std::get<ev::Disconnected>(reader.events[0]);
    EXPECT_EQ(lost.reason, DisconnectReason::ConnectionLost);
    EXPECT_TRUE(lost.reconnecting);
    // Each pause as scheduled, a tenth at most added at random, with what failed before.
    const std::vector<std::chrono::milliseconds> pauses = {50ms, 100ms, 200ms};
    int n = 0;
    for (const OperatorEvent& event : reader.events) {
        if (const auto* next = std::get_if<ev::RetryScheduled>(&event)) {
            EXPECT_EQ(next->attempt, n + 1);
            EXPECT_GE(next->delay, pauses[size_t(n)]);
            EXPECT_LE(next->delay, pauses[size_t(n)] * 11 / 10);
            EXPECT_FALSE(next->atStart);
            EXPECT_EQ(next->result, n == 0 ? 0 : n == 1 ? -19 : ResultCode::ConnectionLost);
            ++n;
        } else if (const auto* connecting = std::get_if<ev::Connecting>(&event)) {
            EXPECT_TRUE(connecting->reconnecting);
        }
    }
    const auto refused = std::get<ev::LoginFinished>(reader.events[3]);
    EXPECT_EQ(refused.result, -19);
    EXPECT_TRUE(refused.reconnecting);
    EXPECT_TRUE(refused.retrying);
    EXPECT_FALSE(std::get<ev::LoginFinished>(reader.events.back()).retrying);
    EXPECT_EQ(std::get<ev::LoggedIn>(reader.events[9]).status, 1);
}

TEST_F(OperatorSessionTest, LogoutAndShutdownEndTheRetriesAtOnce) {
    session.SetRetryDelays({100ms}, 0);
    auto peer = LogIn("15", true);
    ASSERT_TRUE(peer);
    // A try in flight, its answer never coming: the logout gives it up.
    peer->Close();
    auto trying = server.Accept();
    ASSERT_TRUE(trying);
    ASSERT_TRUE(trying->Expect(Payload(1001, {"ann", "pw"})));
    auto start = Clock::now();
    session.Logout();
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_FALSE(session.Reconnecting());
    EXPECT_TRUE(trying->WaitForPeerClose(1s));
    const auto given = reader.WaitFor<ev::LoginFinished>(2);
    ASSERT_TRUE(given);
    EXPECT_TRUE(given->cancelled);
    EXPECT_FALSE(given->retrying);
    EXPECT_FALSE(server.Accept(400ms));

    // Between two tries.
    Forget();
    peer = LogIn("15", true);
    ASSERT_TRUE(peer);
    Forget();
    peer->Close();
    ASSERT_TRUE(reader.WaitFor<ev::RetryScheduled>());
    session.Logout();
    EXPECT_FALSE(server.Accept(400ms));
    reader.DeliverFor(50ms);
    EXPECT_EQ(reader.Count<ev::Connecting>(), 0);
    EXPECT_FALSE(std::get<ev::Disconnected>(reader.events.back()).reconnecting);

    // Shutdown during a long pause returns at once, the retry thread joined.
    session.SetRetryDelays({10s}, 0);
    Forget();
    peer = LogIn("15", true);
    ASSERT_TRUE(peer);
    peer->Close();
    ASSERT_TRUE(reader.WaitFor<ev::RetryScheduled>());
    start = Clock::now();
    session.Shutdown();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(server.Accept(100ms));
}

// The server takes every log-in as online; a visitor's request it sends before the status
// has come back is not offered to an operator who is away.
TEST_F(OperatorSessionTest, BusyAndAwayAreSetAgainBeforeTheLogInIsReported) {
    session.SetRetryDelays({20ms}, 0);
    auto peer = LogIn("15", true);
    ASSERT_TRUE(peer);
    int32_t call = 100;
    for (const int32_t status : {3, 2}) {
        SCOPED_TRACE(status);
        Forget();
        session.SetStatus(status);
        ASSERT_TRUE(peer->Expect(Payload(1003, {std::to_string(status)})));
        peer->Send(Payload(9001, {"1003", std::to_string(status)}));
        ASSERT_TRUE(reader.WaitFor<ev::StatusChanged>());
        Forget();

        peer->Close();
        peer = server.Accept();
        ASSERT_TRUE(peer);
        ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
        peer->Send(Payload(9001, {"1001", "42", "15"}));
        const std::string held = std::to_string(++call), transfer = std::to_string(++call),
                          later = std::to_string(++call);
        peer->Send(Payload(9003, {"2001", "40", held, "Vi"}));
        peer->Send(Payload(9003, {"2002", "8", transfer, "Bob", "Jones", "why"}));
        // The status goes first, before the lists.
        ASSERT_TRUE(peer->Expect(Payload(1003, {std::to_string(status)})));
        ASSERT_TRUE(peer->Expect(Payload(1006)));
        ASSERT_TRUE(peer->Expect(Payload(1007)));
        peer->Send(Payload(9001, {"1003", std::to_string(status)}));
        peer->Send(Payload(9003, {"2001", "41", later, "Al"}));
        ASSERT_TRUE(reader.DeliverUntil([&] { return reader.Count<ev::CallRequest>() == 2; }));
        std::vector<std::string> offered;
        for (const OperatorEvent& event : reader.events) {
            if (const auto* request = std::get_if<ev::CallRequest>(&event))
                offered.push_back(std::to_string(request->callId));
        }
        EXPECT_EQ(offered, (std::vector{transfer, later}));
        const auto in = reader.WaitFor<ev::LoggedIn>();
        ASSERT_TRUE(in);
        EXPECT_EQ(in->status, status);
        const auto kinds = reader.Kinds();
        EXPECT_LT(std::find(kinds.begin(), kinds.end(), KindOf<ev::LoggedIn>()),
                  std::find(kinds.begin(), kinds.end(), KindOf<ev::ListsRequested>()));
        ASSERT_TRUE(reader.WaitFor<ev::LoginFinished>());
    }

    // A log-in of the operator's own starts online: no status goes out before the lists.
    session.Logout();
    Forget();
    peer = LogIn();
    ASSERT_TRUE(peer);
    const auto in = reader.WaitFor<ev::LoggedIn>();
    ASSERT_TRUE(in);
    EXPECT_EQ(in->status, 1);
}

TEST_F(OperatorSessionTest, AutomaticLogInAtStartIsTriedAgainOnlyWithReconnectOn) {
    session.SetRetryDelays({30ms, 60ms}, 0);
    // Off: one try; its failure is the last word.
    ASSERT_TRUE(session.Login(Config(false), true));
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Close();
    auto finished = reader.WaitFor<ev::LoginFinished>();
    ASSERT_TRUE(finished);
    EXPECT_LT(finished->result, 0);
    EXPECT_FALSE(finished->retrying);
    EXPECT_FALSE(finished->cancelled);
    EXPECT_FALSE(server.Accept(200ms));
    EXPECT_FALSE(session.Reconnecting());
    Forget();

    // On: tried again until the server takes it.
    ASSERT_TRUE(session.Login(Config(true), true));
    peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Close();
    const auto next = reader.WaitFor<ev::RetryScheduled>();
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->atStart);
    EXPECT_EQ(next->delay, 30ms);
    EXPECT_LT(next->result, 0);
    EXPECT_FALSE(next->message.empty());
    EXPECT_TRUE(session.Reconnecting());
    peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9001, {"1001", "42", "15"}));
    ASSERT_TRUE(peer->Expect(Payload(1006)));
    ASSERT_TRUE(reader.WaitFor<ev::LoginFinished>(2));
    EXPECT_EQ(reader.Kinds(), (std::vector{KindOf<ev::Connecting>(), KindOf<ev::LoginFinished>(),
                                           KindOf<ev::RetryScheduled>(), KindOf<ev::Connecting>(),
                                           KindOf<ev::LoggedIn>(), KindOf<ev::ListsRequested>(),
                                           KindOf<ev::LoginFinished>()}));
    const auto failed = std::get<ev::LoginFinished>(reader.events[1]);
    EXPECT_TRUE(failed.retrying);
    EXPECT_FALSE(failed.reconnecting);
    // Tried again as the automatic log-in, not as a reconnection.
    EXPECT_FALSE(std::get<ev::Connecting>(reader.events[3]).reconnecting);
    EXPECT_FALSE(session.Reconnecting());
    EXPECT_TRUE(session.LoggedIn());

    // Credentials the server refuses end the tries: asking again cannot help.
    session.Logout();
    Forget();
    ASSERT_TRUE(session.Login(Config(true), true));
    peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Close();
    peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9002, {"1001", std::to_string(ResultCode::Credentials)}));
    finished = reader.WaitFor<ev::LoginFinished>(2);
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->result, ResultCode::Credentials);
    EXPECT_FALSE(finished->retrying);
    EXPECT_FALSE(finished->reconnecting);
    EXPECT_FALSE(server.Accept(200ms));
    EXPECT_FALSE(session.Reconnecting());
}

TEST_F(OperatorSessionTest, NoReconnectionWhenOffOrAfterAFrameAboveTheCap) {
    session.SetKeepAlivePause(10ms);
    session.SetRetryDelays({20ms}, 0);
    auto peer = LogIn("15", false);
    ASSERT_TRUE(peer);
    peer->Close();
    ASSERT_TRUE(reader.WaitFor<ev::Disconnected>());
    session.Tick();
    session.Tick(); // the first is still retrying
    ASSERT_TRUE(reader.WaitFor<ev::KeepAliveFailed>());
    reader.DeliverFor(100ms);
    EXPECT_EQ(reader.Count<ev::KeepAliveFailed>(), 1);
    EXPECT_EQ(reader.Count<ev::Disconnected>(), 2);
    EXPECT_EQ(reader.Count<ev::Connecting>(), 1) << "only the log-in's own";
    EXPECT_FALSE(server.Accept(200ms));
    Forget();

    // Switched on since: the next tick's failed keep-alives find the connection dead and
    // start the reconnection.
    session.SetConfig(Config(true));
    session.Tick();
    auto again = server.Accept();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->Expect(Payload(1001, {"ann", "pw"})));
    ASSERT_TRUE(reader.WaitFor<ev::Connecting>());
    EXPECT_EQ(reader.Kinds(),
              (std::vector{KindOf<ev::KeepAliveFailed>(), KindOf<ev::Disconnected>(),
                           KindOf<ev::RetryScheduled>(), KindOf<ev::Connecting>()}));
    EXPECT_TRUE(std::get<ev::Disconnected>(reader.events[1]).reconnecting);
    Forget();
    session.Logout();
    ASSERT_TRUE(reader.DeliverUntil([&] {
        return reader.Count<ev::LoginFinished>() == 1 && reader.Count<ev::Disconnected>() == 1;
    }));
    Forget();

    // With reconnection on, a frame above the size cap is not reconnected into, and it
    // stops the ticks.
    peer = LogIn("15", true);
    ASSERT_TRUE(peer);
    peer->SendRaw(std::string("<!>\x7f\xff\xff\xff", 7) + std::string(64, 'x'));
    const auto lost = reader.WaitFor<ev::Disconnected>();
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->reason, DisconnectReason::ConnectionLost);
    EXPECT_EQ(lost->result, ResultCode::MessageSize);
    EXPECT_FALSE(lost->reconnecting);
    session.Tick();
    EXPECT_FALSE(server.Accept(300ms));
    reader.DeliverFor(50ms);
    EXPECT_EQ(reader.Count<ev::KeepAliveFailed>(), 0);
    EXPECT_EQ(reader.Count<ev::RetryScheduled>(), 0);
}

TEST_F(OperatorSessionTest, ResetEndsTheRetriesAndShutdownEndsThePauseAtOnce) {
    session.SetKeepAlivePause(10s);
    auto peer = LogIn("15", false);
    ASSERT_TRUE(peer);
    peer->Close();
    ASSERT_TRUE(reader.WaitFor<ev::Disconnected>());
    session.Tick(); // one failed attempt, then the long pause
    session.ResetKeepAlive();
    session.Tick(); // a chain of its own
    const auto start = std::chrono::steady_clock::now();
    session.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    reader.DeliverFor(50ms);
    EXPECT_EQ(reader.Count<ev::KeepAliveFailed>(), 0);
    EXPECT_FALSE(server.Accept(100ms));
}

TEST_F(OperatorSessionTest, ShutdownEndsALogInInFlight) {
    ASSERT_TRUE(session.Login(Config()));
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    // No answer: the log-in would wait the channel's two seconds.
    const auto start = std::chrono::steady_clock::now();
    session.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(peer->WaitForPeerClose(1s));
    reader.DeliverFor(50ms);
    EXPECT_TRUE(reader.events.empty());
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(engine.Callbacks().OnLoggedIn, nullptr);
    EXPECT_FALSE(session.Login(Config()));
}

TEST_F(OperatorSessionTest, NewerVersionHoldsTheListsUntilAnswered) {
    auto peer = LogIn("16");
    ASSERT_TRUE(peer);
    const auto offered = reader.WaitFor<ev::NewVersionOffered>();
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->latestVersion, 16);
    EXPECT_EQ(reader.Count<ev::LoggedIn>(), 1);
    EXPECT_FALSE(peer->Receive(100ms));
    // Engine events go on arriving while the question waits.
    peer->Send(Payload(9003, {"4001", "17", "0", "/a", "A", "", "", "", "3"}));
    ASSERT_TRUE(reader.WaitFor<ev::PageEntered>());
    EXPECT_TRUE(session.LoginRunning());

    session.AnswerNewVersion();
    EXPECT_TRUE(peer->Expect(Payload(1006)));
    EXPECT_TRUE(peer->Expect(Payload(1007)));
    const auto finished = reader.WaitFor<ev::LoginFinished>();
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->result, 0);
    EXPECT_EQ(reader.Count<ev::ListsRequested>(), 1);
}

TEST_F(OperatorSessionTest, ShutdownEndsTheWaitForTheNewVersionAnswer) {
    auto peer = LogIn("99");
    ASSERT_TRUE(peer);
    ASSERT_TRUE(reader.WaitFor<ev::NewVersionOffered>());
    const auto start = std::chrono::steady_clock::now();
    session.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(peer->WaitForPeerClose(1s));
    EXPECT_FALSE(peer->Receive(100ms)) << "no list requests after all";
    session.AnswerNewVersion(); // too late, and harmless
    reader.DeliverFor(50ms);
    EXPECT_EQ(reader.Count<ev::ListsRequested>(), 0);
    EXPECT_EQ(reader.Count<ev::LoginFinished>(), 0);
}

} // namespace
} // namespace olvex
