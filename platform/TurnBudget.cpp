#include "platform/TurnBudget.h"

#include <algorithm>
#include <chrono>

namespace quillpad {

std::int64_t CTurnBudget::Grant(std::int64_t wantNs, std::int64_t nowNs) const {
    if (!m_started) {
        return wantNs;
    }
    const std::int64_t left = m_spent ? 0 : m_turnStartNs + kTurnNs - nowNs;
    return std::min(wantNs, std::max(left, std::min(wantNs, kFloorNs)));
}

CTurnBudget& ThreadTurnBudget() {
    thread_local CTurnBudget budget;
    return budget;
}

std::int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace quillpad
