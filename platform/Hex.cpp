#include "platform/Hex.h"

namespace quillpad {
namespace {

std::uint32_t HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint32_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint32_t>(c - 'A' + 10);
    }
    return static_cast<std::uint32_t>(c - 'a' + 10);
}

}  // namespace

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::uint32_t ParseHexPrefix(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text) {
        if (!IsHexDigit(c)) {
            break;
        }
        value = value * 16 + HexValue(c);
    }
    return value;
}

}  // namespace quillpad
