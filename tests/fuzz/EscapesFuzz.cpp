// Macro text to bytes. The bounded form writes a prefix of what the string
// form gives, never a byte past its capacity (guard regions on both sides),
// and returns what it wrote; nothing gets longer, and an incomplete escape
// goes out as written. Escaped on purpose, any
// bytes come back whole: as "\xHH" each, or with the backslashes doubled.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "input/Escapes.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

constexpr std::size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xA5;
constexpr unsigned char kUnwritten = 0x5A;

void CheckBounded(std::string_view macro, const std::string& full, std::size_t capacity) {
    std::vector<unsigned char> block(kGuard + capacity + kGuard, kGuardByte);
    std::memset(block.data() + kGuard, kUnwritten, capacity);
    char* out = reinterpret_cast<char*>(block.data() + kGuard);
    const std::size_t n = quillpad::ExpandEscapes(macro, out, capacity);
    Check(n <= capacity);
    Check(n == std::min(capacity, full.size()));
    Check(std::memcmp(out, full.data(), n) == 0);
    for (std::size_t i = 0; i < kGuard; ++i) {
        Check(block[i] == kGuardByte);
        Check(block[kGuard + capacity + i] == kGuardByte);
    }
    for (std::size_t i = n; i < capacity; ++i) {
        Check(block[kGuard + i] == kUnwritten);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    const std::string_view macro(reinterpret_cast<const char*>(data), size);

    const std::string full = ExpandEscapes(macro);
    Check(full.size() <= macro.size());
    if (macro.find('\\') == std::string_view::npos) {
        Check(full == macro);
    }
    // Every capacity near the result's length, a few small ones, and one
    // larger than the text.
    for (std::size_t c = 0; c < 4; ++c) {
        CheckBounded(macro, full, c);
    }
    for (std::size_t c = full.size() >= 2 ? full.size() - 2 : 0; c <= full.size() + 2; ++c) {
        CheckBounded(macro, full, c);
    }
    CheckBounded(macro, full, macro.size() + 16);
    // A nullptr with no room is fine: nothing may be written.
    Check(ExpandEscapes(macro, nullptr, 0) == 0);

    switch (MacroKind(macro)) {
        case EMacroKind::None:
            Check(macro.empty());
            break;
        case EMacroKind::Ability:
            Check(macro.front() == '&');
            break;
        case EMacroKind::AbilityGroup:
            Check(macro.front() == '@');
            break;
        case EMacroKind::Bytes:
            Check(!macro.empty() && macro.front() != '&' && macro.front() != '@');
            break;
    }

    // Any bytes, written as escapes, expand back to themselves.
    static constexpr char kHex[] = "0123456789ABcdef";
    std::string hex;
    std::string doubled;
    for (const char ch : macro) {
        const auto c = static_cast<unsigned char>(ch);
        hex += "\\x";
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
        doubled += ch;
        if (ch == '\\') {
            doubled += '\\';
        }
    }
    Check(ExpandEscapes(hex) == macro);
    Check(ExpandEscapes(doubled) == macro);
    // After them, "\n" is CR LF, "\r" a CR, an unknown escape letter vanishes
    // and a trailing backslash stands for itself.
    Check(ExpandEscapes(doubled + "\\n\\r\\q\\") == std::string(macro) + "\r\n\r\\");
    // An escape that is not complete is sent as written, never as a NUL.
    Check(ExpandEscapes(doubled + "\\xZ") == std::string(macro) + "\\xZ");
    Check(ExpandEscapes(doubled + "\\x") == std::string(macro) + "\\x");
    for (const SEscapeProblem& p : MacroEscapeProblems(macro)) {
        Check(p.at + p.length <= macro.size() && macro[p.at] == '\\');
    }
    return 0;
}
