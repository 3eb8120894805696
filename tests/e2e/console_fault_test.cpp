// The console window and its engine against servers that die, talk nonsense or stall, and
// against damaged settings files.
#include "agent_client.h"
#include "agent_settings.h"
#include "console_engine.h"
#include "console_test_helpers.h"
#include "demo_server_process.h"
#include "desktop_services.h"
#include "fake_server.h"
#include "flat_button.h"
#include "operator_console.h"
#include "page_list_view.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <thread>

namespace olvex {
namespace {

using namespace std::chrono_literals;
using test::FakeConnection;
using test::Payload;

constexpr int kWait = 10000;
const QString kNotConnected = QStringLiteral("Olvex - Not connected");
const QString kOnline = QStringLiteral("Olvex - Online [127.0.0.1]");
const QString kAway = QStringLiteral("Olvex - away [127.0.0.1]");
const QString kReconnecting = QStringLiteral("Olvex - Reconnecting (next try in ");
const QString kConnectFailure =
    QStringLiteral(" s): There was an error while connecting to the server.");

// Counts its own ticks and remembers the longest pause between two: a window whose event
// loop is blocked shows as a long pause.
class Heartbeat {
public:
    Heartbeat() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (beats > 0)
                longestPauseMs = std::max(longestPauseMs, clock.restart());
            else
                clock.start();
            ++beats;
        });
        timer.start();
    }
    QTimer timer;
    QElapsedTimer clock;
    int beats = 0;
    qint64 longestPauseMs = 0;
};

struct ConsoleFaultTest : ::testing::Test {
    ConsoleFaultTest() {
        test::ForgetStoredState();
        AgentSettings& s = console.Settings();
        s.serverAddress = "127.0.0.1";
        s.username = "demo";
        s.password = "demo";
        s.saveLogin = 1;
        s.autoLogin = 1;
        s.reconnect = 1;
        s.showHints = 0;
        bridge->SetDialogRunner([](QDialog& dialog) {
            dialog.reject();
            return dialog.result();
        });
        bridge->SetTimerPeriods(300, 50);
    }
    ~ConsoleFaultTest() override {
        delete bridge;
        test::ForgetStoredState();
    }

    bool WaitForTitle(const QString& title, int ms = kWait) {
        return QTest::qWaitFor([&] { return console.windowTitle() == title; }, ms);
    }
    // Every row's cells but the elapsed time, by page id.
    std::map<int32_t, QStringList> Rows() {
        std::map<int32_t, QStringList> rows;
        PageListView& list = console.PageList();
        for (int i = 0; i < list.RowCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < PageListView::kColumnCount; ++c) {
                if (c != PageListView::kColumnElapsed)
                    cells << list.Text(i, c);
            }
            rows[list.PageIdAt(i)] = cells;
        }
        return rows;
    }

    test::UiRecorder ui;
    AgentClient engine{AgentOptions{1500ms, 1000ms, 2000ms}};
    DesktopServices desktop;
    OperatorConsole console{desktop, false};
    ConsoleEngine* bridge = new ConsoleEngine(console, engine);
};

TEST_F(ConsoleFaultTest, RestartedDemoServerGivesBackTheSameRowsOnce) {
    const std::vector<std::string> site = {"--quiet", "--visitors", "40", "--seed", "5"};
    auto server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, site);
    const int port = server->Port();
    ASSERT_GT(port, 0);
    console.Settings().serverPort = port;
    bridge->AutoLogin();
    ASSERT_TRUE(WaitForTitle(kOnline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowCount() >= 40; }, kWait));
    const auto before = Rows();
    ASSERT_EQ(int(before.size()), console.PageList().RowCount());

    server->Stop();
    // Tried again at once; with the server down the try fails quietly and the next waits.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return console.windowTitle().endsWith(kConnectFailure); }, kWait))
        << console.windowTitle().toStdString();
    EXPECT_TRUE(console.windowTitle().startsWith(kReconnecting));
    EXPECT_EQ(console.PageList().RowCount(), 0);
    EXPECT_TRUE(bridge->Reconnecting());
    EXPECT_TRUE(bridge->TimerRunning());

    std::vector<std::string> again = site;
    again.insert(again.end(), {"--listen", "127.0.0.1:" + std::to_string(port)});
    server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, again);
    ASSERT_EQ(server->Port(), port);
    ASSERT_TRUE(WaitForTitle(kOnline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowCount() >= int(before.size()); },
                                kWait));
    // Three more ticks: nothing may be added twice by the keep-alives or a second log-in.
    const int32_t firstPage = before.begin()->first;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int row = console.PageList().RowOf(firstPage);
            return row >= 0 && console.PageList().Text(row, PageListView::kColumnElapsed) ==
                                   QStringLiteral("3 minute(s)");
        },
        kWait));
    EXPECT_EQ(console.windowTitle(), kOnline);
    EXPECT_EQ(console.PageList().RowCount(), int(before.size()));
    EXPECT_EQ(Rows(), before);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().toStdString();
}

