#include "message_queue.h"
#include "result_code.h"
#include "semaphore_lock.h"

#include <future>
#include <gtest/gtest.h>

using namespace olvex;
using namespace std::chrono_literals;

TEST(SemaphoreLock, OverReleaseIsRefusedAndLeavesTheSignalSet) {
    SemaphoreLock signal;
    EXPECT_EQ(signal.Release(), ResultCode::Semaphore);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(signal.Acquire(500), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
    // Taken once: the second wait times out instead of succeeding twice.
    EXPECT_EQ(signal.Acquire(20), ResultCode::Semaphore);
    EXPECT_EQ(signal.Release(), 0);
}

TEST(SemaphoreLock, ReleaseWakesAWaiterOnAnotherThread) {
    SemaphoreLock signal(false);
    auto waiter = std::async(std::launch::async, [&] { return signal.Acquire(-1); });
    EXPECT_EQ(waiter.wait_for(20ms), std::future_status::timeout);
    EXPECT_EQ(signal.Release(), 0);
    ASSERT_EQ(waiter.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 0);
}

TEST(MessageQueue, KeepsIndependentCopiesInOrderAndSkipsEmptyMessages) {
    MessageQueue queue;
    EXPECT_EQ(queue.PushCopy(WireMessage()), nullptr);
    EXPECT_EQ(queue.Pop(), nullptr);

    WireMessage first(3003);
    first.AddInt(1);
    auto copy = queue.PushCopy(first);
    ASSERT_NE(copy, nullptr);
    first.AddText("changed later");
    EXPECT_EQ(copy->Payload(), "30031<~>");

    queue.PushCopy(WireMessage(1006));
    queue.PushCopy(WireMessage(2002));
    EXPECT_EQ(queue.Count(), 3);
    EXPECT_EQ(queue.Pop()->Code(), 3003);
    EXPECT_EQ(queue.Pop()->Code(), 1006);
    EXPECT_EQ(queue.Pop()->Code(), 2002);
    EXPECT_EQ(queue.Pop(), nullptr);
}
