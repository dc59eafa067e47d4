// Pattern rules: only with the scheme's opt-in, exactly the bytes the
// pattern finds in a line, in the rules' order; a bad pattern matches
// nothing; a sheet with the opt-in keeps its key through a save.

#include "view/PatternRules.h"

#include <gtest/gtest.h>

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