// The time from the server's end to the new log-in, with the server back at once (or after
// OLVEX_E2E_OUTAGE_SECONDS), against the real reconnection schedule.
TEST_F(ConsoleFaultTest, DemoServerBackAtOnceIsLoggedInAgainWithinSeconds) {
    const std::vector<std::string> site = {"--quiet", "--visitors", "5"};
    auto server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, site);
    const int port = server->Port();
    ASSERT_GT(port, 0);
    console.Settings().serverPort = port;
    bridge->AutoLogin();
    ASSERT_TRUE(WaitForTitle(kOnline));

    const int outageMs = qEnvironmentVariableIntValue("OLVEX_E2E_OUTAGE_SECONDS") * 1000;
    QElapsedTimer dropped;
    dropped.start();
    server->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge->Reconnecting(); }, kWait));
    if (outageMs > 0)
        QTest::qWait(outageMs);
    std::vector<std::string> again = site;
    again.insert(again.end(), {"--listen", "127.0.0.1:" + std::to_string(port)});
    server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, again);
    ASSERT_EQ(server->Port(), port);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !bridge->Reconnecting() && console.windowTitle() == kOnline; },
                        kWait + 2 * outageMs));
    const qint64 ms = dropped.elapsed();
    RecordProperty("DropToLogInMs", int(ms));
    std::printf("drop to log-in, server back after %d s: %lld ms\n", outageMs / 1000,
                static_cast<long long>(ms));
    if (outageMs == 0) {
        EXPECT_LT(ms, 10000);
    }
    EXPECT_TRUE(ui.messages.empty());
}

// Away before the drop is away again before the server can offer a visitor: no request
// reaches the console although the server offers one every 50 ms to whoever is online.
TEST_F(ConsoleFaultTest, AwayIsKeptAcrossAServerRestart) {
    const std::vector<std::string> site = {"--visitors",      "20",  "--seed", "7",
                                           "--request-every", "0.05"};
    auto server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, site);
    const int port = server->Port();
    ASSERT_GT(port, 0);
    console.Settings().serverPort = port;
    console.Settings().notifyTimeout = 60;
    bridge->AutoLogin();
    ASSERT_TRUE(WaitForTitle(kOnline));
    emit console.ButtonOf(OperatorConsole::Button::Status)
        .MenuCommand(OperatorConsole::kStatusAway);
    ASSERT_TRUE(WaitForTitle(kAway));
    // What came while online goes.
    QTest::qWait(200);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("callAlert"))
            delete window;
    }
    ASSERT_EQ(console.Waiting().requests.size(), 0);

    server->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge->Reconnecting(); }, kWait));
    std::vector<std::string> again = site;
    again.insert(again.end(), {"--listen", "127.0.0.1:" + std::to_string(port)});
    server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, again);
    ASSERT_EQ(server->Port(), port);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !bridge->Reconnecting() && console.windowTitle() == kAway; }, kWait))
        << console.windowTitle().toStdString();
    QTest::qWait(1000);
    EXPECT_EQ(console.Waiting().requests.size(), 0)
        << console.Waiting().requests.join(", ").toStdString();
    EXPECT_EQ(console.windowTitle(), kAway);

    // The server's side of it, as another operator sees it.
    AgentClient other{AgentOptions{1500ms, 1000ms, 2000ms}};
    ASSERT_EQ(other.Login("127.0.0.1", port, "alice", "alice"), 0);
    ASSERT_GT(other.RequestUserList(), 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& user : other.Users().Snapshot()) {
                if (user->firstName == "Dana")
                    return user->status == 3;
            }
            return false;
        },
        kWait));
    other.Logout(DisconnectReason::Logout);
    EXPECT_TRUE(ui.messages.empty());
}

