#include "engine/VornTimers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace vorn {

namespace {

class TSystemTimerClock final : public TTimerClock {
public:
    bool QueryFrequency(std::int64_t& frequency) override {
        frequency = 1'000'000'000; // nanoseconds
        return true;
    }
    std::int64_t QueryCounter() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::uint32_t TickCount() override {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        return static_cast<std::uint32_t>(ms);
    }
    void Sleep(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

constexpr std::int64_t MsPerSecondFixed = 1000 * TVornTimer::OneMs; // one second in fixed point

// Round(1000 * 2^20 / perSecond), at least 1 so that it can divide.
std::int64_t PeriodOf(double perSecond) {
    const double period = std::round(static_cast<double>(MsPerSecondFixed) / perSecond);
    return std::max<std::int64_t>(static_cast<std::int64_t>(period), 1);
}

} // namespace

std::unique_ptr<TTimerClock> MakeSystemTimerClock() {
    return std::make_unique<TSystemTimerClock>();
}

TVornTimer::TVornTimer(std::unique_ptr<TTimerClock> clock) : m_clock(std::move(clock)) {
    if (!m_clock) m_clock = MakeSystemTimerClock();
    SetSpeed(60.0);
    SetMaxFPS(200);
    std::int64_t frequency = 0;
    if (m_clock->QueryFrequency(frequency) && frequency > 0) {
        m_precision = ppHigh;
        m_frequency = frequency;
        m_lastCounter = m_clock->QueryCounter();
    } else {
        m_lastTick = m_clock->TickCount();
    }
}

TVornTimer::~TVornTimer() = default;

void TVornTimer::SetSpeed(double value) {
    // Written so that NaN also becomes 1.0.
    m_speed = value >= 1.0 ? value : 1.0;
    m_tickPeriod = PeriodOf(m_speed);
}

void TVornTimer::SetMaxFPS(std::int32_t value) {
    m_maxFPS = value;
    m_framePeriod = value > 0 ? PeriodOf(static_cast<double>(value)) : 0;
}

std::int64_t TVornTimer::ElapsedTime() {
    std::int64_t elapsed = 0;
    if (m_precision == ppHigh) {
        const std::int64_t now = m_clock->QueryCounter();
        const std::int64_t counts = std::max<std::int64_t>(now - m_lastCounter, 0);
        m_lastCounter = now;
        // counts * 2^20 * 1000 / frequency in 128 bits, capped at 2^52 (about 136 years), so
        // that no gap and no counter frequency can overflow.
        const __int128 fixed = static_cast<__int128>(counts) * MsPerSecondFixed / m_frequency;
        elapsed = static_cast<std::int64_t>(std::min<__int128>(fixed, __int128(1) << 52));
    } else {
        const std::uint32_t now = m_clock->TickCount();
        elapsed = static_cast<std::int64_t>(static_cast<std::uint32_t>(now - m_lastTick)) * OneMs;
        m_lastTick = now;
    }
    return elapsed;
}

bool TVornTimer::Idle() {
    m_elapsed = ElapsedTime();
    if (!m_enabled) {
        m_clock->Sleep(5);
        return false;
    }

    std::int64_t wait = 0;
    if (m_framePeriod > m_elapsed) {
        wait = (m_framePeriod - m_elapsed) / OneMs;
        if (m_maxFPS > 0) m_clock->Sleep(static_cast<std::uint32_t>(std::min<std::int64_t>(wait, 1000)));
    }

    // Beyond 2^42 (about 70 minutes) the quotient exceeds the cap for any Speed >= 1.
    const std::int64_t elapsedForDelta = std::min<std::int64_t>(m_elapsed, std::int64_t(1) << 42);
    m_delta = std::min(elapsedForDelta * OneMs / m_tickPeriod, MaxDelta);

    m_timeSum += m_elapsed + wait * OneMs;
    const std::int64_t needed = m_elapsed > 0 ? MsPerSecondFixed / m_elapsed : 4;
    ++m_frameCounter;
    if (m_frameCounter >= needed) {
        // Frames that took no measurable time give no rate; keep counting until they do.
        if (m_timeSum > 0) {
            m_frameRate = static_cast<std::int32_t>(m_frameCounter * MsPerSecondFixed / m_timeSum);
            m_timeSum = 0;
            m_frameCounter = 0;
        }
    }

    if (m_processed) {
        m_tickAccumulator += m_delta;
        m_processed = false;
    }
    if (OnTimer) OnTimer(this);
    return false;
}

std::int32_t TVornTimer::Process() {
    m_processed = true;
    const std::int64_t n = m_tickAccumulator / OneMs;
    if (n >= 1) {
        for (std::int64_t i = 0; i < n; ++i)
            if (OnProcess) OnProcess(this);
        m_tickAccumulator &= OneMs - 1;
    }
    return static_cast<std::int32_t>(n);
}

} // namespace vorn
