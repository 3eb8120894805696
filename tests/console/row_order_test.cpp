#include "row_order.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace olvex {
namespace {

using Order = RowOrder<int>;
constexpr uint32_t kNil = Order::kNil;

// The same rows kept the slow way, in a vector of nodes from the top.
class Checked {
public:
    uint32_t InsertAbove(uint32_t below, int value) {
        const uint32_t node = order.New(value);
        order.InsertAbove(below, node);
        auto place = below == kNil ? nodes.begin() : std::ranges::find(nodes, below);
        nodes.insert(place, node);
        return node;
    }
    uint32_t Append(int value) {
        const uint32_t node = order.New(value);
        order.Append(node);
        nodes.push_back(node);
        return node;
    }
    void EraseAt(size_t place) {
        order.Erase(nodes[place]);
        nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(place));
    }

    // Every way of reading the order agrees with the vector.
    void ExpectSame() const {
        ASSERT_EQ(order.Count(), nodes.size());
        uint32_t walked = nodes.empty() ? kNil : order.At(0);
        for (size_t place = 0; place < nodes.size(); ++place) {
            const uint32_t node = nodes[place];
            ASSERT_EQ(order.At(static_cast<uint32_t>(place)), node) << "place " << place;
            ASSERT_EQ(order.PlaceOf(node), place) << "place " << place;
            ASSERT_EQ(walked, node) << "place " << place;
            walked = order.Next(node);
        }
        EXPECT_EQ(walked, kNil);
        EXPECT_EQ(order.At(static_cast<uint32_t>(nodes.size())), kNil);
    }

    Order order;
    std::vector<uint32_t> nodes;
};

TEST(RowOrderTest, MatchesAVectorUnderRandomInsertsRemovalsAndLookups) {
    std::mt19937 random(20240611);
    Checked rows;
    for (int step = 0; step < 20000; ++step) {
        const size_t count = rows.nodes.size();
        const unsigned what = random() % 10;
        if (count > 0 && (what < 4 || count > 3000)) {
            rows.EraseAt(random() % count);
        } else if (what < 5) {
            rows.Append(step);
        } else if (what < 6 || count == 0) {
            rows.InsertAbove(kNil, step);
        } else {
            rows.InsertAbove(rows.nodes[random() % count], step);
        }
        // A few look-ups at every step, the whole list now and then.
        for (int probe = 0; probe < 3 && !rows.nodes.empty(); ++probe) {
            const size_t place = random() % rows.nodes.size();
            ASSERT_EQ(rows.order.At(static_cast<uint32_t>(place)), rows.nodes[place])
                << "step " << step;
            ASSERT_EQ(rows.order.PlaceOf(rows.nodes[place]), place) << "step " << step;
        }
        if (step % 500 == 0) {
            ASSERT_NO_FATAL_FAILURE(rows.ExpectSame()) << "step " << step;
        }
    }
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
}

TEST(RowOrderTest, EmptyIndexHasNoRowsAndTakesItsFirstAnywhere) {
    Checked rows;
    EXPECT_EQ(rows.order.Count(), 0u);
    EXPECT_EQ(rows.order.At(0), kNil);
    EXPECT_EQ(rows.order.Height(), 0u);

    // The only row taken out leaves the index as empty as before, by each way in.
    rows.InsertAbove(kNil, 1);
    rows.EraseAt(0);
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
    rows.Append(2);
    rows.EraseAt(0);
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
    rows.Append(3);
    rows.InsertAbove(kNil, 4);
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());

    // Emptied with a removed row's node waiting for reuse, as a rebuild after departures is.
    rows.EraseAt(1);
    rows.order.Clear();
    rows.nodes.clear();
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
    rows.InsertAbove(kNil, 5);
    rows.Append(6);
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
    EXPECT_EQ(rows.order[rows.nodes[0]], 5);
    EXPECT_EQ(rows.order[rows.nodes[1]], 6);
}

