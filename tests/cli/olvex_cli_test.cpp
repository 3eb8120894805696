// Runs the built olvex-cli against the fake server and reads its JSON lines.
#include "cli_process.h"
#include "fake_server.h"

#include <algorithm>
#include <cctype>
#include <sstream>

using namespace olvex::test;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> CliArgs(int port) {
    return {OLVEX_CLI_PATH, "--server", "127.0.0.1:" + std::to_string(port), "--user", "ann",
            "--password",   "pw"};
}

// Accepts the program's connection and answers its log-in; null when it went otherwise.
std::unique_ptr<FakeConnection> LogIn(FakeServer& server, Child& cli) {
    auto peer = server.Accept();
    if (!peer || !peer->Expect(Payload(1001, {"ann", "pw"})))
        return nullptr;
    peer->Send(Payload(9001, {"1001", "42", "7"}));
    auto event = cli.ReadEvent();
    if (!event || event->at("event") != "OnLoggedIn")
        return nullptr;
    return peer;
}

} // namespace

TEST(OlvexCli, LogsInFollowsTheListsAndRunsCommands) {
    FakeServer server;
    Child cli(CliArgs(server.Port()));
    ASSERT_TRUE(cli.Started());
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9001, {"1001", "42", "7"}));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnLoggedIn"}}));

    ASSERT_TRUE(peer->Expect("1006"));
    ASSERT_TRUE(peer->Expect("1007"));
    peer->Send(Payload(9001, {"1006", "1", "5", "0", "2", "1", "host", "Bo", "Ray"}));
    peer->Send(Payload(
        9001, {"1007", "1", "17", "3", "/a", "A \"quoted\" title", "ref", "2s", "10.0.0.9", "88"}));
    EXPECT_EQ(cli.ReadEvent()->at("event"), "OnUserListReceived");
    EXPECT_EQ(cli.ReadEvent()->at("event"), "OnPageListReceived");

    // Bytes that are not UTF-8 still give a line of valid JSON.
    peer->Send(Payload(9003, {"1001", "6", "1", "2", "3", "h2", "Bad\xff\xfe", "Name"}));
    auto user = cli.ReadEvent();
    ASSERT_TRUE(user);
    EXPECT_EQ(*user, Json({{"event", "OnUserLoggedIn"},
                           {"userId", 6},
                           {"auxNumber", 1},
                           {"kind", 2},
                           {"status", 3},
                           {"host", "h2"},
                           {"firstName", "Bad\xef\xbf\xbd\xef\xbf\xbd"},
                           {"lastName", "Name"}}));

    cli.WriteLine("status 2");
    ASSERT_TRUE(peer->Expect("10032<~>"));
    peer->Send(Payload(9001, {"1003", "2"}));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnStatusChanged"}, {"status", 2}}));

    // Bad lines change nothing: the next frame on the wire is the invitation.
    cli.WriteLine("dance");
    cli.WriteLine("status busy");
    cli.WriteLine("invite x hello");
    cli.WriteLine("invite 17 hello there");
    ASSERT_TRUE(peer->Expect("400317<~>hello there<~>"));
    peer->Send(Payload(9001, {"4003", "17"}));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnVisitorInvited"},
                                     {"pageId", 17},
                                     {"auxNumber", 3},
                                     {"visitorNumber", 88},
                                     {"url", "/a"},
                                     {"title", "A \"quoted\" title"},
                                     {"referrer", "ref"},
                                     {"loadTime", "2s"},
                                     {"ipAddress", "10.0.0.9"}}));

    peer->Send(Payload(9003, {"2001", "40", "77", "Vi", ""}));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnCallRequest"},
                                     {"callId", 77},
                                     {"requesterId", 40},
                                     {"kind", 1},
                                     {"text1", "Vi"},
                                     {"text2", nullptr},
                                     {"text3", nullptr}}));

    cli.WriteLine("keepalive");
    ASSERT_TRUE(peer->Expect("5001"));
    cli.WriteLine("quit");
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnDisconnected"}, {"reason", 4}}));
    EXPECT_EQ(cli.Wait(), 0);
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
    const std::string errors = cli.ReadAllErrors();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 3) << errors;
}

