#include "view/CDisplayDocument.h"

#include <gtest/gtest.h>

#include <random>

#include "styles/BuiltinSchemes.h"
#include "view/CMemorySurface.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

SCharFormat Colour(std::uint32_t c) {
    SCharFormat f;
    f.crTextColor = c;
    return f;
}

// The document's runs as (start, end, colour) triples.
std::vector<std::tuple<std::size_t, std::size_t, std::uint32_t>> Runs(const CDisplayDocument& d) {
    std::vector<std::tuple<std::size_t, std::size_t, std::uint32_t>> out;
    for (std::size_t i = 0; i < d.RunCount(); ++i) {
        out.emplace_back(d.RunStart(i), d.RunEnd(i), d.Format(d.RunFormat(i)).crTextColor);
    }
    return out;
}

TEST(DisplayDocument, RunsShareOneEntryPerDistinctFormat) {
    CDisplayDocument d;
    d.ApplyFormat(Colour(1));
    d.AppendRun("ab", 7);
    d.ApplyFormat(Colour(2));
    d.AppendRun("cd", 7);
    d.ApplyFormat(Colour(1));
    d.AppendRun("e", 8);
    d.AppendRun("f", 9);  // same format: the run simply grows
    EXPECT_EQ(d.Text(), "abcdef");
    EXPECT_EQ(d.FormatCount(), 3u) << "default plus two distinct formats";
    using R = std::tuple<std::size_t, std::size_t, std::uint32_t>;
    EXPECT_EQ(Runs(d), (std::vector<R>{{0, 2, 1}, {2, 4, 2}, {4, 6, 1}}));
    EXPECT_EQ(d.RunAt(3), 1u);
    EXPECT_EQ(d.RunAt(4), 2u) << "the first character of a run is its own";
}

TEST(DisplayDocument, TextThatDrawsNothingStartsNoRun) {
    CDisplayDocument d;
    d.ApplyFormat(Colour(1));
    d.AppendRun("ab", 1);
    d.ApplyFormat(Colour(2));
    d.AppendRun("\r\n\t\x1b", 1);
    d.ApplyFormat(Colour(1));
    d.AppendRun("cd", 2);
    using R = std::tuple<std::size_t, std::size_t, std::uint32_t>;
    EXPECT_EQ(Runs(d), (std::vector<R>{{0, 8, 1}})) << "one run; the breaks have no colour to show";
    d.ApplyFormat(Colour(2));
    d.AppendRun("\tx", 3);
    EXPECT_EQ(Runs(d), (std::vector<R>{{0, 8, 1}, {8, 10, 2}})) << "visible text does";
    EXPECT_EQ(d.LineCount(), 3u);
}

TEST(DisplayDocument, TextBeforeAnyFormatUsesTheDefault) {
    CDisplayDocument d;
    d.AppendRun("x", 0);
    ASSERT_EQ(d.RunCount(), 1u);
    EXPECT_EQ(d.RunFormat(0), 0u);
    EXPECT_EQ(d.Format(0), SCharFormat{});
}

TEST(DisplayDocument, CrAndLfEachEndALine) {
    CDisplayDocument d;
    EXPECT_EQ(d.LineCount(), 1u);
    d.AppendRun("ab\ncd\r", 0);
    d.AppendRun("\r\nef", 1);
    ASSERT_EQ(d.LineCount(), 5u);
    EXPECT_EQ(d.LineStart(1), 3u);
    EXPECT_EQ(d.LineEnd(0), 2u);
    EXPECT_EQ(d.LineEnd(1), 5u);
    EXPECT_EQ(d.LineStart(2), 6u);
    EXPECT_EQ(d.LineEnd(2), 6u) << "the empty line between CR and LF";
    EXPECT_EQ(d.LineStart(4), 8u);
    EXPECT_EQ(d.LineEnd(4), 10u);
    EXPECT_EQ(d.LineOf(0), 0u);
    EXPECT_EQ(d.LineOf(2), 0u) << "a break belongs to the line it ends";
    EXPECT_EQ(d.LineOf(3), 1u);
    EXPECT_EQ(d.LineOf(9), 4u);
}

