#include "view/CStyledRenderer.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

#include "styles/BuiltinSchemes.h"
#include "view/CMemorySurface.h"

namespace quillpad {
namespace {

SStyleRule FormatRule(int code, bool always = false, bool insert = false) {
    SStyleRule r;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = code;
    r.Format_AlwaysInterpretCRLFBSTB = always;
    r.Format_InsertCRLFIfTranslated = insert;
    return r;
}

SStyleRule ColourRule(std::uint32_t colour, int cls = kClassAny) {
    SStyleRule r;
    r.Format_ApplyColor = true;
    r.CharRange_MatchValue = cls;
    r.CharFormat.crTextColor = colour;
    return r;
}

std::string Text(const CStyleScheme& s, std::string_view bytes, std::uint32_t dir = 1) {
    return CStyledRenderer::RenderToString(&s, MakeRecord(bytes, dir, 1, 0));
}

TEST(StyledRenderer, TheFormatCodes) {
    CStyleScheme s;
    s.AppendRule(FormatRule(kFormatText));
    EXPECT_EQ(Text(s, "AB\r\n"), "AB\n");
    EXPECT_EQ(Text(s, "A\bB"), "B");
    EXPECT_EQ(Text(s, "\t\x7f\xff"), "\t\x7f\xff");

    s.Rule(0) = FormatRule(kFormatHex, false, true);
    EXPECT_EQ(Text(s, "AB\r\n"), "[41h][42h][0Dh]\r[0Ah]\n");
    s.Rule(0).Format_InsertCRLFIfTranslated = false;
    EXPECT_EQ(Text(s, "AB\r\n"), "[41h][42h][0Dh][0Ah]");

    s.Rule(0) = FormatRule(kFormatHexTranslated);
    EXPECT_EQ(Text(s,
                   "\x1b"
                   "A\xff"),
              "[ESC][41h][FFh]");
    EXPECT_EQ(Text(s, std::string("\x00\x1f\x20", 3)), "[NUL][US][20h]");

    s.Rule(0) = FormatRule(kFormatHex, true);
    EXPECT_EQ(Text(s, "x\r"), "[78h]\n") << "CR keeps its text meaning";
    EXPECT_EQ(Text(s, "\n"), "");
    EXPECT_EQ(Text(s, "\t"), "\t");
    EXPECT_EQ(Text(s, "AB\b"), "[41h]") << "a backspace takes back a byte, its name whole";
    EXPECT_EQ(Text(s, std::string("\0", 1)), "[00h]");

    s.Rule(0) = FormatRule(kFormatHide, true);
    EXPECT_EQ(Text(s, "\r\n\t\bA"), "") << "hidden means hidden, line controls too";
    s.Rule(0) = FormatRule(7);
    EXPECT_EQ(Text(s, "abc"), "");
}

TEST(StyledRenderer, NoRulesAndNoSchemeWriteBytesAsReceivedButNotNul) {
    CStyleScheme empty;
    const std::string withNul("a\0b\r\n", 5);
    EXPECT_EQ(Text(empty, withNul), "ab\r\n") << "a NUL must not cut off the rest";
    EXPECT_EQ(CStyledRenderer::RenderToString(nullptr, MakeRecord(withNul, 1, 1, 0)), "ab\r\n");
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.Render(surface, MakeRecord(withNul, 1, 1, 4), false);
    EXPECT_EQ(surface.text, "ab\r\n");
    ASSERT_EQ(surface.runs.size(), 1u);
    EXPECT_EQ(surface.runs[0].sequence, 4u);
}

TEST(StyledRenderer, EachHalfTakesTheFirstMatchingRuleWithItsFlag) {
    CStyleScheme s;
    s.AppendRule(SStyleRule{});  // matches all, both flags clear: no effect
    s.AppendRule(ColourRule(0x0000FF));
    s.AppendRule(FormatRule(kFormatHex));
    s.AppendRule(ColourRule(0x00FF00));
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&s);
    renderer.Render(surface, MakeRecord("AB", 1, 1, 0), false);
    EXPECT_EQ(surface.text, "[41h][42h]");
    ASSERT_EQ(surface.runs.size(), 1u);
    EXPECT_EQ(surface.runs[0].format->crTextColor, 0x0000FFu);
}

TEST(StyledRenderer, RunsBreakOnColourRuleChangesAndCarryTheirRecord) {
    CStyleScheme s;
    s.AppendRule(ColourRule(0xFF, kClassLow));
    s.AppendRule(ColourRule(0xFFFFFF));
    s.AppendRule(FormatRule(kFormatHexTranslated));
    s.Rule(2).CharRange_MatchValue = kClassLow;
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&s);
    renderer.Render(surface,
                    MakeRecord("ab\x1b"
                               "cd",
                               1, 1, 7),
                    false);
    EXPECT_EQ(surface.text, "ab[ESC]cd");
    ASSERT_EQ(surface.runs.size(), 3u);
    EXPECT_EQ(surface.runs[1].start, 2u);
    EXPECT_EQ(surface.runs[1].format->crTextColor, 0xFFu);
    EXPECT_EQ(surface.runs[2].format->crTextColor, 0xFFFFFFu);
    for (const auto& run : surface.runs) {
        EXPECT_EQ(run.sequence, 7u);
    }
    // The next record stays under the current colour rule: one run, its
    // format applied once more because this rendering applied none yet.
    const int applied = surface.formatsApplied;
    renderer.Render(surface, MakeRecord("ef", 1, 1, 8), false);
    EXPECT_EQ(surface.formatsApplied, applied + 1);
    EXPECT_EQ(surface.runs.back().sequence, 8u);
    EXPECT_EQ(surface.runs.back().format->crTextColor, 0xFFFFFFu);
}

