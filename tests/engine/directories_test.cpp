// The directories' indexes against the plain rules written as scans over a vector.
#include "page_directory.h"
#include "user_directory.h"
#include "wire_message.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace olvex {
namespace {

PageRecord Page(int32_t pageId, int32_t tag) {
    PageRecord page;
    page.pageId = pageId;
    page.auxNumber = tag;
    return page;
}

template <typename Model, typename List>
void ExpectSameOrder(const Model& model, const List& list) {
    ASSERT_EQ(list.Count(), static_cast<int32_t>(model.size()));
    const auto snapshot = list.Snapshot();
    ASSERT_EQ(snapshot.size(), model.size());
    for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(snapshot[i]->auxNumber, model[i].auxNumber) << "at " << i;
        ASSERT_EQ(list.At(static_cast<int32_t>(i))->auxNumber, model[i].auxNumber) << "at " << i;
    }
    EXPECT_EQ(list.At(static_cast<int32_t>(model.size())), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
}

// Few ids for many records, so repeats are common; long runs of removals pack the slots.
TEST(Directories, PageIndexFollowsTheScanningRules) {
    std::mt19937 random(3);
    PageDirectory pages;
    std::vector<PageRecord> model;
    int32_t tag = 0;
    auto firstOf = [&](int32_t id) {
        return std::find_if(model.begin(), model.end(),
                            [id](const auto& p) { return p.pageId == id; });
    };
    for (int round = 0; round < 6; ++round) {
        const bool growing = round % 2 == 0;
        for (int step = 0; step < 1500; ++step) {
            const auto id = static_cast<int32_t>(random() % 300) - 5; // some negative ids
            const unsigned action = random() % 10;
            if (action < (growing ? 6u : 2u)) {
                pages.Add(Page(id, ++tag));
                model.push_back(Page(id, tag));
            } else if (action < (growing ? 7u : 3u)) {
                const bool absent = firstOf(id) == model.end();
                EXPECT_EQ(pages.AddIfAbsent(Page(id, ++tag)) != nullptr, absent);
                if (absent)
                    model.push_back(Page(id, tag));
            } else {
                auto first = firstOf(id);
                auto removed = pages.Remove(id);
                ASSERT_EQ(removed != nullptr, first != model.end());
                if (removed) {
                    EXPECT_EQ(removed->auxNumber, first->auxNumber);
                    model.erase(first);
                }
            }
            auto first = firstOf(id);
            auto found = pages.FindById(id);
            ASSERT_EQ(found ? found->auxNumber : -1, first == model.end() ? -1 : first->auxNumber);
        }
        ExpectSameOrder(model, pages);
    }

    // A refill replaces the index too.
    WireMessage answer(9001);
    answer.AddInt(1007);
    answer.AddInt(3);
    for (int32_t id : {8, 9, 8}) {
        answer.AddInt(id);
        answer.AddInt(id * 10);
        for (int f = 0; f < 6; ++f)
            answer.AddText("");
    }
    EXPECT_EQ(pages.LoadFromMessage(answer), 3);
    EXPECT_EQ(pages.Count(), 3);
    EXPECT_EQ(pages.FindById(int32_t(random() % 300)) == nullptr, true);
    ASSERT_NE(pages.Remove(8), nullptr);
    EXPECT_EQ(pages.FindById(8)->auxNumber, 80);
    EXPECT_EQ(pages.At(1)->pageId, 8);
    pages.Clear();
    EXPECT_EQ(pages.FindById(9), nullptr);
    EXPECT_EQ(pages.Count(), 0);
}

TEST(Directories, UserIndexMergesPairsAndFollowsTheScanningRules) {
    std::mt19937 random(5);
    UserDirectory users;
    std::vector<UserRecord> model;
    int32_t tag = 0;
    for (int step = 0; step < 6000; ++step) {
        UserRecord user;
        user.userId = static_cast<int32_t>(random() % 200);
        user.kind = 1 + static_cast<int32_t>(random() % 2);
        user.status = static_cast<int32_t>(random() % 4);
        user.auxNumber = ++tag;
        auto first = std::find_if(model.begin(), model.end(), [&](const auto& u) {
            return u.userId == user.userId && u.kind == user.kind;
        });
        switch (random() % (step < 3000 ? 3 : 5)) {
        case 0: {
            auto [record, created] = users.Insert(user);
            ASSERT_EQ(created, first == model.end());
            if (created)
                model.push_back(user);
            else
                EXPECT_EQ(record->auxNumber, first->auxNumber);
            break;
        }
        case 1: {
            auto updated = users.UpdateStatus(user.userId, user.kind, user.status);
            ASSERT_EQ(updated != nullptr, first != model.end());
            if (updated)
                first->status = user.status;
            break;
        }
        default: {
            auto removed = users.Remove(user.userId, user.kind);
            ASSERT_EQ(removed != nullptr, first != model.end());
            if (removed)
                model.erase(first);
        }
        }
        auto found = users.Find(user.userId, user.kind);
        ASSERT_EQ(found != nullptr, std::any_of(model.begin(), model.end(), [&](const auto& u) {
                      return u.userId == user.userId && u.kind == user.kind;
                  }));
    }
    ExpectSameOrder(model, users);
    for (int32_t status = -1; status <= 3; ++status)
        EXPECT_EQ(users.CountByStatus(status),
                  status == -1
                      ? int32_t(model.size())
                      : int32_t(std::count_if(model.begin(), model.end(),
                                              [&](const auto& u) { return u.status == status; })));
    for (const UserRecord& user : model)
        EXPECT_EQ(users.Find(user.userId, user.kind)->status, user.status);
}

} // namespace
} // namespace olvex
