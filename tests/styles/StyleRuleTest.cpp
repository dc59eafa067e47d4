#include "styles/SStyleRule.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillpad {
namespace {

std::vector<std::uint8_t> Range(unsigned first, unsigned last) {
    std::vector<std::uint8_t> v;
    for (unsigned b = first; b <= last; ++b) {
        v.push_back(static_cast<std::uint8_t>(b));
    }
    return v;
}

TEST(ParseCustomValues, ItemsRangesAndOddities) {
    using V = std::vector<std::uint8_t>;
    EXPECT_EQ(ParseCustomValues("0D,0A"), (V{0x0D, 0x0A}));
    EXPECT_EQ(ParseCustomValues("20-7E"), Range(0x20, 0x7E));
    EXPECT_EQ(ParseCustomValues("7E-20"), V{});
    EXPECT_EQ(ParseCustomValues("00-7F"), Range(0x00, 0x7F));
    EXPECT_EQ(ParseCustomValues("7F-81"), (V{0x7F, 0x80, 0x81}));
    EXPECT_EQ(ParseCustomValues("80-FF"), Range(0x80, 0xFF)) << "no overflow at 0xFF";
    EXPECT_EQ(ParseCustomValues("1FF"), V{0xFF});
    EXPECT_EQ(ParseCustomValues(" 0D"), V{0x00});
    EXPECT_EQ(ParseCustomValues(",,0D,,"), V{0x0D});
    EXPECT_EQ(ParseCustomValues("-1F"), Range(0x00, 0x1F));
    EXPECT_EQ(ParseCustomValues(""), V{});
    EXPECT_EQ(ParseCustomValues("41,41"), (V{0x41, 0x41})) << "duplicates stay";
    EXPECT_EQ(ParseCustomValues("10-1F-5"), Range(0x10, 0x1F))
        << "second bound from after the first dash";
}

TEST(StyleRule, ClassesMeetAtTheDocumentedEdges) {
    SStyleRule r;
    r.CharRange_MatchValue = kClassMid;
    EXPECT_FALSE(r.ClassContains(0x7F));
    EXPECT_TRUE(r.ClassContains(0x20));
    EXPECT_TRUE(r.ClassContains(0x7E));
    r.CharRange_MatchValue = kClassHigh;
    EXPECT_TRUE(r.ClassContains(0x7F));
    EXPECT_FALSE(r.ClassContains(0x7E));
    r.CharRange_MatchValue = kClassLow;
    EXPECT_TRUE(r.ClassContains(0x00));
    EXPECT_FALSE(r.ClassContains(0x20));
    r.CharRange_MatchValue = kClassCustom;
    EXPECT_FALSE(r.ClassContains(0x00)) << "no custom set matches nothing";
    r.SetCustomValues("");
    EXPECT_FALSE(r.ClassContains(0x00));
    r.SetCustomValues("0D,80-81");
    EXPECT_TRUE(r.ClassContains(0x81));
    EXPECT_FALSE(r.ClassContains(0x0A));
    r.CharRange_MatchValue = 9;
    EXPECT_FALSE(r.ClassContains(0x41)) << "unknown classes match no byte";
}

TEST(StyleRule, DirectionAndSourceConditions) {
    SStyleRule r;
    EXPECT_TRUE(r.Matches(0x41, 1, 2));
    r.Direction_MatchValue = 2;
    EXPECT_FALSE(r.Matches(0x41, 1, 1));
    EXPECT_TRUE(r.Matches(0x41, 2, 1));
    r.Owner_MatchValue = 1;
    EXPECT_FALSE(r.Matches(0x41, 2, 2));
    r.Owner_MatchValue = 3;
    EXPECT_FALSE(r.Matches(0x41, 2, 1)) << "unknown codes match no record";
}

TEST(StyleRule, NewRuleDefaultsAndDeepCopy) {
    SStyleRule r;
    EXPECT_EQ(r.CharFormat.yHeight, 200);
    EXPECT_EQ(r.CharFormat.FaceName(), "Courier");
    EXPECT_EQ(r.CharFormat.cbSize, 60u);
    EXPECT_EQ(r.CharFormat.dwMask, 0xF800000Fu);
    EXPECT_FALSE(r.CustomValueSet.has_value());

    r.SetCustomValues("41");
    r.RegEx_MatchValue = "x+";
    SStyleRule copy = r;
    copy.SetCustomValues("42");
    *copy.RegEx_MatchValue += "y";
    EXPECT_EQ(*r.CharRange_CustomValues, "41") << "a copy never shares its texts";
    EXPECT_EQ(r.CustomValueSet->front(), 0x41);
    EXPECT_EQ(*r.RegEx_MatchValue, "x+");

    r.SetName(std::string(300, 'n'));
    EXPECT_EQ(r.Name.size(), 255u);
    r.CharFormat.SetFaceName(std::string(40, 'f'));
    EXPECT_EQ(r.CharFormat.FaceName().size(), 31u);
}

}  // namespace
}  // namespace quillpad
