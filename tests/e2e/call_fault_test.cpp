// A call window whose server goes away, against the real demo server: the window says so,
// keeps the line the operator was typing, and stays ended once the operator is back.
#include "agent_client.h"
#include "agent_settings.h"
#include "call_window.h"
#include "call_window_list.h"
#include "console_test_helpers.h"
#include "demo_server_process.h"
#include "transcript_view.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace olvex {
namespace {

using namespace std::chrono_literals;

constexpr int kWait = 10000;

TEST(CallFault, AServerThatGoesEndsTheCallAndKeepsTheLineBeingTyped) {
    test::ForgetStoredState();
    test::UiRecorder ui;
    const std::vector<std::string> site = {"--quiet", "--visitors", "1", "--seed", "3"};
    auto server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, site);
    const int port = server->Port();
    ASSERT_GT(port, 0);

    std::atomic<int> requested{0};
    AgentClient engine{AgentOptions{1500ms, 1000ms, 2000ms}};
    AgentCallbacks callbacks;
    callbacks.OnCallRequest = [](void* data, int callId, int, int, const char*, const char*,
                                 const char*) {
        static_cast<std::atomic<int>*>(data)->store(callId);
    };
    engine.SetCallbacks(&requested, callbacks);
    ASSERT_EQ(engine.Login("127.0.0.1", port, "demo", "demo"), 0);
    ASSERT_GE(engine.RequestPageList(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Pages().Count() >= 1; }, kWait));
    // A quiet visitor takes an invitation at once.
    ASSERT_GE(engine.InviteVisitor(engine.Pages().Snapshot().front()->pageId, "demo"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested.load() != 0; }, kWait));

    AgentSettings settings{QStringLiteral("OlvexTest/Agent")};
    settings.username = "demo";
    settings.welcomeMsg.clear();
    CallWindowList windows;
    QPointer<CallWindow> window = new CallWindow(settings, requested.load(), windows, engine);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Call() != nullptr; }, kWait));
    QPlainTextEdit& input = window->InputBox();
    QTest::keyClicks(&input, "a line being typed");

    server->Stop();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->State() == CallWindow::CallState::Closed; }, kWait));
    const QString transcript = window->Transcript().toPlainText();
    EXPECT_TRUE(
        transcript.endsWith(QStringLiteral("The connection to the Olvex server was lost.\n")))
        << transcript.toStdString();
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_EQ(input.toPlainText(), QStringLiteral("a line being typed"));
    EXPECT_EQ(window->StatusLine().text(),
              QStringLiteral("The line could not be sent: the chat has ended."));

    // The server is back and the operator logs in again; the call does not come back.
    std::vector<std::string> again = site;
    again.insert(again.end(), {"--listen", "127.0.0.1:" + std::to_string(port)});
    server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, again);
    ASSERT_EQ(server->Port(), port);
    ASSERT_EQ(engine.Login("127.0.0.1", port, "demo", "demo"), 0);
    QTest::qWait(500);
    EXPECT_EQ(window->State(), CallWindow::CallState::Closed);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Olvex Call - Closed"));
    EXPECT_FALSE(window->Call());
    EXPECT_TRUE(input.isReadOnly());
    EXPECT_EQ(input.toPlainText(), QStringLiteral("a line being typed"));
    EXPECT_EQ(window->Transcript().toPlainText(), transcript);
    EXPECT_TRUE(ui.messages.empty());
    delete window.data();
}

} // namespace
} // namespace olvex
