#pragma once
// The session's engines count time in 32-bit milliseconds that wrap.

#include <cstdint>

namespace quillpad {

// Whether `due` has come at `now`, across the wrap.
constexpr bool TickReached(std::uint32_t now, std::uint32_t due) {
    return static_cast<std::int32_t>(now - due) >= 0;
}

}  // namespace quillpad
