// The demo server run as a child process and driven over loopback sockets,
// the way the console drives a real server.
#include "demo_server_process.h"
#include "operator_client.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace olvex::test {
namespace {

using namespace std::chrono_literals;
using demo::DemoServerProcess;

// Every test ends by stopping its server: a clean exit also means that no
// sanitizer found anything in the server process.
class Server {
public:
    explicit Server(std::vector<std::string> arguments)
        : process_(std::make_unique<DemoServerProcess>(OLVEX_DEMO_SERVER_PATH, arguments)) {}
    Server(Server&&) = default;
    ~Server() {
        if (process_) {
            EXPECT_EQ(process_->Stop(), 0) << "the server did not exit cleanly";
        }
    }
    DemoServerProcess* operator->() const { return process_.get(); }

private:
    std::unique_ptr<DemoServerProcess> process_;
};

Server StartServer(std::vector<std::string> arguments) {
    Server server(std::move(arguments));
    EXPECT_GT(server->Port(), 0) << "the server did not report its port";
    return server;
}

// A quiet server with a few static visitors: tests script every step.
Server QuietServer(int visitors = 3) {
    return StartServer({"--quiet", "--visitors", std::to_string(visitors)});
}

std::vector<std::string> Fields(const WireMessage& message) {
    std::vector<std::string> fields;
    for (int i = 1; i <= message.FieldCount(); ++i)
        fields.emplace_back(message.FieldView(i));
    return fields;
}

// Logs in and returns the connection; the user id goes to `userId`.
std::unique_ptr<OperatorClient> LoggedIn(int port, const char* user, int32_t& userId) {
    auto client = std::make_unique<OperatorClient>(port);
    userId = client->Login(user, user);
    EXPECT_GT(userId, 0) << user;
    return client;
}

TEST(DemoServerTest, LogInAnswersAndRefusals) {
    auto server = StartServer({"--quiet", "--latest-version", "17"});
    OperatorClient demo(server->Port());
    ASSERT_TRUE(demo.Send(1001, {"demo", "demo"}));
    auto answer = demo.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Code(), 9001);
    EXPECT_EQ(answer->GetInt(1), 1001);
    const int32_t demoId = answer->GetInt(2);
    EXPECT_GT(demoId, 0);
    EXPECT_EQ(answer->GetInt(3), 17);

    OperatorClient wrong(server->Port());
    EXPECT_EQ(wrong.Login("alice", "bob"), -24);
    EXPECT_EQ(wrong.Login("nobody", "nobody"), -24);
    // A refused log-in leaves the connection usable for another try.
    EXPECT_GT(wrong.Login("alice", "alice"), 0);

    OperatorClient twice(server->Port());
    EXPECT_EQ(twice.Login("demo", "demo"), -35);
    EXPECT_EQ(demo.Login("demo", "demo"), -35) << "a second log-in on the same connection";
}

TEST(DemoServerTest, ClosedConnectionLogsOutAndFreesTheAccount) {
    auto server = QuietServer();
    int32_t aliceId = 0, bobId = 0;
    auto alice = LoggedIn(server->Port(), "alice", aliceId);
    {
        auto bob = LoggedIn(server->Port(), "bob", bobId);
        auto joined = alice->WaitFor(9003, 1001);
        ASSERT_TRUE(joined);
        EXPECT_EQ(Fields(*joined),
                  (std::vector<std::string>{"1001", std::to_string(bobId), "0", "2", "1",
                                            "127.0.0.1", "Bob", "Baker"}));
    }
    auto left = alice->WaitFor(9003, 1002);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->GetInt(2), bobId);
    EXPECT_EQ(left->GetInt(3), 2);

    OperatorClient again(server->Port());
    EXPECT_EQ(again.Login("bob", "bob"), bobId);
}

