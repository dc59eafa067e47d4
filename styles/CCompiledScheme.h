#pragma once
// A scheme's rule choice compiled into tables: for each direction and source
// of 1 or 2, and each byte, the index of its colour rule and format rule and
// how the byte is written. The tables remember the match-relevant fields of
// the rules they were built from and are rebuilt whenever those differ, so an
// edit to a rule, however it was made, shows at the next render.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "styles/SStyleRule.h"

namespace quillpad {

// How one byte is written under its format rule.
enum class EByteAction : std::uint8_t {
    Copy,        // the byte itself
    Drop,        // nothing (hidden, LF as text, NUL)
    Newline,     // CR as text: one LF
    Backspace,   // removes the previous character
    Name,        // its bracketed name ("[0Dh]", "[CR]")
    NameThenCR,  // the name, then a CR so the line still breaks
    NameThenLF,  // the name, then an LF
};

struct SByteChoice {
    std::int32_t colourRule = -1;  // index into the rules, -1 for none
    std::int32_t formatRule = -1;
    EByteAction action = EByteAction::Copy;
    bool translatedNames = false;  // Name* actions: control names for 0x00-0x1F
};

// Pattern rules beyond this many (in list order) match nothing.
inline constexpr std::size_t kMaxPatternRules = 64;

// The principle, by walking the rules in order: the first matching rule with
// the font flag and the first with the format flag, and the byte's action.
// With `patternRules`, the k-th rule with the pattern flag (counted from 0)
// matches only when bit k of `covered` is set: its pattern found the byte.
SByteChoice ChooseByWalking(const std::vector<const SStyleRule*>& rules, std::uint8_t byte,
                            std::uint32_t direction, std::uint32_t source,
                            bool patternRules = false, std::uint64_t covered = 0);

// Whether a rule matches by its pattern in a scheme with pattern rules on.
inline bool IsPatternRule(const SStyleRule& rule, bool patternRules) {
    return patternRules && rule.RegEx_Match;
}

// How a byte is written under a format rule (nullptr: no format rule).
void ActionFor(const SStyleRule* formatRule, std::uint8_t byte, SByteChoice& choice);

class CCompiledScheme {
  public:
    // Rebuilds the tables if the rules' matching fields changed since the last
    // build. Cheap when nothing changed: one comparison per rule. With
    // `patternRules` a rule with the pattern flag is left out of the tables:
    // it matches only the bytes its pattern finds, which the renderer knows
    // per record (PatternRuleOf).
    void Refresh(const std::vector<const SStyleRule*>& rules, bool patternRules = false);

    // The choice for a byte of a record with this direction and source.
    const SByteChoice& Choice(std::uint8_t byte, std::uint32_t direction,
                              std::uint32_t source) const;
    // Whether a direction/source pair has a table (1 or 2 each).
    static bool HasTable(std::uint32_t direction, std::uint32_t source) {
        return (direction == 1 || direction == 2) && (source == 1 || source == 2);
    }
    const std::array<SByteChoice, 256>& Table(std::uint32_t direction, std::uint32_t source) const {
        return m_tables ? (*m_tables)[TableIndex(direction, source)] : EmptyTable();
    }
    // The choices for a mark's bytes: only rules made for marks (source
    // "Marks") take them, the first that matches as everywhere.
    const std::array<SByteChoice, 256>& MarkTable() const {
        return m_tables ? (*m_tables)[kMarkTable] : EmptyTable();
    }
    std::uint64_t BuildCount() const { return m_builds; }

  private:
    struct SRuleKey {
        std::int32_t direction, charRange, owner, code;
        bool applyColor, applyFormat, always, insert, pattern;
        std::optional<std::vector<std::uint8_t>> custom;
    };
    static SRuleKey KeyOf(const SStyleRule& rule, bool patternRules);
    // Whether a rule still has the matching fields it was compiled from;
    // compares in place, so the per-record check allocates nothing.
    static bool Matches(const SRuleKey& key, const SStyleRule& rule, bool patternRules);
    static constexpr std::size_t kMarkTable = 4;
    static std::size_t TableIndex(std::uint32_t direction, std::uint32_t source) {
        return (direction - 1) * 2 + (source - 1);
    }
    void Build(const std::vector<const SStyleRule*>& rules, bool patternRules);
    static const std::array<SByteChoice, 256>& EmptyTable();

    std::vector<SRuleKey> m_keys;
    bool m_built = false;
    std::uint64_t m_builds = 0;
    // 15 KiB, made at the first build: a console loads every style sheet of
    // its folder and renders with one of them.
    std::unique_ptr<std::array<std::array<SByteChoice, 256>, 5>> m_tables;
};

}  // namespace quillpad
