#include "styles/SStyleRule.h"

#include <algorithm>

#include "config/CIniDocument.h"
#include "platform/Hex.h"

namespace quillpad {

std::vector<std::uint8_t> ParseCustomValues(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (const std::string& item : SplitTokens(text, ",")) {
        const auto dash = item.find('-');
        if (dash == std::string::npos) {
            bytes.push_back(static_cast<std::uint8_t>(ParseHexPrefix(item) & 0xFF));
            continue;
        }
        // The first bound's digits end at the dash (or earlier); the second
        // bound is read from the text after the first dash.
        const unsigned first = ParseHexPrefix(item) & 0xFF;
        const unsigned last = ParseHexPrefix(std::string_view(item).substr(dash + 1)) & 0xFF;
        for (unsigned b = first; b <= last; ++b) {
            bytes.push_back(static_cast<std::uint8_t>(b));
        }
    }
    return bytes;
}

SStyleRule::SStyleRule() {
    CharFormat.yHeight = 200;
    CharFormat.SetFaceName("Courier");
}

void SStyleRule::SetCustomValues(std::string_view text) {
    CharRange_CustomValues = std::string(text);
    CustomValueSet = ParseCustomValues(text);
}

bool SStyleRule::ClassContains(std::uint8_t byte) const {
    switch (CharRange_MatchValue) {
        case kClassAny:
            return true;
        case kClassLow:
            return byte < 0x20;
        case kClassMid:
            return byte >= 0x20 && byte <= 0x7E;
        case kClassHigh:
            return byte >= 0x7F;
        case kClassCustom:
            return CustomValueSet && std::find(CustomValueSet->begin(), CustomValueSet->end(),
                                               byte) != CustomValueSet->end();
        default:
            return false;
    }
}

bool SStyleRule::Matches(std::uint8_t byte, std::uint32_t direction, std::uint32_t source) const {
    if (Direction_MatchValue != 0 &&
        static_cast<std::uint32_t>(Direction_MatchValue) != direction) {
        return false;
    }
    if (Owner_MatchValue != 0 && static_cast<std::uint32_t>(Owner_MatchValue) != source) {
        return false;
    }
    return ClassContains(byte);
}

}  // namespace quillpad
