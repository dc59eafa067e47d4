#pragma once
// Format equality for the hot paths of rendering. SCharFormat's own == goes
// field by field and hands the face name to memcmp, a library call per
// comparison; here the fields, which lie back to back, are compared in a few
// 8-byte words. The trailing padding, which may hold anything, is left out.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "styles/SCharFormat.h"

namespace quillpad {

inline bool SameFormat(const SCharFormat& a, const SCharFormat& b) {
    static_assert(std::is_standard_layout_v<SCharFormat>);
    constexpr std::size_t kBytes =
        offsetof(SCharFormat, szFaceName) + sizeof(SCharFormat::szFaceName);
    // Every field counted once with no gap between them: a field added or
    // moved fails here rather than going uncompared.
    static_assert(kBytes == 6 * sizeof(std::uint32_t) + 2 * sizeof(std::uint8_t) + 32);
    static_assert(sizeof(SCharFormat) - kBytes < alignof(SCharFormat));
    const auto* p = reinterpret_cast<const unsigned char*>(&a);
    const auto* q = reinterpret_cast<const unsigned char*>(&b);
    std::uint64_t diff = 0;
    auto word = [&](std::size_t at) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, p + at, sizeof x);
        std::memcpy(&y, q + at, sizeof y);
        diff |= x ^ y;
    };
    for (std::size_t at = 0; at + 8 <= kBytes; at += 8) {
        word(at);
    }
    word(kBytes - 8);  // the last bytes, overlapping the word before
    return diff == 0;
}

}  // namespace quillpad
