#include "agent_client.h"
#include "c_explorer1.h"
#include "call_window.h"
#include "chats_view.h"
#include "console_engine.h"
#include "console_images.h"
#include "console_test_helpers.h"
#include "desktop_services.h"
#include "engine_log_in.h"
#include "fake_server.h"
#include "flat_button.h"
#include "login_dialog.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "page_list_view.h"
#include "reports_url.h"
#include "result_code.h"
#include "test_pki.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <thread>

namespace olvex {
namespace {

using namespace std::chrono_literals;
using Button = OperatorConsole::Button;
using test::FakeConnection;
using test::Payload;

constexpr int kWait = 5000;

struct Balloon {
    QString title;
    QString text;
    int msecs;
};

struct ConsoleEngineTest : ::testing::Test {
    ConsoleEngineTest() {
        test::ForgetStoredState();
        AgentSettings& s = console.Settings();
        s.serverAddress = "127.0.0.1";
        s.serverPort = server.Port();
        s.username = "ann";
        s.password = "pw";
        s.saveLogin = 1;
        bridge->SetDialogRunner([this](QDialog& dialog) {
            ++dialogsRun;
            if (qobject_cast<LoginDialog*>(&dialog) && acceptLogin)
                dialog.accept();
            else
                dialog.reject();
            return dialog.result();
        });
        QObject::connect(bridge, &ConsoleEngine::BalloonShown,
                         [this](const QString& title, const QString& text, int msecs) {
                             balloons.push_back({title, text, msecs});
                         });
    }
    ~ConsoleEngineTest() override { test::ForgetStoredState(); }

    // Log-in through the Login button's command, answered with `version` as the newest
    // client version; leaves the peer after the list requests.
    std::unique_ptr<FakeConnection> LogIn(const char* version = "15") {
        bridge->Connect();
        auto peer = test::AnswerLogIn(server, version);
        if (peer && std::string_view(version) == "15") {
            EXPECT_TRUE(QTest::qWaitFor([&] { return bridge->TimerRunning(); }, kWait));
        }
        return peer;
    }

    int BalloonsWith(const QString& text) const {
        int count = 0;
        for (const Balloon& balloon : balloons)
            count += balloon.text == text ? 1 : 0;
        return count;
    }

    bool Enabled(Button button) { return console.ButtonOf(button).isEnabled(); }

    // The window's timers need the event loop while the test waits for a connection.
    std::unique_ptr<FakeConnection> AcceptWhileRunning(int ms = kWait) {
        std::unique_ptr<FakeConnection> peer;
        (void)QTest::qWaitFor([&] { return (peer = server.Accept(10ms)) != nullptr; }, ms);
        return peer;
    }

