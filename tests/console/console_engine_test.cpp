#include "agent_client.h"
#include "console_engine.h"
#include "console_test_helpers.h"
#include "fake_server.h"
#include "operator_console.h"
#include "page_list_view.h"

#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace olvex {
namespace {

using namespace std::chrono_literals;
using test::FakeServer;
using test::Payload;

struct ConsoleEngineTest : ::testing::Test {
    ConsoleEngineTest() {
        test::ForgetStoredState();
        console.Settings().serverAddress = "127.0.0.1";
        console.Settings().serverPort = server.Port();
        console.Settings().username = "ann";
        console.Settings().password = "pw";
    }

    test::UiRecorder ui;
    FakeServer server;
    AgentClient engine{AgentOptions{2000ms, 1000ms, 2000ms}};
    OperatorConsole console{false};
    ConsoleEngine* bridge = new ConsoleEngine(console, engine);
};

TEST_F(ConsoleEngineTest, LoginAsksForOperatorsThenPagesAndShowsThem) {
    bridge->Login();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9001, {"1001", "42", "7"}));
    ASSERT_TRUE(peer->Expect(Payload(1006)));
    ASSERT_TRUE(peer->Expect(Payload(1007)));
    peer->Send(Payload(9001, {"1007", "2", "17", "3", "/a", "A", "ref", "2s", "10.0.0.9", "88", "0",
                              "4", "/b", "B", "", "1s", "10.0.0.8", "89"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) >= 0; }, 5000));
    EXPECT_FALSE(console.ButtonOf(OperatorConsole::Button::Login).isEnabled());
    EXPECT_TRUE(console.ButtonOf(OperatorConsole::Button::Logout).isEnabled());

    // Invite skips the row without a page and sends one invitation per page, in list order.
    console.PageList().selectAll();
    bridge->Invite();
    auto first = peer->Receive();
    ASSERT_TRUE(first);
    EXPECT_NE(first->find("17"), std::string::npos);
}

TEST_F(ConsoleEngineTest, FailedLoginReportsAndEnablesLoginAgain) {
    bridge->Login();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9002, {"1001", "5"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, 5000));
    EXPECT_TRUE(console.ButtonOf(OperatorConsole::Button::Login).isEnabled());
    EXPECT_FALSE(console.ButtonOf(OperatorConsole::Button::Logout).isEnabled());
}

} // namespace
} // namespace olvex

namespace olvex {
namespace {

void LogIn(test::FakeServer& server, std::unique_ptr<test::FakeConnection>& peer) {
    peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(test::Payload(1001, {"ann", "pw"})));
    peer->Send(test::Payload(9001, {"1001", "42", "7"}));
}

TEST_F(ConsoleEngineTest, DroppedConnectionReconnectsOnlyWhenReconnectIsOn) {
    for (int reconnect : {1, 0}) {
        console.Settings().reconnect = reconnect;
        bridge->SetTimerPeriods(100, 10);
        bridge->Login();
        std::unique_ptr<test::FakeConnection> peer;
        LogIn(server, peer);
        ASSERT_TRUE(QTest::qWaitFor([&] { return engine.GetStatus() > 0; }, 5000));
        QTest::qWait(50);
        peer->Close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return engine.GetStatus() == 0; }, 5000));
        auto& login = console.ButtonOf(OperatorConsole::Button::Login);
        ASSERT_TRUE(QTest::qWaitFor([&] { return login.isEnabled(); }, 5000));
        // The next tick starts a new log-in, which disables Login again; the event loop must
        // run for the tick, so wait here rather than in Accept.
        EXPECT_EQ(QTest::qWaitFor([&] { return !login.isEnabled(); }, reconnect ? 5000 : 500),
                  reconnect == 1);
        auto again = server.Accept(reconnect ? 5000ms : 100ms);
        EXPECT_EQ(again != nullptr, reconnect == 1);
        if (again) {
            ASSERT_TRUE(again->Expect(test::Payload(1001, {"ann", "pw"})));
            again->Send(test::Payload(9002, {"1001", "5"}));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, 5000));
        }
    }
}

} // namespace
} // namespace olvex
