// olvex-cli against the real olvex-demo-server: both run as child processes
// and talk over loopback, the way an operator's console talks to a server.
#include "archive_reader.h"
#include "cli_process.h"
#include "demo_server_process.h"
#include "recording_relay.h"
#include "test_pki.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

using namespace olvex::test;
using namespace std::chrono_literals;
using olvex::demo::DemoServerProcess;

namespace {

constexpr auto kEventWait = 10s;

// A quiet server: visitors stay on their pages and only answer, so every step
// below is the test's own. Stopping it must end the process cleanly.
class QuietServer {
public:
    explicit QuietServer(const std::string& seed = "7", int visitors = 4)
        : process_(OLVEX_DEMO_SERVER_PATH,
                   {"--quiet", "--seed", seed, "--visitors", std::to_string(visitors)}) {}
    ~QuietServer() { EXPECT_EQ(process_.Stop(), 0) << "the demo server did not exit cleanly"; }
    int Port() const { return process_.Port(); }

private:
    DemoServerProcess process_;
};

// One olvex-cli logged in as `user` (password = user name).
class Operator {
public:
    Operator(int port, const std::string& user, const std::vector<std::string>& more = {})
        : cli_([&] {
              std::vector<std::string> args{
                  OLVEX_CLI_PATH, "--server", "127.0.0.1:" + std::to_string(port), "--user", user,
                  "--password",   user};
              args.insert(args.end(), more.begin(), more.end());
              return args;
          }()) {}

    Child& Cli() { return cli_; }
    void Command(const std::string& line) { cli_.WriteLine(line); }

    // The first event named `name` for which `match` holds. Events from different
    // threads of the client (a call's sender and receiver) may come in either order, so the
    // ones passed over are kept and looked at first by the next wait.
    std::optional<Json> WaitFor(const std::string& name,
                                const std::function<bool(const Json&)>& match = {}) {
        auto wanted = [&](const Json& event) {
            return event.value("event", "") == name && (!match || match(event));
        };
        for (auto it = passedOver_.begin(); it != passedOver_.end(); ++it) {
            if (wanted(*it)) {
                Json event = std::move(*it);
                passedOver_.erase(it);
                return event;
            }
        }
        const auto deadline = std::chrono::steady_clock::now() + kEventWait;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            auto event = cli_.ReadEvent(left);
            if (!event)
                return std::nullopt;
            if (wanted(*event))
                return event;
            passedOver_.push_back(std::move(*event));
        }
    }
    // Logs in and returns the user list the log-in brings.
    Json LogIn() {
        EXPECT_TRUE(WaitFor("OnLoggedIn"));
        auto users = WaitFor("OnUserListReceived");
        EXPECT_TRUE(users);
        return users ? users->at("users") : Json::array();
    }

private:
    Child cli_;
    std::deque<Json> passedOver_;
};

int32_t UserIdOf(const Json& users, const std::string& firstName) {
    for (const Json& user : users) {
        if (user.at("firstName") == firstName)
            return user.at("userId").get<int32_t>();
    }
    ADD_FAILURE() << firstName << " is not in " << users.dump();
    return 0;
}

std::function<bool(const Json&)> Field(const char* key, Json value) {
    return [key, value](const Json& event) { return event.value(key, Json()) == value; };
}

// `op` invites the visitor of the first page, takes the call the visitor then
// asks for, and returns its id and the visitor's name.
std::pair<int32_t, std::string> TakeInvitedCall(Operator& op) {
    auto pages = op.WaitFor("OnPageListReceived");
    if (!pages || pages->at("pages").empty()) {
        ADD_FAILURE() << "no pages to invite";
        return {0, ""};
    }
    const int32_t pageId = pages->at("pages")[0].at("pageId").get<int32_t>();
    op.Command("invite " + std::to_string(pageId) + " Can I help?");
    EXPECT_TRUE(op.WaitFor("OnVisitorInvited", Field("pageId", pageId)));
    auto request = op.WaitFor("OnCallRequest");
    if (!request) {
        ADD_FAILURE() << "the invited visitor did not ask for a call";
        return {0, ""};
    }
    EXPECT_EQ(request->at("kind"), 1);
    EXPECT_EQ(request->at("text2"), "I accepted your invitation.");
    const int32_t callId = request->at("callId").get<int32_t>();
    op.Command("accept " + std::to_string(callId));
    EXPECT_TRUE(op.WaitFor("OnParticipantsReceived", Field("callId", callId)));
    return {callId, request->at("text1").get<std::string>()};
}

Json ChatItem(std::vector<std::string> fields) {
    return Json(std::move(fields));
}

} // namespace