    test::UiRecorder ui;
    test::FakeServer server;
    AgentClient engine{AgentOptions{2000ms, 1000ms, 2000ms}};
    DesktopServices desktop;
    OperatorConsole console{desktop, false};
    ConsoleEngine* bridge = new ConsoleEngine(console, engine);
    std::vector<Balloon> balloons;
    int dialogsRun = 0;
    bool acceptLogin = true;
};

const QString kLoggedIn = QStringLiteral("You are now logged in to the Olvex server");
const QString kLoggedOut = QStringLiteral("You are now logged out from the Olvex server");
const QString kLost =
    QStringLiteral("The connection to the Olvex server was lost; trying to reconnect");

TEST_F(ConsoleEngineTest, SuccessfulLogInShowsTheConnectionEverywhere) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLoggedIn) == 1; }, kWait));
    const QString title = QStringLiteral("Olvex - Online [127.0.0.1]");
    EXPECT_EQ(console.windowTitle(), title);
    EXPECT_EQ(bridge->TrayToolTip(), title);
    EXPECT_TRUE(bridge->TrayShowsConnected());
    EXPECT_FALSE(Enabled(Button::Login));
    EXPECT_TRUE(Enabled(Button::Logout));
    EXPECT_TRUE(Enabled(Button::Status));
    EXPECT_TRUE(Enabled(Button::Invite));
    EXPECT_EQ(balloons.back().title, QStringLiteral("Olvex Notification"));
    EXPECT_EQ(balloons.back().msecs, 11000);
    EXPECT_EQ(console.ReportBrowser().LocationUrl(), ReportsUrl("ann", "pw"));
    EXPECT_TRUE(ui.messages.empty());
    // Version 15 is this program's own: no question.
    EXPECT_EQ(qApp->findChild<QMessageBox*>(), nullptr);

    // The lists arrive: operators and pages fill the views.
    peer->Send(Payload(9001, {"1006", "1", "7", "0", "2", "1", "host7", "Bob", "Jones"}));
    peer->Send(Payload(9001, {"1007", "1", "17", "0", "/a", "A", "", "2s", "10.0.0.9", "88"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) == 0; }, kWait));
    ASSERT_EQ(console.OperatorList().RowOf(7), 0);

    // The Logout button: no reconnection, everything reset.
    console.ButtonOf(Button::Logout).click();
    EXPECT_FALSE(bridge->TimerRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLoggedOut) == 1; }, kWait));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Not connected"));
    EXPECT_EQ(bridge->TrayToolTip(), console.windowTitle());
    EXPECT_FALSE(bridge->TrayShowsConnected());
    EXPECT_TRUE(Enabled(Button::Login));
    EXPECT_FALSE(Enabled(Button::Logout));
    EXPECT_FALSE(Enabled(Button::Invite));
    EXPECT_EQ(console.PageList().RowCount(), 0);
    EXPECT_EQ(console.OperatorList().topLevelItemCount(), 0);
    EXPECT_EQ(console.ReportBrowser().LocationUrl(), QStringLiteral("about:blank"));
    EXPECT_TRUE(peer->WaitForPeerClose());
}

TEST_F(ConsoleEngineTest, FailedLogInReportsAndLeavesTheConnectingTooltip) {
    bridge->Connect();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9002, {"1001", "-19"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, kWait));
    EXPECT_EQ(ui.messages[0], QStringLiteral("Failed to connect to the Olvex server.\r\n") +
                                  QString::fromUtf8(ResultText(-19)));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Not connected"));
    EXPECT_TRUE(Enabled(Button::Login));
    EXPECT_FALSE(Enabled(Button::Logout));
    // No tray refresh on this path: the tooltip still reads as connecting, the icon grey.
    EXPECT_EQ(bridge->TrayToolTip(), QStringLiteral("Olvex - Connecting [127.0.0.1]"));
    EXPECT_FALSE(bridge->TrayShowsConnected());
    EXPECT_TRUE(balloons.empty());
    EXPECT_FALSE(bridge->TimerRunning());
}

TEST_F(ConsoleEngineTest, TlsSettingsReachTheEngineAndARefusalShowsItsReason) {
    test::TestPki pki;
    std::string error;
    server.UseTls(TlsContext::Server(pki.certFile, pki.keyFile, error));
    console.Settings().useTls = 1;
    console.Settings().caFile = pki.otherCaFile;
    bridge->Connect();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    EXPECT_FALSE(peer->Receive(2s)); // refused before the log-in went out
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, kWait));
    EXPECT_EQ(ui.messages[0], QStringLiteral("Failed to connect to the Olvex server.\r\nThe "
                                             "server's certificate could not be verified. "
                                             "(unable to get local issuer certificate)"));

    console.Settings().caFile = pki.caFile;
    peer = LogIn();
    EXPECT_TRUE(peer);
}

TEST_F(ConsoleEngineTest, ConnectWithoutAddressAsksForOptionsAndStops) {
    console.Settings().serverAddress.clear();
    bridge->Connect();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], QStringLiteral("You must first set the Olvex server address and "
                                             "port in the Options dialog."));
    // The options dialog ran (and was cancelled); no login dialog followed.
    EXPECT_EQ(dialogsRun, 1);
    EXPECT_TRUE(Enabled(Button::Login));
    EXPECT_FALSE(server.Accept(100ms));
}

TEST_F(ConsoleEngineTest, AutoLoginWithoutARememberedPasswordAsksForIt) {
    // Remembered, but the secret store gave nothing back.
    console.Settings().password.clear();
    acceptLogin = false;
    bridge->AutoLogin();
    EXPECT_EQ(dialogsRun, 1);
    EXPECT_FALSE(server.Accept(100ms));
}

