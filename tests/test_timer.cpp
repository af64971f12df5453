// The frame timer against a scripted clock: periods, sleeping, Delta, the frame-rate counter
// and the whole-tick processing, all in exact fixed point (milliseconds x 2^20).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/VornTimers.h"

namespace vorn {
namespace {

// A clock that moves only when told to; with frequency 0 it has no high-resolution counter.
class TFakeClock : public TTimerClock {
public:
    explicit TFakeClock(std::int64_t frequency) : m_frequency(frequency) {}
    bool QueryFrequency(std::int64_t& frequency) override {
        frequency = m_frequency;
        return m_frequency > 0;
    }
    std::int64_t QueryCounter() override { return counter; }
    std::uint32_t TickCount() override { return tick; }
    void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }

    std::int64_t counter = 1000;
    std::uint32_t tick = 5000;
    std::vector<std::uint32_t> sleeps;

private:
    std::int64_t m_frequency;
};

constexpr std::int64_t Ms = std::int64_t(1) << 20;

struct TimerFixture : ::testing::Test {
    // Millisecond tick count (ppLow) unless a frequency is given.
    void Make(std::int64_t frequency = 0) {
        auto clock = std::make_unique<TFakeClock>(frequency);
        fake = clock.get();
        timer = std::make_unique<TVornTimer>(std::move(clock));
        timer->OnTimer = [this](TVornTimer* sender) {
            EXPECT_EQ(sender, timer.get());
            ++frames;
        };
        timer->OnProcess = [this](TVornTimer*) { ++ticks; };
    }
    // One idle step after ms milliseconds on the tick count.
    void IdleAfterMs(std::uint32_t ms) {
        fake->tick += ms;
        EXPECT_FALSE(timer->Idle());
    }

    TFakeClock* fake = nullptr;
    std::unique_ptr<TVornTimer> timer;
    int frames = 0;
    int ticks = 0;
};

TEST_F(TimerFixture, DefaultsAndPeriods) {
    Make();
    EXPECT_EQ(timer->Speed(), 60.0);
    EXPECT_EQ(timer->MaxFPS(), 200);
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->Precision(), ppLow);
    EXPECT_EQ(timer->FramePeriod(), 5242880); // 1000 * 2^20 / 200
    EXPECT_EQ(timer->TickPeriod(), 17476267); // 1000 * 2^20 / 60 = 17476266.67, rounded
    EXPECT_EQ(timer->FrameRate(), 0);
    EXPECT_EQ(timer->Delta(), 0);
}

TEST_F(TimerFixture, HighResolutionCounterGivesHighPrecision) {
    Make(3);
    EXPECT_EQ(timer->Precision(), ppHigh);
    timer->SetEnabled(true);
    timer->SetMaxFPS(0);
    timer->SetSpeed(1000.0); // tick period 2^20: Delta equals the elapsed time
    fake->counter += 1;      // a third of a second: 1000 * 2^20 / 3 = 349525333.33
    timer->Idle();
    EXPECT_EQ(timer->TickPeriod(), Ms);
    EXPECT_EQ(timer->Delta(), TVornTimer::MaxDelta); // 333 ticks, capped at 32
    timer->SetSpeed(1.0);                            // tick period 1000 ms
    fake->counter += 1;
    timer->Idle();
    // 349525333 * 2^20 / (1000 * 2^20) = 0.3495 ticks, truncated in fixed point.
    EXPECT_EQ(timer->Delta(), 349525333 / 1000);
}

TEST_F(TimerFixture, SpeedBelowOneBecomesOne) {
    Make();
    timer->SetSpeed(0.5);
    EXPECT_EQ(timer->Speed(), 1.0);
    EXPECT_EQ(timer->TickPeriod(), 1000 * Ms);
    timer->SetSpeed(std::nan(""));
    EXPECT_EQ(timer->Speed(), 1.0);
    timer->SetSpeed(10.0);
    EXPECT_EQ(timer->TickPeriod(), 104857600);
    timer->SetSpeed(1e300); // the period would round to 0; it stays usable as a divisor
    EXPECT_EQ(timer->TickPeriod(), 1);
}

TEST_F(TimerFixture, DisabledIdleSleepsFiveMsAndFiresNothing) {
    Make();
    IdleAfterMs(1);
    EXPECT_EQ(fake->sleeps, (std::vector<std::uint32_t>{5}));
    EXPECT_EQ(frames, 0);
}

