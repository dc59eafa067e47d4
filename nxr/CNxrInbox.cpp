#include "nxr/CNxrInbox.h"

#include <utility>

namespace quillpad {
namespace {

// The bytes of a data event, nullptr for the other kinds.
const ByteString* DataBytes(const NxrIoEvent& event) {
    if (const auto* in = std::get_if<SNxrIoReceived>(&event)) {
        return &in->bytes;
    }
    if (const auto* out = std::get_if<SNxrIoTransmitted>(&event)) {
        return &out->bytes;
    }
    return nullptr;
}

// Joins `next` onto `last` when both are data of one direction and owner.
template <class TData>
bool Join(NxrIoEvent& last, NxrIoEvent& next) {
    auto* a = std::get_if<TData>(&last);
    auto* b = std::get_if<TData>(&next);
    if (a == nullptr || b == nullptr || a->owner != b->owner ||
        a->bytes.size() + b->bytes.size() > CNxrInbox::kJoinLimit) {
        return false;
    }
    a->bytes += b->bytes;
    return true;
}

bool IsCompletionOf(const NxrIoEvent& event, std::uint32_t requestId) {
    const auto* done = std::get_if<SNxrIoCompleted>(&event);
    return done != nullptr && done->requestId == requestId;
}

}  // namespace

bool CNxrInbox::Push(NxrIoEvent event) {
    std::lock_guard lock(m_mutex);
    if (const ByteString* bytes = DataBytes(event)) {
        m_bytes += bytes->size();
        if (!m_events.empty() && (Join<SNxrIoReceived>(m_events.back(), event) ||
                                  Join<SNxrIoTransmitted>(m_events.back(), event))) {
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

bool CNxrInbox::Take(NxrIoEvent& event) {
    std::lock_guard lock(m_mutex);
    if (m_events.empty()) {
        m_wakePending = false;
        return false;
    }
    event = std::move(m_events.front());
    m_events.pop_front();
    if (const ByteString* bytes = DataBytes(event)) {
        m_bytes -= bytes->size();
        if (m_readerPaused && m_bytes < kLowWater) {
            m_readerPaused = false;
            m_resumeDue = true;
        }
    }
    return true;
}

std::optional<SNxrIoCompleted> CNxrInbox::TakeCompletion(
    std::uint32_t requestId, std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(m_mutex);
    const auto take = [&]() -> std::optional<SNxrIoCompleted> {
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            if (IsCompletionOf(*it, requestId)) {
                SNxrIoCompleted done = std::move(std::get<SNxrIoCompleted>(*it));
                m_events.erase(it);
                return done;
            }
        }
        return std::nullopt;
    };
    while (true) {
        if (auto done = take()) {
            return done;
        }
        if (!deadline) {
            m_changed.wait(lock);
        } else if (m_changed.wait_until(lock, *deadline) == std::cv_status::timeout) {
            return take();  // one last look: it may have come with the time-out
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

// Looked at and decided under the one lock that Take() holds too, so the
// owner cannot empty the queue between the look and the pause (and then
// never wake the reader).
std::size_t CNxrInbox::ReaderRoom() {
    std::lock_guard lock(m_mutex);
    if (m_readerPaused) {
        return 0;
    }
    if (m_bytes < kHighWater) {
        return kHighWater - m_bytes;
    }
    m_readerPaused = true;
    ++m_pauses;
    return 0;
}

bool CNxrInbox::TakeResume() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_resumeDue, false);
}

void CNxrInbox::ReaderGone() {
    std::lock_guard lock(m_mutex);
    m_readerPaused = false;
    m_resumeDue = false;
}

bool CNxrInbox::ReaderPaused() const {
    std::lock_guard lock(m_mutex);
    return m_readerPaused;
}

bool CNxrInbox::SetLink(std::uint16_t status, std::string reason) {
    std::lock_guard lock(m_mutex);
    if (status == m_linkStatus) {
        return false;
    }
    m_linkStatus = status;
    m_linkReason = std::move(reason);
    return true;
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
