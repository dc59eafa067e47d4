#include "styles/CStyleScheme.h"

#include <gtest/gtest.h>

#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

// Expected fields of one built-in rule, typed from the published tables.
struct SExpect {
    const char* name;
    int dir, cls, src;
    bool font;
    std::uint32_t colour;
    std::uint32_t eff;
    bool fmt;
    int code;
    bool always, insert;
};

void ExpectRules(const CStyleScheme& s, const char* name, const std::vector<SExpect>& rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(s.Name, name);
    EXPECT_EQ(s.Description, "");
    EXPECT_EQ(s.BackgroundColor, 0u);
    EXPECT_TRUE(s.LineWrap);
    EXPECT_TRUE(s.IsBuiltIn());
    ASSERT_EQ(s.RuleCount(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const SStyleRule& r = s.Rule(i);
        EXPECT_EQ(r.Name, rows[i].name);
        EXPECT_EQ(r.Direction_MatchValue, rows[i].dir);
        EXPECT_EQ(r.CharRange_MatchValue, rows[i].cls);
        EXPECT_EQ(r.Owner_MatchValue, rows[i].src);
        EXPECT_EQ(r.Format_ApplyColor, rows[i].font);
        EXPECT_EQ(r.CharFormat.crTextColor, rows[i].colour);
        EXPECT_EQ(r.CharFormat.dwEffects, rows[i].eff);
        EXPECT_EQ(r.Format_ApplyFormat, rows[i].fmt);
        EXPECT_EQ(r.Format_CharacterFormat, rows[i].code);
        EXPECT_EQ(r.Format_AlwaysInterpretCRLFBSTB, rows[i].always);
        EXPECT_EQ(r.Format_InsertCRLFIfTranslated, rows[i].insert);
        EXPECT_FALSE(r.RegEx_Match);
        EXPECT_FALSE(r.RegEx_MatchValue.has_value());
        EXPECT_FALSE(r.CharRange_CustomValues.has_value());
        EXPECT_EQ(r.CharFormat.yHeight, 240);
        EXPECT_EQ(r.CharFormat.yOffset, 0);
        EXPECT_EQ(r.CharFormat.FaceName(), "Courier");
        EXPECT_EQ(r.CharFormat.bCharSet, 0);
        EXPECT_EQ(r.CharFormat.bPitchAndFamily, 49);
        EXPECT_EQ(r.CharFormat.cbSize, 60u);
        EXPECT_EQ(r.CharFormat.dwMask, 0xF800000Fu);
    }
}

TEST(BuiltinSchemes, SetBReadsBackFieldForField) {
    const auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    ASSERT_EQ(set.size(), 3u);
    ExpectRules(*set[0], "Normal",
                {{"Hide Outgoing(Local Echo)", 2, 0, 1, false, 65535, 0, true, 0, false, false},
                 {"Low as raw hex", 1, 1, 1, true, 255, 1, true, 2, true, true},
                 {"High as raw hex", 0, 3, 0, true, 255, 1, true, 2, false, false},
                 {"All Other", 0, 0, 0, true, 16777215, 0, false, 0, false, false}});
    ExpectRules(*set[1], "Normal (Local Echo)",
                {{"Hide Outgoing(Local Echo)", 2, 0, 1, true, 65535, 0, true, 1, false, false},
                 {"Low as raw hex", 1, 1, 1, true, 255, 1, true, 2, true, true},
                 {"High as raw hex", 0, 3, 0, true, 255, 1, true, 2, false, false},
                 {"All Other", 0, 0, 0, true, 16777215, 0, false, 0, false, false}});
    ExpectRules(*set[2], "Hex Mode",
                {{"Outgoing", 2, 0, 1, true, 65535, 0, true, 2, false, true},
                 {"Incoming", 1, 0, 1, true, 16777215, 0, true, 2, false, true}});
    // "All Other" of Normal has no insert key in its text at all.
    const std::string normal = BuiltinSchemeTexts(EBuiltinSet::B)[0];
    const auto rule4 = normal.find("[Scheme1.Rule4]");
    ASSERT_NE(rule4, std::string::npos);
    EXPECT_EQ(normal.find("Format_InsertCRLFIfTranslated", rule4), std::string::npos);
}

TEST(BuiltinSchemes, SetAReadsBackFieldForField) {
    const auto set = MakeBuiltinSchemes(EBuiltinSet::A);
    ASSERT_EQ(set.size(), 4u);
    const std::vector<SExpect> normal = {
        {"Hide My Outgoing(Local Echo)", 2, 0, 1, false, 12632256, 0, true, 0, false, false},
        {"Low as raw hex", 1, 1, 0, true, 255, 1, true, 2, true, true},
        {"High as raw hex", 0, 3, 0, true, 255, 1, true, 2, false, false},
        {"Others's Outgoing", 2, 0, 2, true, 16776960, 0, true, 1, false, false},
        {"Other's Incoming", 1, 0, 2, true, 6579300, 0, true, 1, false, false},
        {"All Other", 0, 0, 0, true, 16777215, 0, true, 1, false, false}};
    ExpectRules(*set[0], "Normal", normal);
    auto echo = normal;
    echo[0].font = true;
    echo[0].colour = 65535;
    echo[0].code = 1;
    ExpectRules(*set[1], "Normal (Local Echo)", echo);
    ExpectRules(*set[2], "Hex Mode",
                {{"Others outgoing hex", 2, 0, 2, true, 16776960, 0, true, 2, false, true},
                 {"Other's incoming hex", 1, 0, 2, true, 8421504, 0, true, 2, false, true},
                 {"My outgoing", 2, 0, 1, true, 65535, 0, true, 2, false, true},
                 {"My incoming", 1, 0, 1, true, 16777215, 0, true, 2, false, true}});
    ExpectRules(*set[3], "High Performance",
                {{"All Data", 0, 0, 0, true, 16777215, 0, true, 1, true, true}});
}

TEST(StyleSchemeFile, MissingKeysTakeTheReaderDefaults) {
    CIniDocument d;
    d.LoadText("[Scheme1.Rule1]\nName=r\nLineWrap=true\n\n[Scheme1.Rule2]\nX=1\n", true);
    CStyleScheme s;
    s.ReadScheme(d, 1);
    EXPECT_EQ(s.Name, "");
    EXPECT_EQ(s.BackgroundColor, 16777215u);
    EXPECT_TRUE(s.LineWrap);
    ASSERT_EQ(s.RuleCount(), 2u);
    EXPECT_EQ(s.Rule(0).CharFormat.yHeight, 12) << "a read rule defaults to 12 twips";
    EXPECT_EQ(s.Rule(0).CharFormat.FaceName(), "Courier");
    EXPECT_EQ(s.Rule(1).Name, "");

    CIniDocument lower;
    lower.LoadText("[Scheme1.Info]\nLineWrap=true\nBackgroundColor=12abc\n", true);
    s.ReadScheme(lower, 1);
    EXPECT_FALSE(s.LineWrap) << "only the exact text TRUE is true";
    EXPECT_EQ(s.BackgroundColor, 12u);
}

TEST(StyleSchemeFile, ReadingStopsAtTheFirstMissingRule) {
    CIniDocument d;
    d.LoadText(
        "[Scheme1.Info]\nName=Gaps\n\n[Scheme1.Rule1]\nName=a\n\n[Scheme1.Rule2]\nName=b\n\n"
        "[Scheme1.Rule4]\nName=d\n",
        true);
    CStyleScheme s;
    s.ReadScheme(d, 1);
    EXPECT_EQ(s.RuleCount(), 2u);
}

TEST(StyleSchemeFile, SaveLoadRoundTripKeepsUnknownKeysAndShrinksCleanly) {
    test::CTempDir dir;
    const std::string path = dir.File("mine.tss");
    ASSERT_TRUE(test::WriteFileBytes(
        path, "[Scheme1.Info]\r\nName=Mine\r\nOwnerNote=keep me\r\n\r\n[Extra]\r\nA=1\r\n\r\n"));
    CStyleScheme s;
    ASSERT_TRUE(s.Load(path, false));
    EXPECT_EQ(s.Name, "Mine");
    for (int i = 0; i < 5; ++i) {
        SStyleRule r;
        r.SetName("rule" + std::to_string(i));
        r.CharRange_MatchValue = kClassCustom;
        r.SetCustomValues("0D,0A");
        s.AppendRule(r);
    }
    ASSERT_TRUE(s.Save());
    // Class 4 -> 1: the custom values key stays behind, unread.
    s.Rule(0).CharRange_MatchValue = kClassLow;
    s.RemoveRule(4);
    s.RemoveRule(3);
    ASSERT_TRUE(s.Save());

    const std::string text = test::ReadFileBytes(path);
    EXPECT_NE(text.find("OwnerNote=keep me"), std::string::npos);
    EXPECT_NE(text.find("[Extra]\r\nA=1"), std::string::npos);
    EXPECT_NE(text.find("[Scheme1.Rule4]\r\n\r\n[Scheme1.Rule5]\r\n\r\n[Scheme1.Rule6]\r\n\r\n"),
              std::string::npos)
        << text;

    CStyleScheme again;
    ASSERT_TRUE(again.Load(path, false));
    ASSERT_EQ(again.RuleCount(), 3u);
    EXPECT_EQ(again.Rule(0).CharRange_MatchValue, kClassLow);
    EXPECT_FALSE(again.Rule(0).CharRange_CustomValues.has_value());
    EXPECT_EQ(again.Rule(1).CustomValueSet, (std::vector<std::uint8_t>{0x0D, 0x0A}));
    EXPECT_EQ(again.Rule(2).Name, "rule2");
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(again.Rule(i).CharFormat, s.Rule(i).CharFormat);
    }
}

