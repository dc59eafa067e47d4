#pragma once
// Time sources: the 32-bit millisecond tick (wraps at 2^32, like the system
// tick counter it stands for) and the calendar time in whole seconds. Code
// that reads time takes an IClock so tests can put the tick anywhere,
// including just below the wrap.

#include <cstdint>

namespace quillpad {

class IClock {
  public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start, modulo 2^32.
    virtual std::uint32_t TickCount() const = 0;
    // Seconds since the epoch (time_t); local time comes from LocalTime.h.
    virtual std::int64_t CalendarSeconds() const = 0;
};

// The real clocks: a monotonic tick and the system's calendar time.
class CSystemClock final : public IClock {
  public:
    std::uint32_t TickCount() const override;
    std::int64_t CalendarSeconds() const override;
};

// A clock that moves only when told to.
class CManualClock final : public IClock {
  public:
    CManualClock(std::uint32_t tick = 0, std::int64_t seconds = 0)
        : m_tick(tick), m_seconds(seconds) {}
    std::uint32_t TickCount() const override { return m_tick; }
    std::int64_t CalendarSeconds() const override { return m_seconds; }
    void SetTick(std::uint32_t tick) { m_tick = tick; }
    void SetCalendarSeconds(std::int64_t seconds) { m_seconds = seconds; }
    // Moves both clocks on; the tick wraps as the real one does.
    void Advance(std::uint32_t milliseconds);

  private:
    std::uint32_t m_tick;
    std::int64_t m_seconds;
    std::uint32_t m_subSecond = 0;
};

// The process's clock: the system clock unless a test installed another.
IClock& DefaultClock();
// Installs a clock for the process (nullptr puts the system clock back).
void SetDefaultClock(IClock* clock);

// Milliseconds from `from` to `to`, right across a wrap of the tick.
constexpr std::uint32_t TickSpan(std::uint32_t from, std::uint32_t to) {
    return to - from;
}

}  // namespace quillpad
