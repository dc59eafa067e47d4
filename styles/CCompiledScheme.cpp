#include "styles/CCompiledScheme.h"

#include <atomic>

namespace quillpad {

void ActionFor(const SStyleRule* f, std::uint8_t b, SByteChoice& choice) {
    choice.translatedNames = false;
    if (f == nullptr) {
        choice.action = b == 0 ? EByteAction::Drop : EByteAction::Copy;
        return;
    }
    std::int32_t code = f->Format_CharacterFormat;
    const bool lineControl = b == 0x0A || b == 0x0D || b == 0x09 || b == 0x08;
    if (f->Format_AlwaysInterpretCRLFBSTB && code != kFormatHide && lineControl) {
        code = kFormatText;
    }
    switch (code) {
        case kFormatText:
            if (b == 0x0A || b == 0x00) {
                choice.action = EByteAction::Drop;
            } else if (b == 0x0D) {
                choice.action = EByteAction::Newline;
            } else if (b == 0x08) {
                choice.action = EByteAction::Backspace;
            } else {
                choice.action = EByteAction::Copy;
            }
            return;
        case kFormatHex:
        case kFormatHexTranslated:
            choice.translatedNames = code == kFormatHexTranslated;
            choice.action = EByteAction::Name;
            if (f->Format_InsertCRLFIfTranslated && b == 0x0D) {
                choice.action = EByteAction::NameThenCR;
            } else if (f->Format_InsertCRLFIfTranslated && b == 0x0A) {
                choice.action = EByteAction::NameThenLF;
            }
            return;
        default:
            choice.action = EByteAction::Drop;
            return;
    }
}

SByteChoice ChooseByWalking(const std::vector<const SStyleRule*>& rules, std::uint8_t byte,
                            std::uint32_t direction, std::uint32_t source, bool patternRules,
                            std::uint64_t covered) {
    SByteChoice choice;
    std::size_t patternOrdinal = 0;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const SStyleRule& rule = *rules[i];
        if (IsPatternRule(rule, patternRules)) {
            const std::size_t k = patternOrdinal++;
            if (k >= kMaxPatternRules || (covered >> k & 1U) == 0) {
                continue;
            }
        }
        if (!rule.Matches(byte, direction, source)) {
            continue;
        }
        if (choice.colourRule < 0 && rule.Format_ApplyColor) {
            choice.colourRule = static_cast<std::int32_t>(i);
        }
        if (choice.formatRule < 0 && rule.Format_ApplyFormat) {
            choice.formatRule = static_cast<std::int32_t>(i);
        }
        if (choice.colourRule >= 0 && choice.formatRule >= 0) {
            break;
        }
    }
    ActionFor(choice.formatRule < 0 ? nullptr : rules[static_cast<std::size_t>(choice.formatRule)],
              byte, choice);
    return choice;
}

CCompiledScheme::SRuleKey CCompiledScheme::KeyOf(const SStyleRule& r, bool patternRules) {
    return SRuleKey{r.Direction_MatchValue,
                    r.CharRange_MatchValue,
                    r.Owner_MatchValue,
                    r.Format_CharacterFormat,
                    r.Format_ApplyColor,
                    r.Format_ApplyFormat,
                    r.Format_AlwaysInterpretCRLFBSTB,
                    r.Format_InsertCRLFIfTranslated,
                    IsPatternRule(r, patternRules),
                    r.CharRange_MatchValue == kClassCustom ? r.CustomValueSet : std::nullopt};
}

bool CCompiledScheme::Matches(const SRuleKey& k, const SStyleRule& r, bool patternRules) {
    if (k.direction != r.Direction_MatchValue || k.charRange != r.CharRange_MatchValue ||
        k.owner != r.Owner_MatchValue || k.code != r.Format_CharacterFormat ||
        k.applyColor != r.Format_ApplyColor || k.applyFormat != r.Format_ApplyFormat ||
        k.always != r.Format_AlwaysInterpretCRLFBSTB ||
        k.insert != r.Format_InsertCRLFIfTranslated ||
        k.pattern != IsPatternRule(r, patternRules)) {
        return false;
    }
    if (r.CharRange_MatchValue != kClassCustom) {
        return !k.custom.has_value();
    }
    return k.custom == r.CustomValueSet;
}

void CCompiledScheme::Refresh(const std::vector<const SStyleRule*>& rules, bool patternRules) {
    bool same = m_built && m_keys.size() == rules.size();
    for (std::size_t i = 0; same && i < rules.size(); ++i) {
        same = Matches(m_keys[i], *rules[i], patternRules);
    }
    if (!same) {
        Build(rules, patternRules);
    }
}

void CCompiledScheme::Build(const std::vector<const SStyleRule*>& rules, bool patternRules) {
    m_keys.clear();
    m_keys.reserve(rules.size());
    for (const SStyleRule* rule : rules) {
        m_keys.push_back(KeyOf(*rule, patternRules));
    }
    if (!m_tables) {
        m_tables = std::make_unique<std::array<std::array<SByteChoice, 256>, 5>>();
    }
    // Painted from the last rule to the first, so the first matching rule of
    // each half is what stays: the same choice as the walk, found another way.
    const auto paint = [&](std::array<SByteChoice, 256>& table, std::uint32_t d, std::uint32_t s,
                           bool marksOnly) {
        table.fill(SByteChoice{});
        for (std::size_t i = rules.size(); i-- > 0;) {
            const SStyleRule& rule = *rules[i];
            // A pattern rule matches no byte by itself: where its
            // pattern finds some, the renderer walks the rules.
            if ((!rule.Format_ApplyColor && !rule.Format_ApplyFormat) ||
                IsPatternRule(rule, patternRules) ||
                (marksOnly && rule.Owner_MatchValue != kOwnerMarks)) {
                continue;
            }
            for (unsigned b = 0; b < 256; ++b) {
                if (!rule.Matches(static_cast<std::uint8_t>(b), d, s)) {
                    continue;
                }
                if (rule.Format_ApplyColor) {
                    table[b].colourRule = static_cast<std::int32_t>(i);
                }
                if (rule.Format_ApplyFormat) {
                    table[b].formatRule = static_cast<std::int32_t>(i);
                }
            }
        }
        for (unsigned b = 0; b < 256; ++b) {
            const auto f = table[b].formatRule;
            ActionFor(f < 0 ? nullptr : rules[static_cast<std::size_t>(f)],
                      static_cast<std::uint8_t>(b), table[b]);
        }
    };
    for (std::uint32_t d = 1; d <= 2; ++d) {
        for (std::uint32_t s = 1; s <= 2; ++s) {
            paint((*m_tables)[TableIndex(d, s)], d, s, false);
        }
    }
    // Marks are the console's own outgoing records.
    paint((*m_tables)[kMarkTable], 2, static_cast<std::uint32_t>(kOwnerMarks), true);
    m_built = true;
    // Unique across all schemes, not only rising: what was made from one
    // build (a pattern set's covered tables) is never taken for another
    // scheme's that happens to live at the same address.
    static std::atomic<std::uint64_t> builds{0};
    m_builds = ++builds;
}

const SByteChoice& CCompiledScheme::Choice(std::uint8_t byte, std::uint32_t direction,
                                           std::uint32_t source) const {
    return Table(direction, source)[byte];
}

const std::array<SByteChoice, 256>& CCompiledScheme::EmptyTable() {
    static const std::array<SByteChoice, 256> empty{};
    return empty;
}

}  // namespace quillpad