TEST(RowOrderTest, RemovingTheFirstOrLastRowKeepsTheOthersInPlace) {
    Checked rows;
    for (int i = 0; i < 200; ++i)
        rows.Append(i);
    while (rows.nodes.size() > 1) {
        rows.EraseAt(0);
        ASSERT_NO_FATAL_FAILURE(rows.ExpectSame()) << rows.nodes.size() << " rows";
        rows.EraseAt(rows.nodes.size() - 1);
        ASSERT_NO_FATAL_FAILURE(rows.ExpectSame()) << rows.nodes.size() << " rows";
    }
    // New rows at both ends of what is left.
    rows.InsertAbove(kNil, 1000);
    rows.Append(1001);
    rows.InsertAbove(rows.nodes.back(), 1002);
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
}

TEST(RowOrderTest, PositionsHoldAfterMostRowsAreRemovedAndTheirNodesReused) {
    std::mt19937 random(99);
    Checked rows;
    for (int i = 0; i < 5000; ++i)
        rows.InsertAbove(rows.nodes.empty() ? kNil : rows.nodes[random() % rows.nodes.size()], i);
    while (rows.nodes.size() > 20)
        rows.EraseAt(random() % rows.nodes.size());
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());

    // The numbers of the removed rows come back, and their rows hold the new data.
    for (int i = 0; i < 3000; ++i)
        rows.InsertAbove(rows.nodes[random() % rows.nodes.size()], 10000 + i);
    ASSERT_NO_FATAL_FAILURE(rows.ExpectSame());
    EXPECT_LT(*std::ranges::max_element(rows.nodes), 5000u);
    std::vector<int> values;
    for (uint32_t node : rows.nodes)
        values.push_back(rows.order[node]);
    std::ranges::sort(values);
    EXPECT_EQ(std::ranges::adjacent_find(values), values.end());
    EXPECT_EQ(std::ranges::count_if(values, [](int value) { return value >= 10000; }), 3000);
}

TEST(RowOrderTest, StaysShallowWhateverTheOrderOfInsertion) {
    // Each of these makes a plain search tree a list as long as the rows.
    constexpr uint32_t kRows = 100000;
    constexpr uint32_t kMostLevels = 64; // about four times the best possible
    Order top;
    for (uint32_t i = 0; i < kRows; ++i)
        top.InsertAbove(kNil, top.New(static_cast<int>(i)));
    EXPECT_LE(top.Height(), kMostLevels);

    Order appended;
    for (uint32_t i = 0; i < kRows; ++i)
        appended.Append(appended.New(static_cast<int>(i)));
    EXPECT_LE(appended.Height(), kMostLevels);

    // A visitor's pages: each new one above the previous one.
    Order above;
    uint32_t last = kNil;
    for (uint32_t i = 0; i < kRows; ++i) {
        const uint32_t node = above.New(static_cast<int>(i));
        above.InsertAbove(last, node);
        last = node;
    }
    EXPECT_LE(above.Height(), kMostLevels);
    for (uint32_t i = 0; i < kRows - 1000; ++i)
        above.Erase(above.At(i % 7 == 0 ? 0 : above.Count() / 2));
    EXPECT_LE(above.Height(), kMostLevels);
}

TEST(RowOrderTest, AssignedRowsStandInTheirOrderAndStayShallow) {
    for (uint32_t count : {0u, 1u, 2u, 100000u}) {
        RowOrderTree tree;
        tree.Append(tree.New()); // gone after the assignment
        tree.Assign(count);
        ASSERT_EQ(tree.Count(), count);
        for (uint32_t place = 0; place < count; ++place) {
            ASSERT_EQ(tree.At(place), place);
            ASSERT_EQ(tree.PlaceOf(place), place);
            ASSERT_EQ(tree.Next(place), place + 1 < count ? place + 1 : kNil);
        }
        EXPECT_LE(tree.Height(), 64u);
    }
}

TEST(RowOrderTest, RemovedAndClearedRowsLetGoOfTheirData) {
    RowOrder<std::shared_ptr<int>> order;
    auto first = std::make_shared<int>(1);
    auto second = std::make_shared<int>(2);
    const uint32_t node = order.New(first);
    order.InsertAbove(kNil, node);
    order.Append(order.New(second));
    EXPECT_EQ(first.use_count(), 2);
    order.Erase(node);
    EXPECT_EQ(first.use_count(), 1);
    order.Clear();
    EXPECT_EQ(second.use_count(), 1);
}

} // namespace
} // namespace olvex
