#pragma once
// The parameter blocks of the requests that carry values (NxrParamBlock.h):
// what the console builds and what the I/O worker reads, in one place.
//
//   Send Break       the break's length in ms (none: 500)
//   XModem Send      the file's path; then 1024 asks for XModem-1K
//   XModem Receive   the file's path
//   ASCII Send       the file's path; then optionally the pause after each
//                    line and the one after each character, in ms
//   ASCII Receive    the file's path
//   Share Start      the TCP port; 1 for telnet (else raw); 1 for every
//                    interface (else loopback only)

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "nxr/CNxrAsciiTransfer.h"
#include "nxr/NxrParamBlock.h"

namespace quillpad {

inline constexpr std::int32_t kNxrDefaultBreakMs = 500;
inline constexpr std::int32_t kNxrMaxBreakMs = 10000;
CNxrParamBlock NxrBreakBlock(std::int32_t ms);
// The break's length; the default when the block gives none.
std::int32_t NxrReadBreakMs(const CNxrParamBlock& block);

// A transfer's block with the path alone (ASCII Receive, XModem with
// 128-byte blocks). The path must not hold a zero byte.
CNxrParamBlock NxrTransferBlock(std::string_view path);
// Every transfer's path; none when the block carries no text first.
std::optional<std::string> NxrReadTransferPath(const CNxrParamBlock& block);

CNxrParamBlock NxrXModemBlock(std::string_view path, bool use1K);
bool NxrReadXModem1K(const CNxrParamBlock& block);

// A block with the path alone sends unpaced.
inline constexpr std::uint32_t kNxrMaxPacingMs = 10000;
CNxrParamBlock NxrAsciiSendBlock(std::string_view path, SAsciiPacing pacing);
// The pacing of such a block; false with the reason when a pause is not a
// number from 0 to kNxrMaxPacingMs.
bool NxrReadAsciiPacing(const CNxrParamBlock& block, SAsciiPacing& pacing, std::string* error);

CNxrParamBlock NxrShareBlock(std::uint16_t port, bool telnet, bool anyInterface);
// The share's setup; false with the reason when the port is not 0-65535.
bool NxrReadShare(const CNxrParamBlock& block, std::uint16_t& port, bool& telnet,
                  bool& anyInterface, std::string* error);

}  // namespace quillpad