TEST(StyledRenderer, AColourRuleChangedBetweenRecordsShowsAtTheNextRender) {
    CStyleScheme s;
    s.AppendRule(ColourRule(0x0000FF));
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&s);
    renderer.Render(surface, MakeRecord("a", 1, 1, 0), false);
    ASSERT_EQ(surface.runs.back().format->crTextColor, 0x0000FFu);

    s.Rule(0).CharFormat.crTextColor = 0x00FF00;  // as the style editor does it
    renderer.Render(surface, MakeRecord("b", 1, 1, 1), false);
    EXPECT_EQ(surface.runs.back().format->crTextColor, 0x00FF00u) << "recoloured in place";

    SStyleRule* const at = &s.Rule(0);
    std::destroy_at(at);
    std::construct_at(at, ColourRule(0xFF0000));
    renderer.Render(surface, MakeRecord("c", 1, 1, 2), false);
    EXPECT_EQ(surface.runs.back().format->crTextColor, 0xFF0000u)
        << "a new rule where the old one was";

    s.ClearRules();
    s.AppendRule(ColourRule(0x123456));
    renderer.Render(surface, MakeRecord("d", 1, 1, 3), false);
    EXPECT_EQ(surface.runs.back().format->crTextColor, 0x123456u) << "a new rule list";
}

TEST(StyledRenderer, HiddenBytesStillCutRunsAndAllHiddenAppendsNothing) {
    CStyleScheme s;
    SStyleRule hideLow = ColourRule(0x11, kClassLow);
    hideLow.Format_ApplyFormat = true;
    hideLow.Format_CharacterFormat = kFormatHide;
    s.AppendRule(hideLow);
    s.AppendRule(ColourRule(0x22));
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&s);
    renderer.Render(surface,
                    MakeRecord("a\x01"
                               "b",
                               1, 1, 0),
                    false);
    EXPECT_EQ(surface.text, "ab");
    EXPECT_EQ(surface.runs.size(), 2u) << "the hidden byte's colour change cut the run";
    renderer.Render(surface, MakeRecord("\x01\x02", 1, 1, 1), false);
    EXPECT_EQ(surface.text, "ab");
    EXPECT_EQ(surface.current->crTextColor, 0x11u) << "the format at the caret still changed";
}

TEST(StyledRenderer, VisibilityOfOtherSources) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(set[0].get());
    renderer.Render(surface, MakeRecord("other", 1, 2, 0), false);
    EXPECT_EQ(surface.text, "");
    EXPECT_EQ(surface.caretMoves, 0);
    EXPECT_EQ(surface.formatsApplied, 0) << "the current colour rule was not touched";
    renderer.Render(surface, MakeRecord("other", 1, 2, 0), true);
    EXPECT_EQ(surface.text, "other");
    SDataRecord kind2 = MakeRecord("kind2");
    kind2.kind = 2;
    renderer.Render(surface, kind2, true);
    EXPECT_EQ(surface.text, "other");
    EXPECT_EQ(CStyledRenderer::RenderToString(set[0].get(), MakeRecord("x", 1, 2, 0)), "x")
        << "rendering into a string makes no visibility test";
}

SDataRecord MarkRecord(std::string_view text) {
    SDataRecord mark = MakeRecord(text, kDirectionOutgoing, kSourceOther, 0);
    mark.ownerId = kMarkOwnerId;
    return mark;
}

