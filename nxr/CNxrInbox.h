#pragma once
// The queue between a session's I/O thread and the thread that owns it. The
// I/O thread pushes what happened; the owner takes events in the same order
// and turns them into event-sink calls. The queue has no fixed bound, so the
// I/O thread never has to drop what it read while the owner is busy; readers
// that can pause (sockets) ask ReaderRoom(), and the inbox alone decides when
// they pause and when they go on.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "nxr/CSendScheduler.h"
#include "nxr/INxrJob.h"
#include "nxr/NxrTransferEvent.h"
#include "platform/Bytes.h"

namespace quillpad {

// What the I/O thread tells the owner, one small record per kind.
struct SNxrIoStatus {
    std::uint16_t status = 0;
    std::string reason;  // why the link is down; "" when it is not
};
struct SNxrIoLinkUp {};
// Device data. `owner` is the ability the bytes answer, or 0.
struct SNxrIoReceived {
    std::uint32_t owner = 0;
    ByteString bytes;
};
// What left for the device; `owner` as for SNxrIoReceived.
struct SNxrIoTransmitted {
    std::uint32_t owner = 0;
    ByteString bytes;
};
struct SNxrIoCompleted {
    std::uint32_t requestId = 0;
    std::uint32_t code = 0;
    bool success = false;
    std::string text;  // the error when it failed
};
struct SNxrIoAbilityCompleted {
    std::uint32_t requestId = 0;
    bool success = false;
    std::string text;  // the error when it failed
    std::string answer;
};
// A failure that belongs to no request (the text for request id 0).
struct SNxrIoError {
    std::string text;
};
struct SNxrIoTransfer {
    std::uint32_t requestId = 0;
    SNxrTransferEvent event;
};
// A question or a task's progress of a running ability.
struct SNxrIoAbility {
    std::uint32_t requestId = 0;
    SNxrAbilityEvent event;
};

// The modem lines changed (nxr_line bits), or nxr_line::kNone: the link has
// none to tell (any more).
struct SNxrIoLines {
    std::int32_t lines = -1;
};

// A lost serial device came back under another name: the connection's
// text now (event 8).
struct SNxrIoParamsChanged {
    std::string spec;
};

// A lost link that is waited for (ENxrLinkWait) and where.
struct SNxrIoWaiting {
    std::int32_t state = 0;
    std::string where;
};

// The shared link: its port (0: not shared), its clients, and a note when
// one was dropped.
struct SNxrIoShare {
    std::int32_t port = 0;
    std::int32_t clients = 0;
    std::string note;
};

// A periodic send's count so far, or its end with the last count.
struct SNxrIoRepeat {
    std::uint32_t id = 0;
    std::uint32_t sent = 0;
    std::optional<ESendEnd> end;
};

using NxrIoEvent =
    std::variant<SNxrIoStatus, SNxrIoLinkUp, SNxrIoReceived, SNxrIoTransmitted, SNxrIoCompleted,
                 SNxrIoAbilityCompleted, SNxrIoError, SNxrIoTransfer, SNxrIoAbility, SNxrIoLines,
                 SNxrIoParamsChanged, SNxrIoWaiting, SNxrIoShare, SNxrIoRepeat>;

class CNxrInbox {
  public:
    // Consecutive data events of one direction are joined up to this size, so
    // a fast stream costs few events without delaying any byte.
    static constexpr std::size_t kJoinLimit = 256 * 1024;
    // Reading pauses at this many queued bytes (a socket's peer then waits:
    // TCP loses nothing) and resumes once the owner has taken the queue below
    // the low mark.
    static constexpr std::size_t kHighWater = 32u << 20;
    static constexpr std::size_t kLowWater = 8u << 20;

    // Appends; true when the owner has to be woken (the first event since the
    // owner last found the queue empty).
    bool Push(NxrIoEvent event);
    // The oldest event; false when empty, and then the next Push wakes again.
    bool Take(NxrIoEvent& event);
    // Waits until the completion of `requestId` arrives (other events stay
    // queued in order) or the deadline passes.
    std::optional<SNxrIoCompleted> TakeCompletion(
        std::uint32_t requestId, std::optional<std::chrono::steady_clock::time_point> deadline);
    // Drops everything queued.
    void Clear();

    std::size_t QueuedBytes() const;
    std::size_t Size() const;

    // For a reader that can wait (sockets): how many more bytes it may read
    // before the owner falls too far behind. 0 pauses the reader, until
    // TakeResume() tells the owner to wake it.
    std::size_t ReaderRoom();
    // True once after each pause, when Take() has brought the queue below the
    // low mark: the owner then lets the reader go on.
    bool TakeResume();
    // The reader went away: a pause it was in ends without a resume.
    void ReaderGone();
    bool ReaderPaused() const;
    std::uint64_t Pauses() const { return m_pauses; }

    // The link as the I/O thread sees it, and why it is down. The I/O thread
    // keeps it here and nowhere else; false when `status` is the one kept.
    bool SetLink(std::uint16_t status, std::string reason);
    std::uint16_t LinkStatus() const;
    std::string LinkReason() const;

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<NxrIoEvent> m_events;
    std::size_t m_bytes = 0;
    bool m_wakePending = false;
    bool m_readerPaused = false;
    bool m_resumeDue = false;
    std::uint16_t m_linkStatus = 1;
    std::string m_linkReason;
    std::atomic<std::uint64_t> m_pauses{0};
};

}  // namespace quillpad