TEST(DisplayDocument, RunTableNamesTheRecordOfEachCharacter) {
    CDisplayDocument d;
    EXPECT_FALSE(d.SequenceAt(0)) << "an empty table finds no record";
    d.AppendRun("aaa", 10);
    d.ApplyFormat(Colour(5));
    d.AppendRun("bb", 10);
    d.AppendRun("cc", 11);
    EXPECT_EQ(d.SequenceEntryCount(), 2u) << "one entry where the record changes";
    EXPECT_EQ(d.SequenceAt(0), 10u);
    EXPECT_EQ(d.SequenceAt(4), 10u);
    EXPECT_EQ(d.SequenceAt(5), 11u);
    EXPECT_EQ(d.SequenceAt(6), 11u);
    EXPECT_FALSE(d.SequenceAt(7)) << "past the text";
}

TEST(DisplayDocument, FirstPositionOfARecordOrTheNextDrawn) {
    CDisplayDocument d;
    EXPECT_EQ(d.FirstPositionOf(0), 0u) << "an empty text";
    // Records 4 and 6 draw nothing; 9 ends the text.
    d.AppendRun("aaa", 3);
    d.AppendRun("bb", 5);
    d.AppendRun("cccc", 7);
    d.AppendRun("d", 8);
    d.AppendRun("x", 8);
    d.AppendRun("e", 9);
    EXPECT_EQ(d.FirstPositionOf(0), 0u) << "before the first: where the first starts";
    EXPECT_EQ(d.FirstPositionOf(3), 0u);
    EXPECT_EQ(d.FirstPositionOf(4), 3u) << "drawn as nothing: where it would be";
    EXPECT_EQ(d.FirstPositionOf(5), 3u);
    EXPECT_EQ(d.FirstPositionOf(6), 5u);
    EXPECT_EQ(d.FirstPositionOf(8), 9u) << "one entry for two runs of one record";
    EXPECT_EQ(d.FirstPositionOf(9), 11u);
    EXPECT_EQ(d.FirstPositionOf(10), d.Size()) << "past the last";
    // A backspace that takes a record's only character takes its entry too.
    d.DeleteLastCharOfCaretLine();
    EXPECT_EQ(d.FirstPositionOf(9), d.Size());
    // Over many blocks of the run table, as a search of the positions finds it.
    CDisplayDocument big;
    for (std::uint32_t r = 0; r < 40'000; r += 2) {
        big.AppendRun(std::string(1 + r % 7, 'x'), r);
    }
    for (std::uint32_t r = 0; r < 40'002; r += 997) {
        std::size_t expected = 0;
        while (expected < big.Size() && *big.SequenceAt(expected) < r) {
            ++expected;
        }
        EXPECT_EQ(big.FirstPositionOf(r), expected) << r;
    }
}

TEST(DisplayDocument, BackspaceAcrossARunEdge) {
    CDisplayDocument d;
    d.ApplyFormat(Colour(1));
    d.AppendRun("ab", 1);
    d.ApplyFormat(Colour(2));
    d.AppendRun("c", 2);
    d.DeleteLastCharOfCaretLine();  // takes "c" and its run
    d.DeleteLastCharOfCaretLine();  // "b", inside the first run
    EXPECT_EQ(d.Text(), "a");
    using R = std::tuple<std::size_t, std::size_t, std::uint32_t>;
    EXPECT_EQ(Runs(d), (std::vector<R>{{0, 1, 1}}));
    EXPECT_EQ(d.SequenceAt(0), 1u);
    // Still in colour 2 as applied; the new text is a run of its own, of its
    // own record.
    d.AppendRun("z", 3);
    EXPECT_EQ(Runs(d), (std::vector<R>{{0, 1, 1}, {1, 2, 2}}));
    EXPECT_EQ(d.SequenceAt(1), 3u);
}

