#pragma once
// The forms of the time stamps a console line may start with, shared by the
// view, the logs and the settings, and their settings text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillpad {

enum class EStampMode : std::uint8_t { Off, Absolute, SinceStart, SincePrevious };

// Gap stamp thresholds the menu offers; the default is the middle one.
inline constexpr std::uint32_t kGapThresholdsMs[] = {10, 100, 1000};
inline constexpr std::uint32_t kDefaultGapMs = 100;

inline constexpr std::array<std::string_view, 4> kStampModeNames = {
    "Off", "Absolute", "Since Start", "Since Previous Line"};

// The settings' and saved state's text of a mode, and back; an unknown text
// is Off.
constexpr std::string_view StampModeName(EStampMode mode) {
    const auto i = static_cast<std::size_t>(mode);
    return i < kStampModeNames.size() ? kStampModeNames[i] : kStampModeNames[0];
}

constexpr EStampMode StampModeFromName(std::string_view name) {
    for (std::size_t i = 0; i < kStampModeNames.size(); ++i) {
        if (name == kStampModeNames[i]) {
            return static_cast<EStampMode>(i);
        }
    }
    return EStampMode::Off;
}

// Off, Absolute, Since Start, Since Previous Line, Off, ...
constexpr EStampMode NextStampMode(EStampMode mode) {
    return static_cast<EStampMode>((static_cast<std::size_t>(mode) + 1) % kStampModeNames.size());
}

}  // namespace quillpad
