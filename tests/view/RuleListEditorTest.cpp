// The style editor's rule list as a model, without a display: edits by row
// over a scheme's rules, and the rule clipboard.

#include "view/CRuleListEditor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpad {
namespace {

class RuleListEditor : public ::testing::Test {
  protected:
    RuleListEditor() {
        for (const char* name : {"A", "B", "C", "D"}) {
            SStyleRule rule;
            rule.SetName(name);
            rule.CharFormat.crTextColor = static_cast<std::uint32_t>(name[0]);
            scheme.AppendRule(rule);
        }
        editor.SetScheme(&scheme);
    }
    std::vector<std::string> Names(const CStyleScheme& s) const {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < s.RuleCount(); ++i) {
            names.push_back(s.Rule(i).Name);
        }
        return names;
    }
    using Names_ = std::vector<std::string>;

    CStyleScheme scheme;
    CRuleListEditor editor;
};

TEST_F(RuleListEditor, AddCopiesTheRuleAtARowDeeplyOrMakesAnInertOne) {
    SStyleRule& b = scheme.Rule(1);
    b.CharRange_MatchValue = 4;
    b.SetCustomValues("0D");
    ASSERT_EQ(editor.Add(1), 4u);
    const SStyleRule& copy = scheme.Rule(4);
    EXPECT_EQ(copy.Name, "New rule");
    EXPECT_EQ(copy.CharFormat, b.CharFormat);
    scheme.Rule(4).SetCustomValues("41");
    EXPECT_EQ(*b.CustomValueSet, std::vector<std::uint8_t>{0x0D})
        << "the copy's values are its own";

    ASSERT_EQ(editor.Add(std::nullopt), 5u);
    EXPECT_EQ(scheme.Rule(5).Name, "New rule");
    EXPECT_EQ(scheme.Rule(5).CharFormat, SStyleRule().CharFormat) << "the new-rule defaults";
    ASSERT_EQ(editor.Add(99), 6u) << "a row past the end copies nothing";
    EXPECT_EQ(scheme.Rule(6).CharFormat, SStyleRule().CharFormat);
}

TEST_F(RuleListEditor, RemoveTakesEveryGivenRowOnceWhateverTheirOrder) {
    const std::vector<std::size_t> rows = {3, 0, 3, 17};
    EXPECT_EQ(editor.Remove(rows), 2u);
    EXPECT_EQ(Names(scheme), (Names_{"B", "C"}));
    EXPECT_EQ(editor.Remove({}), 0u);
    EXPECT_EQ(editor.Count(), 2u);
}

TEST_F(RuleListEditor, MovesGoOnePlaceAndStopAtTheEnds) {
    EXPECT_FALSE(editor.MoveUp(0));
    EXPECT_FALSE(editor.MoveDown(3));
    EXPECT_FALSE(editor.MoveDown(8));
    EXPECT_EQ(Names(scheme), (Names_{"A", "B", "C", "D"}));
    EXPECT_EQ(editor.MoveDown(1), 2u);
    EXPECT_EQ(Names(scheme), (Names_{"A", "C", "B", "D"}));
    EXPECT_EQ(editor.MoveUp(2), 1u);
    EXPECT_EQ(editor.MoveUp(1), 0u);
    EXPECT_EQ(Names(scheme), (Names_{"B", "A", "C", "D"}));
    // The compiled tables follow the order: the first rule that matches wins.
    EXPECT_EQ(scheme.RulePointers().front(), &scheme.Rule(0));
}

TEST_F(RuleListEditor, TheClipboardCopiesInListOrderPastesOnceAndOutlivesTheScheme) {
    EXPECT_FALSE(editor.CanPaste());
    EXPECT_EQ(editor.Paste(), 0u);
    const std::vector<std::size_t> rows = {3, 1};
    editor.Copy(rows);
    ASSERT_NE(editor.Clipboard(), nullptr);
    ASSERT_EQ(editor.Clipboard()->size(), 2u);
    EXPECT_EQ((*editor.Clipboard())[0].Name, "B") << "in list order";
    scheme.Rule(1).SetName("changed after the copy");
    EXPECT_EQ((*editor.Clipboard())[0].Name, "B") << "a copy, not a reference";

    // Another style: the copied rules go there.
    CStyleScheme other;
    editor.SetScheme(&other);
    EXPECT_EQ(editor.Paste(), 2u);
    EXPECT_EQ(Names(other), (Names_{"B", "D"}));
    EXPECT_FALSE(editor.CanPaste()) << "one copy pastes once";
    EXPECT_EQ(editor.Paste(), 0u);
    EXPECT_EQ(other.RuleCount(), 2u);
    EXPECT_EQ(scheme.RuleCount(), 4u);

    // No scheme: every edit does nothing.
    editor.SetScheme(nullptr);
    EXPECT_FALSE(editor.Add(std::nullopt));
    EXPECT_EQ(editor.Count(), 0u);
    EXPECT_EQ(editor.Rule(0), nullptr);
}

}  // namespace
}  // namespace quillpad
