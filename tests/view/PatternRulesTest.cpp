// Pattern rules: only with the scheme's opt-in, exactly the bytes the
// pattern finds in a line, in the rules' order; a bad pattern matches
// nothing; a sheet with the opt-in keeps its key through a save.

#include "view/PatternRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <span>

#include "view/CMemorySurface.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

SStyleRule HexRule(const char* pattern) {
    SStyleRule r;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = kFormatHex;
    r.RegEx_Match = true;
    r.RegEx_MatchValue = pattern;
    return r;
}

SStyleRule TextRule() {
    SStyleRule r;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = kFormatText;
    return r;
}

std::string Text(const CStyleScheme& s, std::string_view bytes) {
    return CStyledRenderer::RenderToString(&s, MakeRecord(bytes));
}

TEST(PatternRules, ApplyOnlyWithTheOptInAndOnlyToTheBytesFound) {
    CStyleScheme s;
    s.AppendRule(HexRule("E\\d"));
    s.AppendRule(TextRule());
    // Off, the rule matches as if it had no pattern: every byte.
    EXPECT_EQ(Text(s, "xE1y\r\n"), "[78h][45h][31h][79h][0Dh][0Ah]");
    s.PatternRules = true;
    EXPECT_EQ(Text(s, "xE1y\r\n"), "x[45h][31h]y\n");
    EXPECT_EQ(Text(s, "E\r\n1"), "E\n1") << "no match across a line end";
}

TEST(PatternRules, PiecesAndCountsAgreeWithTheWholeRender) {
    CStyleScheme s;
    s.PatternRules = true;
    s.AppendRule(HexRule("ab+"));
    s.AppendRule(TextRule());
    const SDataRecord record = MakeRecord("xabbby\r\nab\r\n");
    CStyledRenderer whole;
    whole.SetScheme(&s);
    CMemorySurface expected;
    whole.Render(expected, record, false);
    CStyledRenderer pieces;
    pieces.SetScheme(&s);
    CMemorySurface surface;
    SRenderPoint point;
    while (!pieces.RenderPart(surface, record, false, point, 1)) {
    }
    EXPECT_EQ(surface.text, expected.text);
    EXPECT_EQ(CStyledRenderer::DrawnLength(&s, record, 2), std::string("x[61h]").size());
}

// A covered byte is looked up in a table made for its set of patterns: the
// table must give what walking the rules gives, for random rules, every pair
// of direction and source, and each set, also after an edit.
TEST(PatternRules, CoveredTablesChooseAsTheWalkDoes) {
    std::mt19937 rng(20261208);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    for (int round = 0; round < 60; ++round) {
        CStyleScheme s;
        s.PatternRules = true;
        for (int i = pick(1, 6); i > 0; --i) {
            SStyleRule r;
            r.Direction_MatchValue = pick(0, 2);
            r.Owner_MatchValue = pick(0, 2);
            r.CharRange_MatchValue = pick(0, 4);
            r.Format_ApplyColor = pick(0, 1);
            r.Format_ApplyFormat = pick(0, 1);
            r.Format_CharacterFormat = pick(0, 4);
            r.Format_AlwaysInterpretCRLFBSTB = pick(0, 1);
            r.Format_InsertCRLFIfTranslated = pick(0, 1);
            r.RegEx_Match = pick(0, 1);
            r.RegEx_MatchValue = "x";
            s.AppendRule(r);
        }
        for (int edit = 0; edit < 2; ++edit) {
            const CPatternRuleSet set(s);
            for (std::uint64_t covered = 1; covered < 8; ++covered) {
                for (std::uint32_t d = 1; d <= 2; ++d) {
                    for (std::uint32_t src = 1; src <= 2; ++src) {
                        const auto* table =
                            set.CoveredTable(s, s.Compiled().BuildCount(), d, src, covered);
                        ASSERT_NE(table, nullptr);
                        for (unsigned b = 0; b < 256; ++b) {
                            const SByteChoice walked =
                                ChooseByWalking(s.RulePointers(), static_cast<std::uint8_t>(b), d,
                                                src, true, covered);
                            const SByteChoice& got = (*table)[b];
                            ASSERT_EQ(got.colourRule, walked.colourRule) << b << " " << covered;
                            ASSERT_EQ(got.formatRule, walked.formatRule) << b << " " << covered;
                            ASSERT_EQ(got.action, walked.action) << b << " " << covered;
                            ASSERT_EQ(got.translatedNames, walked.translatedNames);
                        }
                    }
                }
            }
            s.Rule(0).RegEx_Match = !s.Rule(0).RegEx_Match;
        }
    }
    CStyleScheme s;
    s.PatternRules = true;
    s.AppendRule(HexRule("x"));
    EXPECT_EQ(CPatternRuleSet(s).CoveredTable(s, s.Compiled().BuildCount(), 3, 1, 1), nullptr)
        << "a foreign direction";
}

