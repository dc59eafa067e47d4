#pragma once
// Periodic sends on the console's clock. Each repeat is planned from its
// start: the k-th send is due at start + k * period, whatever the sends
// before it cost, so the period never drifts. A repeat that falls more than
// a period behind (the loop was held up) sends once when it can and goes on
// at its next planned time: missed sends are not made up in a burst, which
// a device polled for its status would only take as noise.
//
// The owner calls Poll when NextDelay says, on the thread that owns the
// link's send; the scheduler itself has no timer.

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

class CSendScheduler {
  public:
    // True when the link took the bytes.
    using SendFunction = std::function<bool(std::string_view bytes)>;

    explicit CSendScheduler(const IClock& clock) : m_clock(clock) {}

    // Starts `id` (replacing a running repeat of it): the first send is due
    // at once, then one every `periodMs` (at least 1), `count` in all (0:
    // until stopped).
    void Start(std::uint32_t id, ByteString bytes, std::uint32_t periodMs, std::uint32_t count);
    void Stop(std::uint32_t id);
    void StopAll();

    bool Running(std::uint32_t id) const;
    bool AnyRunning() const { return !m_repeats.empty(); }
    // Sends made by the running repeat of `id`; 0 when none runs.
    std::uint32_t Sent(std::uint32_t id) const;

    // Sends every repeat that is due, in the order they were started. A send
    // the link refuses ends its repeat. Returns the repeats that ended.
    std::vector<SSendEnded> Poll(const SendFunction& send);
    // Milliseconds until the next send is due (0: now); none when nothing runs.
    std::optional<std::uint32_t> NextDelay() const;

  private:
    struct SRepeat {
        std::uint32_t id;
        ByteString bytes;
        std::uint32_t period;
        std::uint32_t count;
        std::uint32_t sent = 0;
        std::uint32_t due;  // tick of the next planned send
    };

    const IClock& m_clock;
    std::vector<SRepeat> m_repeats;
};

}  // namespace quillpad
