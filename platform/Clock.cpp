#include "platform/Clock.h"

#include <chrono>

namespace quillpad {

std::uint32_t CSystemClock::TickCount() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::int64_t CSystemClock::CalendarSeconds() const {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::seconds>(now).count();
}

void CManualClock::Advance(std::uint32_t milliseconds) {
    m_tick += milliseconds;
    const std::uint64_t total = std::uint64_t{m_subSecond} + milliseconds;
    m_seconds += static_cast<std::int64_t>(total / 1000);
    m_subSecond = static_cast<std::uint32_t>(total % 1000);
}

namespace {
CSystemClock g_systemClock;
IClock* g_clock = &g_systemClock;
}  // namespace

IClock& DefaultClock() {
    return *g_clock;
}

void SetDefaultClock(IClock* clock) {
    g_clock = clock ? clock : &g_systemClock;
}

}  // namespace quillpad
