#pragma once
// The queue between a session's I/O thread and the thread that owns it. The
// I/O thread pushes what happened; the owner takes events in the same order
// and turns them into event-sink calls. The queue has no fixed bound, so the
// I/O thread never has to drop what it read while the owner is busy; readers
// that can pause (sockets) look at QueuedBytes() to apply back-pressure.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "nxr/CNxrAbilityJob.h"
#include "nxr/NxrTransferEvent.h"
#include "platform/Bytes.h"

namespace quillpad {

enum class ENxrIoEventKind {
    Status,            // status
    LinkUp,            //
    Received,          // bytes; requestId: the ability they answer, or 0
    Transmitted,       // bytes; requestId as for Received
    Completed,         // requestId, code, success, text (error when failed)
    AbilityCompleted,  // requestId, success, text
    Error,             // text for request id 0
    Transfer,          // requestId, transfer
    Ability,           // requestId, ability (a question or a task's progress)
};

struct SNxrIoEvent {
    ENxrIoEventKind kind = ENxrIoEventKind::Error;
    std::uint16_t status = 0;
    std::uint32_t requestId = 0;
    std::uint32_t code = 0;
    bool success = false;
    ByteString bytes;
    std::string text;
    SNxrTransferEvent transfer = {};
    SNxrAbilityEvent ability = {};
};

class CNxrInbox {
  public:
    // Consecutive data events of one direction are joined up to this size, so
    // a fast stream costs few events without delaying any byte.
    static constexpr std::size_t kJoinLimit = 256 * 1024;

    // Appends; true when the owner has to be woken (the first event since the
    // owner last found the queue empty).
    bool Push(SNxrIoEvent event);
    // The oldest event; false when empty, and then the next Push wakes again.
    bool Take(SNxrIoEvent& event);
    // Waits until the completion of `requestId` arrives (other events stay
    // queued in order) or the deadline passes.
    std::optional<SNxrIoEvent> TakeCompletion(
        std::uint32_t requestId, std::optional<std::chrono::steady_clock::time_point> deadline);
    // Drops everything queued.
    void Clear();

    std::size_t QueuedBytes() const;
    std::size_t Size() const;

    // The link as the I/O thread last saw it, and why it is down.
    void SetLink(std::uint16_t status, std::string reason);
    std::uint16_t LinkStatus() const;
    std::string LinkReason() const;

    // Whether the reader stopped reading to let the owner catch up.
    void SetReaderPaused(bool paused) {
        if (paused && !m_readerPaused.exchange(true)) {
            ++m_pauses;
        }
        m_readerPaused = paused;
    }
    bool ReaderPaused() const { return m_readerPaused; }
    std::uint64_t Pauses() const { return m_pauses; }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<SNxrIoEvent> m_events;
    std::size_t m_bytes = 0;
    bool m_wakePending = false;
    std::uint16_t m_linkStatus = 1;
    std::string m_linkReason;
    std::atomic<bool> m_readerPaused{false};
    std::atomic<std::uint64_t> m_pauses{0};
};

}  // namespace quillpad
