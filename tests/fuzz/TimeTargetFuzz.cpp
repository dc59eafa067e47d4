// What the user types to go to a time. Any text parses or says why, never
// both; a time of day stays within the day; the plain form of what was parsed
// reads back as the same target, and spaces around change nothing.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "data/TimeTarget.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

using namespace quillpad;

std::string PlainForm(const STimeTarget& target) {
    char out[32];
    const unsigned ms = target.milliseconds % 1000;
    const unsigned s = target.milliseconds / 1000;
    if (target.kind == ETimeTargetKind::SinceStart) {
        std::snprintf(out, sizeof out, "+%u.%03u", s, ms);
    } else {
        std::snprintf(out, sizeof out, "%02u:%02u:%02u.%03u", s / 3600, s / 60 % 60, s % 60, ms);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const STimeParse parsed = ParseTimeTarget(text);
    Check(parsed.target.has_value() == parsed.error.empty());
    if (!parsed.target) {
        return 0;
    }
    if (parsed.target->kind == ETimeTargetKind::TimeOfDay) {
        Check(parsed.target->milliseconds < 24u * 3600 * 1000);
    }
    const STimeParse again = ParseTimeTarget(PlainForm(*parsed.target));
    Check(again.target == parsed.target);
    const STimeParse spaced = ParseTimeTarget(" \t" + std::string(text) + "  ");
    Check(spaced.target == parsed.target);
    return 0;
}
