#include "nxr/CSendScheduler.h"

#include <algorithm>
#include <limits>

namespace quillpad {
namespace {

// Whether `tick` has reached `due`, right across a wrap of the tick: due
// times lie less than half the tick's range ahead.
bool Reached(std::uint32_t due, std::uint32_t tick) {
    return TickSpan(due, tick) < 0x8000'0000u;
}

}  // namespace

void CSendScheduler::Start(std::uint32_t id, ByteString bytes, std::uint32_t periodMs,
                           std::uint32_t count) {
    Stop(id);
    m_repeats.push_back({id, std::move(bytes), std::max<std::uint32_t>(periodMs, 1), count, 0,
                         m_clock.TickCount()});
}

std::optional<SSendEnded> CSendScheduler::Stop(std::uint32_t id) {
    const auto it = std::find_if(m_repeats.begin(), m_repeats.end(),
                                 [id](const SRepeat& r) { return r.id == id; });
    if (it == m_repeats.end()) {
        return std::nullopt;
    }
    const SSendEnded ended{id, ESendEnd::Stopped, it->sent};
    m_repeats.erase(it);
    return ended;
}

std::vector<SSendEnded> CSendScheduler::EndAll(ESendEnd how) {
    std::vector<SSendEnded> ended;
    for (const SRepeat& r : m_repeats) {
        ended.push_back({r.id, how, r.sent});
    }
    m_repeats.clear();
    return ended;
}

std::vector<SSendProgress> CSendScheduler::TakeProgress(std::uint32_t gapMs) {
    std::vector<SSendProgress> progress;
    const std::uint32_t now = m_clock.TickCount();
    if (m_lastReport && TickSpan(*m_lastReport, now) < gapMs) {
        return progress;
    }
    for (SRepeat& r : m_repeats) {
        if (r.sent != r.reported) {
            r.reported = r.sent;
            progress.push_back({r.id, r.sent});
        }
    }
    if (!progress.empty()) {
        m_lastReport = now;
    }
    return progress;
}

bool CSendScheduler::Running(std::uint32_t id) const {
    return std::any_of(m_repeats.begin(), m_repeats.end(),
                       [id](const SRepeat& r) { return r.id == id; });
}

std::uint32_t CSendScheduler::Sent(std::uint32_t id) const {
    for (const SRepeat& r : m_repeats) {
        if (r.id == id) {
            return r.sent;
        }
    }
    return 0;
}

std::vector<SSendEnded> CSendScheduler::Poll(const SendFunction& send) {
    std::vector<SSendEnded> ended;
    const std::uint32_t now = m_clock.TickCount();
    // By index and found again after each send: the send may stop or
    // restart repeats (its failure handler, a button pressed meanwhile).
    for (std::size_t i = 0; i < m_repeats.size();) {
        SRepeat& r = m_repeats[i];
        if (!Reached(r.due, now)) {
            ++i;
            continue;
        }
        const std::uint32_t id = r.id;
        const bool took = send(r.bytes);
        // The send may have stopped or restarted this very repeat.
        const auto it = std::find_if(m_repeats.begin(), m_repeats.end(),
                                     [id](const SRepeat& x) { return x.id == id; });
        if (it == m_repeats.end()) {
            continue;
        }
        SRepeat& repeat = *it;
        if (!took) {
            ended.push_back({id, ESendEnd::Failed, repeat.sent});
            m_repeats.erase(it);
            continue;
        }
        ++repeat.sent;
        if (repeat.count != 0 && repeat.sent >= repeat.count) {
            ended.push_back({id, ESendEnd::Done, repeat.sent});
            m_repeats.erase(it);
            continue;
        }
        // The next planned time after now: one period on, or more when
        // the loop was held up past it.
        const std::uint32_t behind = TickSpan(repeat.due, now);
        repeat.due += (behind / repeat.period + 1) * repeat.period;
        i = static_cast<std::size_t>(it - m_repeats.begin()) + 1;
    }
    return ended;
}

std::optional<std::uint32_t> CSendScheduler::NextDelay() const {
    if (m_repeats.empty()) {
        return std::nullopt;
    }
    const std::uint32_t now = m_clock.TickCount();
    std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
    for (const SRepeat& r : m_repeats) {
        best = std::min(best, Reached(r.due, now) ? 0u : TickSpan(now, r.due));
    }
    return best;
}

}  // namespace quillpad