TEST(OlvexCli, EndOfInputAfterLogoutQuits) {
    FakeServer server;
    Child cli(CliArgs(server.Port()));
    auto peer = LogIn(server, cli);
    ASSERT_TRUE(peer);
    cli.WriteLine("logout");
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnDisconnected"}, {"reason", 1}}));
    cli.CloseInput();
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnDisconnected"}, {"reason", 4}}));
    EXPECT_EQ(cli.Wait(), 0);
}

TEST(OlvexCli, RefusedLoginPrintsTheResultTextAndExitsOne) {
    FakeServer server;
    Child cli(CliArgs(server.Port()));
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9002, {"1001", "-24"}));
    EXPECT_EQ(cli.ReadLine(), std::nullopt) << "no events on stdout";
    EXPECT_EQ(cli.Wait(), 1);
    EXPECT_EQ(cli.ReadAllErrors(), "The supplied user credentials are not valid.\n");
}

TEST(OlvexCli, DrivesACallThroughItsCommands) {
    FakeServer server;
    Child cli(CliArgs(server.Port()));
    auto peer = LogIn(server, cli);
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect("1006"));
    ASSERT_TRUE(peer->Expect("1007"));
    peer->Send(Payload(9001, {"1006", "1", "5", "0", "2", "1", "host", "Bo", "Ray"}));
    EXPECT_EQ(cli.ReadEvent()->at("event"), "OnUserListReceived");

    cli.WriteLine("accept 77");
    auto call = server.Accept();
    ASSERT_TRUE(call);
    ASSERT_TRUE(call->Expect(Payload(2003, {"77", "42", "0", "2"})));
    call->Send(Payload(9001, {"2003"}));
    ASSERT_TRUE(call->Expect("1006"));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnMessageSent"},
                                     {"callId", 77},
                                     {"code", 1006},
                                     {"fields", Json::array()}}));
    call->Send(Payload(9001, {"1006", "1", "40", "0", "1", "1", "", "Vi", ""}));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnParticipantsReceived"}, {"callId", 77}}));

    auto sent = [&](std::vector<std::string> fields) {
        auto event = cli.ReadEvent();
        return event && *event == Json({{"event", "OnMessageSent"},
                                        {"callId", 77},
                                        {"code", 3003},
                                        {"fields", fields}});
    };
    cli.WriteLine("say 77 hello <b>there</b>");
    ASSERT_TRUE(call->Expect(Payload(3003, {"1", "ann", "hello <b>there</b>"})));
    EXPECT_TRUE(sent({"1", "ann", "hello <b>there</b>"}));
    cli.WriteLine("typing 77");
    ASSERT_TRUE(call->Expect(Payload(3003, {"2", "ann"})));
    EXPECT_TRUE(sent({"2", "ann"}));
    cli.WriteLine("push 77 http://example.com/a?b=c&d");
    ASSERT_TRUE(call->Expect(Payload(3003, {"4", "ann", "http://example.com/a?b=c&d"})));
    EXPECT_TRUE(sent({"4", "ann", "http://example.com/a?b=c&d"}));

    cli.WriteLine("inviteop 77 5");
    ASSERT_TRUE(call->Expect(Payload(2002, {"5", "invitation"})));
    EXPECT_EQ(cli.ReadEvent()->at("code"), 2002);
    call->Send(Payload(9001, {"2002", "5"}));
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnOperatorInvited"},
                                     {"callId", 77},
                                     {"userId", 5},
                                     {"auxNumber", 0},
                                     {"kind", 2},
                                     {"status", 1},
                                     {"host", "host"},
                                     {"firstName", "Bo"},
                                     {"lastName", "Ray"}}));

    call->Send(Payload(3003, {"1", "Vi", "hi"}));
    // The call's id comes right after the event's name.
    EXPECT_EQ(cli.ReadLine(),
              R"({"event":"OnChatMessage","callId":77,"code":3003,"fields":["1","Vi","hi"]})");

    cli.WriteLine("accept 77");   // already open
    cli.WriteLine("say 78 lost"); // no such call
    cli.WriteLine("typing 77 extra");
    call->Close();
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnCallClosed"}, {"callId", 77}, {"reason", 2}}));
    cli.WriteLine("hangup 77");
    // Closing the channel and the removal each report reason 1.
    const Json closedLocally{{"event", "OnCallClosed"}, {"callId", 77}, {"reason", 1}};
    EXPECT_EQ(cli.ReadEvent(), closedLocally);
    EXPECT_EQ(cli.ReadEvent(), closedLocally);
    cli.WriteLine("quit");
    EXPECT_EQ(cli.ReadEvent(), Json({{"event", "OnDisconnected"}, {"reason", 4}}));
    EXPECT_EQ(cli.Wait(), 0);
    EXPECT_EQ(cli.ReadAllErrors(), "accept: -28 The chat session could not be found.\n"
                                   "say: -28 The chat session could not be found.\n"
                                   "typing: expected CALLID\n");
}