TEST(OlvexCliDemoServer, LogInBringsTheListsAndRefusalsEndTheClient) {
    QuietServer server;
    ASSERT_GT(server.Port(), 0);
    Operator alice(server.Port(), "alice");
    const Json aliceList = alice.LogIn();
    ASSERT_EQ(aliceList.size(), 1u);
    EXPECT_EQ(aliceList[0].at("lastName"), "Archer");
    EXPECT_EQ(aliceList[0].at("kind"), 2);
    EXPECT_EQ(aliceList[0].at("status"), 1);

    Operator demo(server.Port(), "demo");
    const Json users = demo.LogIn();
    EXPECT_EQ(users.size(), 2u);
    const int32_t demoId = UserIdOf(users, "Dana");
    EXPECT_EQ(UserIdOf(users, "Alice"), aliceList[0].at("userId"));
    auto pages = demo.WaitFor("OnPageListReceived");
    ASSERT_TRUE(pages);
    ASSERT_EQ(pages->at("pages").size(), 4u);
    for (const Json& page : pages->at("pages")) {
        EXPECT_FALSE(page.at("url").get<std::string>().empty()) << page;
        EXPECT_FALSE(page.at("title").get<std::string>().empty()) << page;
        EXPECT_FALSE(page.at("ipAddress").get<std::string>().empty()) << page;
        EXPECT_GT(page.at("visitorNumber"), 0) << page;
    }
    // The one already there is told of the newcomer.
    auto joined = alice.WaitFor("OnUserLoggedIn");
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->at("userId"), demoId);
    EXPECT_EQ(joined->at("firstName"), "Dana");

    // "users" and "pages" ask again and get the same.
    demo.Command("users");
    auto again = demo.WaitFor("OnUserListReceived");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->at("users"), users);

    Child badPassword({OLVEX_CLI_PATH, "--server", "127.0.0.1:" + std::to_string(server.Port()),
                       "--user", "bob", "--password", "alice"});
    EXPECT_EQ(badPassword.Wait(), 1);
    EXPECT_EQ(badPassword.ReadAllErrors(), "The supplied user credentials are not valid.\n");
    Operator twice(server.Port(), "demo");
    EXPECT_EQ(twice.Cli().Wait(), 1);
    EXPECT_EQ(twice.Cli().ReadAllErrors(), "You are already signed in to the Olvex server.\n");
}

TEST(OlvexCliDemoServer, TheSameSeedGivesTheSamePages) {
    auto pagesFrom = [](const std::string& seed) {
        QuietServer server(seed, 6);
        Operator demo(server.Port(), "demo");
        auto pages = demo.WaitFor("OnPageListReceived");
        return pages ? pages->at("pages") : Json();
    };
    const Json first = pagesFrom("11");
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(pagesFrom("11"), first);
    EXPECT_NE(pagesFrom("12"), first);
}

TEST(OlvexCliDemoServer, StatusChangeIsSeenByTheOtherOperatorAndLogoutToo) {
    QuietServer server;
    Operator alice(server.Port(), "alice");
    alice.LogIn();
    Operator bob(server.Port(), "bob");
    const int32_t bobId = UserIdOf(bob.LogIn(), "Bob");
    ASSERT_TRUE(alice.WaitFor("OnUserLoggedIn", Field("userId", bobId)));

    for (int status : {3, 2, 1}) {
        bob.Command("status " + std::to_string(status));
        EXPECT_TRUE(bob.WaitFor("OnStatusChanged", Field("status", status))) << status;
        auto seen = alice.WaitFor("OnUserStatusChanged", Field("status", status));
        ASSERT_TRUE(seen) << status;
        EXPECT_EQ(seen->at("userId"), bobId);
        EXPECT_EQ(seen->at("firstName"), "Bob");
    }
    // The list asked for afterwards agrees with the notifications.
    bob.Command("status 2");
    ASSERT_TRUE(alice.WaitFor("OnUserStatusChanged", Field("status", 2)));
    alice.Command("users");
    auto list = alice.WaitFor("OnUserListReceived");
    ASSERT_TRUE(list);
    bool found = false;
    for (const Json& user : list->at("users")) {
        if (user.at("userId") == bobId) {
            found = true;
            EXPECT_EQ(user.at("status"), 2);
        }
    }
    EXPECT_TRUE(found);

    bob.Command("quit");
    EXPECT_EQ(bob.Cli().Wait(), 0);
    EXPECT_TRUE(alice.WaitFor("OnUserLoggedOut", Field("userId", bobId)));
}