// A console started before its server (the network still coming up) logs in once the server
// is there, with no box on the way.
TEST_F(ConsoleFaultTest, AutomaticLogInAtStartWaitsForTheServer) {
    // A port with nothing behind it yet.
    auto server = std::make_unique<demo::DemoServerProcess>(OLVEX_DEMO_SERVER_PATH,
                                                            std::vector<std::string>{"--quiet"});
    const int port = server->Port();
    ASSERT_GT(port, 0);
    server->Stop();
    console.Settings().serverPort = port;
    bridge->SetRetryDelays({200ms, 400ms}, 0);
    bridge->AutoLogin();
    const QString waiting = QStringLiteral("Olvex - Not connected (next try in ");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return console.windowTitle().startsWith(waiting) &&
                   console.windowTitle().endsWith(kConnectFailure);
        },
        kWait))
        << console.windowTitle().toStdString();
    QTest::qWait(1000); // a few more tries
    EXPECT_TRUE(ui.messages.empty());

    server = std::make_unique<demo::DemoServerProcess>(
        OLVEX_DEMO_SERVER_PATH,
        std::vector<std::string>{"--quiet", "--listen", "127.0.0.1:" + std::to_string(port)});
    ASSERT_EQ(server->Port(), port);
    ASSERT_TRUE(WaitForTitle(kOnline));
    EXPECT_TRUE(ui.messages.empty());
}

struct ScriptedServerTest : ConsoleFaultTest {
    // Reconnections try soon and then wait long, so that each step can be watched.
    ScriptedServerTest() { bridge->SetRetryDelays({300ms, 5000ms}, 0); }

    // Log-in through the automatic log-in; leaves the peer after the list requests.
    std::unique_ptr<FakeConnection> LogIn() {
        console.Settings().serverPort = server.Port();
        bridge->AutoLogin();
        auto peer = server.Accept();
        EXPECT_TRUE(peer);
        if (!peer)
            return nullptr;
        EXPECT_TRUE(peer->Expect(Payload(1001, {"demo", "demo"})));
        peer->Send(Payload(9001, {"1001", "42", "15"}));
        EXPECT_TRUE(peer->Expect(Payload(1006)));
        EXPECT_TRUE(peer->Expect(Payload(1007)));
        EXPECT_TRUE(WaitForTitle(kOnline));
        peer->Send(Payload(9001, {"1007", "1", "17", "0", "/a", "A", "", "2s", "10.0.0.9", "88"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return console.PageList().RowOf(17) == 0; }, kWait));
        return peer;
    }

    // The console's timer needs the event loop while the test waits for its connection.
    std::unique_ptr<FakeConnection> AcceptWhileRunning(int ms = kWait) {
        std::unique_ptr<FakeConnection> peer;
        (void)QTest::qWaitFor([&] { return (peer = server.Accept(10ms)) != nullptr; }, ms);
        return peer;
    }

    test::FakeServer server;
};

TEST_F(ScriptedServerTest, GarbageEndsTheConnectionAndTheConsoleReconnects) {
    const std::string garbage[] = {
        std::string("GET / HTTP/1.1\r\nHost: x\r\n\r\n"),
        std::string("<!>\0\0\0\0", 7),           // a frame of length 0
        std::string("<!>\xff\xff\xff\xf0xx", 9), // a negative length
    };
    for (const std::string& bytes : garbage) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        auto peer = LogIn();
        ASSERT_TRUE(peer);
        peer->SendRaw(bytes);
        // The window has been reset: Status goes with the connection.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return bridge->Reconnecting() &&
                       !console.ButtonOf(OperatorConsole::Button::Status).isEnabled();
            },
            kWait));
        EXPECT_EQ(console.PageList().RowCount(), 0);
        EXPECT_TRUE(console.ButtonOf(OperatorConsole::Button::Login).isEnabled());
        // Logged in again at once, quietly; a failed try waits for the next.
        auto next = AcceptWhileRunning();
        ASSERT_TRUE(next);
        EXPECT_TRUE(next->Expect(Payload(1001, {"demo", "demo"})));
        next->Close();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return console.windowTitle().startsWith(kReconnecting) &&
                       console.windowTitle().contains(QStringLiteral(" s): "));
            },
            kWait))
            << console.windowTitle().toStdString();
        bridge->Logout();
        EXPECT_FALSE(bridge->Reconnecting());
        ASSERT_TRUE(WaitForTitle(kNotConnected));
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().toStdString();
    }
}

