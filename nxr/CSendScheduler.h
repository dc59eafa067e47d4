#pragma once
// Periodic sends on the console's clock. Each repeat is planned from its
// start: the k-th send is due at start + k * period, whatever the sends
// before it cost, so the period never drifts. A repeat that falls more than
// a period behind (the loop was held up) sends once when it can and goes on
// at its next planned time: missed sends are not made up in a burst, which
// a device polled for its status would only take as noise.
//
// The owner calls Poll when NextDelay says, on the thread that owns the
// link's send (the session's I/O thread); the scheduler itself has no timer.
// What it has sent reaches the user through TakeProgress, at a pace a
// display can follow rather than one note per send.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"
#include "platform/Clock.h"

namespace quillpad {

enum class ESendEnd { Done, Stopped, Failed };

struct SSendEnded {
    std::uint32_t id;
    ESendEnd how;
    std::uint32_t sent;
};

struct SSendProgress {
    std::uint32_t id;
    std::uint32_t sent;
};

class CSendScheduler {
  public:
    // True when the link took the bytes.
    using SendFunction = std::function<bool(std::string_view bytes)>;

    explicit CSendScheduler(const IClock& clock) : m_clock(clock) {}

    // Starts `id` (replacing a running repeat of it): the first send is due
    // at once, then one every `periodMs` (at least 1), `count` in all (0:
    // until stopped).
    void Start(std::uint32_t id, ByteString bytes, std::uint32_t periodMs, std::uint32_t count);
    // Ends `id` as stopped; none when it was not running.
    std::optional<SSendEnded> Stop(std::uint32_t id);
    // Ends every running repeat as `how` (the link went, the owner closes).
    std::vector<SSendEnded> EndAll(ESendEnd how);

    bool Running(std::uint32_t id) const;
    bool AnyRunning() const { return !m_repeats.empty(); }
    // Sends made by the running repeat of `id`; 0 when none runs.
    std::uint32_t Sent(std::uint32_t id) const;

    // Sends every repeat that is due, in the order they were started. A send
    // the link refuses ends its repeat. Returns the repeats that ended.
    std::vector<SSendEnded> Poll(const SendFunction& send);
    // Milliseconds until the next send is due (0: now); none when nothing runs.
    std::optional<std::uint32_t> NextDelay() const;
    // The counts that changed since the last report, at most one report
    // every `gapMs`: empty when nothing changed or the last one is younger.
    // A repeat's end carries its own count, so nothing is lost between.
    std::vector<SSendProgress> TakeProgress(std::uint32_t gapMs);

  private:
    struct SRepeat {
        std::uint32_t id;
        ByteString bytes;
        std::uint32_t period;
        std::uint32_t count;
        std::uint32_t sent = 0;
        std::uint32_t due;  // tick of the next planned send
        std::uint32_t reported = 0;
    };

    const IClock& m_clock;
    std::vector<SRepeat> m_repeats;
    std::optional<std::uint32_t> m_lastReport;  // tick of the last progress report
};

}  // namespace quillpad