TEST(OlvexCliDemoServer, CallWithAVisitorWhoReplies) {
    QuietServer server;
    Operator demo(server.Port(), "demo");
    demo.LogIn();
    auto [callId, visitor] = TakeInvitedCall(demo);
    ASSERT_GT(callId, 0);
    ASSERT_FALSE(visitor.empty());
    const auto inCall = Field("callId", callId);

    demo.Command("say " + std::to_string(callId) + " Hello, how can I help?");
    auto sent = demo.WaitFor("OnMessageSent", Field("code", 3003));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->at("fields"), ChatItem({"1", "demo", "Hello, how can I help?"}));

    // The visitor types, then answers with a line of its own.
    auto typing = demo.WaitFor("OnChatMessage", inCall);
    ASSERT_TRUE(typing);
    EXPECT_EQ(typing->at("fields"), ChatItem({"2", visitor}));
    auto reply = demo.WaitFor("OnChatMessage", inCall);
    ASSERT_TRUE(reply);
    const Json& fields = reply->at("fields");
    ASSERT_EQ(fields.size(), 3u) << fields;
    EXPECT_EQ(fields[0], "1");
    EXPECT_EQ(fields[1], visitor);
    EXPECT_FALSE(fields[2].get<std::string>().empty());

    // A second line gets a second answer.
    demo.Command("say " + std::to_string(callId) + " Anything else?");
    auto second = demo.WaitFor("OnChatMessage", [&](const Json& e) {
        return inCall(e) && e.at("fields").size() == 3 && e.at("fields")[0] == "1";
    });
    EXPECT_TRUE(second);

    demo.Command("hangup " + std::to_string(callId));
    EXPECT_TRUE(demo.WaitFor("OnCallClosed", inCall));
    demo.Command("quit");
    EXPECT_EQ(demo.Cli().Wait(), 0);
    EXPECT_EQ(demo.Cli().ReadAllErrors(), "");
}

TEST(OlvexCliDemoServer, InvitedOperatorJoinsTheCall) {
    QuietServer server;
    Operator alice(server.Port(), "alice");
    const int32_t aliceId = UserIdOf(alice.LogIn(), "Alice");
    Operator demo(server.Port(), "demo");
    const int32_t demoId = UserIdOf(demo.LogIn(), "Dana");
    auto [callId, visitor] = TakeInvitedCall(demo);
    ASSERT_GT(callId, 0);
    const std::string call = std::to_string(callId);
    const auto inCall = Field("callId", callId);

    demo.Command("inviteop " + call + " " + std::to_string(aliceId));
    auto invited = demo.WaitFor("OnOperatorInvited", inCall);
    ASSERT_TRUE(invited);
    EXPECT_EQ(invited->at("userId"), aliceId);
    EXPECT_EQ(invited->at("firstName"), "Alice");

    // Alice is offered the call as a transfer from Dana Demo.
    auto offer = alice.WaitFor("OnCallRequest", inCall);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->at("kind"), 2);
    EXPECT_EQ(offer->at("requesterId"), demoId);
    EXPECT_EQ(offer->at("text1"), "Dana");
    EXPECT_EQ(offer->at("text2"), "Demo");
    EXPECT_EQ(offer->at("text3"), "invitation");

    alice.Command("accept " + call);
    EXPECT_TRUE(alice.WaitFor("OnParticipantsReceived", inCall));
    auto joined = demo.WaitFor("OnParticipantJoined", inCall);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->at("userId"), aliceId);
    EXPECT_EQ(joined->at("kind"), 2);
    EXPECT_EQ(joined->at("firstName"), "Alice");
    EXPECT_EQ(joined->at("lastName"), "Archer");

    // Lines now reach the other operator, and the visitor answers both.
    alice.Command("say " + call + " Hi, Alice here.");
    auto heard = demo.WaitFor("OnChatMessage", [&](const Json& e) {
        return inCall(e) && e.at("fields")[0] == "1" && e.at("fields")[1] == "alice";
    });
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->at("fields"), ChatItem({"1", "alice", "Hi, Alice here."}));
    auto visitorLine = [&](const Json& e) {
        return inCall(e) && e.at("fields")[0] == "1" && e.at("fields")[1] == visitor;
    };
    auto answerToDemo = demo.WaitFor("OnChatMessage", visitorLine);
    auto answerToAlice = alice.WaitFor("OnChatMessage", visitorLine);
    ASSERT_TRUE(answerToDemo);
    ASSERT_TRUE(answerToAlice);
    EXPECT_EQ(answerToDemo->at("fields"), answerToAlice->at("fields"));

    alice.Command("hangup " + call);
    EXPECT_TRUE(alice.WaitFor("OnCallClosed", inCall));
    auto left = demo.WaitFor("OnParticipantLeft", inCall);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->at("userId"), aliceId);
}