TEST_F(ScriptedServerTest, StallInsideAFrameTimesOutWhileTheWindowKeepsRunning) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    Heartbeat heartbeat;
    QElapsedTimer stalled;
    stalled.start();
    // A 100-byte frame of which 10 bytes come; then nothing, while the connection stays open.
    peer->SendRaw(std::string("<!>\0\0\0\x64", 7) + "9003<~>400");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge->Reconnecting(); }, 15000));
    // The payload wait is the channel's time-out, not less.
    EXPECT_GE(stalled.elapsed(), 1000);
    EXPECT_GT(heartbeat.beats, 20);
    EXPECT_LT(heartbeat.longestPauseMs, 1000);
    EXPECT_TRUE(ui.messages.empty());
}

// A frame above the size cap is no passing fault: the operator is told, and the console
// does not log in again into the same refusal every minute.
TEST_F(ScriptedServerTest, FrameAboveTheCapIsShownAndNotRetried) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    peer->SendRaw(std::string("<!>\x7f\xff\xff\xff", 7) + std::string(64, 'x')); // 2 GiB
    ASSERT_TRUE(WaitForTitle(kNotConnected));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, kWait));
    EXPECT_EQ(ui.messages.front(), QStringLiteral("The connection to the Olvex server was "
                                                  "closed.\r\nThe socket message size is not "
                                                  "valid."));
    EXPECT_FALSE(bridge->TimerRunning());
    EXPECT_EQ(AcceptWhileRunning(1000), nullptr);
    EXPECT_TRUE(console.ButtonOf(OperatorConsole::Button::Login).isEnabled());
}

// A server that stops reading while a worker's send is stuck in it: the keep-alives of the
// ticks meanwhile must not hold up the window.
TEST_F(ScriptedServerTest, StalledServerNeverPausesTheWindow) {
    auto peer = LogIn();
    ASSERT_TRUE(peer);
    std::thread stuck([this] {
        const std::string text(8 << 20, 'x');
        while (engine.InviteVisitor(17, text.c_str()) > 0) {
        }
    });
    Heartbeat heartbeat;
    QTest::qWait(2500); // several ticks, their keep-alives behind the stuck send
    stuck.join();
    RecordProperty("LongestWindowPauseMs", int(heartbeat.longestPauseMs));
    std::printf("longest window pause behind a stalled server: %lld ms\n",
                static_cast<long long>(heartbeat.longestPauseMs));
    EXPECT_GT(heartbeat.beats, 50);
    EXPECT_LT(heartbeat.longestPauseMs, 500);
}

TEST_F(ScriptedServerTest, StallInsideTheLogInAnswerFailsTheLogInOnly) {
    console.Settings().serverPort = server.Port();
    console.Settings().reconnect = 0;
    Heartbeat heartbeat;
    bridge->AutoLogin();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"demo", "demo"})));
    peer->SendRaw("<!>\0"); // half a header, then silence
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, 15000));
    EXPECT_TRUE(ui.messages.front().startsWith(
        QStringLiteral("Failed to connect to the Olvex server.\r\n")))
        << ui.messages.front().toStdString();
    EXPECT_EQ(console.windowTitle(), kNotConnected);
    EXPECT_TRUE(console.ButtonOf(OperatorConsole::Button::Login).isEnabled());
    EXPECT_GT(heartbeat.beats, 20);
    EXPECT_LT(heartbeat.longestPauseMs, 1000);
}

