#include "auto_away.h"

#include <gtest/gtest.h>
#include <vector>

namespace olvex {
namespace {

struct FakeIdle : IdleSource {
    std::optional<IdleSample> Sample() override { return sample; }
    QString Description() const override { return QStringLiteral("fake"); }
    std::optional<IdleSample> sample = IdleSample{};
};

constexpr int64_t kMinute = 60000;

// The machine over a fake idle source and clock; the status commands it gives are recorded
// and confirmed as a server would.
struct AutoAwayTest : ::testing::Test {
    AutoAwayTest() {
        away.SetThresholdMs(10 * kMinute);
        away.StatusConfirmed(1);
    }
    // Time passes without input (the idle time grows with it), then one tick.
    void Idle(int64_t ms) {
        now += ms;
        idle.sample->idleMs += ms;
        away.Tick();
    }
    void Input() {
        idle.sample->idleMs = 0;
        away.Tick();
    }

    FakeIdle idle;
    int64_t now = 1000;
    std::vector<int32_t> sent;
    AutoAway away{&idle, [this] { return now; },
                  [this](int32_t status) {
                      sent.push_back(status);
                      away.StatusConfirmed(status);
                  }};
};

TEST_F(AutoAwayTest, IdleSetsAwayOnceAndTheFirstInputRestoresOnline) {
    Idle(9 * kMinute);
    EXPECT_TRUE(sent.empty());
    Idle(kMinute);
    Idle(kMinute);
    EXPECT_EQ(sent, std::vector<int32_t>{3});
    // Readings that wobble a little are not input.
    idle.sample->idleMs -= 200;
    away.Tick();
    EXPECT_EQ(sent.size(), 1u);
    Input();
    EXPECT_EQ(sent, (std::vector<int32_t>{3, 1}));
}

TEST_F(AutoAwayTest, WhatTheOperatorChoseIsNeverUndone) {
    // Away chosen by hand: the first input leaves it.
    away.StatusChosen(3);
    away.StatusConfirmed(3);
    Idle(20 * kMinute);
    Input();
    EXPECT_TRUE(sent.empty());
    // Busy is not touched.
    away.StatusConfirmed(2);
    Idle(20 * kMinute);
    EXPECT_TRUE(sent.empty());
    // Away set by us, then chosen again by hand: input keeps it.
    away.StatusConfirmed(1);
    Idle(11 * kMinute);
    ASSERT_EQ(sent, std::vector<int32_t>{3});
    away.StatusChosen(3);
    Input();
    EXPECT_EQ(sent, std::vector<int32_t>{3});
    // A log-out forgets our away; nothing is restored after the next log-in.
    away.StatusChosen(1);
    away.StatusConfirmed(1);
    Idle(11 * kMinute);
    away.StatusConfirmed(0);
    away.StatusConfirmed(1);
    Input();
    EXPECT_EQ(sent, (std::vector<int32_t>{3, 3}));
}

// The reconnection sets our away again; the operator's return still undoes it, even one
// that came while the connection was down.
TEST_F(AutoAwayTest, OurAwayOutlivesALostConnection) {
    Idle(11 * kMinute);
    ASSERT_EQ(sent, std::vector<int32_t>{3});
    away.StatusConfirmed(0);
    idle.sample->locked = true; // a lock while logged out changes nothing
    away.Tick();
    idle.sample->locked = false;
    idle.sample->idleMs = 0;
    away.StatusConfirmed(3);
    away.Tick();
    EXPECT_EQ(sent, (std::vector<int32_t>{3, 1}));
}

TEST_F(AutoAwayTest, LockSetsAwayAtOnceAndOnlyTheUnlockRestores) {
    idle.sample->locked = true;
    Idle(1000);
    EXPECT_EQ(sent, std::vector<int32_t>{3});
    Input(); // typing on the lock screen
    EXPECT_EQ(sent.size(), 1u);
    // Unlocked from elsewhere, with no input here: back all the same, and the idle time
    // from before the unlock does not send the operator away again.
    idle.sample->idleMs = 30 * kMinute;
    idle.sample->locked = false;
    Idle(1000);
    EXPECT_EQ(sent, (std::vector<int32_t>{3, 1}));
    Idle(1000);
    EXPECT_EQ(sent, (std::vector<int32_t>{3, 1}));
}

TEST_F(AutoAwayTest, OffWithoutSourceOrMinutes) {
    away.SetThresholdMs(0);
    Idle(60 * kMinute);
    AutoAway none{nullptr, [this] { return now; }, [this](int32_t s) { sent.push_back(s); }};
    none.SetThresholdMs(kMinute);
    none.StatusConfirmed(1);
    now += 60 * kMinute;
    none.Tick();
    idle.sample.reset(); // a source that cannot answer just now
    away.SetThresholdMs(kMinute);
    now += 5 * kMinute;
    away.Tick();
    EXPECT_TRUE(sent.empty());
}

} // namespace
} // namespace olvex