// The session's keep-alives and reconnections are tested in tests/session; here, what the
// window shows of them.
TEST_F(ConsoleEngineTest, ReconnectionCountsDownInTheTitleWithOneNotificationEachWay) {
    console.Settings().reconnect = 1;
    bridge->SetRetryDelays({1000ms, 3000ms}, 0);
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    emit console.ButtonOf(Button::Status).MenuCommand(OperatorConsole::kStatusAway);
    ASSERT_TRUE(peer->Expect(Payload(1003, {"3"})));
    peer->Send(Payload(9001, {"1003", "3"}));
    const QString away = QStringLiteral("Your status has now been changed to away");
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(away) == 1; }, kWait));

    peer->Close();
    const QString waiting = QStringLiteral("Olvex - Reconnecting (next try in 1 s)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.windowTitle() == waiting; }, kWait));
    EXPECT_EQ(bridge->TrayToolTip(), waiting);
    EXPECT_FALSE(bridge->TrayShowsConnected());
    EXPECT_EQ(BalloonsWith(kLost), 1);
    EXPECT_EQ(BalloonsWith(kLoggedOut), 0);
    // Logout ends the tries; Login only explains.
    EXPECT_TRUE(Enabled(Button::Logout));
    EXPECT_TRUE(Enabled(Button::Login));
    EXPECT_FALSE(Enabled(Button::Status));

    auto again = AcceptWhileRunning();
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->Expect(Payload(1001, {"ann", "pw"})));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return console.windowTitle() == QStringLiteral("Olvex - Connecting [127.0.0.1]"); },
        kWait));
    console.ButtonOf(Button::Login).click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], QStringLiteral("Olvex is trying to reconnect to the Olvex server "
                                             "now.\r\nIf it fails, please try again in a few "
                                             "seconds."));
    // A failed try: what failed, and the seconds counting down; no box, no notification.
    again->Send(Payload(9002, {"1001", "-25"}));
    const QString failure =
        QStringLiteral("s): The server reached the maximum number of connections.");
    for (const char* seconds : {"2", "1"}) {
        const QString title = QStringLiteral("Olvex - Reconnecting (next try in ") + seconds +
                              QStringLiteral(" ") + failure;
        ASSERT_TRUE(QTest::qWaitFor([&] { return console.windowTitle() == title; }, kWait))
            << console.windowTitle().toStdString();
        EXPECT_EQ(bridge->TrayToolTip(), title);
    }
    EXPECT_TRUE(Enabled(Button::Logout));

    // Taken: away again before anything else, and one notification for the return.
    auto third = AcceptWhileRunning();
    ASSERT_TRUE(third);
    ASSERT_TRUE(third->Expect(Payload(1001, {"ann", "pw"})));
    third->Send(Payload(9001, {"1001", "42", "15"}));
    ASSERT_TRUE(third->Expect(Payload(1003, {"3"})));
    ASSERT_TRUE(third->Expect(Payload(1006)));
    third->Send(Payload(9001, {"1003", "3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLoggedIn) == 2; }, kWait));
    const QString back = QStringLiteral("Olvex - away [127.0.0.1]");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge->TrayToolTip() == back; }, kWait));
    EXPECT_EQ(console.windowTitle(), back);
    QTest::qWait(100);
    EXPECT_EQ(BalloonsWith(away), 1);
    EXPECT_EQ(BalloonsWith(kLost), 1);
    EXPECT_EQ(BalloonsWith(kLoggedOut), 0);
    EXPECT_TRUE(Enabled(Button::Status));
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(ConsoleEngineTest, LogoutEndsTheReconnection) {
    bridge->SetRetryDelays({400ms}, 0);
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    peer->Close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLost) == 1; }, kWait));
    ASSERT_TRUE(bridge->Reconnecting());
    console.ButtonOf(Button::Logout).click();
    EXPECT_FALSE(bridge->Reconnecting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLoggedOut) == 1; }, kWait));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Not connected"));
    EXPECT_EQ(bridge->TrayToolTip(), console.windowTitle());
    EXPECT_FALSE(Enabled(Button::Logout));
    EXPECT_TRUE(Enabled(Button::Login));
    EXPECT_FALSE(AcceptWhileRunning(1000));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Not connected"));
    EXPECT_TRUE(ui.messages.empty());
}