TEST(DemoServerTest, OperatorListAndStatusRoundTrip) {
    auto server = QuietServer();
    int32_t aliceId = 0, bobId = 0;
    auto alice = LoggedIn(server->Port(), "alice", aliceId);
    auto bob = LoggedIn(server->Port(), "bob", bobId);
    ASSERT_TRUE(alice->WaitFor(9003, 1001));

    ASSERT_TRUE(bob->Send(1006));
    auto list = bob->WaitFor(9001, 1006);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->GetInt(2), 2);
    ASSERT_EQ(list->FieldCount(), 2 + 2 * 7);
    std::set<int32_t> ids{list->GetInt(3), list->GetInt(10)};
    EXPECT_EQ(ids, (std::set<int32_t>{aliceId, bobId}));

    ASSERT_TRUE(bob->Send(1003, {"2"}));
    auto own = bob->WaitFor(9001, 1003);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->GetInt(2), 2);
    auto seen = alice->WaitFor(9003, 1003);
    ASSERT_TRUE(seen);
    EXPECT_EQ(Fields(*seen), (std::vector<std::string>{"1003", std::to_string(bobId), "2", "2"}));

    // An unknown status is refused without dropping the operator.
    ASSERT_TRUE(bob->Send(1003, {"7"}));
    auto refused = bob->WaitFor(9002, 1003);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->GetInt(2), -19);
    ASSERT_TRUE(bob->Send(1006));
    auto after = bob->WaitFor(9001, 1006);
    ASSERT_TRUE(after);
    const int bobAt = after->GetInt(3) == bobId ? 3 : 10;
    EXPECT_EQ(after->GetInt(bobAt + 3), 2) << "the refused change must not stick";
}

TEST(DemoServerTest, PageListFollowsTheSeed) {
    auto pages = [](std::vector<std::string> arguments) {
        auto server = StartServer(arguments);
        int32_t id = 0;
        auto demo = LoggedIn(server->Port(), "demo", id);
        demo->Send(1007);
        auto list = demo->WaitFor(9001, 1007);
        return list ? list->Payload() : std::string();
    };
    const std::string first = pages({"--quiet", "--visitors", "40", "--seed", "7"});
    EXPECT_EQ(first, pages({"--quiet", "--visitors", "40", "--seed", "7"}));
    EXPECT_NE(first, pages({"--quiet", "--visitors", "40", "--seed", "8"}));

    WireMessage list;
    list.SetPayload(first);
    ASSERT_EQ(list.GetInt(2), 40);
    ASSERT_EQ(list.FieldCount(), 2 + 40 * 8);
    std::set<int32_t> pageIds;
    for (int k = 0; k < 40; ++k) {
        const int at = 3 + 8 * k;
        pageIds.insert(list.GetInt(at));
        EXPECT_EQ(list.FieldView(at + 2).rfind("http://", 0), 0u);
        EXPECT_FALSE(list.FieldView(at + 3).empty());
        EXPECT_FALSE(list.FieldView(at + 5).empty());
        EXPECT_FALSE(list.FieldView(at + 6).empty());
        EXPECT_GT(list.GetInt(at + 7), 0);
    }
    EXPECT_EQ(pageIds.size(), 40u);
}

// An invitation the visitor accepts, and the call that follows it.
struct AcceptedInvitation {
    int32_t callId = 0;
    int32_t visitorId = 0;
    std::string visitorName;
};

AcceptedInvitation InviteFirstVisitor(OperatorClient& op) {
    AcceptedInvitation result;
    op.Send(1007);
    auto list = op.WaitFor(9001, 1007);
    EXPECT_TRUE(list);
    if (!list)
        return result;
    const std::string pageId(list->FieldView(3));
    op.Send(4003, {pageId, "Can I help you?"});
    auto invited = op.WaitFor(9001, 4003);
    EXPECT_TRUE(invited);
    if (!invited)
        return result;
    EXPECT_EQ(invited->FieldView(2), pageId);
    auto request = op.WaitFor(9003, 2001);
    EXPECT_TRUE(request);
    if (!request)
        return result;
    result.visitorId = request->GetInt(2);
    result.callId = request->GetInt(3);
    result.visitorName = std::string(request->FieldView(4));
    EXPECT_EQ(result.visitorId, list->GetInt(10)) << "the request comes from the page's visitor";
    EXPECT_FALSE(result.visitorName.empty());
    return result;
}

