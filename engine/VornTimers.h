// The frame timer: the window's event loop calls Idle whenever it has no events pending; Idle
// sleeps away the rest of the frame period and fires OnTimer once per frame. Times are fixed
// point with 20 fraction bits (milliseconds x 2^20); the clock and the sleep are injectable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace vorn {

enum TPerformancePrecision : std::uint8_t { ppLow = 0, ppHigh = 1 };

// Where the timer reads the time and how it sleeps.
class TTimerClock {
public:
    virtual ~TTimerClock() = default;
    // Counts per second of the high-resolution counter; false when there is none.
    virtual bool QueryFrequency(std::int64_t& frequency) = 0;
    virtual std::int64_t QueryCounter() = 0;
    // Milliseconds since some start; wraps around at 2^32.
    virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// std::chrono::steady_clock in nanoseconds, std::this_thread::sleep_for.
std::unique_ptr<TTimerClock> MakeSystemTimerClock();

class TVornTimer {
public:
    using TTimerEvent = std::function<void(TVornTimer* sender)>;

    static constexpr std::int64_t OneMs = std::int64_t(1) << 20; // one millisecond in fixed point
    static constexpr std::int64_t MaxDelta = 0x2000000;          // 32 ticks

    // nullptr = the system clock.
    explicit TVornTimer(std::unique_ptr<TTimerClock> clock = nullptr);
    ~TVornTimer();
    TVornTimer(const TVornTimer&) = delete;
    TVornTimer& operator=(const TVornTimer&) = delete;

    // Process ticks per second; values below 1.0 (and NaN) become 1.0.
    double Speed() const { return m_speed; }
    void SetSpeed(double value);
    // Frame-rate cap; 0 or less = no cap and no sleeping.
    std::int32_t MaxFPS() const { return m_maxFPS; }
    void SetMaxFPS(std::int32_t value);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value) { m_enabled = value; }
    TPerformancePrecision Precision() const { return m_precision; }

    // Frames per second, updated about once a second.
    std::int32_t FrameRate() const { return m_frameRate; }
    // Ticks elapsed in the last frame x 2^20, at most MaxDelta.
    std::int64_t Delta() const { return m_delta; }
    std::int64_t FramePeriod() const { return m_framePeriod; }
    std::int64_t TickPeriod() const { return m_tickPeriod; }

    TTimerEvent OnTimer;   // once per frame
    TTimerEvent OnProcess; // once per whole process tick

    // One idle step. Answers false: the caller should call again without waiting for events.
    bool Idle();
    // Called by the frame handler after presenting: fires OnProcess once per whole tick
    // gathered, keeps the fraction, returns the number of ticks.
    std::int32_t Process();

private:
    std::int64_t ElapsedTime();

    std::unique_ptr<TTimerClock> m_clock;
    double m_speed = 60.0;
    std::int32_t m_maxFPS = 200;
    bool m_enabled = false;
    TPerformancePrecision m_precision = ppLow;
    std::int64_t m_frequency = 0;

    std::int64_t m_lastCounter = 0;
    std::uint32_t m_lastTick = 0;
    std::int64_t m_framePeriod = 0;
    std::int64_t m_tickPeriod = 0;
    std::int64_t m_elapsed = 0;
    std::int64_t m_delta = 0;
    std::int64_t m_tickAccumulator = 0;
    std::int64_t m_frameCounter = 0;
    std::int64_t m_timeSum = 0;
    std::int32_t m_frameRate = 0;
    bool m_processed = false;
};

} // namespace vorn
