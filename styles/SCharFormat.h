#pragma once
// The character format a rule applies: the fields of the rich-edit character
// format record in its 8-bit-text form, as a plain struct.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillpad {

inline constexpr std::uint32_t kCharFormatSize = 60;
// Bold, italic, underline, strike-out, charset, offset, face, colour, size.
inline constexpr std::uint32_t kCharFormatMask = 0xF800000Fu;

enum ECharEffect : std::uint32_t {
    kEffectBold = 0x1,
    kEffectItalic = 0x2,
    kEffectUnderline = 0x4,
    kEffectStrikeOut = 0x8,
    // Ours, outside the rich-edit bits: a rule drawn across the rest of the
    // row after the text (the history's marks).
    kEffectRuleAfter = 0x10000,
};

struct SCharFormat {
    std::uint32_t cbSize = kCharFormatSize;
    std::uint32_t dwMask = kCharFormatMask;
    std::uint32_t dwEffects = 0;
    std::int32_t yHeight = 0;       // twips; 240 is 12 point
    std::int32_t yOffset = 0;       // twips above the baseline
    std::uint32_t crTextColor = 0;  // 0x00BBGGRR
    std::uint8_t bCharSet = 0;
    std::uint8_t bPitchAndFamily = 0;
    std::array<char, 32> szFaceName{};  // NUL-terminated, at most 31 characters

    std::string_view FaceName() const {
        return std::string_view(szFaceName.data(), FaceNameLength());
    }
    // Stores at most 31 characters; longer names are cut.
    void SetFaceName(std::string_view name) {
        szFaceName.fill('\0');
        name = name.substr(0, szFaceName.size() - 1);
        name.copy(szFaceName.data(), name.size());
    }

    bool operator==(const SCharFormat&) const = default;

  private:
    std::size_t FaceNameLength() const {
        std::size_t n = 0;
        while (n < szFaceName.size() && szFaceName[n] != '\0') {
            ++n;
        }
        return n;
    }
};

// Colour helpers for 0x00BBGGRR values.
constexpr std::uint8_t ColorRed(std::uint32_t c) {
    return c & 0xFF;
}
constexpr std::uint8_t ColorGreen(std::uint32_t c) {
    return (c >> 8) & 0xFF;
}
constexpr std::uint8_t ColorBlue(std::uint32_t c) {
    return (c >> 16) & 0xFF;
}

}  // namespace quillpad
