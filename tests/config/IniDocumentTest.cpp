// The in-memory behaviour of the INI engine: reading lines, lookups and
// updates, the written layout and the text form.

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "config/CIniDocument.h"

namespace quillpad {
namespace {

CIniDocument FromText(std::string_view text) {
    CIniDocument doc;
    doc.LoadText(text, true);
    return doc;
}

// Every entry of the document as "section|key|value" lines, in order.
std::vector<std::string> Dump(const CIniDocument& doc) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < doc.SectionCount(); ++i) {
        const SIniSection* s = doc.SectionAt(i);
        out.push_back("[" + s->name + "]");
        for (const SIniEntry& e : s->entries) {
            out.push_back(s->name + "|" + e.key + "|" + e.value);
        }
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST(IniDocumentRead, KeysValuesAndSpacesAreKeptAsTheyStand) {
    CIniDocument doc = FromText("[S]\nkey = value\na=b=c\nempty=\nv=x\ry\n=lead\n");
    EXPECT_EQ(Dump(doc),
              (Lines{"[S]", "S|key | value", "S|a|b=c", "S|empty|", "S|v|x", "S||lead"}));
    EXPECT_EQ(doc.SaveText(), "[S]\nkey = value\na=b=c\nempty=\nv=x\nlead\n\n");
}

TEST(IniDocumentRead, CommentsAreCutAtTheFirstDoubleSlash) {
    CIniDocument doc = FromText(
        "[Sec] // note\n"
        "name=path//x\n"
        "// whole line\n"
        "   // note\n"
        "url=http://host\n");
    EXPECT_EQ(Dump(doc), (Lines{"[Sec]", "Sec|name|path", "Sec||   ", "Sec|url|http:"}));
    // The three spaces are a bare line and are written back as such.
    EXPECT_EQ(doc.SaveText(), "[Sec]\nname=path\n   \nurl=http:\n\n");
}

TEST(IniDocumentRead, HeadersTakeTheTextUpToTheLastBracket) {
    CIniDocument doc = FromText("[a]b]\nk=1\n[x] y ]tail\n[]\n[open\r\n[both\r\r\n");
    ASSERT_EQ(doc.SectionCount(), 5u);
    EXPECT_EQ(doc.SectionAt(0)->name, "a]b");
    EXPECT_EQ(doc.SectionAt(1)->name, "x] y ");
    EXPECT_EQ(doc.SectionAt(2)->name, "");
    // Without "]" the name is the rest of the line less its line end.
    EXPECT_EQ(doc.SectionAt(3)->name, "open");
    EXPECT_EQ(doc.SectionAt(4)->name, "both\r");
    // Each written header reads back as the same name.
    CIniDocument again = FromText(doc.SaveText());
    EXPECT_EQ(Dump(again), Dump(doc));
}

TEST(IniDocumentRead, LinesBeforeTheFirstHeaderAreDropped) {
    CIniDocument doc = FromText("orphan=1\nbare\n[S]\nk=v\n");
    EXPECT_EQ(Dump(doc), (Lines{"[S]", "S|k|v"}));
}

TEST(IniDocumentRead, RepeatedHeadersContinueTheFirstSection) {
    CIniDocument doc = FromText("[S]\nk=1\n[T]\nt=0\n[S]\nk=2\n");
    EXPECT_EQ(Dump(doc), (Lines{"[S]", "S|k|1", "S|k|2", "[T]", "T|t|0"}));
    EXPECT_EQ(doc.ReadString("S", "k", "none"), "1");
    doc.WriteString("S", "k", "changed");
    EXPECT_EQ(doc.SaveText(), "[S]\nk=changed\nk=2\n\n[T]\nt=0\n\n");
}

TEST(IniDocumentRead, NamesAndKeysCompareWholeAndCaseSensitive) {
    CIniDocument doc = FromText("[S]\nKey=upper\nkey=lower\n key=spaced\n");
    EXPECT_EQ(doc.ReadString("S", "key", ""), "lower");
    EXPECT_EQ(doc.ReadString("S", "Key", ""), "upper");
    EXPECT_EQ(doc.ReadString("S", " key", ""), "spaced");
    EXPECT_EQ(doc.ReadString("s", "key", "missing"), "missing");
    EXPECT_EQ(doc.SectionCount(), 2u);  // the miss created "s"
}

TEST(IniDocumentText, CrLfTextLeavesCarriageReturnsInBareLines) {
    CIniDocument doc = FromText("[S]\r\nk=v\r\n\r\nbare\r\n");
    EXPECT_EQ(Dump(doc), (Lines{"[S]", "S|k|v", "S||\r", "S||bare\r"}));
    // Text the engine writes has bare LF line ends and reads back without them.
    CIniDocument clean = FromText("[S]\nk=v\n\n");
    EXPECT_EQ(Dump(FromText(clean.SaveText())), (Lines{"[S]", "S|k|v"}));
}

TEST(IniDocumentText, TextEndsAtItsFirstNulAndKeepsThePath) {
    CIniDocument doc;
    constexpr char kBlob[] = "[S]\nk=v\n\0[T]\nx=y\n";
    const std::string blob(kBlob, sizeof kBlob - 1);
    EXPECT_TRUE(doc.LoadText(blob, true));
    EXPECT_EQ(Dump(doc), (Lines{"[S]", "S|k|v"}));
    EXPECT_EQ(doc.GetPath(), "");
}

TEST(IniDocumentText, LoadingWithoutClearingMergesIntoTheDocument) {
    CIniDocument doc = FromText("[S]\nk=1\n");
    SIniSection* s = doc.FindOrCreateSection("S");
    doc.LoadText("[T]\nt=1\n[S]\nk=2\n", false);
    EXPECT_EQ(Dump(doc), (Lines{"[S]", "S|k|1", "S|k|2", "[T]", "T|t|1"}));
    EXPECT_EQ(s, doc.FindOrCreateSection("S"));  // handles survive a merging load
}

TEST(IniDocumentText, BareLinesFromTextAreWrittenAlone) {
    CIniDocument doc = FromText("[S]\nfoo\n");
    EXPECT_EQ(doc.SaveText(), "[S]\nfoo\n\n");
    EXPECT_EQ(FromText(doc.SaveText()).SaveText(), doc.SaveText());
}

TEST(IniDocumentText, EmptyKeyEntriesThatWouldChangeMeaningKeepTheirEquals) {
    // Written alone, these would read back as an entry "a"="b", as nothing,
    // or as a header that swallows the rest of the section.
    CIniDocument doc = FromText("[S]\n=a=b\n=\n=[T]\nk=v\n");
    EXPECT_EQ(Dump(doc), (Lines{"[S]", "S||a=b", "S||", "S||[T]", "S|k|v"}));
    const std::string text = doc.SaveText();
    EXPECT_EQ(text, "[S]\n=a=b\n=\n=[T]\nk=v\n\n");
    EXPECT_EQ(Dump(FromText(text)), Dump(doc));
    // A lone LF would be skipped as an empty line; written "=" it stays an entry.
    CIniDocument lf;
    lf.WriteString("S", "", "\n");
    EXPECT_EQ(lf.SaveText(), "[S]\n=\n\n\n");
    EXPECT_EQ(FromText(lf.SaveText()).SectionAt(0)->EntryCount(), 1u);
}

TEST(IniDocumentText, SaveTextReportsTheSizeAndCopiesOnlyWhenItFits) {
    CIniDocument empty;
    EXPECT_EQ(empty.SaveText(nullptr, 0), 1u);
    char one[1] = {'x'};
    EXPECT_EQ(empty.SaveText(one, 1), 1u);
    EXPECT_EQ(one[0], '\0');

    CIniDocument doc = FromText("[S]\nk=v\n");
    const std::string expected = "[S]\nk=v\n\n";
    const std::size_t needed = doc.SaveText(nullptr, 100);
    ASSERT_EQ(needed, expected.size() + 1);
    std::string small(needed - 1, '#');
    EXPECT_EQ(doc.SaveText(small.data(), small.size()), needed);
    EXPECT_EQ(small, std::string(needed - 1, '#'));  // too small: untouched
    std::vector<char> exact(needed, '#');
    EXPECT_EQ(doc.SaveText(exact.data(), exact.size()), needed);
    EXPECT_EQ(std::string(exact.data()), expected);
    EXPECT_EQ(exact.back(), '\0');
}

TEST(IniDocumentLookup, LookupsCreateMissingSectionsButTheHandleLookupDoesNot) {
    CIniDocument doc;
    EXPECT_EQ(doc.ReadString("New", "k", "dflt"), "dflt");
    EXPECT_EQ(doc.ReadInt("Num", "k", 5), 5);
    EXPECT_TRUE(doc.ReadBool("Flag", "k", true));
    EXPECT_EQ(doc.SaveText(), "[New]\n\n[Num]\n\n[Flag]\n\n");

    const SIniSection* s = doc.FindOrCreateSection("New");
    EXPECT_EQ(doc.ReadString(s, "absent", "d"), "d");
    EXPECT_EQ(doc.ReadString(static_cast<const SIniSection*>(nullptr), "absent", "d"), "d");
    EXPECT_EQ(s->EntryCount(), 0u);
    EXPECT_EQ(doc.SectionCount(), 3u);
}

TEST(IniDocumentLookup, AnEmptyValueIsAHitNotTheDefault) {
    CIniDocument doc = FromText("[S]\nk=\nn=\n");
    EXPECT_EQ(doc.ReadString("S", "k", "dflt"), "");
    EXPECT_EQ(doc.ReadInt("S", "n", 9), 0);
    EXPECT_FALSE(doc.ReadBool("S", "k", true));
    const std::string first = doc.ReadString("S", "miss1", "one");
    const std::string second = doc.ReadString("S", "miss2", "two");
    EXPECT_EQ(first, "one");  // an earlier result survives a later miss
    EXPECT_EQ(second, "two");
}

TEST(IniDocumentLookup, ReadIntReadsLikeAtoi) {
    CIniDocument doc = FromText(
        "[N]\na=12abc\nb=abc\nc=-7\nd= \t+42\ne=99999999999\nf=-99999999999\ng=--3\n"
        "h=2147483647\ni=-2147483648\nj=0x10\n");
    EXPECT_EQ(doc.ReadInt("N", "a", 1), 12);
    EXPECT_EQ(doc.ReadInt("N", "b", 1), 0);
    EXPECT_EQ(doc.ReadInt("N", "c", 1), -7);
    EXPECT_EQ(doc.ReadInt("N", "d", 1), 42);
    EXPECT_EQ(doc.ReadInt("N", "e", 1), INT_MAX);
    EXPECT_EQ(doc.ReadInt("N", "f", 1), INT_MIN);
    EXPECT_EQ(doc.ReadInt("N", "g", 1), 0);
    EXPECT_EQ(doc.ReadInt("N", "h", 1), INT_MAX);
    EXPECT_EQ(doc.ReadInt("N", "i", 1), INT_MIN);
    EXPECT_EQ(doc.ReadInt("N", "j", 1), 0);
    EXPECT_EQ(doc.ReadInt("N", "missing", -3), -3);
}

TEST(IniDocumentLookup, ReadBoolIsTrueOnlyForExactTRUE) {
    CIniDocument doc = FromText("[B]\na=TRUE\nb=True\nc=1\nd=true\ne=TRUE \nf=FALSE\n");
    EXPECT_TRUE(doc.ReadBool("B", "a", false));
    EXPECT_FALSE(doc.ReadBool("B", "b", true));
    EXPECT_FALSE(doc.ReadBool("B", "c", true));
    EXPECT_FALSE(doc.ReadBool("B", "d", true));
    EXPECT_FALSE(doc.ReadBool("B", "e", true));
    EXPECT_FALSE(doc.ReadBool("B", "f", true));
    EXPECT_TRUE(doc.ReadBool("B", "missing", true));
    EXPECT_FALSE(doc.ReadBool("B", "missing", false));
}

TEST(IniDocumentUpdate, WritesUpdateTheFirstMatchOrAppend) {
    CIniDocument doc;
    doc.WriteString("S", "a", "1");
    doc.WriteString("T", "x", "y");
    doc.WriteString("S", "b", "2");
    doc.WriteString("S", "a", "3");
    doc.WriteFormatted("S", "n", "%d", -12);
    doc.WriteFormatted("S", "c", "0x%08X|%s", 0xFFu, "z");
    EXPECT_EQ(doc.SaveText(), "[S]\na=3\nb=2\nn=-12\nc=0x000000FF|z\n\n[T]\nx=y\n\n");
}

TEST(IniDocumentUpdate, FormattedValuesAreNotCutAtTheOldBufferSize) {
    CIniDocument doc;
    const std::string big(5000, 'q');
    doc.WriteFormatted("S", "k", "%s!", big.c_str());
    EXPECT_EQ(doc.ReadString("S", "k", ""), big + "!");
    doc.WriteFormatted("S", "e", "%s", "");
    EXPECT_EQ(doc.ReadString("S", "e", "dflt"), "");
}

TEST(IniDocumentUpdate, ClearSectionKeepsTheSectionInPlace) {
    CIniDocument doc = FromText("[A]\na=1\n[B]\nb=1\nb=2\n[C]\nc=1\n");
    SIniSection* b = doc.FindOrCreateSection("B");
    doc.ClearSection(b);
    EXPECT_EQ(b->EntryCount(), 0u);
    EXPECT_EQ(doc.SaveText(), "[A]\na=1\n\n[B]\n\n[C]\nc=1\n\n");
    doc.WriteString("B", "new", "v");
    EXPECT_EQ(doc.ReadString(b, "new", ""), "v");
}

TEST(IniDocumentUpdate, HandlesStayValidWhileSectionsAreAdded) {
    CIniDocument doc;
    SIniSection* first = doc.FindOrCreateSection("first");
    for (int i = 0; i < 500; ++i) {
        doc.FindOrCreateSection("s" + std::to_string(i));
    }
    EXPECT_EQ(first, doc.FindOrCreateSection("first"));
    EXPECT_EQ(first->Name(), "first");
    doc.Clear();
    EXPECT_EQ(doc.SectionCount(), 0u);
    EXPECT_EQ(doc.SaveText(nullptr, 0), 1u);
}

TEST(IniDocumentUpdate, CopiesAreDeepAndDerivedDocumentsDieThroughTheBase) {
    CIniDocument original = FromText("[S]\nk=1\n");
    CIniDocument copy = original;
    copy.WriteString("S", "k", "2");
    EXPECT_EQ(original.ReadString("S", "k", ""), "1");
    EXPECT_EQ(copy.ReadString("S", "k", ""), "2");
    original = copy;
    EXPECT_EQ(original.ReadString("S", "k", ""), "2");

    struct CDerived : CIniDocument {
        explicit CDerived(bool& flag) : destroyed(flag) {}
        ~CDerived() override { destroyed = true; }
        bool& destroyed;
    };
    bool destroyed = false;
    std::unique_ptr<CIniDocument> base = std::make_unique<CDerived>(destroyed);
    base.reset();
    EXPECT_TRUE(destroyed);
}

TEST(IniDocumentLongLines, LinesOfAnyLengthStayWhole) {
    const std::string longValue(10000, 'v');
    const std::string longName(5000, 'n');
    const std::string text = "[" + longName + "]\nk=" + longValue + "\n" + longValue + "\n";
    CIniDocument doc = FromText(text);
    ASSERT_EQ(doc.SectionCount(), 1u);
    EXPECT_EQ(doc.SectionAt(0)->name, longName);
    EXPECT_EQ(doc.ReadString(longName, "k", ""), longValue);
    EXPECT_EQ(doc.SectionAt(0)->entries.at(1).value, longValue);
    EXPECT_EQ(doc.SaveText(), text + "\n");
}

TEST(SplitTokens, RunsBetweenDelimitersNeverEmpty) {
    EXPECT_EQ(SplitTokens("a,b,,c,", ","), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitTokens(",,a", ","), (Lines{"a"}));
    EXPECT_EQ(SplitTokens("", ","), Lines{});
    EXPECT_EQ(SplitTokens(",,,", ","), Lines{});
    EXPECT_EQ(SplitTokens("a b\tc", " \t"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitTokens("whole text", ""), (Lines{"whole text"}));
    EXPECT_EQ(SplitTokens("", ""), Lines{});
    EXPECT_EQ(SplitTokens(std::string("a\0b", 3), std::string(1, '\0')), (Lines{"a", "b"}));
}

}  // namespace
}  // namespace quillpad