TEST(DemoServerTest, CallWithVisitorReply) {
    auto server = QuietServer();
    int32_t demoId = 0;
    auto demo = LoggedIn(server->Port(), "demo", demoId);
    AcceptedInvitation call = InviteFirstVisitor(*demo);
    ASSERT_GT(call.callId, 0);

    OperatorClient channel(server->Port());
    ASSERT_EQ(channel.JoinCall(call.callId, demoId), 0);

    ASSERT_TRUE(channel.Send(1006));
    auto participants = channel.WaitFor(9001, 1006);
    ASSERT_TRUE(participants);
    ASSERT_EQ(participants->GetInt(2), 2);
    EXPECT_EQ(participants->GetInt(3), call.visitorId);
    EXPECT_EQ(participants->GetInt(5), 1);
    EXPECT_EQ(participants->FieldView(8), call.visitorName);
    EXPECT_EQ(participants->GetInt(10), demoId);
    EXPECT_EQ(participants->GetInt(12), 2);

    ASSERT_TRUE(channel.Send(3003, {"1", "Dana", "Hello, how can I help?"}));
    auto typing = channel.Next();
    ASSERT_TRUE(typing);
    EXPECT_EQ(Fields(*typing), (std::vector<std::string>{"2", call.visitorName}));
    auto line = channel.Next();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Code(), 3003);
    EXPECT_EQ(line->GetInt(1), 1);
    EXPECT_EQ(line->FieldView(2), call.visitorName);
    EXPECT_FALSE(line->FieldView(3).empty());

    // One call connection per operator and call.
    OperatorClient again(server->Port());
    ASSERT_EQ(again.JoinCall(call.callId, demoId), -34);
}

TEST(DemoServerTest, InvitedOperatorJoinsTheCall) {
    auto server = QuietServer();
    int32_t aliceId = 0, bobId = 0;
    auto alice = LoggedIn(server->Port(), "alice", aliceId);
    auto bob = LoggedIn(server->Port(), "bob", bobId);
    AcceptedInvitation call = InviteFirstVisitor(*alice);
    ASSERT_GT(call.callId, 0);

    OperatorClient aliceCall(server->Port());
    ASSERT_EQ(aliceCall.JoinCall(call.callId, aliceId), 0);
    // Bob was not offered this call.
    {
        OperatorClient early(server->Port());
        EXPECT_EQ(early.JoinCall(call.callId, bobId), -29);
    }

    ASSERT_TRUE(aliceCall.Send(2002, {std::to_string(bobId), "invitation"}));
    auto accepted = aliceCall.WaitFor(9001, 2002);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->GetInt(2), bobId);
    auto transfer = bob->WaitFor(9003, 2002);
    ASSERT_TRUE(transfer);
    EXPECT_EQ(Fields(*transfer), (std::vector<std::string>{"2002", std::to_string(aliceId),
                                                           std::to_string(call.callId), "Alice",
                                                           "Archer", "invitation"}));

    OperatorClient bobCall(server->Port());
    ASSERT_EQ(bobCall.JoinCall(call.callId, bobId), 0);
    auto joined = aliceCall.WaitFor(9003, 2003);
    ASSERT_TRUE(joined);
    EXPECT_EQ(Fields(*joined),
              (std::vector<std::string>{"2003", std::to_string(bobId), "2", "0", "Bob", "Baker"}));

    ASSERT_TRUE(bobCall.Send(1006));
    auto participants = bobCall.WaitFor(9001, 1006);
    ASSERT_TRUE(participants);
    EXPECT_EQ(participants->GetInt(2), 3);

    // Items are relayed to the other participants, not echoed to the sender.
    ASSERT_TRUE(aliceCall.Send(3003, {"4", "Alice", "http://www.larkspur-outdoor.example/"}));
    auto relayed = bobCall.WaitFor(3003, 4);
    ASSERT_TRUE(relayed);
    EXPECT_EQ(relayed->FieldView(3), "http://www.larkspur-outdoor.example/");

    ASSERT_TRUE(aliceCall.Send(2002, {std::to_string(bobId), "invitation"}));
    auto refused = aliceCall.WaitFor(9002, 2002);
    ASSERT_TRUE(refused) << "inviting a participant is refused";
    EXPECT_EQ(refused->GetInt(2), -29);

    bobCall.Close();
    auto left = aliceCall.WaitFor(9003, 2004);
    ASSERT_TRUE(left);
    EXPECT_EQ(Fields(*left), (std::vector<std::string>{"2004", std::to_string(bobId), "2"}));
}