// ---- damaged settings ---------------------------------------------------------------------

QString SettingsFile() {
    return test::ConfigHome() + QStringLiteral("/Olvex/Agent.conf");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

struct DamagedSettingsTest : ::testing::Test {
    DamagedSettingsTest() { test::ForgetStoredState(); }
    ~DamagedSettingsTest() override { test::ForgetStoredState(); }
};

TEST_F(DamagedSettingsTest, JunkAroundTheValuesKeepsEveryReadableOne) {
    QByteArray junk("[General]\n\x01\x02\xff\xfe garbage without equals\n");
    junk += QByteArray("ServerAddress=chat.example.net\n");
    junk += QByteArray("[unclosed section\n=\n");
    junk += QByteArray(5000, '\xee') + '\n';
    junk += QByteArray("[General]\nServerPort=4321\nUsername=zoe\nNotifyTimeout=17\n");
    junk += QByteArray("AutoLogin=\x00\x01\n", 13);
    WriteFile(SettingsFile(), junk);

    AgentSettings settings;
    EXPECT_EQ(settings.serverAddress, "chat.example.net");
    EXPECT_EQ(settings.serverPort, 4321);
    EXPECT_EQ(settings.username, "zoe");
    EXPECT_EQ(settings.notifyTimeout, 17);
    EXPECT_EQ(settings.autoLogin, 0);
    EXPECT_EQ(settings.reconnect, 1);

    // What the operator saves over such a file is what the next start reads.
    settings.password = "secret";
    settings.saveLogin = 1;
    settings.welcomeMsg = "Hi there";
    ASSERT_EQ(settings.Save(), 0);
    AgentSettings reread;
    EXPECT_EQ(reread.serverAddress, "chat.example.net");
    EXPECT_EQ(reread.serverPort, 4321);
    EXPECT_EQ(reread.username, "zoe");
    EXPECT_EQ(reread.password, "secret");
    EXPECT_EQ(reread.welcomeMsg, "Hi there");
    EXPECT_EQ(reread.notifyTimeout, 17);
}

TEST_F(DamagedSettingsTest, TruncatedFileKeepsTheValuesBeforeTheCut) {
    AgentSettings written;
    written.serverAddress = "10.1.2.3";
    written.serverPort = 9999;
    written.username = "amy";
    written.password = "pw";
    written.saveLogin = 1;
    written.welcomeMsg = "Welcome, how can I help?";
    ASSERT_EQ(written.Save(), 0);
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();

    // Cut anywhere: a value whose whole line survived reads back as written; the one the cut
    // went through reads as the part before the cut or not at all; nothing crashes.
    const AgentSettings defaults(QStringLiteral("Olvex/Nothing"));
    const auto keptOrCut = [](const std::string& read, const std::string& written,
                              const std::string& fallback) {
        return read == fallback || written.starts_with(read);
    };
    for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
        const QByteArray kept = whole.left(cut);
        WriteFile(SettingsFile(), kept);
        AgentSettings read;
        const auto survived = [&](const char* line) {
            return kept.contains(QByteArray(line) + '\n');
        };
        SCOPED_TRACE(kept.toStdString());
        if (survived("ServerPort=9999"))
            EXPECT_EQ(read.serverPort, 9999);
        else
            EXPECT_TRUE(keptOrCut(std::to_string(read.serverPort), "9999",
                                  std::to_string(defaults.serverPort)));
        if (survived("Username=amy"))
            EXPECT_EQ(read.username, "amy");
        else
            EXPECT_TRUE(keptOrCut(read.username, "amy", ""));
        if (survived("ServerAddress=10.1.2.3"))
            EXPECT_EQ(read.serverAddress, "10.1.2.3");
        else
            EXPECT_TRUE(keptOrCut(read.serverAddress, "10.1.2.3", defaults.serverAddress));
        if (survived("WelcomeMsg=Welcome, how can I help?"))
            EXPECT_EQ(read.welcomeMsg, written.welcomeMsg);
        else
            EXPECT_TRUE(keptOrCut(read.welcomeMsg, written.welcomeMsg, defaults.welcomeMsg));
    }
}

} // namespace
} // namespace olvex