// Without Reconnect the minute's ticks go on finding the connection dead; a cancelled login
// dialog stops them.
TEST_F(ConsoleEngineTest, CancelledLoginDialogStopsTheTimer) {
    console.Settings().reconnect = 0;
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    bridge->SetTimerPeriods(2000, 10);
    peer->Close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLoggedOut) == 1; }, kWait));
    acceptLogin = false;
    console.ButtonOf(Button::Login).click();
    EXPECT_FALSE(bridge->TimerRunning());
    EXPECT_FALSE(server.Accept(2500ms));
    EXPECT_EQ(BalloonsWith(kLoggedOut), 1);
    EXPECT_TRUE(Enabled(Button::Login));
}

// A console started before the network is up goes on trying, in its title only.
TEST_F(ConsoleEngineTest, AutomaticLogInAtStartIsTriedAgainWithoutABox) {
    console.Settings().reconnect = 1;
    bridge->SetRetryDelays({1000ms}, 0);
    bridge->AutoLogin();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9002, {"1001", "-25"}));
    const QString waiting = QStringLiteral("Olvex - Not connected (next try in 1 s): The server "
                                           "reached the maximum number of connections.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.windowTitle() == waiting; }, kWait))
        << console.windowTitle().toStdString();
    EXPECT_EQ(bridge->TrayToolTip(), waiting);
    EXPECT_TRUE(Enabled(Button::Logout));
    peer = AcceptWhileRunning();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9001, {"1001", "42", "15"}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return console.windowTitle() == QStringLiteral("Olvex - Online [127.0.0.1]"); },
        kWait));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(BalloonsWith(kLoggedIn), 1);

    // Without Reconnect: one box, as ever, and no second try.
    bridge->Logout();
    console.Settings().reconnect = 0;
    bridge->AutoLogin();
    peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9002, {"1001", "-25"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, kWait));
    EXPECT_EQ(ui.messages[0], QStringLiteral("Failed to connect to the Olvex server.\r\nThe "
                                             "server reached the maximum number of "
                                             "connections."));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Not connected"));
    EXPECT_FALSE(AcceptWhileRunning(1500));
}

TEST_F(ConsoleEngineTest, InviteSendsSelectedPagesInListOrderOnce) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    // Visitors 3 and 4 with a page each; 4 arrives last and so sits on top.
    peer->Send(
        Payload(9001, {"1007", "3", "17", "0", "/a", "A",  "",  "",   "",  "3", "18", "0", "/b",
                       "B",    "",  "",   "",  "4",  "19", "0", "/c", "C", "",  "",   "",  "5"}));
    PageListView& pages = console.PageList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pages.RowCount() == 3; }, kWait));
    PageRecord blank; // a row without a page id
    blank.visitorNumber = 4;
    pages.AddOrUpdate(blank);
    ASSERT_EQ(pages.RowOf(0), 1);
    for (int32_t id : {0, 17, 18})
        pages.SelectPage(id);

    console.ButtonOf(Button::Invite).click();
    // Still running: a second Invite only explains and marks nothing.
    pages.SelectPage(19);
    bridge->Invite();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], QStringLiteral("There is already a similar command in progress."
                                             "\r\nPlease wait for the previous command to "
                                             "finish first."));
    EXPECT_EQ(pages.ImageAt(pages.RowOf(19)), kImagePage);

    EXPECT_TRUE(peer->Expect(Payload(4003, {"18", "ann"})));
    EXPECT_TRUE(peer->Expect(Payload(4003, {"17", "ann"})));
    EXPECT_FALSE(peer->Receive(200ms));
    EXPECT_EQ(pages.ImageAt(pages.RowOf(17)), kImagePageInvited);
    EXPECT_EQ(pages.ImageAt(pages.RowOf(18)), kImagePageInvited);
    EXPECT_EQ(pages.ImageAt(pages.RowOf(0)), kImagePage);

    // Once the first has finished, the next Invite goes out.
    pages.clearSelection();
    pages.SelectPage(19);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            bridge->Invite();
            return pages.ImageAt(pages.RowOf(19)) == kImagePageInvited;
        },
        kWait));
    EXPECT_TRUE(peer->Expect(Payload(4003, {"19", "ann"})));
}