TEST(DisplayDocument, BackspaceStopsAtTheStartOfTheLineAndOfTheText) {
    CDisplayDocument d;
    d.DeleteLastCharOfCaretLine();
    EXPECT_EQ(d.Size(), 0u);
    d.AppendRun("ab\r", 1);
    d.DeleteLastCharOfCaretLine();
    EXPECT_EQ(d.Text(), "ab\r");
    d.AppendRun("c", 2);
    d.DeleteLastCharOfCaretLine();
    d.DeleteLastCharOfCaretLine();
    EXPECT_EQ(d.Text(), "ab\r");
    EXPECT_EQ(d.LineCount(), 2u);
    EXPECT_EQ(d.SequenceAt(2), 1u);
}

TEST(DisplayDocument, NulBytesNeverCutARun) {
    // No scheme and the text code write bytes as themselves: a NUL shows as
    // nothing and the rest of the record still appears.
    CDisplayDocument d;
    CStyledRenderer r;
    r.Render(d, MakeRecord(std::string_view("a\0b", 3)), false);
    EXPECT_EQ(d.Text(), "ab");
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    r.SetScheme(set[2].get());  // hex mode names it
    r.Render(d, MakeRecord(std::string_view("\0", 1), 1, 1, 1), false);
    EXPECT_NE(d.Text().find("[00h]"), std::string_view::npos);
}

TEST(DisplayDocument, ClearEmptiesEverything) {
    CDisplayDocument d;
    d.ApplyFormat(Colour(9));
    d.AppendRun("x\ny", 4);
    const auto before = d.Revision();
    d.Clear();
    EXPECT_NE(d.Revision(), before);
    EXPECT_EQ(d.Size(), 0u);
    EXPECT_EQ(d.LineCount(), 1u);
    EXPECT_EQ(d.RunCount(), 0u);
    EXPECT_EQ(d.FormatCount(), 1u);
    EXPECT_EQ(d.CurrentFormat(), 0u);
    EXPECT_FALSE(d.SequenceAt(0));
    d.AppendRun("q", 5);
    EXPECT_EQ(d.SequenceAt(0), 5u);
    EXPECT_EQ(d.RunFormat(0), 0u);
}

TEST(DisplayDocument, EveryDistinctFormatKeepsItsOwnSlotPastSixteenBits) {
    CDisplayDocument d;
    constexpr std::uint32_t kFormats = 65536 + 64;
    for (std::uint32_t i = 1; i <= kFormats; ++i) {
        d.ApplyFormat(Colour(i));
        d.AppendRun("x", i);
    }
    ASSERT_EQ(d.FormatCount(), kFormats + 1);
    ASSERT_EQ(d.RunCount(), kFormats);
    std::size_t recoloured = 0;
    for (std::size_t run = 0; run < kFormats; ++run) {
        recoloured += d.Format(d.RunFormat(run)).crTextColor != run + 1 ? 1 : 0;
    }
    EXPECT_EQ(recoloured, 0u) << "text already drawn keeps its colour";
    d.ApplyFormat(Colour(3));
    d.AppendRun("y", 0);
    EXPECT_EQ(d.FormatCount(), kFormats + 1) << "a format met before finds its slot";
    EXPECT_EQ(d.RunFormat(kFormats), 3u);
}

