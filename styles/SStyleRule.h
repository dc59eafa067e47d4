#pragma once
// One rule of a style: three match conditions and two independent halves, a
// font half (flag and character format) and a format half (flag, character
// format code and two line-break flags).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "styles/SCharFormat.h"

namespace quillpad {

enum ECharacterFormatCode : std::int32_t {
    kFormatHide = 0,
    kFormatText = 1,
    kFormatHex = 2,
    kFormatHexTranslated = 3,
};

enum ECharRangeClass : std::int32_t {
    kClassAny = 0,
    kClassLow = 1,     // 0x00-0x1F
    kClassMid = 2,     // 0x20-0x7E
    kClassHigh = 3,    // 0x7F-0xFF
    kClassCustom = 4,  // the rule's custom values
};

// Owner_MatchValue: 0 any source, 1 this console's, 2 another's, 3 the
// history's marks (which no stored record has as its source).
inline constexpr std::int32_t kOwnerMarks = 3;

inline constexpr std::size_t kRuleNameMax = 255;

// Comma-separated hexadecimal byte values and ranges ("0D,0A", "20-7E") to the
// bytes they name, in order; duplicates stay.
std::vector<std::uint8_t> ParseCustomValues(std::string_view text);

struct SStyleRule {
    // A rule made new: all zero, false or absent but for height 200 and face
    // "Courier" (size and mask are always set).
    SStyleRule();

    std::string Name;  // at most 255 characters
    std::int32_t Direction_MatchValue = 0;
    std::int32_t CharRange_MatchValue = 0;
    std::optional<std::string> CharRange_CustomValues;
    std::optional<std::vector<std::uint8_t>> CustomValueSet;
    std::int32_t Owner_MatchValue = 0;
    bool RegEx_Match = false;
    std::optional<std::string> RegEx_MatchValue;
    bool Format_ApplyColor = false;
    SCharFormat CharFormat;
    bool Format_ApplyFormat = false;
    std::int32_t Format_CharacterFormat = 0;
    bool Format_AlwaysInterpretCRLFBSTB = false;
    bool Format_InsertCRLFIfTranslated = false;

    // Stores the text and rebuilds the byte set from it, both at once.
    void SetCustomValues(std::string_view text);
    void SetName(std::string_view name) { Name = std::string(name.substr(0, kRuleNameMax)); }

    // Whether the byte's class test passes (class 0 always does).
    bool ClassContains(std::uint8_t byte) const;
    // All three conditions for a byte of a record with this direction and source.
    bool Matches(std::uint8_t byte, std::uint32_t direction, std::uint32_t source) const;

    bool operator==(const SStyleRule&) const = default;
};

}  // namespace quillpad
