#include "idle_edges.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

// The compositor says "idle" a stretch after the last input and "resumed" at the next:
// the idle time counts from the last input, not from the event, and input ends it.
TEST(IdleEdges, CompositorEventsBecomeIdleTimeFromTheLastInput) {
    IdleEdges edges(1000);
    EXPECT_EQ(edges.IdleMs(50'000), 0) << "nothing heard yet reads as active";
    edges.Idled(60'000);
    EXPECT_EQ(edges.IdleMs(60'000), 1000);
    EXPECT_EQ(edges.IdleMs(660'000), 601'000);
    // A repeated idle event (another source's) does not start the count again.
    edges.Idled(300'000);
    EXPECT_EQ(edges.IdleMs(660'000), 601'000);
    edges.Resumed();
    EXPECT_EQ(edges.IdleMs(700'000), 0);
    edges.Idled(701'000);
    EXPECT_EQ(edges.IdleMs(702'000), 2000);
}

} // namespace
} // namespace olvex
