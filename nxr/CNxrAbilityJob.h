#pragma once
// One ability as the session runs it on the device's console: a job
// (INxrJob) the runner feeds the link's bytes and the tick.
//
// The line protocol (docs/ABILITIES.md):
//   to the device      the ability command, then CR
//   from the device    the echo and the answer, ended by the prompt "> " at
//                      the start of a line
//   "error: ..."       an answer line that makes the ability fail
//   "QUERY <type>: <prompt>"
//                      the device asks the user and waits for one line
//   "PROGRESS <percent> <text>"
//                      a long ability's progress
// QUERY and PROGRESS lines are the protocol's, not console data. Every other
// byte is handed on as the ability's data, as it arrives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nxr/INxrJob.h"
#include "platform/Bytes.h"

namespace quillpad {

class CNxrAbilityJob final : public INxrJob {
  public:
    static constexpr char kCancel = 0x03;  // Ctrl-C: the device drops what it does
    static constexpr std::size_t kMaxLine = 4096;

    // `timeoutMs` is how long the device may stay silent.
    CNxrAbilityJob(std::string command, std::uint32_t timeoutMs, std::uint32_t nowMs);

    // Returns how many bytes the ability took: what follows its prompt is
    // console data again.
    std::size_t Feed(std::string_view bytes, std::uint32_t nowMs) override;
    void Tick(std::uint32_t nowMs) override;
    // The user's answer to the open question, or none when it was not
    // answered (the device then gets an empty line and decides).
    void Answer(const std::optional<std::string>& answer, std::uint32_t nowMs) override;
    void Cancel();
    void Cancel(std::uint32_t /*nowMs*/) override { Cancel(); }
    void LinkLost(const std::string& why) override;

    ByteString TakeOutput() override;
    // The command and the answers are the ability's own outgoing data.
    ENxrJobOutput OutputKind() const override { return ENxrJobOutput::Own; }
    ByteString TakeData();
    std::vector<SNxrAbilityEvent> TakeEvents();
    // The data first, then the events, as they happened.
    std::vector<NxrJobEvent> TakeJobEvents() override;

    const std::string& Command() const { return m_command; }
    // The answer as a reader wants it: without the echo of the command, the
    // protocol lines and the closing prompt.
    const std::string& AnswerText() const { return m_answer; }
    std::string Result() const override { return m_answer; }
    bool Finished() const override { return m_finished; }
    bool Succeeded() const override { return m_succeeded; }
    const std::string& ErrorText() const override { return m_error; }
    bool Asking() const { return m_asking; }
    // None while the user is asked: they take the time they need.
    std::optional<std::uint32_t> NextDeadline() const override {
        return m_asking ? std::nullopt : std::optional<std::uint32_t>(m_deadline);
    }

  private:
    void LineEnded(std::uint32_t nowMs);
    void Finish(bool success, std::string error);
    bool MayBeProtocol() const;

    std::string m_command;
    std::uint32_t m_timeoutMs;
    std::uint32_t m_deadline;
    ByteString m_out;
    ByteString m_data;
    std::vector<SNxrAbilityEvent> m_events;
    std::string m_line;       // the line so far, without its CR LF
    bool m_lineHeld = false;  // its bytes wait: it may be a protocol line
    bool m_atLineStart = false;
    // The device said something of this ability's: its echo, an answer line
    // or a protocol line. Only then does a prompt end it.
    bool m_heard = false;
    // The line the device echoes next (the command, then each answer), which
    // is no part of the answer.
    std::optional<std::string> m_echo;
    std::string m_answer;
    std::string m_deviceError;
    bool m_asking = false;
    bool m_tasked = false;
    bool m_finished = false;
    bool m_succeeded = false;
    std::string m_error;
};

}  // namespace quillpad
