#include "view/PatternRules.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace quillpad {
namespace {

std::unique_ptr<CBytePattern> Compile(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return nullptr;
    }
    SFindQuery query;
    query.text = *text;
    query.mode = EFindMode::Pattern;
    query.matchCase = true;
    return std::make_unique<CBytePattern>(query);
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

CPatternRuleSet::CPatternRuleSet(const CStyleScheme& scheme) {
    for (const SStyleRule* rule : scheme.RulePointers()) {
        if (!IsPatternRule(*rule, scheme.PatternRules)) {
            continue;
        }
        if (m_entries.size() == kMaxPatternRules) {
            break;
        }
        SEntry& entry = m_entries.emplace_back();
        entry.text = rule->RegEx_MatchValue;
        entry.pattern = Compile(entry.text);
        if (entry.text && (entry.text->find("\\G") != std::string::npos ||
                           entry.text->find("\\K") != std::string::npos ||
                           entry.text->find("(*") != std::string::npos)) {
            m_fromAnyLine = false;
        }
        m_anyValid = m_anyValid || (entry.pattern && entry.pattern->IsValid());
    }
}

bool CPatternRuleSet::SameAs(const CStyleScheme& scheme) const {
    std::size_t k = 0;
    for (const SStyleRule* rule : scheme.RulePointers()) {
        if (!IsPatternRule(*rule, scheme.PatternRules)) {
            continue;
        }
        if (k == kMaxPatternRules) {
            break;
        }
        if (k >= m_entries.size() || m_entries[k].text != rule->RegEx_MatchValue) {
            return false;
        }
        ++k;
    }
    return k == m_entries.size();
}

void CPatternRuleSet::Cover(std::string_view bytes, std::vector<SPatternCover>& out) const {
    CoverRange(bytes, 0, bytes.size(), out);
}

void CPatternRuleSet::CoverRange(std::string_view bytes, std::size_t lineStart, std::size_t stop,
                                 std::vector<SPatternCover>& out) const {
    out.clear();
    // Each pattern's matches, as toggles of its bit: one pattern's matches
    // never overlap, so a bit is set between its two toggles. They come in
    // order per pattern, so the patterns' lists are merged, not sorted.
    std::vector<SToggle>& toggles = m_toggles;
    std::vector<SToggle>& merged = m_merged;
    toggles.clear();
    for (std::size_t k = 0; k < m_entries.size(); ++k) {
        const CBytePattern* pattern = m_entries[k].pattern.get();
        if (pattern == nullptr || !pattern->IsValid()) {
            continue;
        }
        const std::uint64_t bit = std::uint64_t{1} << k;
        const std::size_t first = toggles.size();
        // The line end at or after the last match's start: matches come in
        // order, so each line is walked once.
        std::size_t lineFrom = 0;
        std::size_t lineEnd = 0;
        bool lineKnown = false;
        std::size_t from = lineStart;
        while (from < stop) {
            SPatternMatch m = pattern->Match(bytes, from, false, true);
            if (m.kind != SPatternMatch::EKind::Full || m.begin >= stop) {
                break;
            }
            if (!lineKnown || m.begin > lineEnd || m.begin < lineFrom) {
                lineFrom = m.begin;
                lineEnd = m.begin;
                while (lineEnd < bytes.size() && !IsLineEnd(bytes[lineEnd])) {
                    ++lineEnd;
                }
                lineKnown = true;
            }
            const std::size_t end = lineEnd;
            if (m.end > end) {
                // It ran over a line end: the line alone is what it may find.
                m = pattern->Match(bytes.substr(0, end), m.begin, false, true);
                if (m.kind != SPatternMatch::EKind::Full) {
                    from = end + 1;
                    continue;
                }
            }
            toggles.push_back(SToggle{m.begin, bit});
            toggles.push_back(SToggle{m.end, bit});
            from = m.end;
        }
        if (first > 0 && toggles.size() > first) {
            merged.clear();
            const auto before = [](const SToggle& a, const SToggle& b) { return a.at < b.at; };
            std::merge(toggles.begin(), toggles.begin() + static_cast<std::ptrdiff_t>(first),
                       toggles.begin() + static_cast<std::ptrdiff_t>(first), toggles.end(),
                       std::back_inserter(merged), before);
            toggles.swap(merged);
        }
    }
    if (toggles.empty()) {
        return;
    }
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < toggles.size();) {
        const std::size_t at = toggles[i].at;
        for (; i < toggles.size() && toggles[i].at == at; ++i) {
            mask ^= toggles[i].bit;
        }
        if (mask != 0 && i < toggles.size()) {
            out.push_back(SPatternCover{at, toggles[i].at, mask});
        }
    }
}

const std::array<SByteChoice, 256>* CPatternRuleSet::CoveredTable(const CStyleScheme& scheme,
                                                                  std::uint64_t build,
                                                                  std::uint32_t direction,
                                                                  std::uint32_t source,
                                                                  std::uint64_t covered) const {
    if (!CCompiledScheme::HasTable(direction, source)) {
        return nullptr;
    }
    if (build != m_tablesBuild) {
        m_tablesBuild = build;
        m_covered.clear();
    }
    const std::size_t pair = (direction - 1) * 2 + (source - 1);
    for (const auto& table : m_covered) {
        if (table->pair == pair && table->covered == covered) {
            return &table->choices;
        }
    }
    if (m_covered.size() == kCoveredTables) {
        return nullptr;
    }
    auto table = std::make_unique<SCoveredTable>();
    table->pair = pair;
    table->covered = covered;
    for (unsigned b = 0; b < 256; ++b) {
        table->choices[b] = ChooseByWalking(scheme.RulePointers(), static_cast<std::uint8_t>(b),
                                            direction, source, true, covered);
    }
    m_covered.push_back(std::move(table));
    return &m_covered.back()->choices;
}

const CPatternRuleSet* PatternRulesOf(const CStyleScheme& scheme) {
    if (!scheme.PatternRules) {
        return nullptr;
    }
    // A console renders with one scheme at a time, the style editor's
    // preview with another: a few sets cover them all.
    struct SCached {
        const CStyleScheme* scheme;
        std::unique_ptr<CPatternRuleSet> set;
    };
    thread_local std::array<SCached, 4> cache{};
    thread_local std::size_t next = 0;
    for (SCached& entry : cache) {
        if (entry.scheme == &scheme && entry.set->SameAs(scheme)) {
            return entry.set->Matches() ? entry.set.get() : nullptr;
        }
    }
    SCached* slot = nullptr;
    for (SCached& entry : cache) {
        if (entry.scheme == &scheme) {
            slot = &entry;  // the same scheme, its patterns edited
        }
    }
    if (slot == nullptr) {
        slot = &cache[next];
        next = (next + 1) % cache.size();
    }
    slot->scheme = &scheme;
    slot->set = std::make_unique<CPatternRuleSet>(scheme);
    return slot->set->Matches() ? slot->set.get() : nullptr;
}

std::string PatternRuleError(const SStyleRule& rule) {
    if (!rule.RegEx_MatchValue || rule.RegEx_MatchValue->empty()) {
        return "No pattern";
    }
    const auto pattern = Compile(rule.RegEx_MatchValue);
    return pattern->IsValid() ? std::string() : pattern->Error();
}

}  // namespace quillpad
