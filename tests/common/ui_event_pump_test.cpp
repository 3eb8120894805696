#include "event_queue.h"
#include "ui_event_pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <gtest/gtest.h>
#include <thread>

namespace olvex {
namespace {

void RunEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A burst from another thread reaches the UI thread in order, in a few batches no closer than
// the gap; after Stop nothing more is applied, not even a flush already posted.
TEST(UiEventPump, BurstsArriveInOrderInFewBatchesAndNothingAfterStop) {
    EventQueue<int> queue;
    std::vector<int> applied;
    int flushes = 0;
    UiEventPump pump(
        40,
        [&] {
            ++flushes;
            for (int event : queue.Take())
                applied.push_back(event);
        },
        nullptr);
    queue.SetWake([&pump] { pump.Wake(); });

    std::thread producer([&] {
        for (int i = 0; i < 2000; ++i)
            queue.Push(i);
    });
    producer.join();
    RunEventsFor(200);
    ASSERT_EQ(applied.size(), 2000u);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(applied[size_t(i)], i);
    EXPECT_LE(flushes, 3);

    queue.Push(1);
    pump.Stop();
    RunEventsFor(100);
    EXPECT_EQ(applied.size(), 2000u);
    queue.Close();
    queue.Push(2); // refused, and wakes nobody
    EXPECT_TRUE(queue.Take().empty());
}

} // namespace
} // namespace olvex