// The tables are kept with the compiled patterns from one record to the
// next: an edit of the other rules, or a new scheme where an old one was,
// must not find the old tables.
TEST(PatternRules, KeptTablesFollowEditsAndNewSchemes) {
    CStyleScheme s;
    s.PatternRules = true;
    s.AppendRule(HexRule("a+"));
    s.AppendRule(TextRule());
    EXPECT_EQ(Text(s, "xaay"), "x[61h][61h]y");
    s.Rule(0).Format_CharacterFormat = kFormatText;
    EXPECT_EQ(Text(s, "xaay"), "xaay");
    for (int i = 0; i < 20; ++i) {
        auto fresh = std::make_unique<CStyleScheme>();
        fresh->PatternRules = true;
        SStyleRule rule = HexRule("a+");
        rule.Format_CharacterFormat = i % 2 == 0 ? kFormatHex : kFormatText;
        fresh->AppendRule(rule);
        fresh->AppendRule(TextRule());
        EXPECT_EQ(Text(*fresh, "xaay"), i % 2 == 0 ? "x[61h][61h]y" : "xaay") << i;
    }
}

// The line index counts a record without searching its patterns when they
// only colour: the counts, and the colour in force where a count stops or a
// record ends, must be those of the whole render. A backspace just after a
// line end is the case where a change of colour tells: after it the text
// held back is out, and the backspace finds an empty line.
class CCounted final : public ICountSurface {
  public:
    void AppendCounted(std::size_t length, std::span<const std::uint32_t> breaks) override {
        lines += breaks.size();
        caret = breaks.empty() ? caret + length : length - breaks.back() - 1;
    }
    void DeleteLastCharOfCaretLine() override { caret -= caret > 0 ? 1 : 0; }
    std::size_t lines = 0;
    std::size_t caret = 0;
};

TEST(PatternRules, ACountWithoutThePatternsEndsAsTheWholeRender) {
    CStyleScheme s;
    s.PatternRules = true;
    SStyleRule red;
    red.Format_ApplyColor = true;
    red.CharFormat.crTextColor = 0x0000FF;
    red.RegEx_Match = true;
    red.RegEx_MatchValue = "\\x08|zz";
    s.AppendRule(red);
    SStyleRule text = TextRule();
    text.Format_ApplyColor = true;
    text.Format_AlwaysInterpretCRLFBSTB = true;
    s.AppendRule(text);
    for (const char* bytes : {"ab\r\bc", "ab\r\nzz", "zz\r\nab", "abzz", "a\b\rzz\b"}) {
        const SDataRecord record = MakeRecord(bytes);
        CMemorySurface whole;
        CStyledRenderer one;
        one.SetScheme(&s);
        one.Render(whole, record, false);
        // The colour rule of the last coloured byte before `offset`, walked
        // from what the patterns find in the whole record.
        std::vector<SPatternCover> covers;
        CPatternRuleSet(s).Cover(record.bytes, covers);
        const auto ruleBefore = [&](std::size_t offset) {
            for (std::size_t i = offset; i > 0; --i) {
                std::uint64_t mask = 0;
                for (const SPatternCover& c : covers) {
                    mask |= c.begin <= i - 1 && i - 1 < c.end ? c.rules : 0;
                }
                const auto rule = ChooseByWalking(s.RulePointers(),
                                                  static_cast<std::uint8_t>(record.bytes[i - 1]), 1,
                                                  1, true, mask)
                                      .colourRule;
                if (rule >= 0) {
                    return rule;
                }
            }
            return -1;
        };
        for (std::size_t piece = 1; piece <= 4; ++piece) {
            CStyledRenderer counter;
            counter.SetScheme(&s);
            CCounted counted;
            SRenderPoint point;
            while (!counter.CountPart(counted, record, false, point, piece)) {
                EXPECT_EQ(point.currentRule, ruleBefore(point.offset))
                    << bytes << " stopped at " << point.offset;
            }
            const auto lineEnds = static_cast<std::size_t>(
                std::count_if(whole.text.begin(), whole.text.end(),
                              [](char c) { return c == '\n' || c == '\r'; }));
            EXPECT_EQ(counted.lines, lineEnds) << bytes << " in pieces of " << piece;
            EXPECT_EQ(point.currentRule, ruleBefore(record.bytes.size())) << bytes;
        }
    }
}

TEST(PatternRules, APatternThatDoesNotCompileMatchesNothingAndSaysWhy) {
    CStyleScheme s;
    s.PatternRules = true;
    s.AppendRule(HexRule("(unclosed"));
    s.AppendRule(TextRule());
    EXPECT_EQ(Text(s, "(unclosed"), "(unclosed");
    EXPECT_FALSE(PatternRuleError(s.Rule(0)).empty());
    EXPECT_TRUE(PatternRuleError(HexRule("ok")).empty());
}

TEST(PatternRules, TheOptInIsWrittenOnlyOnceOn) {
    CStyleScheme s;
    s.AppendRule(TextRule());
    CIniDocument off;
    s.WriteScheme(off, 1);
    EXPECT_EQ(off.SaveText().find("PatternRules"), std::string::npos);
    s.PatternRules = true;
    CIniDocument on;
    s.WriteScheme(on, 1);
    CStyleScheme back;
    back.ReadScheme(on, 1);
    EXPECT_TRUE(back.PatternRules);
}

}  // namespace
}  // namespace quillpad
