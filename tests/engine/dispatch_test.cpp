// The receive loop's handling of server messages, driven without a socket.
#include "agent_client.h"
#include "event_log.h"
#include "fake_server.h"
#include "wire_message.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace olvex;
using namespace olvex::test;

namespace {

WireMessage Message(int code, std::initializer_list<std::string_view> fields) {
    WireMessage m;
    m.SetPayload(Payload(code, fields));
    return m;
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { log.Install(client); }
    void Send(int code, std::initializer_list<std::string_view> fields) {
        client.Dispatch(Message(code, fields));
    }
    std::vector<std::string> Events() const { return log.Lines(); }
    using Lines = std::vector<std::string>;

    EventLog log; // outlives the client, which reports its destruction
    AgentClient client;
};

} // namespace

TEST_F(Dispatch, UserListMergesRepeatedUsersAndEmptyListStillReports) {
    Send(9001, {"1006", "3",                                        //
                "5",    "0", "2", "1", "host-a", "Ann",     "Lee",  //
                "5",    "9", "2", "3", "host-b", "Other",   "Name", //
                "5",    "0", "1", "2", "",       "Visitor", ""});
    EXPECT_EQ(Events(), Lines{"UserList"});
    ASSERT_EQ(client.Users().Count(), 2);
    auto ann = client.Users().Find(5, 2);
    ASSERT_TRUE(ann);
    EXPECT_EQ(ann->firstName, "Ann");
    EXPECT_EQ(ann->status, 1);
    EXPECT_EQ(ann->host, "host-a");
    EXPECT_EQ(client.Users().Find(5, 1)->firstName, "Visitor");
    EXPECT_EQ(client.Users().CountByStatus(1), 1);
    EXPECT_EQ(client.Users().CountByStatus(-1), 2);

    Send(9001, {"1006", "0"});
    EXPECT_EQ(client.Users().Count(), 0);
    EXPECT_EQ(log.CountOf("UserList"), 2);
}

TEST_F(Dispatch, PageListKeepsRepeatedPageIds) {
    Send(9001, {"1007", "2",                                          //
                "7", "1", "/a", "A", "ref", "1.2s", "10.0.0.1", "40", //
                "7", "2", "/b", "B", "", "", "10.0.0.2", "41"});
    EXPECT_EQ(Events(), Lines{"PageList"});
    ASSERT_EQ(client.Pages().Count(), 2);
    EXPECT_EQ(client.Pages().FindById(7)->url, "/a");
    auto second = client.Pages().At(1);
    EXPECT_EQ(second->title, "B");
    EXPECT_EQ(second->visitorNumber, 41);
    EXPECT_EQ(second->referrer, "");
    EXPECT_EQ(client.Pages().At(2), nullptr);
    EXPECT_EQ(client.Pages().At(-1), nullptr);
}

TEST_F(Dispatch, ListCountsBeyondTheEntriesPresentCreateNothingExtra) {
    Send(9001, {"1007", "2000000000", "7", "1", "/a", "A", "", "", "", "40"});
    EXPECT_EQ(client.Pages().Count(), 1);
    // Half an entry still counts, with defaults for what is missing.
    Send(9001, {"1006", "5", "1", "0", "2", "1", "h", "A", "B", "2", "0"});
    ASSERT_EQ(client.Users().Count(), 2);
    EXPECT_EQ(client.Users().At(1)->kind, -16);
    EXPECT_EQ(client.Users().At(1)->firstName, "");
    Send(9001, {"1006", "-3"});
    EXPECT_EQ(client.Users().Count(), 0);
}

