// The shared timer pool: handles, minimum interval, the platform period,
// the early-delivery rule with an injected clock, handler failures and a
// platform that has no timer to give.
#include <gtest/gtest.h>

#include <QObject>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "clock/OvcTimerPool.h"

namespace {

// A platform timer the test fires by hand.
class TFakeTimer : public TPoolTimerDevice {
public:
    void SetOnTimer(std::function<void()> onTimer) override { fire = std::move(onTimer); }
    bool Start(int periodMs) override {
        starts.push_back(periodMs);
        running = available;
        return available;
    }
    void Stop() override {
        running = false;
        ++stops;
    }
    std::function<void()> fire;
    std::vector<int> starts;
    int stops = 0;
    bool running = false;
    bool available = true;
};

class TimerPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = std::make_unique<TFakeTimer>();
        timer = device.get();
        pool = std::make_unique<TOvcTimerPool>(std::move(device), [this] { return now; });
        pool->SetExceptionReport([this](const std::string& what) { reports.push_back(what); });
    }
    // The platform timer fires at the given time.
    void FireAt(std::uint64_t t) {
        now = t;
        timer->fire();
    }

    std::uint64_t now = 1000000;
    TFakeTimer* timer = nullptr;
    std::unique_ptr<TOvcTimerPool> pool;
    std::vector<std::string> reports;
};

}  // namespace

TEST_F(TimerPoolTest, HandlesCountUpFromZeroAndTheTimerStopsWhenEmpty) {
    EXPECT_EQ(pool->Add(nullptr, 500), 0);
    EXPECT_EQ(pool->Add(nullptr, 500), 1);
    EXPECT_EQ(pool->Add(nullptr, 500), 2);
    pool->Remove(1);
    EXPECT_EQ(pool->Add(nullptr, 500), 3) << "one more than the largest handle in use";
    pool->Remove(3);
    EXPECT_EQ(pool->Add(nullptr, 500), 3);
    pool->Remove(0);
    pool->Remove(2);
    pool->Remove(3);
    pool->Remove(42);  // unknown: ignored
    EXPECT_EQ(pool->Count(), 0u);
    EXPECT_FALSE(timer->running);
    EXPECT_EQ(pool->Period(), 0);
    EXPECT_EQ(pool->Add(nullptr, 500), 0) << "an empty pool starts again at 0";
}

TEST_F(TimerPoolTest, PeriodFollowsTheIntervalsAndNeverGoesBelowFiftyFive) {
    const int clock = pool->Add(nullptr, 500);
    EXPECT_EQ(pool->Period(), 500) << "the clock's single tick";
    EXPECT_TRUE(timer->running);

    const int other = pool->Add(nullptr, 300);
    EXPECT_EQ(pool->Period(), 100) << "the largest period up to 300 dividing 300 and 500";
    pool->Remove(other);
    EXPECT_EQ(pool->Period(), 500);

    const int fast = pool->Add(nullptr, 10);
    EXPECT_EQ(pool->Period(), 55) << "intervals below 55 ms are raised";
    pool->Remove(fast);
    pool->Remove(clock);

    // The time until the next tick is due also bounds the period.
    pool->Add(nullptr, 1000);
    now += 700;
    pool->Add(nullptr, 1000);
    EXPECT_EQ(pool->Period(), 250) << "300 ms until the first is due, reduced to divide 1000";
}

TEST_F(TimerPoolTest, DeliversOnlyAfterIntervalLessTwentySevenMilliseconds) {
    std::vector<std::uint64_t> deliveries;
    pool->Add([&](int) { deliveries.push_back(now); }, 500);
    const std::uint64_t start = now;
    FireAt(start + 472);
    EXPECT_TRUE(deliveries.empty()) << "472 ms < 500 - 27";
    FireAt(start + 473);
    EXPECT_EQ(deliveries, std::vector<std::uint64_t>{start + 473});
    FireAt(start + 473 + 300);
    EXPECT_EQ(deliveries.size(), 1u) << "measured from the last delivery";
    FireAt(start + 473 + 500);
    EXPECT_EQ(deliveries.size(), 2u);
    FireAt(start + 473 + 500 + 1700);
    EXPECT_EQ(deliveries.size(), 3u) << "a late timer delivers once, not once per missed turn";
}

TEST_F(TimerPoolTest, SmallIntervalIsRaisedForDeliveryToo) {
    int count = 0;
    pool->Add([&](int) { ++count; }, 1);
    const std::uint64_t start = now;
    FireAt(start + 27);
    EXPECT_EQ(count, 0) << "55 - 27 = 28 ms at the least";
    FireAt(start + 28);
    EXPECT_EQ(count, 1);
}

TEST_F(TimerPoolTest, DisabledAndOneShotTicks) {
    int a = 0, b = 0;
    const int ha = pool->Add([&](int) { ++a; }, 100);
    pool->Add([&](int) { ++b; }, 100, false);
    pool->SetEnabled(ha, false);
    FireAt(now + 100);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(pool->Count(), 1u) << "a one-shot tick leaves after its delivery";
    pool->SetEnabled(ha, true);
    FireAt(now + 100);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
}

TEST_F(TimerPoolTest, HandlerFailureIsReportedAndThePoolCarriesOn) {
    int later = 0;
    pool->Add([](int) { throw std::runtime_error("drawing failed"); }, 100);
    pool->Add([&](int) { ++later; }, 200);
    FireAt(now + 200);
    EXPECT_EQ(reports, std::vector<std::string>{"drawing failed"});
    EXPECT_EQ(later, 1) << "the next tick is still delivered";
    FireAt(now + 200);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(later, 2);
}

TEST_F(TimerPoolTest, HandlerMayRemoveItselfAndOthers) {
    int first = 0, second = 0;
    int secondHandle = -1;
    const int firstHandle = pool->Add(
        [&](int self) {
            ++first;
            pool->Remove(self);
            pool->Remove(secondHandle);
        },
        100);
    secondHandle = pool->Add([&](int) { ++second; }, 100);
    FireAt(now + 100);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "removed before its turn, not delivered";
    EXPECT_EQ(pool->Count(), 0u);
    EXPECT_FALSE(timer->running);
    (void)firstHandle;
}

TEST_F(TimerPoolTest, NoPlatformTimerRaisesAndKeepsNothing) {
    timer->available = false;
    try {
        pool->Add(nullptr, 500);
        FAIL() << "no error raised";
    } catch (const EOvcTimerPoolError& e) {
        EXPECT_STREQ(e.what(), "No Window's timers are available");
    }
    EXPECT_EQ(pool->Count(), 0u) << "a tick that can never fire is not kept";
    timer->available = true;
    EXPECT_EQ(pool->Add(nullptr, 500), 0);
}

TEST(QtTimerPool, RefusesWithoutAnEventLoopToRunIn) {
    // No application object: Qt has no event dispatcher and no timer to give.
    TOvcTimerPool pool(MakeQtPoolTimerDevice(), &MonotonicMilliseconds);
    EXPECT_THROW(pool.Add(nullptr, 500), EOvcTimerPoolError);
    EXPECT_EQ(pool.Count(), 0u);
}

TEST(QtTimerPool, MonotonicClockDoesNotGoBack) {
    std::uint64_t last = MonotonicMilliseconds();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t t = MonotonicMilliseconds();
        ASSERT_GE(t, last);
        last = t;
    }
}
