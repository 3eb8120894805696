// Log-in, log-out, the receive thread and the commands over real loopback sockets.
#include "agent_client.h"
#include "engine_log_in.h"
#include "event_log.h"
#include "fake_server.h"
#include "result_code.h"
#include "thread_reaper.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

namespace {

AgentOptions ShortTimeouts() {
    AgentOptions options;
    options.channelTimeout = 300ms;
    options.headerWait = 300ms;
    options.threadWait = 300ms;
    return options;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override { log.Install(client); }

    // Runs Login against the fake server, which answers the 1001 with `answer`
    // (or nothing when empty). Leaves the server's end in `peer`.
    int32_t LoginWith(const std::string& answer, const char* password = "secret") {
        auto result = std::async(std::launch::async, [&] {
            return client.Login("127.0.0.1", server.Port(), "ann", password);
        });
        peer = server.Accept();
        if (!peer)
            return result.get();
        EXPECT_TRUE(peer->Expect(Payload(1001, {"ann", password})));
        if (!answer.empty())
            peer->Send(answer);
        return result.get();
    }
    void LogIn() { ASSERT_EQ(LoginWith(Payload(9001, {"1001", "42", "7"})), 0); }

    FakeServer server;
    EventLog log; // outlives the client, which reports its destruction
    AgentClient client{ShortTimeouts()};
    std::unique_ptr<FakeConnection> peer;
};

} // namespace

TEST(AgentClientInstance, IsCreatedOnceAndCanBeDestroyed) {
    AgentClient* first = AgentClient::Instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AgentClient::Instance(), first);
    EXPECT_EQ(first->ServerPort(), protocol::kDefaultServerPort);
    EXPECT_EQ(first->Options().channelTimeout, 20s);
    EXPECT_EQ(first->Options().threadWait, 5s);
    AgentClient::DestroyInstance();
}

TEST_F(Engine, LoginSucceedsAndReportsItsState) {
    LogIn();
    EXPECT_EQ(client.GetStatus(), 1);
    EXPECT_EQ(client.OwnUserId(), 42);
    EXPECT_EQ(client.LatestClientVersion(), 7);
    EXPECT_EQ(client.ServerAddress(), "127.0.0.1");
    EXPECT_EQ(client.ServerPort(), server.Port());
    EXPECT_EQ(log.Lines(), Lines{"LoggedIn"});

    // The connection stays up through idle receive time-outs.
    EXPECT_FALSE(peer->WaitForPeerClose(700ms));
    EXPECT_EQ(client.GetStatus(), 1);

    // Logging in again closes the first connection and reports it first.
    auto first = std::move(peer);
    LogIn();
    EXPECT_TRUE(first->WaitForPeerClose(1s));
    EXPECT_EQ(log.Lines(), (Lines{"LoggedIn", "Disconnected 1", "LoggedIn"}));
}

