#include "console_images.h"
#include "operator_list_view.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

UserRecord User(int32_t userId, std::string first, int32_t status, std::string host = "h") {
    UserRecord user;
    user.userId = userId;
    user.kind = 2;
    user.firstName = std::move(first);
    user.lastName = "Smith";
    user.status = status;
    user.host = std::move(host);
    return user;
}

std::vector<QString> Names(const OperatorListView& list) {
    std::vector<QString> names;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        names.push_back(list.topLevelItem(i)->text(OperatorListView::kColumnName));
    return names;
}

TEST(OperatorListViewTest, RebuildShowsTheDirectoryReversed) {
    OperatorListView list;
    list.AddOrUpdate(User(50, "Stale", 1));
    list.Rebuild({std::make_shared<const UserRecord>(User(1, "First", 1)),
                  std::make_shared<const UserRecord>(User(2, "Second", 2)), nullptr,
                  std::make_shared<const UserRecord>(User(3, "Third", 3)),
                  std::make_shared<const UserRecord>(User(2, "Second again", 1, "moved"))});
    EXPECT_EQ(Names(list),
              (std::vector<QString>{QStringLiteral("Third Smith"), QStringLiteral("Second Smith"),
                                    QStringLiteral("First Smith")}));
    EXPECT_EQ(list.Row(2)->text(OperatorListView::kColumnHost), QStringLiteral("moved"));
    EXPECT_EQ(list.RowOf(50), -1);
    // New operators still go on top after a rebuild.
    EXPECT_TRUE(list.AddOrUpdate(User(4, "Fourth", 1)));
    EXPECT_EQ(list.RowOf(4), 0);
    EXPECT_EQ(list.RowOf(1), 3);
}

TEST(OperatorListViewTest, StatusSetsTextAndPicture) {
    OperatorListView list;
    list.AddOrUpdate(User(1, "Ann", 5));
    const QTreeWidgetItem& row = *list.Row(1);
    EXPECT_EQ(row.text(OperatorListView::kColumnStatus), QStringLiteral("online"));
    EXPECT_EQ(OperatorListView::ImageOf(row), kImageOperator);
    EXPECT_EQ(row.foreground(OperatorListView::kColumnStatus).color(), QColor(0, 0, 255));

    const std::pair<int32_t, std::pair<const char*, int>> steps[] = {
        {1, {"online", kImageOperatorOnline}}, {3, {"away", kImageOperatorBusy}},
        {0, {"online", kImageOperatorBusy}},   {2, {"busy", kImageOperatorBusy}},
        {1, {"online", kImageOperatorOnline}},
    };
    for (const auto& [status, expected] : steps) {
        UserRecord changed = User(1, "Ignored", status, "ignored host");
        EXPECT_TRUE(list.UpdateStatus(changed));
        EXPECT_EQ(row.text(OperatorListView::kColumnStatus), QLatin1String(expected.first));
        EXPECT_EQ(OperatorListView::ImageOf(row), expected.second) << status;
    }
    EXPECT_EQ(row.text(OperatorListView::kColumnHost), QStringLiteral("h"));
    EXPECT_FALSE(list.UpdateStatus(User(2, "Nobody", 1)));
}

TEST(OperatorListViewTest, AddingAKnownOperatorKeepsItsNameAndPlace) {
    OperatorListView list;
    EXPECT_TRUE(list.AddOrUpdate(User(1, "Ann", 1)));
    EXPECT_TRUE(list.AddOrUpdate(User(2, "Bob", 1)));
    EXPECT_FALSE(list.AddOrUpdate(User(1, "Renamed", 2, "new host")));
    EXPECT_EQ(Names(list),
              (std::vector<QString>{QStringLiteral("Bob Smith"), QStringLiteral("Ann Smith")}));
    EXPECT_EQ(list.Row(1)->text(OperatorListView::kColumnHost), QStringLiteral("new host"));
    EXPECT_EQ(list.Row(1)->text(OperatorListView::kColumnStatus), QStringLiteral("busy"));
}

TEST(OperatorListViewTest, RemoveGivesTheRowsName) {
    OperatorListView list;
    list.AddOrUpdate(User(1, "Ann", 1));
    list.AddOrUpdate(User(2, "Bob", 1));
    EXPECT_EQ(list.Remove(1), QStringLiteral("Ann Smith"));
    EXPECT_EQ(list.Remove(1), std::nullopt);
    EXPECT_EQ(list.RowOf(2), 0);
    list.Clear();
    EXPECT_EQ(list.Row(2), nullptr);
    EXPECT_EQ(list.topLevelItemCount(), 0);
}

} // namespace
} // namespace olvex