TEST_F(ConsoleEngineTest, ConfirmedStatusChangeAndTheHandlersOfOperators) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    emit console.ButtonOf(Button::Status).MenuCommand(OperatorConsole::kStatusBusy);
    ASSERT_TRUE(peer->Expect(Payload(1003, {"2"})));
    peer->Send(Payload(9001, {"1003", "2"}));
    const QString busy = QStringLiteral("Your status has now been changed to busy");
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(busy) == 1; }, kWait));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - busy [127.0.0.1]"));
    EXPECT_EQ(bridge->TrayToolTip(), console.windowTitle());

    // An operator logs in (balloon), changes status (none), logs in again (no second
    // balloon) and logs out (balloon with the row's name).
    peer->Send(Payload(9003, {"1001", "7", "0", "2", "1", "h", "Bob", "Jones"}));
    peer->Send(Payload(9003, {"1003", "7", "2", "3"}));
    peer->Send(Payload(9003, {"1001", "7", "0", "2", "3", "h", "Bob", "Jones"}));
    const QString in = QStringLiteral("Bob Jones has now logged in to the Olvex server");
    OperatorListView& operators = console.OperatorList();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return operators.RowOf(7) == 0 && operators.Row(7)->text(1) == "away"; }, kWait));
    peer->Send(Payload(9003, {"1002", "7", "2"}));
    const QString out = QStringLiteral("Bob Jones has now logged out from the Olvex server");
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(out) == 1; }, kWait));
    EXPECT_EQ(BalloonsWith(in), 1);
    EXPECT_EQ(operators.topLevelItemCount(), 0);
    EXPECT_EQ(balloons.size(), 4u); // logged in, busy, Bob in, Bob out
}

TEST_F(ConsoleEngineTest, ShutdownDisconnectionChangesNothing) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    peer->Send(Payload(9001, {"1007", "1", "17", "0", "/a", "A", "", "", "", "3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) == 0; }, kWait));
    const size_t before = balloons.size();
    engine.Callbacks().OnDisconnected(engine.UserData(), DisconnectReason::Shutdown);
    // A marker event behind it shows the queue has been applied.
    engine.Callbacks().OnStatusChanged(engine.UserData(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return balloons.size() == before + 1; }, kWait));
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - away [127.0.0.1]"));
    EXPECT_EQ(console.PageList().RowOf(17), 0);
    EXPECT_TRUE(Enabled(Button::Logout));
    EXPECT_EQ(BalloonsWith(kLoggedOut), 0);
}

TEST_F(ConsoleEngineTest, ShowHintsOffShowsNoBalloonButTheTrayFollows) {
    console.Settings().showHints = 0;
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    EXPECT_EQ(bridge->TrayToolTip(), QStringLiteral("Olvex - Online [127.0.0.1]"));
    peer->Send(Payload(9003, {"4001", "17", "0", "/a", "A", "", "", "", "3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) == 0; }, kWait));
    bridge->Logout();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bridge->TrayShowsConnected(); }, kWait));
    EXPECT_EQ(bridge->TrayToolTip(), QStringLiteral("Olvex - Not connected"));
    EXPECT_TRUE(balloons.empty());
}

// Visitors entering pages can be left out of the notifications, and only they.
TEST_F(ConsoleEngineTest, VisitorHintsOffLeavesOnlyTheVisitorsOut) {
    console.Settings().visitorHints = 0;
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    peer->Send(Payload(9003, {"4001", "17", "0", "/a", "A", "", "", "", "3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) == 0; }, kWait));
    bridge->Logout();
    ASSERT_TRUE(QTest::qWaitFor([&] { return BalloonsWith(kLoggedOut) == 1; }, kWait));
    EXPECT_EQ(BalloonsWith(kLoggedIn), 1);
    for (const Balloon& balloon : balloons)
        EXPECT_FALSE(balloon.text.contains(QStringLiteral("entered")))
            << balloon.text.toStdString();
}

QMessageBox* VersionQuestion() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("newVersionQuestion") && window->isVisible())
            return qobject_cast<QMessageBox*>(window);
    return nullptr;
}

TEST_F(ConsoleEngineTest, NewerVersionAsksBeforeTheListsAreRequested) {
    auto peer = LogIn("16");
    ASSERT_TRUE(peer);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (question = VersionQuestion()) != nullptr; }, kWait));
    EXPECT_EQ(question->windowTitle(), QStringLiteral("New Olvex version"));
    EXPECT_EQ(question->text(),
              QStringLiteral("There is a new version of the Olvex Operator application available "
                             "for download.\r\nWould you like to download and install the new "
                             "version?"));
    // The window is live while the question waits: engine events still arrive.
    peer->Send(Payload(9003, {"4001", "17", "0", "/a", "A", "", "", "", "3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) == 0; }, kWait));
    EXPECT_FALSE(peer->Receive(100ms));

    question->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(peer->Expect(Payload(1006)));
    ASSERT_TRUE(peer->Expect(Payload(1007)));
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], QStringLiteral("http://www.olvex.example/OlvexDownloads.html"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bridge->TimerRunning(); }, kWait));
}