TEST(StyleSchemeFile, ARuleWithoutValuesNeverTakesThoseLeftInItsSection) {
    test::CTempDir dir;
    const std::string path = dir.File("mine.tss");
    CStyleScheme s;
    ASSERT_TRUE(s.Load(path, true));
    SStyleRule named;
    named.CharRange_MatchValue = kClassCustom;
    named.SetCustomValues("0D,0A");
    named.RegEx_Match = true;
    named.RegEx_MatchValue = "x+";
    s.AppendRule(named);
    ASSERT_TRUE(s.Save());
    // A rule added later, class 4 and pattern flag set but neither text
    // typed, takes the first place: it matches nothing.
    SStyleRule bare;
    bare.CharRange_MatchValue = kClassCustom;
    bare.RegEx_Match = true;
    s.InsertRule(0, bare);
    ASSERT_FALSE(s.Rule(0).ClassContains(0x0D));
    ASSERT_TRUE(s.Save());

    CStyleScheme again;
    ASSERT_TRUE(again.Load(path, false));
    ASSERT_EQ(again.RuleCount(), 2u);
    EXPECT_FALSE(again.Rule(0).ClassContains(0x0D)) << "as it did before the save";
    EXPECT_EQ(again.Rule(0).CharRange_CustomValues, "");
    EXPECT_EQ(again.Rule(0).RegEx_MatchValue, "");
    EXPECT_EQ(again.Rule(1).CharRange_CustomValues, "0D,0A");
    EXPECT_EQ(again.Rule(1).RegEx_MatchValue, "x+");
}

TEST(StyleSchemeFile, ThreeRulesGiveOneEmptySectionBehind) {
    test::CTempDir dir;
    CStyleScheme s;
    ASSERT_TRUE(s.Load(dir.File("new.tss"), true)) << "a missing file is created";
    EXPECT_EQ(s.RuleCount(), 0u);
    s.Name = "Three";
    for (int i = 0; i < 3; ++i) {
        s.AppendRule(SStyleRule{});
    }
    ASSERT_TRUE(s.Save());
    const std::string text = test::ReadFileBytes(dir.File("new.tss"));
    EXPECT_EQ(text.rfind("[Scheme1.Rule4]\r\n\r\n"), text.size() - 19);
    EXPECT_EQ(text.find("[Scheme1.Rule5]"), std::string::npos);
}

TEST(StyleSchemeFile, BuiltInSchemesAreNeverSaved) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    EXPECT_FALSE(set[0]->Save());
    CStyleScheme s;
    EXPECT_FALSE(s.Load("/nonexistent/dir/x.tss", false));
    EXPECT_TRUE(s.GetPath().empty());
}

}  // namespace
}  // namespace quillpad