TEST(DisplayDocument, RunsDrawnBeforeTheFormatsOutgrowSixteenBitsKeepTheirPlaceAndFormat) {
    CDisplayDocument d;
    for (int round = 0; round < 2; ++round) {
        d.ApplyFormat(Colour(1));
        d.AppendRun("ab", 0);
        d.ApplyFormat(Colour(2));
        d.AppendRun("cd\n", 1);
        d.ApplyFormat(Colour(1));
        d.AppendRun("e", 2);
        const auto before = Runs(d);
        // Formats only, no text: the run table changes width in between.
        constexpr std::uint32_t kLast = 65536 + 3;
        for (std::uint32_t i = 3; i <= kLast; ++i) {
            d.ApplyFormat(Colour(i));
        }
        EXPECT_EQ(Runs(d), before);
        d.AppendRun("f", 3);
        ASSERT_EQ(d.RunCount(), 4u);
        EXPECT_EQ(d.Format(d.RunFormat(3)).crTextColor, kLast);
        EXPECT_EQ(d.RunAt(5), 2u);
        EXPECT_EQ(d.RunAt(6), 3u);
        d.DeleteLastCharOfCaretLine();  // "f"
        d.DeleteLastCharOfCaretLine();  // "e"
        EXPECT_EQ(Runs(d), (decltype(before){{0, 2, 1}, {2, 5, 2}}));
        d.ApplyFormat(Colour(kLast - 1));
        d.AppendRun("g", 4);
        EXPECT_EQ(Runs(d), (decltype(before){{0, 2, 1}, {2, 5, 2}, {5, 6, kLast - 1}}));
        // Cleared, the document starts narrow again and widens again.
        d.Clear();
        EXPECT_EQ(d.RunCount(), 0u);
        EXPECT_EQ(d.RunAt(0), CDisplayDocument::kNone);
    }
}

TEST(DisplayDocument, RunsTakeFourBytesEachWhileTheFormatsFitSixteenBits) {
    CDisplayDocument d;
    constexpr std::size_t kRuns = std::size_t{1} << 16;
    d.Reserve(kRuns);
    for (std::size_t i = 0; i < kRuns; ++i) {
        d.ApplyFormat(Colour(static_cast<std::uint32_t>(i % 2 + 1)));
        d.AppendRun("x", 0);
    }
    ASSERT_EQ(d.RunCount(), kRuns);
    // A byte of text and two of position and two of format per run, plus
    // little else; 32-bit formats would take two bytes more.
    EXPECT_LT(d.ReservedBytes(), kRuns * 6);
}

TEST(DisplayDocument, FormatsDifferingInAnyOneFieldKeepSeparateSlots) {
    SCharFormat base = Colour(5);
    base.SetFaceName("Courier New");
    std::vector<SCharFormat> variants(10, base);
    variants[0].cbSize += 1;
    variants[1].dwMask ^= 1;
    variants[2].dwEffects ^= 1;
    variants[3].yHeight += 20;
    variants[4].yOffset -= 1;
    variants[5].crTextColor ^= 0x010000;
    variants[6].bCharSet ^= 1;
    variants[7].bPitchAndFamily ^= 1;
    variants[8].szFaceName[0] = 'c';
    variants[9].szFaceName.back() = 'x';
    CDisplayDocument d;
    std::vector<SCharFormat> drawn;
    for (const SCharFormat& v : variants) {
        for (const SCharFormat& f : {base, v, base}) {
            d.ApplyFormat(f);
            d.AppendRun("a", 0);
            drawn.push_back(f);
        }
    }
    EXPECT_EQ(d.FormatCount(), 1 + 1 + variants.size());
    ASSERT_EQ(d.RunCount(), drawn.size() - variants.size() + 1) << "base runs meet in pairs";
    for (std::size_t p = 0; p < drawn.size(); ++p) {
        EXPECT_TRUE(d.Format(d.RunFormat(d.RunAt(p))) == drawn[p]) << "character " << p;
    }
}

TEST(DisplayDocument, TheRunTableKeepsTheGenerationThatDrewEachRecord) {
    CDisplayDocument d;
    d.AppendRun("a", 0);
    EXPECT_EQ(d.RecordAt(0), (SRecordRef{0, 0})) << "generation 0, which no store uses, until told";
    d.SetGeneration(4);
    d.AppendRun("bc", 0);  // the same sequence in another generation
    d.SetGeneration(5);
    d.AppendRun("d", 1);
    EXPECT_EQ(d.RecordAt(1), (SRecordRef{4, 0}));
    EXPECT_EQ(d.RecordAt(3), (SRecordRef{5, 1}));
    EXPECT_FALSE(d.RecordAt(4));
    d.DeleteLastCharOfCaretLine();  // "d"
    d.DeleteLastCharOfCaretLine();  // "c"
    d.AppendRun("e", 1);
    EXPECT_EQ(d.RecordAt(2), (SRecordRef{5, 1})) << "the deleted text took its generation along";
    d.Clear();
    d.AppendRun("f", 2);
    EXPECT_EQ(d.RecordAt(0), (SRecordRef{0, 2}));
}