TEST_F(Engine, LoginFailuresCloseTheConnectionAndLeaveStatusZero) {
    EXPECT_EQ(client.Login("127.0.0.1", server.Port(), "ann", nullptr),
              ResultCode::MessageParameters);
    EXPECT_EQ(client.Login("127.0.0.1", server.Port(), nullptr, "pw"),
              ResultCode::MessageParameters);
    EXPECT_EQ(server.Accept(50ms), nullptr) << "no connection for absent credentials";

    struct Case {
        std::string answer;
        int32_t result;
        int32_t version;
    };
    const Case cases[] = {
        {Payload(9002, {"1001", "-24"}), ResultCode::Credentials, 0},
        {Payload(9002, {"1001"}), ResultCode::MessageFormat, 0},
        // A refusal carrying no failure code must not read as success.
        {Payload(9002, {"1001", "0"}), ResultCode::MessageParameters, 0},
        // The version is kept even from an answer rejected for its other fields.
        {Payload(9001, {"1001", "0", "9"}), ResultCode::MessageParameters, 9},
        {Payload(9001, {"1003", "5", "11"}), ResultCode::MessageParameters, 11},
        {Payload(5001), ResultCode::MessageCommand, 11},
        {"", ResultCode::Timeout, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(LoginWith(c.answer), c.result);
        EXPECT_TRUE(peer->WaitForPeerClose(1s));
        EXPECT_EQ(client.GetStatus(), 0);
        EXPECT_EQ(client.OwnUserId(), 0);
        EXPECT_EQ(client.LatestClientVersion(), c.version);
    }
    EXPECT_TRUE(log.Lines().empty());

    server.StopListening();
    EXPECT_EQ(client.Login("127.0.0.1", server.Port(), "ann", "pw"), ResultCode::Connect);
}

// Closing the program during a log-in to a silent server must not wait out the time-out.
TEST_F(Engine, LogoutEndsALogInStillWaitingForItsAnswer) {
    AgentClient patient{AgentOptions{20s, 20s, 300ms}};
    auto login = std::async(std::launch::async,
                            [&] { return patient.Login("127.0.0.1", server.Port(), "ann", "pw"); });
    auto silent = server.Accept();
    ASSERT_TRUE(silent);
    ASSERT_TRUE(silent->Expect(Payload(1001, {"ann", "pw"})));
    const auto start = Clock::now();
    patient.Logout(4);
    ASSERT_EQ(login.wait_for(5s), std::future_status::ready);
    EXPECT_LT(login.get(), 0);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(patient.GetStatus(), 0);
    EXPECT_TRUE(silent->WaitForPeerClose(1s));
}

TEST_F(Engine, LogoutWakesTheReceiveThreadAndReportsOnlyItsReason) {
    LogIn();
    auto start = Clock::now();
    EXPECT_EQ(client.Logout(1), 0);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(peer->WaitForPeerClose(1s));
    // The thread has been joined, so anything it raised is already here.
    EXPECT_EQ(log.Lines(), (Lines{"LoggedIn", "Disconnected 1"}));
    EXPECT_EQ(client.GetStatus(), 0);
    EXPECT_EQ(client.OwnUserId(), 0);
    EXPECT_EQ(client.ServerAddress(), "");
    EXPECT_EQ(client.LatestClientVersion(), 7);

    EXPECT_EQ(client.Logout(1), 0);
    EXPECT_EQ(log.CountOf("Disconnected 1"), 2);
}

TEST_F(Engine, ConnectionEndingByItselfIsReportedOnce) {
    // A wrong magic, a zero length, and a header that stops half-way.
    const std::string endings[] = {"XYZ\0\0\0\4abcd"s, "<!>\0\0\0\0"s, "<!>\0"s};
    for (const auto& ending : endings) {
        LogIn();
        log.Clear();
        peer->SendRaw(ending);
        ASSERT_TRUE(log.WaitFor("Disconnected 2"));
        EXPECT_TRUE(peer->WaitForPeerClose(1s));
        EXPECT_EQ(client.GetStatus(), 0);
        EXPECT_EQ(client.OwnUserId(), 0);
        client.Logout(1); // joins the finished thread; reports its own reason only
        EXPECT_EQ(log.Lines(), (Lines{"Disconnected 2", "Disconnected 1"}));
    }
    LogIn();
    log.Clear();
    peer->Close();
    ASSERT_TRUE(log.WaitFor("Disconnected 2"));
    EXPECT_EQ(log.CountOf("Disconnected 2"), 1);
}

TEST_F(Engine, CommandsPutExactPayloadsOnTheWire) {
    LogIn();
    EXPECT_EQ(client.SetStatus(2), 8);
    EXPECT_TRUE(peer->Expect("10032<~>"));
    EXPECT_EQ(client.GetStatus(), 1) << "changes only when the server confirms";
    peer->Send(Payload(9001, {"1003", "2"}));
    ASSERT_TRUE(log.WaitFor("Status 2"));
    EXPECT_EQ(client.GetStatus(), 2);

    EXPECT_EQ(client.SetStatus(3), 8);
    peer->Send(Payload(9002, {"1003", "-27"}));
    ASSERT_TRUE(log.WaitFor("Error 1003 -27"));
    EXPECT_EQ(client.GetStatus(), 2);

    EXPECT_EQ(client.RequestUserList(), 4);
    EXPECT_EQ(client.RequestPageList(), 4);
    EXPECT_EQ(client.InviteVisitor(17, ""), 12);
    EXPECT_EQ(client.InviteVisitor(17, nullptr), 12);
    EXPECT_EQ(client.SendKeepAlive(), 4);
    EXPECT_TRUE(peer->Expect("10033<~>"));
    EXPECT_TRUE(peer->Expect("1006"));
    EXPECT_TRUE(peer->Expect("1007"));
    EXPECT_TRUE(peer->Expect("400317<~><~>"));
    EXPECT_TRUE(peer->Expect("400317<~><~>"));
    EXPECT_TRUE(peer->Expect("5001"));

    peer->Send(Payload(9001, {"1007", "1", "17", "0", "/p", "P", "", "", "", "3"}));
    peer->Send(Payload(9001, {"4003", "17"}));
    ASSERT_TRUE(log.WaitFor("Invited 17 /p"));
    EXPECT_EQ(log.CountOf("PageList"), 1);
    EXPECT_EQ(log.CountOf("Disconnected 3"), 0);
}

TEST_F(Engine, CommandsWhileDisconnectedFailAndReportReasonThree) {
    EXPECT_EQ(client.SendKeepAlive(), ResultCode::Connect);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(client.SetStatus(2), ResultCode::Connect);
    EXPECT_EQ(client.RequestUserList(), ResultCode::Connect);
    EXPECT_EQ(client.RequestPageList(), ResultCode::Connect);
    EXPECT_EQ(client.InviteVisitor(1, "hi"), ResultCode::Connect);
    EXPECT_EQ(log.CountOf("Disconnected 3"), 4);
}

TEST_F(Engine, SendThatCannotCompleteLogsOutWithReasonThree) {
    LogIn();
    // The server stops reading; a large invitation fills the socket buffers
    // until a send times out.
    const std::string text(4 << 20, 'x');
    int32_t result = 0;
    for (int i = 0; i < 16 && result >= 0; ++i)
        result = client.InviteVisitor(1, text.c_str());
    EXPECT_EQ(result, ResultCode::SendFailed);
    EXPECT_EQ(log.CountOf("Disconnected 3"), 1);
    EXPECT_EQ(log.CountOf("Disconnected 2"), 0);
    EXPECT_EQ(client.GetStatus(), 0);
}

TEST_F(Engine, LogoutFromACallbackOnTheReceiveThread) {
    log.onEvent = [&](const std::string& line) {
        if (line == "UserList")
            client.Logout(1);
    };
    LogIn();
    peer->Send(Payload(9001, {"1006", "0"}));
    ASSERT_TRUE(peer->WaitForPeerClose(2s));
    ASSERT_TRUE(log.WaitFor("Disconnected 1"));
    EXPECT_EQ(client.GetStatus(), 0);
    // The thread that logged itself out is joined by the next Login.
    LogIn();
    EXPECT_EQ(client.OwnUserId(), 42);
    EXPECT_EQ(log.CountOf("Disconnected 2"), 0);
}

TEST_F(Engine, LogoutNeverDeadlocksWithABusyCallback) {
    std::promise<void> entered, released;
    std::shared_future<void> release = released.get_future().share();
    std::promise<int32_t> lateCommand;
    log.onEvent = [&](const std::string& line) {
        if (line != "PageList")
            return;
        entered.set_value();
        release.wait();
        // Fails on the closed connection and logs out from the receive
        // thread, which must not wait for itself.
        lateCommand.set_value(client.SetStatus(1));
    };
    LogIn();
    peer->Send(Payload(9001, {"1007", "0"}));
    entered.get_future().wait();

    // The receive thread is held in the callback: Logout stops waiting for it
    // after the thread wait and returns.
    auto start = Clock::now();
    EXPECT_EQ(client.Logout(1), 0);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(client.GetStatus(), 0);
    EXPECT_TRUE(peer->WaitForPeerClose(1s));

    released.set_value();
    auto result = lateCommand.get_future();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), ResultCode::Connect);
    ASSERT_TRUE(log.WaitFor("Disconnected 3"));
    LogIn(); // joins the old thread
    EXPECT_EQ(log.CountOf("Disconnected 2"), 0);
}

