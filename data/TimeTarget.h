#pragma once
// What the user types to go to a time: a time of day ("14:07", "14:07:09",
// "14:07:09.250", local time) or seconds since the history's first record
// ("+300", "+300.5"), spaces around ignored. Anything else gets a reason a
// person can act on, never a guess. See data/TimeLookup.h for where it leads.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillpad {

enum class ETimeTargetKind { TimeOfDay, SinceStart };

struct STimeTarget {
    ETimeTargetKind kind = ETimeTargetKind::TimeOfDay;
    // Since midnight for a time of day (below 24 h), since the first record
    // otherwise (at most what a 32-bit millisecond span holds).
    std::uint32_t milliseconds = 0;

    bool operator==(const STimeTarget&) const = default;
};

struct STimeParse {
    std::optional<STimeTarget> target;
    std::string error;  // why not, when there is no target
};

STimeParse ParseTimeTarget(std::string_view text);

}  // namespace quillpad
