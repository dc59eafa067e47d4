#include "styles/CCompiledScheme.h"

#include <gtest/gtest.h>

#include <random>

#include "styles/BuiltinSchemes.h"
#include "styles/CStyleScheme.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

SStyleRule RandomRule(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    SStyleRule r;
    r.Direction_MatchValue = pick(0, 3);  // 3: matches nothing
    r.Owner_MatchValue = pick(0, 3);
    r.CharRange_MatchValue = pick(0, 5);
    if (r.CharRange_MatchValue == kClassCustom && pick(0, 4) > 0) {
        std::string text;
        for (int i = pick(0, 4); i > 0; --i) {
            char item[16];
            std::snprintf(item, sizeof item, pick(0, 1) ? "%X," : "%X-%X,", pick(0, 255),
                          pick(0, 255));
            text += item;
        }
        r.SetCustomValues(text);
    }
    r.Format_ApplyColor = pick(0, 1);
    r.Format_ApplyFormat = pick(0, 1);
    r.Format_CharacterFormat = pick(0, 4);
    r.Format_AlwaysInterpretCRLFBSTB = pick(0, 1);
    r.Format_InsertCRLFIfTranslated = pick(0, 1);
    r.CharFormat.crTextColor = static_cast<std::uint32_t>(pick(0, 0xFFFFFF));
    return r;
}

void ExpectTablesMatchTheWalk(const CStyleScheme& scheme) {
    const CCompiledScheme& compiled = scheme.Compiled();
    for (std::uint32_t d = 1; d <= 2; ++d) {
        for (std::uint32_t s = 1; s <= 2; ++s) {
            for (unsigned b = 0; b < 256; ++b) {
                const auto byte = static_cast<std::uint8_t>(b);
                const SByteChoice walked = ChooseByWalking(scheme.RulePointers(), byte, d, s);
                const SByteChoice& table = compiled.Choice(byte, d, s);
                ASSERT_EQ(table.colourRule, walked.colourRule) << "byte " << b;
                ASSERT_EQ(table.formatRule, walked.formatRule) << "byte " << b;
                ASSERT_EQ(table.action, walked.action) << "byte " << b;
                ASSERT_EQ(table.translatedNames, walked.translatedNames) << "byte " << b;
            }
        }
    }
}

TEST(CompiledScheme, TablesAgreeWithTheWalkOnRandomSchemesAndEdits) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 2000; ++round) {
        CStyleScheme scheme;
        const int rules = std::uniform_int_distribution<int>(0, 7)(rng);
        for (int i = 0; i < rules; ++i) {
            scheme.AppendRule(RandomRule(rng));
        }
        ExpectTablesMatchTheWalk(scheme);
        if (rules == 0) {
            continue;
        }
        // Edit a rule in place, as the style editor does, and look again.
        const auto victim = static_cast<std::size_t>(rng() % scheme.RuleCount());
        scheme.Rule(victim) = RandomRule(rng);
        ExpectTablesMatchTheWalk(scheme);
        scheme.Rule(victim).Format_ApplyFormat = !scheme.Rule(victim).Format_ApplyFormat;
        ExpectTablesMatchTheWalk(scheme);
        scheme.MoveRule(0, scheme.RuleCount() - 1);
        ExpectTablesMatchTheWalk(scheme);
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(CompiledScheme, AnInPlaceEditShowsAtTheNextRender) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    CStyleScheme& hex = *set[2];
    const SDataRecord rec = MakeRecord("A\r");
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "[41h][0Dh]\r");
    hex.Rule(1).Format_CharacterFormat = kFormatHexTranslated;
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "[41h][CR]\r");
    hex.Rule(1).Format_InsertCRLFIfTranslated = false;
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "[41h][CR]");
    hex.Rule(1).Direction_MatchValue = 2;
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "A\r") << "no rule claims it now";
    hex.Rule(1).CharRange_MatchValue = kClassCustom;
    hex.Rule(1).Direction_MatchValue = 1;
    hex.Rule(1).SetCustomValues("41");
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "[41h]\r");
    hex.Rule(1).SetCustomValues("0D");
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "A[CR]");
    hex.RemoveRule(1);
    EXPECT_EQ(CStyledRenderer::RenderToString(&hex, rec), "A\r");
}

TEST(CompiledScheme, IsNotRebuiltWhenNothingChanged) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    const auto before = set[0]->Compiled().BuildCount();
    for (int i = 0; i < 10; ++i) {
        set[0]->Compiled();
    }
    EXPECT_EQ(set[0]->Compiled().BuildCount(), before);
    set[0]->Rule(0).CharFormat.crTextColor = 1;  // font only: no rebuild needed
    EXPECT_EQ(set[0]->Compiled().BuildCount(), before);
}

}  // namespace
}  // namespace quillpad