TEST(DemoServerTest, JoinRefusals) {
    auto server = QuietServer();
    int32_t demoId = 0;
    auto demo = LoggedIn(server->Port(), "demo", demoId);
    OperatorClient unknownCall(server->Port());
    EXPECT_EQ(unknownCall.JoinCall(99999, demoId), -28);
    OperatorClient notOnline(server->Port());
    EXPECT_EQ(notOnline.JoinCall(7001, 4242), -27);
    OperatorClient missing(server->Port());
    ASSERT_TRUE(missing.Send(4003, {"123456", ""}));
    auto answer = missing.Next();
    ASSERT_TRUE(answer) << "a request before log-in is refused";
    EXPECT_EQ(answer->Code(), 9002);
    EXPECT_TRUE(missing.WaitForClose());
    ASSERT_TRUE(demo->Send(4003, {"123456", ""}));
    auto noPage = demo->WaitFor(9002, 4003);
    ASSERT_TRUE(noPage);
    EXPECT_EQ(noPage->GetInt(2), -32);
}

TEST(DemoServerTest, BadInputDropsOnlyTheOffender) {
    auto server = QuietServer();
    int32_t demoId = 0;
    auto demo = LoggedIn(server->Port(), "demo", demoId);

    // A client stuck in the middle of a frame stays connected but holds up nobody.
    OperatorClient stalled(server->Port());
    ASSERT_TRUE(stalled.SendRaw(std::string("<!>\0\0\0\x40"
                                            "1001al",
                                            13)));

    const std::vector<std::string> offences{
        "GET / HTTP/1.0\r\n\r\n",
        std::string("<!>\x7f\xff\xff\xff", 7),
        std::string("<!>\0\0\0\0", 7),
        std::string("<!>\xff\xff\xff\xfe", 7),
        std::string("<!>\0\0\0\x02", 7) + "10",
        std::string("<!>\0\0\0\x04", 7) + "abcd",
        std::string("<!>\0\0\0\x04", 7) + "-123",
    };
    for (const std::string& bytes : offences) {
        OperatorClient bad(server->Port());
        ASSERT_TRUE(bad.SendRaw(bytes));
        EXPECT_TRUE(bad.WaitForClose()) << testing::PrintToString(bytes);
    }
    // Well-framed but unknown or incomplete requests get a refusal, then the door.
    const std::vector<std::pair<int, std::vector<std::string>>> requests{
        {4242, {}}, {1001, {"demo"}}, {2003, {"7001", "101"}}};
    for (const auto& [code, fields] : requests) {
        OperatorClient bad(server->Port());
        WireMessage message(code);
        for (const std::string& field : fields)
            message.AddText(field);
        std::string frame(7, '\0');
        WriteFrameHeader(reinterpret_cast<unsigned char*>(frame.data()), message.Length());
        ASSERT_TRUE(bad.SendRaw(frame + message.Payload()));
        auto refusal = bad.Next();
        ASSERT_TRUE(refusal) << code;
        EXPECT_EQ(refusal->Code(), 9002);
        EXPECT_EQ(refusal->GetInt(1), code);
        EXPECT_TRUE(bad.WaitForClose()) << code;
    }
    ASSERT_TRUE(demo->Send(3003, {"1"}));
    auto refused = demo->WaitFor(9002, 3003);
    ASSERT_TRUE(refused) << "a call item on the server connection is refused";
    EXPECT_TRUE(demo->WaitForClose());

    OperatorClient fine(server->Port());
    EXPECT_GT(fine.Login("demo", "demo"), 0) << "the dropped session was logged out";
    ASSERT_TRUE(fine.Send(1006));
    EXPECT_TRUE(fine.WaitFor(9001, 1006));
    EXPECT_TRUE(server->IsRunning());
}