TEST(OlvexCliDemoServer, OverTlsNeitherPasswordNorChatLinesCrossTheWireInClear) {
    TestPki pki;
    DemoServerProcess server(OLVEX_DEMO_SERVER_PATH,
                             {"--quiet", "--seed", "7", "--visitors", "4", "--tls-cert",
                              pki.certFile, "--tls-key", pki.keyFile});
    ASSERT_GT(server.Port(), 0);
    RecordingRelay relay(server.Port());
    const std::string line = "Our unlisted offer code is 4711";
    {
        Operator alice(relay.Port(), "alice", {"--tls", "--ca-file", pki.caFile});
        alice.LogIn();
        auto [callId, visitor] = TakeInvitedCall(alice);
        ASSERT_GT(callId, 0);
        alice.Command("say " + std::to_string(callId) + " " + line);
        ASSERT_TRUE(alice.WaitFor("OnMessageSent", Field("code", 3003)));
        auto reply = alice.WaitFor("OnChatMessage", [](const Json& e) {
            return e.at("fields").size() == 3 && e.at("fields")[0] == "1";
        });
        ASSERT_TRUE(reply);
        alice.Command("quit");
        EXPECT_EQ(alice.Cli().Wait(), 0);
    }
    const std::string wire = relay.Recorded();
    EXPECT_GT(wire.size(), 2000u);
    for (const char* secret : {"alice", "Alice", "4711", "<!>", "<~>"})
        EXPECT_EQ(wire.find(secret), std::string::npos) << secret << " crossed in clear";

    // Without the right authority the client refuses, with the reason.
    Child untrusted({OLVEX_CLI_PATH, "--server", "127.0.0.1:" + std::to_string(server.Port()),
                     "--user", "bob", "--password", "bob", "--tls"});
    EXPECT_EQ(untrusted.Wait(), 1);
    EXPECT_EQ(untrusted.ReadAllErrors(), "The server's certificate could not be verified. "
                                         "(unable to get local issuer certificate)\n");
    // Plain against this server: told that it wants TLS.
    Child plain({OLVEX_CLI_PATH, "--server", "127.0.0.1:" + std::to_string(server.Port()), "--user",
                 "bob", "--password", "bob"});
    EXPECT_EQ(plain.Wait(), 1);
    EXPECT_EQ(plain.ReadAllErrors(),
              "The server expects a secure connection (TLS); turn on TLS for this server.\n");
    EXPECT_EQ(server.Stop(), 0);
}

TEST(OlvexCliDemoServer, TheRelaySeesAPlainLogIn) {
    QuietServer server;
    RecordingRelay relay(server.Port());
    Operator bob(relay.Port(), "bob");
    bob.LogIn();
    bob.Command("quit");
    EXPECT_EQ(bob.Cli().Wait(), 0);
    EXPECT_NE(relay.Recorded().find("1001bob<~>bob<~>"), std::string::npos);
}

TEST(OlvexCliDemoServer, AKillRightAfterALineWasShownLosesNoneOfTheCallsLines) {
    QuietServer server;
    char folder[] = "/tmp/olvex-cli-history-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/history.sqlite";
    Operator demo(server.Port(), "demo", {"--history", path});
    demo.LogIn();
    const auto [callId, visitor] = TakeInvitedCall(demo);
    ASSERT_GT(callId, 0);
    demo.Command("say " + std::to_string(callId) + " Grüße, <b>how</b> can I help?");
    auto reply = demo.WaitFor("OnChatMessage", [](const Json& e) {
        return e.at("fields").size() == 3 && e.at("fields")[0] == "1";
    });
    ASSERT_TRUE(reply);
    demo.Cli().Kill();

    olvex::ArchiveReader reader(path);
    const auto conversations = reader.Conversations();
    ASSERT_EQ(conversations.size(), 1u);
    EXPECT_EQ(conversations[0].callId, callId);
    EXPECT_EQ(conversations[0].operatorName, "demo");
    EXPECT_EQ(conversations[0].visitors, visitor);
    std::vector<std::string> texts;
    for (const auto& line : reader.Lines(conversations[0].id))
        texts.push_back(line.name + ": " + line.text);
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  ": " + visitor + " has joined this call", "demo: Grüße, <b>how</b> can I help?",
                  visitor + ": " + reply->at("fields")[2].get<std::string>()}));
    std::filesystem::remove_all(folder);
}
