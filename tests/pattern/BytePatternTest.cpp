// The one byte pattern: its escapes, the one hex-byte reader, its fast
// literal search against a plain find, and the literal prefix a regular
// expression is searched by.

#include "pattern/BytePattern.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Hex.h"

namespace quillpad {
namespace {

SFindQuery Query(std::string text, EFindMode mode = EFindMode::Text, bool matchCase = true) {
    SFindQuery query;
    query.text = std::move(text);
    query.mode = mode;
    query.matchCase = matchCase;
    return query;
}

std::uint32_t g_seed = 7;
std::uint32_t Next() {
    g_seed = g_seed * 1103515245u + 12345u;
    return g_seed >> 16;
}
std::string RandomText(const std::string& alphabet, std::size_t size) {
    std::string text(size, ' ');
    for (char& c : text) {
        c = alphabet[Next() % alphabet.size()];
    }
    return text;
}

TEST(FindEscapes, ReadsTheEscapesAndWritesThemBack) {
    EXPECT_EQ(ParseFindEscapes(R"(OK\r\n)"), "OK\r\n");
    EXPECT_EQ(ParseFindEscapes(R"(OK\n)"), "OK\n");
    EXPECT_EQ(ParseFindEscapes(R"(\x41\x7z\xg)"), "A\x07zxg");
    EXPECT_EQ(ParseFindEscapes(R"(a\\b\tc\)"), "a\\b\tc\\");
    EXPECT_EQ(ParseFindEscapes(R"(\q\")"), "q\"");
    std::string every;
    for (int b = 0; b < 256; ++b) {
        every += static_cast<char>(b);
    }
    std::string written;
    AppendFindEscapes(written, every);
    for (const char c : written) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
    }
    EXPECT_EQ(ParseFindEscapes(written), every);
}

// Every hex box (find, the triggers, a script's expect, the send panel)
// reads hex through this one reader.
TEST(HexBytes, PairsWithBlanksOrCommasBetweenThemAndTheFirstFaultNamed) {
    using namespace std::literals;
    struct SCase {
        const char* text;
        bool ok;
        std::string_view bytes;
        const char* error;
    };
    const SCase cases[] = {
        {"55 AA", true, "\x55\xAA", ""},
        {"0d0a", true, "\r\n", ""},
        {"55AA,0f\t 00", true, "\x55\xAA\x0F\x00"sv, ""},
        {"  ", true, "", ""},
        {"", true, "", ""},
        {"55 A", false, "", "the digit at position 4 has no partner"},
        {"0d0", false, "", "the digit at position 3 has no partner"},
        {"5 5", false, "", "the digit at position 1 has no partner"},
        {"0x55", false, "", "\"x\" at position 2 is not a hex digit"},
        {"\\x01", false, "", "\"\\\" at position 1 is not a hex digit"},
        {"55 G1", false, "", "\"G\" at position 4 is not a hex digit"},
    };
    for (const SCase& c : cases) {
        std::string bytes = "old";
        std::string error;
        EXPECT_EQ(ParseHexBytes(c.text, bytes, error), c.ok) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;  // nothing half read is kept
    }
    // A hex pattern says the same, as a sentence.
    const CBytePattern odd(Query("55 A", EFindMode::Hex));
    EXPECT_EQ(odd.Error(), "The digit at position 4 has no partner");
}

// A literal is found by its rarest byte, in both cases without match case;
// wherever that byte recurs around and inside false starts, the first match
// must be the one a plain (folded) find sees.
TEST(BytePattern, ALiteralIsFoundWhereverItsRarestByteRecurs) {
    const auto lower = [](std::string text) {
        for (char& c : text) {
            const auto b = static_cast<unsigned char>(c);
            if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
                c = static_cast<char>(b + 0x20);
            }
        }
        return text;
    };
    for (const bool matchCase : {true, false}) {
        // \xC9/\xE9 pair; \xD7 and \xF7 do not, nor do \xDF and \xFF.
        const std::string alphabet = matchCase ? "aA:1 " : "aAbB:1 \xC9\xE9\xD7\xF7\xDF\xFF";
        for (int round = 0; round < 3000; ++round) {
            const std::string hay = RandomText(alphabet, Next() % 40);
            const std::string literal = RandomText(alphabet, 1 + Next() % 4);
            const std::size_t start = hay.empty() ? 0 : Next() % hay.size();
            std::string escaped;
            AppendFindEscapes(escaped, literal);
            const CBytePattern pattern(Query(escaped, EFindMode::Text, matchCase));
            const SPatternMatch m = pattern.Match(hay, start, EFollow::Live, true);
            const std::size_t expected = start >= hay.size() ? hay.npos
                                         : matchCase         ? hay.find(literal, start)
                                                     : lower(hay).find(lower(literal), start);
            if (expected != std::string::npos) {
                ASSERT_EQ(m.kind, SPatternMatch::EKind::Full) << hay << " / " << literal;
                EXPECT_EQ(m.begin, expected) << hay << " / " << literal;
                EXPECT_EQ(m.end, expected + literal.size());
            } else {
                ASSERT_NE(m.kind, SPatternMatch::EKind::Full) << hay << " / " << literal;
            }
        }
    }
}