TEST_F(ConsoleEngineTest, ClosingTakesTheNewVersionQuestionAway) {
    auto peer = LogIn("99");
    ASSERT_TRUE(peer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return VersionQuestion() != nullptr; }, kWait));
    bridge->Shutdown();
    EXPECT_EQ(VersionQuestion(), nullptr);
    EXPECT_TRUE(peer->WaitForPeerClose());
}

// Alerts have no parent: they stay in view while the console is minimised.
QDialog* CallAlert(OperatorConsole&) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("callAlert"))
            return qobject_cast<QDialog*>(window);
    }
    return nullptr;
}

TEST_F(ConsoleEngineTest, CallRequestsOpenTheAlertWithItsText) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    peer->Send(Payload(9003, {"2001", "5", "31", "Ann Visitor", "x"}));
    QDialog* alert = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (alert = CallAlert(console)) != nullptr; }, kWait));
    EXPECT_EQ(alert->property("callId").toInt(), 31);
    EXPECT_EQ(alert->property("kind").toInt(), 1);
    EXPECT_EQ(alert->findChild<QLabel*>(QStringLiteral("message"))->text(),
              QStringLiteral("You have received an Olvex call request from Ann Visitor."));
    // The tray counts the request and names who waits.
    EXPECT_EQ(bridge->TrayBadge(), 1);
    EXPECT_TRUE(
        bridge->TrayToolTip().endsWith(QStringLiteral("\nWaiting for an answer: Ann Visitor")));
    delete alert;
    EXPECT_EQ(bridge->TrayBadge(), 0);
    EXPECT_EQ(bridge->TrayToolTip(), console.windowTitle());

    peer->Send(Payload(9003, {"2002", "8", "32", "Bob", "Jones", "why"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return (alert = CallAlert(console)) != nullptr; }, kWait));
    EXPECT_EQ(alert->property("kind").toInt(), 2);
    EXPECT_EQ(alert->findChild<QLabel*>(QStringLiteral("message"))->text(),
              QStringLiteral("You have received an Olvex call transfer from Bob Jones."));
    delete alert;

    EXPECT_FALSE(ConsoleEngine::CallAlertText(3, "Ann", ""));
    EXPECT_EQ(*ConsoleEngine::CallAlertText(1, nullptr, nullptr),
              QStringLiteral("You have received an Olvex call request from ."));
    // A long name is cut to the alert's size without splitting a character.
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "\xC3\xA9";
    const QString cut = *ConsoleEngine::CallAlertText(1, longName.c_str(), nullptr);
    EXPECT_LE(cut.toUtf8().size(), 99);
    EXPECT_FALSE(cut.contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(cut.endsWith(QChar(0xE9)));
}

