#pragma once
// A style's pattern rules, for the renderer: the bytes of a record that each
// rule's pattern finds. Only a scheme with PatternRules on has any; there a
// rule with the pattern flag matches a byte when its pattern found the byte
// in its line and its other conditions hold, in the rules' order as always.
//
// A line is a record's bytes between CR and LF bytes (which no pattern rule
// covers), so what a rule finds depends on the record alone: the lazy line
// index may render any record by itself, or from inside it, and get what a
// whole render gets. A device line that came in two records is two lines to
// a pattern rule.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/BytePattern.h"
#include "styles/CStyleScheme.h"

namespace quillpad {

// Bytes [begin, end) of a record that exactly the pattern rules of `rules`
// found (bit k: the k-th pattern rule in list order). Disjoint, ascending.
struct SPatternCover {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t rules = 0;

    bool operator==(const SPatternCover&) const = default;
};

// The compiled patterns of one scheme's pattern rules.
class CPatternRuleSet {
  public:
    explicit CPatternRuleSet(const CStyleScheme& scheme);

    // Whether the set was compiled from these very pattern texts.
    bool SameAs(const CStyleScheme& scheme) const;
    // Whether any pattern can match.
    bool Matches() const { return m_anyValid; }
    // What each pattern rule finds in `bytes`, into `out` (emptied first).
    void Cover(std::string_view bytes, std::vector<SPatternCover>& out) const;
    // The same for the bytes of [lineStart, end) alone, `lineStart` the start
    // of a line: no match runs over a line end, so the matches that touch
    // those bytes start at or after it, and are found from there as from
    // the record's start, unless a pattern depends on where the search
    // starts (\G, \K or a verb): see CoversFromAnyLine.
    void CoverRange(std::string_view bytes, std::size_t lineStart, std::size_t end,
                    std::vector<SPatternCover>& out) const;
    bool CoversFromAnyLine() const { return m_fromAnyLine; }

    // The choices for the bytes that the patterns of `covered` found (bit k:
    // the k-th pattern rule) in a record of this direction and source, as
    // walking the scheme's rules gives them: made at first use and kept
    // until the scheme's tables are rebuilt, so a covered run is looked up
    // like any other. Null for a pair without tables, or past
    // kCoveredTables sets. `build` is the scheme's BuildCount, which the
    // caller has just refreshed.
    const std::array<SByteChoice, 256>* CoveredTable(const CStyleScheme& scheme,
                                                     std::uint64_t build, std::uint32_t direction,
                                                     std::uint32_t source,
                                                     std::uint64_t covered) const;
    static constexpr std::size_t kCoveredTables = 64;

  private:
    struct SEntry {
        std::optional<std::string> text;
        std::unique_ptr<CBytePattern> pattern;  // null for no text
    };
    std::vector<SEntry> m_entries;
    bool m_anyValid = false;
    bool m_fromAnyLine = true;
    struct SCoveredTable {
        std::size_t pair;
        std::uint64_t covered;
        std::array<SByteChoice, 256> choices;
    };
    // Cover's own buffers, kept for the next record.
    struct SToggle {
        std::size_t at;
        std::uint64_t bit;
    };
    mutable std::vector<SToggle> m_toggles;
    mutable std::vector<SToggle> m_merged;
    mutable std::uint64_t m_tablesBuild = 0;
    mutable std::vector<std::unique_ptr<SCoveredTable>> m_covered;
};

// The pattern rules of a scheme, compiled once per set of pattern texts and
// kept for the next records; null when the scheme has pattern rules off or
// none that can match. Valid until the next call on this thread.
const CPatternRuleSet* PatternRulesOf(const CStyleScheme& scheme);

// Why a rule's pattern matches nothing ("" when it compiles): no text, or
// what the compiler said.
std::string PatternRuleError(const SStyleRule& rule);

}  // namespace quillpad
