#include "nxr/CNxrJobRunner.h"

#include <algorithm>
#include <utility>

namespace quillpad {

CNxrJobRunner::CNxrJobRunner(const IClock& clock, INxrJobHost& host)
    : m_clock(clock), m_host(host) {}

CNxrJobRunner::~CNxrJobRunner() = default;

bool CNxrJobRunner::Run(SNxrJobOrder order) {
    if (m_job && !(order.queues && m_order.queues)) {
        return false;
    }
    m_queue.push_back(std::move(order));
    if (!m_job) {
        StartNext();
    }
    return true;
}

void CNxrJobRunner::StartNext() {
    while (!m_job && !m_queue.empty()) {
        SNxrJobOrder order = std::move(m_queue.front());
        m_queue.pop_front();
        std::unique_ptr<INxrJob> job = order.start ? order.start(m_clock.TickCount()) : nullptr;
        if (!job) {
            continue;
        }
        m_job = std::move(job);
        m_order = std::move(order);
        m_told = false;
        ++m_turn;
        Pump();  // a job that ends at once starts the next itself
    }
}

void CNxrJobRunner::Pump() {
    if (!m_job) {
        return;
    }
    const std::uint64_t turn = m_turn;
    ByteString out = m_job->TakeOutput();
    if (!out.empty() && !m_silent) {
        const std::string error =
            m_host.SendForJob(m_order.id, m_job->OutputKind(), std::move(out));
        if (turn != m_turn) {
            return;  // the send lost the link, which ended the job
        }
        if (error.empty()) {
            m_job->OutputSent(m_clock.TickCount());
        } else if (!m_told) {
            m_told = true;
            m_job->LinkLost(error);
        }
    }
    for (NxrJobEvent& event : m_job->TakeJobEvents()) {
        m_host.JobEvent(m_order.id, std::move(event));
    }
    // A job that heard of the lost link is over, finished or not.
    if (m_job->Finished() || m_told) {
        End();
        StartNext();
        return;
    }
    const std::optional<std::uint32_t> due = m_job->NextDeadline();
    if (!due) {
        m_host.ArmTimer(std::nullopt);  // it waits as long as it takes
        return;
    }
    const auto wait = static_cast<std::int32_t>(*due - m_clock.TickCount());
    m_host.ArmTimer(static_cast<std::uint32_t>(std::max(0, wait)));
}

void CNxrJobRunner::End() {
    const std::unique_ptr<INxrJob> job = std::move(m_job);
    const SNxrJobOrder order = std::exchange(m_order, {});
    ++m_turn;
    m_host.ArmTimer(std::nullopt);
    if (order.finished) {
        order.finished(*job);
    }
}

std::size_t CNxrJobRunner::Feed(std::string_view bytes) {
    if (!m_job || bytes.empty()) {
        return 0;
    }
    const std::size_t used = m_job->Feed(bytes, m_clock.TickCount());
    Pump();
    return std::min(used, bytes.size());
}

void CNxrJobRunner::TimerFired() {
    if (m_job) {
        m_job->Tick(m_clock.TickCount());
        Pump();
    }
}

bool CNxrJobRunner::Answer(std::uint32_t id, const std::optional<std::string>& answer) {
    if (!m_job || m_order.id != id) {
        return false;
    }
    m_job->Answer(answer, m_clock.TickCount());
    Pump();
    return true;
}

bool CNxrJobRunner::Cancel(std::uint32_t id) {
    if (!m_job || m_order.id != id) {
        return false;
    }
    m_job->Cancel(m_clock.TickCount());
    Pump();
    return true;
}

std::optional<SNxrJobOrder> CNxrJobRunner::Unqueue(std::uint32_t id) {
    const auto it = std::find_if(m_queue.begin(), m_queue.end(),
                                 [id](const SNxrJobOrder& order) { return order.id == id; });
    if (it == m_queue.end()) {
        return std::nullopt;
    }
    SNxrJobOrder order = std::move(*it);
    m_queue.erase(it);
    return order;
}

std::vector<SNxrJobOrder> CNxrJobRunner::LinkLost(const std::string& why) {
    std::vector<SNxrJobOrder> unrun(std::make_move_iterator(m_queue.begin()),
                                    std::make_move_iterator(m_queue.end()));
    m_queue.clear();
    if (m_job && !m_told) {
        m_told = true;
        m_job->LinkLost(why);
        const bool wasSilent = std::exchange(m_silent, true);
        Pump();
        m_silent = wasSilent;
    }
    return unrun;
}

}  // namespace quillpad