// The Chats view lists a request with the visitor's question; Enter takes it once, from its
// alert or, once that ran out, from the view alone.
TEST_F(ConsoleEngineTest, ChatsViewTakesRequestsOnceWithOrWithoutTheirAlert) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    console.show();
    console.ShowView(OperatorConsole::View::Chats);
    ChatsView& view = console.Chats();
    peer->Send(Payload(9003, {"2001", "5", "31", "Ann Visitor", "I cannot finish the checkout."}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.RequestRow(31) != nullptr; }, kWait));
    EXPECT_EQ(view.RequestRow(31)->text(ChatsView::kColumnName), QStringLiteral("Ann Visitor"));
    EXPECT_EQ(view.RequestRow(31)->text(ChatsView::kColumnText),
              QStringLiteral("I cannot finish the checkout."));
    EXPECT_EQ(view.RequestRow(31)->text(ChatsView::kColumnTime), QStringLiteral("0:00"));
    EXPECT_EQ(console.ButtonOf(Button::Chats).accessibleName(), QStringLiteral("Chats (1)"));
    ASSERT_NE(CallAlert(console), nullptr);

    view.Tree().setCurrentItem(view.RequestRow(31));
    QTest::keyClick(&view.Tree(), Qt::Key_Return);
    QTest::keyClick(&view.Tree(), Qt::Key_Return);
    ASSERT_EQ(console.CallWindows().Windows().size(), 1u);
    auto* call = qobject_cast<CallWindow*>(console.CallWindows().Windows().front());
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->CallId(), 31);
    EXPECT_EQ(view.RequestRow(31), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CallAlert(console) == nullptr; }, kWait));
    ASSERT_NE(view.ChatRow(call), nullptr);
    EXPECT_EQ(console.ButtonOf(Button::Chats).accessibleName(), QStringLiteral("Chats"));

    // A request whose alert ran out stays, and can still be taken.
    console.Settings().notifyTimeout = 1;
    peer->Send(Payload(9003, {"2001", "6", "32", "Bob Visitor", "Hello?"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CallAlert(console) != nullptr; }, kWait));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CallAlert(console) == nullptr; }, kWait));
    ASSERT_NE(view.RequestRow(32), nullptr);
    EXPECT_TRUE(view.RequestRow(32)->text(ChatsView::kColumnTime).endsWith("(missed)"));
    view.Tree().setCurrentItem(view.RequestRow(32));
    QTest::keyClick(&view.Tree(), Qt::Key_Return);
    QTest::keyClick(&view.Tree(), Qt::Key_Return);
    ASSERT_EQ(console.CallWindows().Windows().size(), 2u);
    EXPECT_EQ(qobject_cast<CallWindow*>(console.CallWindows().Windows().back())->CallId(), 32);
    EXPECT_EQ(view.RequestRow(32), nullptr);
}

// Events from an engine thread reach the lists in arrival order, whatever the batching.
TEST_F(ConsoleEngineTest, BurstsOfEventsKeepTheirOrder) {
    auto feed = [this] {
        PageRecord page;
        for (int32_t id = 1; id <= 500; ++id) {
            page.pageId = id;
            page.visitorNumber = id % 7;
            page.title = "first";
            engine.Callbacks().OnPageEntered(engine.UserData(), page);
        }
        engine.Callbacks().OnDisconnected(engine.UserData(), DisconnectReason::ConnectionLost);
        for (int32_t id = 1; id <= 3; ++id) {
            page.pageId = id;
            page.visitorNumber = 9;
            page.title = "second";
            engine.Callbacks().OnPageEntered(engine.UserData(), page);
        }
        page.pageId = 2;
        engine.Callbacks().OnPageLeft(engine.UserData(), page);
        engine.Callbacks().OnStatusChanged(engine.UserData(), 2);
    };
    std::thread receive(feed);
    receive.join();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return console.windowTitle() == QStringLiteral("Olvex - busy [127.0.0.1]"); },
        kWait));
    PageListView& pages = console.PageList();
    ASSERT_EQ(pages.RowCount(), 2);
    EXPECT_EQ(pages.RowOf(3), 0);
    EXPECT_EQ(pages.RowOf(1), 1);
    EXPECT_EQ(pages.Text(1, PageListView::kColumnTitle), QStringLiteral("second"));
}

} // namespace
} // namespace olvex
