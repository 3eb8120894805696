#include "event_queue.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

// The reader hears once per batch: not per event, not while a report is being queued, and not
// never when it arrives after the first events.
TEST(EventQueue, WakesTheReaderOncePerBatch) {
    EventQueue<int> queue;
    int wakes = 0;
    queue.Push(1);
    queue.SetWake([&wakes] { ++wakes; });
    EXPECT_EQ(wakes, 1) << "events queued before the reader came";
    queue.Push(2);
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(queue.Take(), (std::vector<int>{1, 2}));

    queue.BeginBatch();
    queue.Push(3);
    queue.Push(4);
    EXPECT_EQ(wakes, 1) << "a report half queued";
    queue.EndBatch();
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(queue.Take(), (std::vector<int>{3, 4}));

    queue.BeginBatch();
    queue.EndBatch();
    EXPECT_EQ(wakes, 2) << "an empty report wakes nobody";
    queue.Close();
    queue.Push(5);
    EXPECT_TRUE(queue.Take().empty());
    EXPECT_EQ(wakes, 2);
}

} // namespace
} // namespace olvex