// The document against the plain in-memory surface, through real rendering
// with backspaces, across many 64 KiB blocks of the compact indexes.
TEST(DisplayDocument, AgreesWithAPlainModelOverManyBlocks) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    std::mt19937 rng(7);
    for (const auto& scheme : set) {
        CDisplayDocument d;
        CMemorySurface m;
        CStyledRenderer rd, rm;
        rd.SetScheme(scheme.get());
        rm.SetScheme(scheme.get());
        for (std::uint32_t seq = 0; m.text.size() < 300000; ++seq) {
            std::string bytes(1 + rng() % 40, '\0');
            for (char& c : bytes) {
                const unsigned roll = rng() % 20;
                c = roll == 0 ? '\b' : roll == 1 ? '\r' : roll == 2 ? '\n' : 'a' + rng() % 26;
            }
            const SDataRecord rec =
                MakeRecord(bytes, static_cast<std::uint32_t>(1 + rng() % 2), 1, seq);
            rd.Render(d, rec, false);
            rm.Render(m, rec, false);
        }
        ASSERT_EQ(d.Text(), m.text) << scheme->Name;
        // Formats and records, character by character. The document's runs
        // are walked along; RunAt is a search, so it is asked where each run
        // starts and ends, which pins down what lies between.
        std::size_t run = 0;
        std::size_t docRun = 0;
        std::size_t docRunStart = 0;
        std::size_t docRunEnd = d.RunEnd(0);
        for (std::size_t pos = 0; pos < m.text.size(); ++pos) {
            while (m.runs[run].start + m.runs[run].length <= pos) {
                ++run;
            }
            const auto& expect = m.runs[run];
            ASSERT_EQ(d.SequenceAt(pos), expect.sequence) << scheme->Name << " at " << pos;
            if (pos == docRunEnd) {
                ++docRun;
                docRunStart = d.RunStart(docRun);
                docRunEnd = d.RunEnd(docRun);
                ASSERT_EQ(docRunStart, pos) << "runs follow each other";
            }
            if (pos == docRunStart || pos + 1 == docRunEnd) {
                ASSERT_EQ(d.RunAt(pos), docRun) << scheme->Name << " at " << pos;
            }
            const auto b = static_cast<unsigned char>(m.text[pos]);
            if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
                continue;  // draws nothing, so its format is not kept
            }
            const SCharFormat& f = d.Format(d.RunFormat(docRun));
            ASSERT_EQ(f, expect.format.value_or(SCharFormat{})) << scheme->Name << " at " << pos;
        }
        EXPECT_EQ(docRun + 1, d.RunCount());
        // Lines: every break starts a line, and nothing else does. A line's
        // first character and its break name it; LineOf is a search, so what
        // lies between them does too.
        std::size_t line = 0;
        std::size_t lineStart = 0;
        for (std::size_t pos = 0; pos < m.text.size(); ++pos) {
            if (m.text[pos] == '\r' || m.text[pos] == '\n') {
                ASSERT_EQ(d.LineOf(lineStart), line) << lineStart;
                ASSERT_EQ(d.LineOf(pos), line) << pos;
                ASSERT_EQ(d.LineEnd(line), pos);
                ++line;
                lineStart = pos + 1;
                ASSERT_EQ(d.LineStart(line), lineStart);
            }
        }
        EXPECT_EQ(d.LineOf(m.text.size() - 1), line);
        EXPECT_EQ(d.LineCount(), line + 1);
    }
}

}  // namespace
}  // namespace quillpad
