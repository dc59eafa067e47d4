#include "nxr/NxrRequestBlocks.h"

namespace quillpad {
namespace {

constexpr std::int32_t kXModem1K = 1024;

}  // namespace

CNxrParamBlock NxrBreakBlock(std::int32_t ms) {
    CNxrParamBlock block;
    block.AddInteger(ms);
    return block;
}

std::int32_t NxrReadBreakMs(const CNxrParamBlock& block) {
    return block.IntegerAt(0).value_or(kNxrDefaultBreakMs);
}

CNxrParamBlock NxrTransferBlock(std::string_view path) {
    CNxrParamBlock block;
    block.AddText(path);
    return block;
}

std::optional<std::string> NxrReadTransferPath(const CNxrParamBlock& block) {
    return block.TextAt(0);
}

CNxrParamBlock NxrXModemBlock(std::string_view path, bool use1K) {
    CNxrParamBlock block = NxrTransferBlock(path);
    if (use1K) {
        block.AddInteger(kXModem1K);
    }
    return block;
}

bool NxrReadXModem1K(const CNxrParamBlock& block) {
    return block.IntegerAt(1) == kXModem1K;
}

CNxrParamBlock NxrAsciiSendBlock(std::string_view path, SAsciiPacing pacing) {
    CNxrParamBlock block;
    block.AddText(path);
    if (pacing.lineDelayMs != 0 || pacing.charDelayMs != 0) {
        block.AddInteger(static_cast<std::int32_t>(pacing.lineDelayMs));
        block.AddInteger(static_cast<std::int32_t>(pacing.charDelayMs));
    }
    return block;
}

bool NxrReadAsciiPacing(const CNxrParamBlock& block, SAsciiPacing& pacing, std::string* error) {
    std::uint32_t* const targets[] = {&pacing.lineDelayMs, &pacing.charDelayMs};
    const char* const names[] = {"line", "character"};
    pacing = {};
    for (std::size_t i = 0; i < 2; ++i) {
        if (block.Size() <= i + 1) {
            break;
        }
        const std::optional<std::int32_t> ms = block.IntegerAt(i + 1);
        if (!ms || *ms < 0 || static_cast<std::uint32_t>(*ms) > kNxrMaxPacingMs) {
            if (error != nullptr) {
                *error = std::string("the pause after each ") + names[i] +
                         (ms ? " (" + std::to_string(*ms) + " ms)" : std::string()) +
                         " must be a number of ms from 0 to " + std::to_string(kNxrMaxPacingMs);
            }
            return false;
        }
        *targets[i] = static_cast<std::uint32_t>(*ms);
    }
    return true;
}

CNxrParamBlock NxrShareBlock(std::uint16_t port, bool telnet, bool anyInterface) {
    CNxrParamBlock block;
    block.AddInteger(port).AddInteger(telnet ? 1 : 0).AddInteger(anyInterface ? 1 : 0);
    return block;
}

bool NxrReadShare(const CNxrParamBlock& block, std::uint16_t& port, bool& telnet,
                  bool& anyInterface, std::string* error) {
    const std::optional<std::int32_t> value = block.IntegerAt(0);
    if (!value || *value < 0 || *value > 65535) {
        if (error != nullptr) {
            *error = "the port must be a number from 0 to 65535";
        }
        return false;
    }
    port = static_cast<std::uint16_t>(*value);
    telnet = block.IntegerAt(1).value_or(0) != 0;
    anyInterface = block.IntegerAt(2).value_or(0) != 0;
    return true;
}

}  // namespace quillpad