TEST(StyledRenderer, MarksShowInEveryBuiltInStyleInTheirOwnFormatUnlessASheetStylesThem) {
    const SDataRecord mark = MarkRecord("-- link lost 10:00:00 --\r\x01");
    for (const EBuiltinSet which : {EBuiltinSet::A, EBuiltinSet::B}) {
        for (const auto& scheme : MakeBuiltinSchemes(which)) {
            SCOPED_TRACE(scheme->Name);
            CMemorySurface surface;
            CStyledRenderer renderer;
            renderer.SetScheme(scheme.get());
            renderer.Render(surface, mark, false);
            EXPECT_EQ(surface.text, "-- link lost 10:00:00 --\n\x01") << "written as text";
            ASSERT_TRUE(surface.current.has_value());
            EXPECT_EQ(surface.current->crTextColor, kDefaultMarkColor);
            EXPECT_EQ(surface.current->dwEffects, kEffectBold | kEffectRuleAfter);
            EXPECT_EQ(surface.current->FaceName(), "Courier") << "the style's own face";
        }
    }
    // A rule of any source takes no mark; one made for marks does.
    CStyleScheme sheet;
    sheet.AppendRule(ColourRule(0x11));
    sheet.AppendRule(FormatRule(kFormatHex));
    EXPECT_EQ(Text(sheet, "ab"), "[61h][62h]");
    EXPECT_EQ(CStyledRenderer::RenderToString(&sheet, mark), "-- link lost 10:00:00 --\n\x01");
    SStyleRule forMarks = ColourRule(0x22);
    forMarks.Owner_MatchValue = kOwnerMarks;
    forMarks.Format_ApplyFormat = true;
    forMarks.Format_CharacterFormat = kFormatHide;
    sheet.InsertRule(1, forMarks);
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&sheet);
    renderer.Render(surface, MarkRecord("x"), false);
    renderer.Render(surface, MarkRecord("y\r"), false);
    EXPECT_EQ(surface.text, "") << "the sheet hides its marks";
    EXPECT_EQ(surface.current->crTextColor, 0x22u);
}

TEST(StyledRenderer, BackspaceAcrossRecordsDeletesFromTheCaretLine) {
    CStyleScheme s;
    s.AppendRule(FormatRule(kFormatText));
    s.AppendRule(ColourRule(0xABCDEF));
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&s);
    renderer.Render(surface, MakeRecord("\bline\rab", 1, 1, 0), false);
    EXPECT_EQ(surface.text, "line\nab") << "a backspace at the very start deletes nothing";
    renderer.Render(surface, MakeRecord("\b\b\bX", 1, 1, 1), false);
    EXPECT_EQ(surface.text, "line\nX") << "backspaces stop at the start of the caret's line";
    EXPECT_EQ(CStyledRenderer::RenderToString(&s, MakeRecord("\bA\bB", 1, 1, 0)), "B");
}

// Counts what a part count writes, for its length alone.
class CLength final : public ICountSurface {
  public:
    void AppendCounted(std::size_t length, std::span<const std::uint32_t>) override {
        size += length;
    }
    void DeleteLastCharOfCaretLine() override { size -= size > 0 ? 1 : 0; }
    std::size_t size = 0;
};

TEST(StyledRenderer, ABackspaceTakesBackTheLastByteWholeOnEveryPath) {
    const auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    CStyleScheme hex;
    hex.AppendRule(FormatRule(kFormatHex, true));
    hex.AppendRule(ColourRule(0x0000FF, kClassLow));
    hex.AppendRule(ColourRule(0xFFFFFF));
    const struct {
        const CStyleScheme* scheme;
        std::string bytes;
        std::string shown;
    } cases[] = {
        {set[0].get(), "A\x07\bB end", "AB end"},  // the name's colour differs from the text's
        {set[0].get(), "A\x01\x02\b\bB", "AB"},     {set[0].get(), "\x01x\b\bB", "B"},
        {set[0].get(), "ok\x1b\bA\b\x7f\b\b", "o"}, {&hex, "AB\b\x01\bC", "[41h][43h]"},
        {&hex, "\x01\x02A\b\b\bz", "[7Ah]"},
    };
    for (const auto& c : cases) {
        const SDataRecord record = MakeRecord(c.bytes);
        EXPECT_EQ(CStyledRenderer::RenderToString(c.scheme, record), c.shown) << c.bytes;
        CStyledRenderer renderer;
        renderer.SetScheme(c.scheme);
        CMemorySurface whole;
        renderer.Render(whole, record, false);
        EXPECT_EQ(whole.text, c.shown) << c.bytes;
        for (const std::size_t piece : {1u, 2u, 5u}) {
            CMemorySurface parts;
            CLength counted;
            SRenderPoint drawn;
            SRenderPoint count;
            while (!renderer.RenderPart(parts, record, false, drawn, piece)) {
            }
            while (!renderer.CountPart(counted, record, false, count, piece)) {
            }
            EXPECT_EQ(parts.text, c.shown) << c.bytes << " in pieces of " << piece;
            EXPECT_EQ(counted.size, c.shown.size()) << c.bytes << " in pieces of " << piece;
        }
        const std::size_t end[] = {record.bytes.size()};
        EXPECT_EQ(CStyledRenderer::DrawnLengths(c.scheme, record, end).front(), c.shown.size());
    }
}

