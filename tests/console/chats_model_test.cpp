#include "chats_model.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

struct ChatsModelTest : ::testing::Test {
    int64_t now = 1'000'000;
    ChatsModel model{[this] { return now; }};

    std::vector<int32_t> RequestIds() const {
        std::vector<int32_t> ids;
        for (const auto& request : model.Requests())
            ids.push_back(request.callId);
        return ids;
    }
};

// Oldest first; a request asked again keeps its place and its waiting time.
TEST_F(ChatsModelTest, RequestsStayOldestFirstAndKeepTheirTimeWhenAskedAgain) {
    model.AddRequest(7, 1, "Ann", "I cannot finish the checkout.");
    now += 5'000;
    model.AddRequest(3, 1, "Bob", "");
    now += 37'000;
    model.MarkMissed(7);
    model.AddRequest(7, 1, "Ann O.", "Still there?");
    EXPECT_EQ(RequestIds(), (std::vector<int32_t>{7, 3}));
    const ChatsModel::Request& ann = model.Requests().front();
    EXPECT_EQ(ann.name, "Ann O.");
    EXPECT_EQ(ann.question, "Still there?");
    EXPECT_FALSE(ann.missed);
    EXPECT_EQ(ChatsModel::WaitedText(model.WaitedMs(ann)), "0:42");
    EXPECT_EQ(ChatsModel::WaitedText(model.WaitedMs(model.Requests().back())), "0:37");
    // A clock that jumps back shows no negative wait.
    now -= 100'000;
    EXPECT_EQ(ChatsModel::WaitedText(model.WaitedMs(ann)), "0:00");
}

TEST_F(ChatsModelTest, WaitedTextGrowsIntoMinutesAndHours) {
    EXPECT_EQ(ChatsModel::WaitedText(999), "0:00");
    EXPECT_EQ(ChatsModel::WaitedText(61'500), "1:01");
    EXPECT_EQ(ChatsModel::WaitedText(59 * 60'000 + 59'999), "59:59");
    EXPECT_EQ(ChatsModel::WaitedText(3'723'000), "1:02:03");
    EXPECT_EQ(ChatsModel::WaitedText(-5'000), "0:00");
}

// One request is taken once; a missed one stays until taken or dismissed.
TEST_F(ChatsModelTest, RequestIsTakenOnceAndMissedOnesStay) {
    model.AddRequest(1, 1, "Ann", "");
    model.AddRequest(2, 2, "Bob Jones", "");
    model.MarkMissed(2);
    EXPECT_TRUE(model.TakeRequest(1));
    EXPECT_FALSE(model.TakeRequest(1));
    ASSERT_NE(model.FindRequest(2), nullptr);
    EXPECT_TRUE(model.FindRequest(2)->missed);
    EXPECT_EQ(model.FindRequest(2)->kind, 2);
    EXPECT_FALSE(model.RemoveRequest(9));
    EXPECT_TRUE(model.RemoveRequest(2));
    EXPECT_TRUE(model.Requests().empty());
}

// The button counts what asks for the operator: requests and chats with unread lines.
TEST_F(ChatsModelTest, CountTakesRequestsAndUnreadChats) {
    EXPECT_EQ(model.ButtonText(), "Chats");
    model.AddRequest(1, 1, "Ann", "");
    int a = 0, b = 0, c = 0;
    model.SetChats({{&a, 5, "Cat", 3, ChatsModel::ChatState::InChat},
                    {&b, 6, "Dan", 0, ChatsModel::ChatState::Connecting},
                    {&c, 7, "Eve", 1, ChatsModel::ChatState::Ended}});
    EXPECT_EQ(model.Count(), 3);
    EXPECT_EQ(model.ButtonText(), "Chats (3)");
    model.SetChats({});
    model.TakeRequest(1);
    EXPECT_EQ(model.ButtonText(), "Chats");
}

} // namespace
} // namespace olvex