TEST_F(TimerFixture, SleepsTheRestOfTheFramePeriod) {
    Make();
    timer->SetEnabled(true);
    IdleAfterMs(2); // 5 ms period, 2 ms elapsed
    IdleAfterMs(5); // exactly the period: no wait left
    IdleAfterMs(9); // above the period
    EXPECT_EQ(fake->sleeps, (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(frames, 3);
}

TEST_F(TimerFixture, PartOfAMillisecondLeftSleepsZero) {
    Make(1'000'000); // microsecond counter
    timer->SetEnabled(true);
    fake->counter += 4500; // 4.5 ms: 0.5 ms left, which is 0 whole milliseconds
    timer->Idle();
    EXPECT_EQ(fake->sleeps, (std::vector<std::uint32_t>{0}));
}

TEST_F(TimerFixture, MaxFpsZeroNeverSleeps) {
    Make();
    timer->SetEnabled(true);
    timer->SetMaxFPS(0);
    EXPECT_EQ(timer->FramePeriod(), 0);
    IdleAfterMs(0);
    IdleAfterMs(1);
    timer->SetMaxFPS(-5);
    IdleAfterMs(0);
    EXPECT_TRUE(fake->sleeps.empty());
    EXPECT_EQ(frames, 3);
}

TEST_F(TimerFixture, DeltaIsElapsedInTicksCappedAt32) {
    Make();
    timer->SetEnabled(true);
    IdleAfterMs(16);
    // 16 ms of a 16.67 ms tick: 16 * 2^20 * 2^20 / 17476267 = 1006632.94, truncated.
    EXPECT_EQ(timer->Delta(), 1006632);
    IdleAfterMs(1000); // 60 ticks
    EXPECT_EQ(timer->Delta(), 0x2000000);
    timer->SetSpeed(10.0);
    IdleAfterMs(250);
    EXPECT_EQ(timer->Delta(), 2 * Ms + Ms / 2);
}

TEST_F(TimerFixture, TickCountWrapsAround) {
    Make();
    timer->SetEnabled(true);
    timer->SetSpeed(1000.0);
    fake->tick = 0xFFFFFFFEu;
    timer->Idle();
    fake->tick = 3; // five milliseconds later
    timer->Idle();
    EXPECT_EQ(timer->Delta(), 5 * Ms);
}

TEST_F(TimerFixture, LongGapOnNanosecondCounterDoesNotOverflow) {
    Make(1'000'000'000);
    timer->SetEnabled(true);
    fake->counter += std::int64_t(36'000) * 1'000'000'000; // ten hours
    timer->Idle();
    EXPECT_EQ(timer->Delta(), TVornTimer::MaxDelta);
    EXPECT_TRUE(fake->sleeps.empty());
}

TEST_F(TimerFixture, FrameRateCountsAboutOneSecondOfFrames) {
    Make();
    timer->SetEnabled(true);
    timer->SetMaxFPS(0);
    // 5 ms frames: 1000 / 5 = 200 frames are needed before the rate is computed.
    for (int i = 0; i < 199; ++i) IdleAfterMs(5);
    EXPECT_EQ(timer->FrameRate(), 0);
    IdleAfterMs(5);
    EXPECT_EQ(timer->FrameRate(), 200); // 200 * 1000 / (200 * 5)
    // The sum restarted: 100 frames of 10 ms make the next rate.
    for (int i = 0; i < 100; ++i) IdleAfterMs(10);
    EXPECT_EQ(timer->FrameRate(), 100);
}

TEST_F(TimerFixture, FrameRateCountsTheSleptWait) {
    Make();
    timer->SetEnabled(true);
    // 2 ms work + 3 ms sleep per frame; 1000 / 2 = 500 frames needed.
    for (int i = 0; i < 500; ++i) IdleAfterMs(2);
    EXPECT_EQ(timer->FrameRate(), 200);
}

TEST_F(TimerFixture, FramesOfNoTimeDoNotDivideByZero) {
    Make();
    timer->SetEnabled(true);
    timer->SetMaxFPS(0);
    for (int i = 0; i < 10; ++i) IdleAfterMs(0);
    EXPECT_EQ(timer->FrameRate(), 0);
    IdleAfterMs(1000); // 11 frames in one second
    EXPECT_EQ(timer->FrameRate(), 11);
}

TEST_F(TimerFixture, ProcessRunsWholeTicksAndKeepsTheFraction) {
    Make();
    timer->SetEnabled(true);
    timer->SetMaxFPS(0);
    timer->SetSpeed(10.0); // 100 ms ticks

    IdleAfterMs(250); // not yet processed once: nothing is gathered
    EXPECT_EQ(timer->Process(), 0);
    EXPECT_EQ(ticks, 0);

    IdleAfterMs(250); // 2.5 ticks
    EXPECT_EQ(timer->Process(), 2);
    EXPECT_EQ(ticks, 2);

    IdleAfterMs(50); // 0.5 more: with the kept half, one whole tick
    EXPECT_EQ(timer->Process(), 1);
    EXPECT_EQ(ticks, 3);

    // Only one Delta is gathered per processed frame.
    IdleAfterMs(100);
    IdleAfterMs(100);
    EXPECT_EQ(timer->Process(), 1);
    EXPECT_EQ(ticks, 4);
}

TEST_F(TimerFixture, ProcessWithoutHandlerStillCounts) {
    Make();
    timer->OnProcess = nullptr;
    timer->SetEnabled(true);
    timer->SetMaxFPS(0);
    timer->SetSpeed(1000.0);
    timer->Process();
    IdleAfterMs(3);
    EXPECT_EQ(timer->Process(), 3);
}

TEST(SystemTimer, RunsOnTheSteadyClock) {
    TVornTimer timer;
    EXPECT_EQ(timer.Precision(), ppHigh);
    int frames = 0;
    timer.OnTimer = [&](TVornTimer*) { ++frames; };
    timer.SetEnabled(true);
    timer.Idle();
    timer.Idle();
    EXPECT_EQ(frames, 2);
    EXPECT_GE(timer.Delta(), 0);
}

} // namespace
} // namespace vorn