TEST_F(Dispatch, OperatorNotifications) {
    Send(9003, {"1001", "8", "0", "2", "1", "host", "Bo", "Ray"});
    Send(9003, {"1001", "8", "0", "2", "3", "host", "Changed", ""}); // already known
    EXPECT_EQ(Events(), Lines{"UserIn 8 2 1 Bo"});
    EXPECT_EQ(client.Users().Find(8, 2)->firstName, "Bo");

    auto before = client.Users().Find(8, 2);
    int seenStatus = 0;
    log.onEvent = [&](const std::string& line) {
        if (line.starts_with("UserStatus"))
            seenStatus = client.Users().Find(8, 2)->status;
    };
    Send(9003, {"1003", "8", "2", "3"});
    EXPECT_EQ(seenStatus, 3) << "the record is updated before the callback runs";
    EXPECT_EQ(before->status, 1) << "a reader's record must not change under it";

    Send(9003, {"1003", "99", "2", "3"}); // unknown user
    Send(9003, {"1002", "8", "1"});       // kind does not match
    EXPECT_EQ(client.Users().Count(), 1);
    Send(9003, {"1002", "8", "2"});
    EXPECT_EQ(client.Users().Count(), 0);
    EXPECT_EQ(Events(), (Lines{"UserIn 8 2 1 Bo", "UserStatus 8 2 3 Bo", "UserOut 8 2 3 Bo"}));
}

TEST_F(Dispatch, PageNotificationsAndInvitationAnswers) {
    Send(9003, {"4001", "12", "0", "/x", "X", "", "", "1.1.1.1", "3"});
    Send(9003, {"4001", "12", "0", "/dup", "", "", "", "", "4"});
    Send(9001, {"4003", "12"});
    Send(9001, {"4003", "13"}); // not in the list
    Send(9003, {"4002", "13"});
    Send(9003, {"4002", "12"});
    Send(9001, {"4003", "12"}); // gone now
    EXPECT_EQ(Events(), (Lines{"PageIn 12 /x", "Invited 12 /x", "PageLeft 12 /x"}));
    EXPECT_EQ(client.Pages().Count(), 0);
}

TEST_F(Dispatch, CallRequestsPassAbsentTextsAsNull) {
    Send(9003, {"2001", "40", "77", "Visitor Vi", "question"});
    Send(9003, {"2002", "41", "78", "Op", "", "why"});
    EXPECT_EQ(Events(),
              (Lines{"Call 77 40 1 Visitor Vi|question|(null)", "Call 78 41 2 Op|(null)|why"}));
}

TEST_F(Dispatch, StatusAnswersErrorsAndUnknownMessages) {
    Send(9001, {"1003", "2"});
    EXPECT_EQ(client.GetStatus(), 2);
    // A status that is not a presence would look like a logout.
    Send(9001, {"1003", "0"});
    Send(9001, {"1003"});
    EXPECT_EQ(client.GetStatus(), 2);
    Send(9002, {"1003", "-27"});
    Send(9001, {"1234", "5"});
    Send(9004, {"1", "66"});
    Send(5001, {});
    Send(9003, {"7777", "1"});
    EXPECT_EQ(Events(), (Lines{"Status 2", "Error 1003 0", "Error 1003 -16", "Error 1003 -27",
                               "Error 1234 5", "Error 9999 66"}));
    // A payload too short to carry a code is an unknown type as well.
    WireMessage shortMessage;
    shortMessage.SetPayload("12");
    client.Dispatch(shortMessage);
    EXPECT_EQ(log.Lines().back(), "Error 9999 -16");
}

TEST_F(Dispatch, ReadersOnOtherThreadsNeverSeeDestroyedRecords) {
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            for (int i = 0; i < 4; ++i) {
                if (auto u = client.Users().At(i)) {
                    EXPECT_FALSE(u->firstName.empty());
                }
                if (auto p = client.Pages().FindById(i)) {
                    EXPECT_EQ(p->url, "/page");
                }
            }
            for (const auto& u : client.Users().Snapshot())
                EXPECT_EQ(u->lastName, "Last");
        }
    });
    for (int round = 0; round < 300; ++round) {
        for (int id = 0; id < 4; ++id) {
            std::string sid = std::to_string(id);
            Send(9003, {"1001", sid, "0", "2", "1", "h", "First", "Last"});
            Send(9003, {"1003", sid, "2", "2"});
            Send(9003, {"4001", sid, "0", "/page", "", "", "", "", "1"});
        }
        for (int id = 0; id < 4; ++id) {
            Send(9003, {"1002", std::to_string(id), "2"});
            Send(9003, {"4002", std::to_string(id)});
        }
    }
    stop = true;
    reader.join();
    EXPECT_EQ(client.Users().Count(), 0);
}