TEST(StyledRenderer, SetBNormalOnTypicalTraffic) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    const CStyleScheme& normal = *set[0];
    EXPECT_EQ(Text(normal, "ok\r\n> \x01\xe9"), "ok\n> [01h][E9h]");
    EXPECT_EQ(Text(normal, "typed\r", 2), "") << "own outgoing data is hidden";
    EXPECT_EQ(Text(*set[1], "typed\r", 2), "typed\n");
    EXPECT_EQ(Text(*set[2], "hi\r\n"), "[68h][69h][0Dh]\r[0Ah]\n");
}

TEST(StyledRenderer, ForeignDirectionsFallBackToTheWalk) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    // Direction 7 from a foreign file: only rules with direction 0 apply.
    EXPECT_EQ(Text(*set[0], "a\xff", 7), "a[FFh]");
}

TEST(StyledRenderer, ByteNames) {
    EXPECT_EQ(ByteName(0x0D, false), "[0Dh]");
    EXPECT_EQ(ByteName(0x0D, true), "[CR]");
    EXPECT_EQ(ByteName(0x7F, true), "[7Fh]");
    EXPECT_EQ(ByteName(0x80, true), "[80h]");
    EXPECT_EQ(ByteName(0x1F, true), "[US]");
}

TEST(StyledRenderer, RenderedInPiecesItNeverCutsWhereABackspaceCouldTakeABreak) {
    CStyleScheme s;
    s.AppendRule(FormatRule(kFormatText));
    // In one run a backspace takes even a line break, which the surface's
    // deletion never does: the text with the break is held back whole.
    const SDataRecord record = MakeRecord("ab\r\bcd\b\be");
    CStyledRenderer whole;
    whole.SetScheme(&s);
    CMemorySurface expected;
    whole.Render(expected, record, false);
    ASSERT_EQ(expected.text, "abe");
    CStyledRenderer pieces;
    pieces.SetScheme(&s);
    CMemorySurface surface;
    SRenderPoint point;
    std::vector<std::size_t> stops;
    while (!pieces.RenderPart(surface, record, false, point, 1)) {
        stops.push_back(point.offset);
    }
    EXPECT_EQ(surface.text, expected.text);
    // Not after the break while it is held back: only once the backspace took it.
    EXPECT_EQ(stops, (std::vector<std::size_t>{1, 2, 4, 5, 6, 7, 8}));
    EXPECT_EQ(point, SRenderPoint{});
}

TEST(StyledRenderer, DrawnLengthsInOnePassAgreeWithEachPrefix) {
    CStyleScheme backspaces;
    backspaces.AppendRule(FormatRule(kFormatText));
    const auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    const std::string bytes("\bA\bBC\r\n\x01\0z", 10);  // the record views them
    const SDataRecord record = MakeRecord(bytes, 1, 1, 0);
    std::vector<std::size_t> offsets(record.bytes.size() + 2);
    std::iota(offsets.begin(), offsets.end(), 0);  // beyond the end as well
    const std::vector<const CStyleScheme*> schemes{nullptr, &backspaces, set[0].get(),
                                                   set[2].get()};
    for (const CStyleScheme* scheme : schemes) {
        const std::vector<std::size_t> lengths =
            CStyledRenderer::DrawnLengths(scheme, record, offsets);
        ASSERT_EQ(lengths.size(), offsets.size());
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            EXPECT_EQ(lengths[i], CStyledRenderer::DrawnLength(scheme, record, offsets[i]))
                << "offset " << offsets[i];
        }
        EXPECT_EQ(lengths.back(), CStyledRenderer::RenderToString(scheme, record).size());
    }
}

}  // namespace
}  // namespace quillpad