// A Logout asked while a log-in runs (here from another thread while the
// log-in resets the previous connection) wins: no success, no OnLoggedIn.
TEST_F(Engine, LogoutDuringALogInMakesItFail) {
    LogIn();
    std::atomic<bool> once{true};
    log.onEvent = [&](const std::string& line) {
        if (line == "Disconnected 1" && once.exchange(false))
            std::thread([&] { client.Logout(1); }).join();
    };
    auto login = std::async(std::launch::async,
                            [&] { return client.Login("127.0.0.1", server.Port(), "ann", "pw"); });
    if (auto late = server.Accept(500ms)) { // the old behaviour: the log-in goes on
        late->Receive();
        late->Send(Payload(9001, {"1001", "42", "7"}));
    }
    EXPECT_LT(login.get(), 0);
    EXPECT_EQ(client.GetStatus(), 0);
    EXPECT_EQ(log.Lines(), (Lines{"LoggedIn", "Disconnected 1", "Disconnected 1"}));
}

// The engine goes while its receive thread is held in a callback: the
// destructor waits the thread wait, not for good, and the thread raises
// nothing once it is let go.
TEST_F(Engine, DestructionWaitsABoundedTimeForABusyCallback) {
    auto doomed = std::make_unique<AgentClient>(ShortTimeouts());
    EventLog own;
    own.Install(*doomed);
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    own.onEvent = [&](const std::string& line) {
        if (line == "PageList") {
            entered.set_value();
            released.wait();
        }
    };
    auto side = LogInEngine(*doomed, server, 42);
    ASSERT_TRUE(side);
    side->Send(Payload(9001, {"1007", "0"}));
    side->Send(Payload(9003, {"4001", "17", "0", "/p", "P", "", "", "", "3"}));
    entered.get_future().wait();

    std::promise<void> destroyed;
    auto unblock = std::async(std::launch::async, [&] {
        destroyed.get_future().wait_for(4s); // a destructor that waits for good gets out after all
        release.set_value();
    });
    const auto start = Clock::now();
    doomed.reset();
    const auto took = Clock::now() - start;
    destroyed.set_value();
    EXPECT_LT(took, 2s);
    unblock.get();
    // The let-go thread returns by itself; `own` must outlive it.
    for (int i = 0; i < 400 && ReapableThread::PendingCount() > 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(ReapableThread::PendingCount(), 0);
    EXPECT_EQ(own.CountOf("PageIn 17 /p"), 0) << "raised after the engine had gone";
}

// Destroying the engine from a callback on its own receive thread.
TEST_F(Engine, EngineDestroyedFromItsOwnReceiveThread) {
    auto doomed = std::make_unique<AgentClient>(ShortTimeouts());
    EventLog own;
    own.Install(*doomed);
    std::promise<void> gone;
    own.onEvent = [&](const std::string& line) {
        if (line == "UserList") {
            doomed.reset();
            gone.set_value();
        }
    };
    auto side = LogInEngine(*doomed, server, 42);
    ASSERT_TRUE(side);
    side->Send(Payload(9001, {"1006", "0"}));
    side->Send(Payload(9003, {"4001", "17", "0", "/p", "P", "", "", "", "3"}));
    ASSERT_EQ(gone.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(side->WaitForPeerClose(2s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(own.Lines(), (Lines{"LoggedIn", "UserList", "Disconnected 4"}));
}
