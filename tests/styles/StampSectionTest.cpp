// A style sheet's "Stamps" section: read, written, and passed over by a
// reader that knows no stamps.

#include <gtest/gtest.h>

#include <string>

#include "styles/CStyleScheme.h"

namespace quillpad {
namespace {

const char* const kSheet =
    "[Scheme1.Info]\n"
    "Name=Stamped\n"
    "Description=with stamps\n"
    "BackgroundColor=0\n"
    "LineWrap=TRUE\n"
    "[Scheme1.Rule1]\n"
    "Name=All\n"
    "Direction_MatchValue=0\n";

TEST(StampSection, ReadWrittenAndReadAgain) {
    CStyleScheme plain;
    CIniDocument without;
    without.LoadText(kSheet, true);
    plain.ReadScheme(without, 1);
    EXPECT_FALSE(plain.Stamps.has_value()) << "a sheet without the section has no stamp format";

    CIniDocument with;
    with.LoadText(std::string(kSheet) + "[Stamps]\nFaceName=Mono Sans\nPointSize=8\nColor=255\n",
                  true);
    CStyleScheme stamped;
    stamped.ReadScheme(with, 1);
    ASSERT_TRUE(stamped.Stamps.has_value());
    EXPECT_EQ(*stamped.Stamps, (SStampFormat{"Mono Sans", 8, 255}));
    // Everything else reads as it did without the section.
    EXPECT_EQ(stamped.Name, plain.Name);
    EXPECT_EQ(stamped.Description, plain.Description);
    EXPECT_EQ(stamped.RuleCount(), plain.RuleCount());

    // Written and read back; a clone keeps it too.
    CIniDocument out;
    stamped.Stamps->PointSize = 11;
    stamped.WriteScheme(out, 1);
    EXPECT_NE(out.SaveText().find("[Stamps]"), std::string::npos);
    CStyleScheme again;
    again.ReadScheme(out, 1);
    ASSERT_TRUE(again.Stamps.has_value());
    EXPECT_EQ(*again.Stamps, (SStampFormat{"Mono Sans", 11, 255}));
    EXPECT_EQ(stamped.Clone()->Stamps, stamped.Stamps);

    // A scheme without stamps writes no section, so older sheets stay as they were.
    CIniDocument plainOut;
    plain.WriteScheme(plainOut, 1);
    EXPECT_EQ(plainOut.SaveText().find("Stamps"), std::string::npos);
}

TEST(StampSection, AnOlderReaderPassesOverTheSection) {
    // What a reader of the earlier sheet format sees: only "SchemeN." sections
    // and the keys it knows; the stamp section neither breaks nor changes them.
    CIniDocument with;
    with.LoadText(std::string("[Stamps]\nFaceName=X\n") + kSheet, true);
    EXPECT_TRUE(CStyleScheme::HoldsScheme(with, 1));
    EXPECT_EQ(with.ReadString("Scheme1.Info", "Name", ""), "Stamped");
    CStyleScheme scheme;
    scheme.ReadScheme(with, 1);
    EXPECT_EQ(scheme.RuleCount(), 1u);
    EXPECT_EQ(scheme.Rule(0).Name, "All");
}

TEST(StampSection, StampsTakenAwayAreGoneFromTheSheetAndStayGone) {
    CStyleScheme scheme;
    CIniDocument document;
    document.LoadText(std::string(kSheet) + "[Stamps]\nFaceName=Mono Sans\nPointSize=8\n", true);
    scheme.ReadScheme(document, 1);
    ASSERT_TRUE(scheme.Stamps.has_value());
    scheme.Stamps.reset();
    scheme.WriteScheme(document, 1);
    const std::string text = document.SaveText();
    EXPECT_EQ(text.find("FaceName=Mono Sans"), std::string::npos) << text;
    EXPECT_EQ(text.find("PointSize=8"), std::string::npos) << text;
    CStyleScheme again;
    again.ReadScheme(document, 1);
    EXPECT_FALSE(again.Stamps.has_value());
    // Written again without stamps: the same text, nothing comes back.
    again.WriteScheme(document, 1);
    EXPECT_EQ(document.SaveText(), text);
    // And stamps given once more fill the section that was left.
    again.Stamps = SStampFormat{"Serif", 10, 255};
    again.WriteScheme(document, 1);
    CStyleScheme third;
    third.ReadScheme(document, 1);
    EXPECT_EQ(third.Stamps, (SStampFormat{"Serif", 10, 255}));
}

// Stamps and marks take their font from the first rule without a pattern,
// which a pattern rule moved to the top does not change, and follow it as
// it is edited.
TEST(StampSection, TheConsolesOwnTextsFollowTheBodyRuleNeverAPatternRule) {
    CStyleScheme scheme;
    EXPECT_EQ(scheme.BodyRule(), nullptr);
    EXPECT_EQ(scheme.RulePointers().back(), &scheme.MarkRule()) << "marks' rule even with none";
    SStyleRule body;
    body.CharFormat.SetFaceName("Body");
    body.CharFormat.yHeight = 300;
    scheme.AppendRule(body);
    SStyleRule pattern;
    pattern.RegEx_Match = true;
    pattern.CharFormat.SetFaceName("Pattern");
    pattern.CharFormat.crTextColor = 0xFF;
    scheme.InsertRule(0, pattern);
    ASSERT_EQ(scheme.BodyRule(), &scheme.Rule(1));
    EXPECT_EQ(scheme.MarkRule().CharFormat.FaceName(), "Body");
    EXPECT_EQ(scheme.MarkRule().CharFormat.yHeight, 300);
    EXPECT_EQ(scheme.MarkRule().CharFormat.crTextColor, kDefaultMarkColor);
    scheme.Rule(1).CharFormat.SetFaceName("Edited");
    scheme.Compiled();
    EXPECT_EQ(scheme.MarkRule().CharFormat.FaceName(), "Edited");
    EXPECT_EQ(scheme.RuleCount(), 2u) << "the marks' rule is not the sheet's";
    const auto copy = scheme.Clone();
    EXPECT_EQ(copy->RulePointers().back(), &copy->MarkRule()) << "its own, not the original's";
}

}  // namespace
}  // namespace quillpad
