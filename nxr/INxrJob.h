#pragma once
// A job on the session's link: something that runs on the device's console
// for a while and then ends (a file transfer, an ability; later a trigger or
// a script). Jobs are byte-fed engines without threads or timers of their own:
// the runner (CNxrJobRunner) feeds them the link's bytes and the tick, sends
// what they hand back, delivers their events and calls Tick() when the next
// deadline has come.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "nxr/NxrTransferEvent.h"
#include "platform/Bytes.h"

namespace quillpad {

enum class ENxrAbilityEventKind { Query, TaskStart, TaskProgress, TaskComplete };

// What an ability tells on its way: a question for the user, a task's steps.
struct SNxrAbilityEvent {
    ENxrAbilityEventKind kind = ENxrAbilityEventKind::Query;
    std::int32_t value = 0;  // query: its type; task progress: percent
    std::string text;        // query: the prompt; task: the step's words
    bool success = false;    // task complete
};

// Bytes from the device that the job passes on as its own data (what an
// ability's answer shows in the console).
struct SNxrJobData {
    ByteString bytes;
};

using NxrJobEvent = std::variant<SNxrJobData, SNxrTransferEvent, SNxrAbilityEvent>;

// Whose bytes a job's output is.
enum class ENxrJobOutput {
    Protocol,  // the job's protocol (XModem): to the link only, never recorded
    Console,   // the console's own outgoing data (ASCII Send), as if typed
    Own,       // outgoing data of the job's own (an ability's command)
};

class INxrJob {
  public:
    virtual ~INxrJob() = default;

    // Bytes from the device; returns how many the job took as its own. The
    // rest is console data (a job that only watches takes none).
    virtual std::size_t Feed(std::string_view bytes, std::uint32_t nowMs) = 0;
    // Time passed; called at NextDeadline() at the latest.
    virtual void Tick(std::uint32_t nowMs) = 0;
    // The user's answer to the job's open question (none: unanswered).
    virtual void Answer(const std::optional<std::string>& /*answer*/, std::uint32_t /*nowMs*/) {}
    // Ends the job on the user's wish; it finishes as it can.
    virtual void Cancel(std::uint32_t nowMs) = 0;
    // The link went down: the job finishes at once, and sends nothing more.
    virtual void LinkLost(const std::string& why) = 0;

    virtual ByteString TakeOutput() = 0;
    // What TakeOutput gave went to the link at `nowMs`.
    virtual void OutputSent(std::uint32_t /*nowMs*/) {}
    virtual ENxrJobOutput OutputKind() const = 0;
    virtual std::vector<NxrJobEvent> TakeJobEvents() = 0;

    virtual bool Finished() const = 0;
    virtual bool Succeeded() const = 0;
    virtual const std::string& ErrorText() const = 0;
    // What the job hands back when it has finished (an ability's answer);
    // most jobs hand back nothing.
    virtual std::string Result() const { return {}; }
    // When Tick() is due; none while the job waits without a bound (for the
    // user's answer, say).
    virtual std::optional<std::uint32_t> NextDeadline() const = 0;
};

}  // namespace quillpad