TEST(BytePattern, ARegexLiteralPrefixStopsAtWhatMayRepeatOrDiffer) {
    EXPECT_EQ(RegexLiteralPrefix(R"(temp=\d+\.\d)"), "temp=");
    EXPECT_EQ(RegexLiteralPrefix(R"(retry #\d+)"), "retry #");
    EXPECT_EQ(RegexLiteralPrefix(R"(\$ ok\.)"), "$ ok.");
    EXPECT_EQ(RegexLiteralPrefix("ERR(OR)?: x"), "ERR");
    EXPECT_EQ(RegexLiteralPrefix("abc*"), "ab");
    EXPECT_EQ(RegexLiteralPrefix("ab{2}"), "a");
    EXPECT_EQ(RegexLiteralPrefix("link (up|down)"), "link ");
    EXPECT_EQ(RegexLiteralPrefix("ab[|]c"), "ab");
    EXPECT_EQ(RegexLiteralPrefix(R"(ab\Q|\E)"), "ab");
    // A top-level alternative, an assertion or a class first: no prefix.
    EXPECT_EQ(RegexLiteralPrefix("abc|xyz"), "");
    EXPECT_EQ(RegexLiteralPrefix("ab(c)|d"), "");
    EXPECT_EQ(RegexLiteralPrefix("^abc"), "");
    EXPECT_EQ(RegexLiteralPrefix(R"(\bword)"), "");
    EXPECT_EQ(RegexLiteralPrefix("[ab]c"), "");
    EXPECT_EQ(RegexLiteralPrefix("(?i)abc"), "");
}

// The prefix only decides where the expression runs: every result, full,
// partial or none, is the one the expression gives alone ("(?:)" in front
// hides the prefix from the search), whatever may follow the subject.
TEST(BytePattern, ARegexWithALiteralPrefixMatchesAsItWouldAlone) {
    const std::vector<std::string> patterns = {R"(ab\d+)", "aab",  "ba+b", "ab(c|a)b",
                                               R"(a\Kb)",  "a b$", "abab", R"(b\.a*)",
                                               "(?<=a)ba", "aBa"};
    for (const bool matchCase : {true, false}) {
        const std::string alphabet = matchCase ? "ab1 .\n" : "aAbB1 .\n";
        for (const std::string& p : patterns) {
            ASSERT_FALSE(RegexLiteralPrefix(p).empty() && p[0] != '(') << p;
            const CBytePattern fast(Query(p, EFindMode::Pattern, matchCase));
            const CBytePattern plain(Query("(?:)" + p, EFindMode::Pattern, matchCase));
            ASSERT_TRUE(fast.IsValid() && plain.IsValid()) << p;
            for (int round = 0; round < 1500; ++round) {
                const std::string hay = RandomText(alphabet, 1 + Next() % 24);
                const std::size_t start = Next() % hay.size();
                const auto follow = static_cast<EFollow>(round % 3);
                const SPatternMatch m1 = fast.Match(hay, start, follow, true);
                const SPatternMatch m2 = plain.Match(hay, start, follow, true);
                ASSERT_EQ(m1.kind, m2.kind) << p << " in \"" << hay << "\" from " << start;
                EXPECT_EQ(m1.begin, m2.begin) << p << " in \"" << hay << "\" from " << start;
                if (m1.kind == SPatternMatch::EKind::Full) {
                    EXPECT_EQ(m1.end, m2.end) << p << " in \"" << hay << "\" from " << start;
                }
            }
        }
    }
}

// A live stream takes a match its bytes complete at once; find's window
// lets the last line-end bytes wait, since ^ may match after them.
TEST(BytePattern, ALiveStreamTakesAMatchEndingInALineEndAtOnce) {
    const CBytePattern ok(Query(R"(OK\r\n)", EFindMode::Pattern));
    EXPECT_EQ(ok.Match("OK\r\n", 0, EFollow::Live, true).kind, SPatternMatch::EKind::Full);
    EXPECT_EQ(ok.Match("OK\r\n", 0, EFollow::More, true).kind, SPatternMatch::EKind::Partial);
    EXPECT_EQ(ok.Match("OK\r\n", 0, EFollow::Nothing, true).kind, SPatternMatch::EKind::Full);
    // The capture groups of the last full match, and none after another result.
    const CBytePattern temp(Query(R"(t=(\d+)(x)?)", EFindMode::Pattern));
    ASSERT_EQ(temp.Match("a t=42 b", 0, EFollow::Nothing, true).kind, SPatternMatch::EKind::Full);
    EXPECT_EQ(temp.Groups(), (std::vector<std::pair<std::size_t, std::size_t>>{
                                 {4, 6}, {std::string::npos, std::string::npos}}));
    EXPECT_EQ(temp.Match("no", 0, EFollow::Nothing, true).kind, SPatternMatch::EKind::None);
    EXPECT_TRUE(temp.Groups().empty());
}

}  // namespace
}  // namespace quillpad
