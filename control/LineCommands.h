#pragma once
// What the Communications menu's line commands play: a line turned, a pulse,
// a reset sequence chosen in the Reset Pulse dialog.

#include <cstdint>
#include <vector>

#include "nxr/NxrLineScript.h"

namespace quillpad {

// The Reset Pulse dialog's fields, kept between uses.
struct SResetPulseChoice {
    // -1: a single pulse of the line below; else the index of a named
    // sequence (NxrResetSequences()).
    int sequence = -1;
    ENxrLineStep line = ENxrLineStep::Dtr;
    bool high = false;  // the level during the pulse
    std::int32_t ms = kNxrDefaultPulseMs;
};

// The steps of the choice. A single pulse rests at the other level before
// and after; a line not at rest (`lines`, nxr_line bits) is put there for
// the pulse's length first. Empty for a sequence that does not exist.
std::vector<SNxrLineStep> ResetPulseSteps(const SResetPulseChoice& choice, std::int32_t lines);

// DTR or RTS turned to the other state (`lines` as the link last told).
std::vector<SNxrLineStep> ToggleLineSteps(ENxrLineStep line, std::int32_t lines);
// The line at its other state for kNxrDefaultPulseMs, then back.
std::vector<SNxrLineStep> PulseLineSteps(ENxrLineStep line, std::int32_t lines);

}  // namespace quillpad
