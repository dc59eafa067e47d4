#include "control/LineCommands.h"

#include <algorithm>

namespace quillpad {
namespace {

bool IsOn(ENxrLineStep line, std::int32_t lines) {
    const std::uint32_t bit = line == ENxrLineStep::Dtr ? nxr_line::Dtr : nxr_line::Rts;
    return lines >= 0 && (static_cast<std::uint32_t>(lines) & bit) != 0;
}

}  // namespace

std::vector<SNxrLineStep> ResetPulseSteps(const SResetPulseChoice& choice, std::int32_t lines) {
    if (choice.sequence >= 0) {
        const auto& sequences = NxrResetSequences();
        if (static_cast<std::size_t>(choice.sequence) >= sequences.size()) {
            return {};
        }
        return sequences[static_cast<std::size_t>(choice.sequence)].steps;
    }
    // A pulse rests at the other level before and after. A line that was at
    // the pulse's level already rests first, so that the device sees an edge.
    const std::int32_t ms = std::clamp(choice.ms, 0, kNxrMaxLineWaitMs);
    const bool rest = !choice.high;
    std::vector<SNxrLineStep> steps;
    if (IsOn(choice.line, lines) != rest) {
        steps = {NxrSetLine(choice.line, rest), NxrWait(ms)};
    }
    steps.push_back(NxrSetLine(choice.line, choice.high));
    steps.push_back(NxrWait(ms));
    steps.push_back(NxrSetLine(choice.line, rest));
    return steps;
}

std::vector<SNxrLineStep> ToggleLineSteps(ENxrLineStep line, std::int32_t lines) {
    return {NxrSetLine(line, !IsOn(line, lines))};
}

std::vector<SNxrLineStep> PulseLineSteps(ENxrLineStep line, std::int32_t lines) {
    return NxrPulse(line, IsOn(line, lines), kNxrDefaultPulseMs);
}

}  // namespace quillpad
