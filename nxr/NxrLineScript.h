#pragma once
// Modem lines: the bits a link reports them in, and the line sequences the
// I/O thread plays (request 0xE008): DTR or RTS set on or off, a wait, bytes
// sent, one step after another. Pulses, the boot-loader entry sequences and a
// key macro's line escapes are all such sequences, so their timing is the I/O
// thread's, never the user interface's.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "nxr/NxrParamBlock.h"
#include "platform/Bytes.h"

namespace quillpad {

// The lines as a link reports them; "on" is asserted (QSerialPort's "high").
namespace nxr_line {
inline constexpr std::uint32_t Dtr = 0x01;
inline constexpr std::uint32_t Rts = 0x02;
inline constexpr std::uint32_t Cts = 0x04;
inline constexpr std::uint32_t Dsr = 0x08;
inline constexpr std::uint32_t Dcd = 0x10;
inline constexpr std::uint32_t Ri = 0x20;
// The modem-lines event's value for a link that has none (not serial, or a
// pseudo-terminal, whose kernel driver reports none).
inline constexpr std::int32_t kNone = -1;
}  // namespace nxr_line

enum class ENxrLineStep : std::int32_t {
    Dtr = 1,   // value: 1 on, 0 off
    Rts = 2,   // value: 1 on, 0 off
    Wait = 3,  // value: ms
    Send = 4,  // bytes
};

struct SNxrLineStep {
    ENxrLineStep kind = ENxrLineStep::Wait;
    std::int32_t value = 0;
    ByteString bytes;
    bool operator==(const SNxrLineStep&) const = default;
};

inline constexpr std::int32_t kNxrMaxLineWaitMs = 10000;
inline constexpr std::int32_t kNxrDefaultPulseMs = 100;

SNxrLineStep NxrSetLine(ENxrLineStep line, bool on);
SNxrLineStep NxrWait(std::int32_t ms);
SNxrLineStep NxrSend(ByteString bytes);

// The line at the other level for `ms`, then back to `on`, its level now.
std::vector<SNxrLineStep> NxrPulse(ENxrLineStep line, bool on, std::int32_t ms);

// Each step is an integer kind, then an integer value, or a blob for Send.
CNxrParamBlock NxrLineScriptBlock(const std::vector<SNxrLineStep>& steps);
// The steps, or none with the fault (an unknown kind, a wait out of 0 to
// kNxrMaxLineWaitMs, a value missing).
std::optional<std::vector<SNxrLineStep>> NxrReadLineScript(const CNxrParamBlock& block,
                                                           std::string* error);

// A boot loader's or a reset's entry sequence, by the name users know it by.
struct SNxrResetSequence {
    std::string name;
    std::string description;  // which line drives which pin
    std::vector<SNxrLineStep> steps;
};
const std::vector<SNxrResetSequence>& NxrResetSequences();

// "DTR off, wait 100 ms, ..." for the dialog and the documentation.
std::string NxrDescribeSteps(const std::vector<SNxrLineStep>& steps);

}  // namespace quillpad