TEST(DemoServerTest, ReaderThatFallsBehindIsDroppedOthersServed) {
    auto server = StartServer(
        {"--visitors", "2000", "--churn", "5000", "--request-every", "0", "--max-backlog", "1"});
    int32_t aliceId = 0, bobId = 0;
    auto bob = LoggedIn(server->Port(), "bob", bobId);
    // Alice logs in and then never reads again.
    auto alice = LoggedIn(server->Port(), "alice", aliceId);
    auto gone = bob->WaitUntil(
        [&](const WireMessage& m) {
            return m.Code() == 9003 && m.GetInt(1) == 1002 && m.GetInt(2) == aliceId;
        },
        60s);
    EXPECT_TRUE(gone) << "alice should be dropped once too far behind";
    ASSERT_TRUE(bob->Send(1006));
    auto list = bob->WaitFor(9001, 1006, 20s);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->GetInt(2), 1);
}

TEST(DemoServerTest, SimulatedVisitorsBrowseAndAskOnlineOperators) {
    auto server = StartServer(
        {"--visitors", "50", "--churn", "200", "--request-every", "0.2", "--seed", "3"});
    int32_t aliceId = 0, bobId = 0;
    auto alice = LoggedIn(server->Port(), "alice", aliceId);
    ASSERT_TRUE(alice->Send(1003, {"2"}));
    ASSERT_TRUE(alice->WaitFor(9001, 1003));
    auto bob = LoggedIn(server->Port(), "bob", bobId);
    ASSERT_TRUE(bob->Send(1007));
    auto list = bob->WaitFor(9001, 1007);
    ASSERT_TRUE(list);
    std::set<int32_t> pages;
    for (int k = 0; k < list->GetInt(2); ++k)
        pages.insert(list->GetInt(3 + 8 * k));
    EXPECT_EQ(pages.size(), 50u);

    // Every page that leaves was listed or announced before; the count holds.
    int requests = 0, moves = 0;
    auto done = bob->WaitUntil(
        [&](const WireMessage& m) {
            if (m.Code() != 9003)
                return false;
            if (m.GetInt(1) == 4001) {
                EXPECT_TRUE(pages.insert(m.GetInt(2)).second);
                EXPECT_EQ(m.FieldCount(), 9);
            } else if (m.GetInt(1) == 4002) {
                EXPECT_EQ(pages.erase(m.GetInt(2)), 1u);
                ++moves;
            } else if (m.GetInt(1) == 2001) {
                ++requests;
            }
            return m.GetInt(1) == 4002 && requests >= 3 && moves >= 100;
        },
        20s);
    ASSERT_TRUE(done);
    EXPECT_EQ(pages.size(), 50u);

    // Alice is busy: she sees the same pages but no chat request.
    auto asked = alice->WaitUntil(
        [](const WireMessage& m) { return m.Code() == 9003 && m.GetInt(1) == 2001; }, 300ms);
    EXPECT_FALSE(asked);
}

} // namespace
} // namespace olvex::test
