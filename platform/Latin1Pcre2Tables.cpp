#include "platform/Latin1Pcre2Tables.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <locale.h>
#include <pcre2.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/Latin1Case.h"

namespace quillpad {

namespace {
// Where lcc and fcc lie in PCRE2's tables (lower case, flipped case).
constexpr std::size_t kLowerCaseTable = 0;
constexpr std::size_t kFlipCaseTable = 256;
constexpr std::size_t kTablesLength = 1088;
}  // namespace

const unsigned char* Latin1CharacterTables() {
    static const std::array<unsigned char, kTablesLength> tables = [] {
        std::array<unsigned char, kTablesLength> t{};
        // pcre2_maketables reads the thread's locale: the C locale makes the
        // ASCII tables whatever the program's locale is.
        const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        const locale_t previous = uselocale(c);
        const std::uint8_t* made = pcre2_maketables(nullptr);
        uselocale(previous);
        freelocale(c);
        std::memcpy(t.data(), made, t.size());
        pcre2_maketables_free(nullptr, made);
        std::memcpy(t.data() + kLowerCaseTable, Latin1LowerCase().data(), 256);
        std::memcpy(t.data() + kFlipCaseTable, Latin1FlippedCase().data(), 256);
        return t;
    }();
    return tables.data();
}

}  // namespace quillpad