// A call still waiting for the server's answer to its join is given up at once
// by hangup and by quit, instead of holding the command loop for the time-out.
TEST(OlvexCli, HangupAndQuitGiveUpAConnectingCall) {
    FakeServer server;
    Child cli(CliArgs(server.Port()));
    auto peer = LogIn(server, cli);
    ASSERT_TRUE(peer);

    cli.WriteLine("accept 77");
    auto silent = server.Accept();
    ASSERT_TRUE(silent && silent->Receive());
    cli.WriteLine("hangup 77");
    EXPECT_TRUE(silent->WaitForPeerClose(1s));

    cli.WriteLine("accept 78");
    auto another = server.Accept();
    ASSERT_TRUE(another && another->Receive());
    const auto start = std::chrono::steady_clock::now();
    cli.WriteLine("quit");
    EXPECT_TRUE(another->WaitForPeerClose(1s));
    EXPECT_EQ(cli.Wait(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(cli.ReadAllErrors(), "");
}

TEST(OlvexCli, FrameAboveTheCapIsReported) {
    FakeServer server;
    Child cli(CliArgs(server.Port()));
    auto peer = LogIn(server, cli);
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect("1006"));
    ASSERT_TRUE(peer->Expect("1007"));
    peer->SendRaw(std::string("<!>\x7f\xff\xff\xff", 7));
    for (auto event = cli.ReadEvent(); event; event = cli.ReadEvent()) {
        if (event->at("event") == "OnDisconnected") {
            EXPECT_EQ(event->at("reason"), 2);
            break;
        }
    }
    cli.WriteLine("quit");
    EXPECT_EQ(cli.Wait(), 0);
    EXPECT_EQ(cli.ReadAllErrors(), "connection: -15 The socket message size is not valid.\n");
}

TEST(OlvexCli, VerboseWritesTheEnginesLogAsJsonLinesOnStderr) {
    FakeServer server;
    std::vector<std::string> args = CliArgs(server.Port());
    args.push_back("--verbose");
    Child cli(args);
    ASSERT_TRUE(cli.Started());
    auto peer = server.Accept();
    ASSERT_TRUE(peer && peer->Receive());
    peer->Send(Payload(9002, {"1001", "-24"}));
    EXPECT_EQ(cli.Wait(), 1);

    const std::string where = "127.0.0.1:" + std::to_string(server.Port());
    std::vector<Json> lines;
    std::string plain;
    std::istringstream errors(cli.ReadAllErrors());
    for (std::string line; std::getline(errors, line);) {
        if (line.starts_with("{"))
            lines.push_back(Json::parse(line));
        else
            plain += line + "\n";
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().at("category"), "olvex.engine");
    EXPECT_EQ(lines.front().at("level"), "info");
    EXPECT_EQ(lines.front().at("message"), "logging in to " + where + " as \"ann\"");
    // "2026-12-08T14:02:46.123Z"
    const std::string time = lines.front().at("time");
    const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
    ASSERT_EQ(time.size(), shape.size()) << time;
    for (size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(time[i])) != 0
                                    : time[i] == shape[i])
            << time;
    const Json refused = {{"level", "warning"},
                          {"category", "olvex.engine"},
                          {"message", "log-in to " + where +
                                          " failed: The supplied user credentials are not valid. "
                                          "(-24)"}};
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](Json line) {
        line.erase("time");
        return line == refused;
    }));
    EXPECT_EQ(plain, "The supplied user credentials are not valid.\n");
}
