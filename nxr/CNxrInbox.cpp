#include "nxr/CNxrInbox.h"

namespace quillpad {
namespace {

bool IsData(ENxrIoEventKind kind) {
    return kind == ENxrIoEventKind::Received || kind == ENxrIoEventKind::Transmitted;
}

}  // namespace

bool CNxrInbox::Push(SNxrIoEvent event) {
    std::lock_guard lock(m_mutex);
    if (IsData(event.kind)) {
        m_bytes += event.bytes.size();
        if (!m_events.empty() && m_events.back().kind == event.kind &&
            m_events.back().requestId == event.requestId &&
            m_events.back().bytes.size() + event.bytes.size() <= kJoinLimit) {
            m_events.back().bytes += event.bytes;
            return false;
        }
    }
    m_events.push_back(std::move(event));
    m_changed.notify_all();
    if (m_wakePending) {
        return false;
    }
    m_wakePending = true;
    return true;
}

bool CNxrInbox::Take(SNxrIoEvent& event) {
    std::lock_guard lock(m_mutex);
    if (m_events.empty()) {
        m_wakePending = false;
        return false;
    }
    event = std::move(m_events.front());
    m_events.pop_front();
    if (IsData(event.kind)) {
        m_bytes -= event.bytes.size();
    }
    return true;
}

std::optional<SNxrIoEvent> CNxrInbox::TakeCompletion(
    std::uint32_t requestId, std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(m_mutex);
    while (true) {
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            if (it->kind == ENxrIoEventKind::Completed && it->requestId == requestId) {
                SNxrIoEvent event = std::move(*it);
                m_events.erase(it);
                return event;
            }
        }
        if (!deadline) {
            m_changed.wait(lock);
        } else if (m_changed.wait_until(lock, *deadline) == std::cv_status::timeout) {
            // One last look: the completion may have come with the time-out.
            for (auto it = m_events.begin(); it != m_events.end(); ++it) {
                if (it->kind == ENxrIoEventKind::Completed && it->requestId == requestId) {
                    SNxrIoEvent event = std::move(*it);
                    m_events.erase(it);
                    return event;
                }
            }
            return std::nullopt;
        }
    }
}

void CNxrInbox::Clear() {
    std::lock_guard lock(m_mutex);
    m_events.clear();
    m_bytes = 0;
}

std::size_t CNxrInbox::QueuedBytes() const {
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

std::size_t CNxrInbox::Size() const {
    std::lock_guard lock(m_mutex);
    return m_events.size();
}

void CNxrInbox::SetLink(std::uint16_t status, std::string reason) {
    std::lock_guard lock(m_mutex);
    m_linkStatus = status;
    m_linkReason = std::move(reason);
}

std::uint16_t CNxrInbox::LinkStatus() const {
    std::lock_guard lock(m_mutex);
    return m_linkStatus;
}

std::string CNxrInbox::LinkReason() const {
    std::lock_guard lock(m_mutex);
    return m_linkReason;
}

}  // namespace quillpad
