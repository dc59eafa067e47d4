#include "input/Escapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpad {
namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

TEST(ParseHexPrefix, ReadsTheLeadingDigitsOnly) {
    EXPECT_EQ(ParseHexPrefix("0D"), 0x0Du);
    EXPECT_EQ(ParseHexPrefix("fF"), 0xFFu);
    EXPECT_EQ(ParseHexPrefix("10D,"), 0x10Du);
    EXPECT_EQ(ParseHexPrefix("4Z"), 0x4u);
    EXPECT_EQ(ParseHexPrefix(" 0D"), 0u) << "spaces are not skipped";
    EXPECT_EQ(ParseHexPrefix("-1"), 0u);
    EXPECT_EQ(ParseHexPrefix(""), 0u);
    EXPECT_EQ(ParseHexPrefix("123456789"), 0x23456789u) << "wraps on overflow";
    EXPECT_EQ(ParseHexPrefix("gA"), 0u);
}

TEST(ExpandEscapes, TheDocumentedSamples) {
    EXPECT_EQ(ExpandEscapes("AT\\r"), B({0x41, 0x54, 0x0D}));
    EXPECT_EQ(ExpandEscapes("ver\\n"), B({0x76, 0x65, 0x72, 0x0D, 0x0A}));
    EXPECT_EQ(ExpandEscapes("\\x1b[2J"), B({0x1B, 0x5B, 0x32, 0x4A}));
    EXPECT_EQ(ExpandEscapes("\\x41A"), B({0x41, 0x41}));
    EXPECT_EQ(ExpandEscapes("\\x7"), B({0x07}));
    EXPECT_EQ(ExpandEscapes("\\x4Zq"), B({0x04, 'Z', 'q'})) << "one digit; the Z is text";
    EXPECT_EQ(ExpandEscapes("a\\\\b"), B({0x61, 0x5C, 0x62}));
    EXPECT_EQ(ExpandEscapes("a\\"), B({0x61, 0x5C}));
    EXPECT_EQ(ExpandEscapes("a\\zb"), B({0x61, 0x62}));
    EXPECT_EQ(ExpandEscapes("\\&x"), B({0x78}));
    EXPECT_EQ(ExpandEscapes("\\N\\R\\X\\t\\1"), "") << "only lower-case n, r, x escape";
    EXPECT_EQ(ExpandEscapes("\\xff\\x00"), B({0xFF, 0x00}));
}

// An escape that is not complete goes out as the characters written, and is
// named for the user; an out-of-range wait is named and refuses the macro.
TEST(ExpandEscapes, AnIncompleteEscapeIsSentAsWrittenAndNamed) {
    using enum EEscapeProblem;
    const struct {
        const char* macro;
        std::string sent;
        std::vector<SEscapeProblem> problems;
    } cases[] = {
        {"\\xZZ\\", "\\xZZ\\", {{Incomplete, 0, 2}, {Incomplete, 4, 1}}},
        {"\\x", "\\x", {{Incomplete, 0, 2}}},
        {"a\\xG1", "a\\xG1", {{Incomplete, 1, 2}}},
        {"\\x\\x41", "\\xA", {{Incomplete, 0, 2}}},
        {"\\x\\\\", "\\x\\", {{Incomplete, 0, 2}}},
        {"\\x0\\{rts1}\\x", std::string("\0\\x", 3), {{Incomplete, 10, 2}}},
        {"\\x41\\r\\n\\\\\\z", "A\r\r\n\\", {}},
        {"\\{wait:99999}x", "x", {{WaitOutOfRange, 0, 13}}},
        {"\\{wait:10001}", "", {{WaitOutOfRange, 0, 13}}},
        {"\\{wait:123456789012345678901234567890}", "", {{WaitOutOfRange, 0, 38}}},
        {"\\{wait:10000}\\{wait:}", "wait:}", {}},
    };
    for (const auto& c : cases) {
        std::string sent;
        for (const SMacroStep& step : SplitMacroSteps(c.macro)) {
            sent += step.bytes;
        }
        EXPECT_EQ(sent, c.sent) << c.macro;
        EXPECT_EQ(MacroEscapeProblems(c.macro), c.problems) << c.macro;
    }
    EXPECT_EQ(DescribeEscapeProblem("ab\\x", {Incomplete, 2, 2}),
              "\"\\x\" is not a complete escape: it is sent as written");
    EXPECT_EQ(DescribeEscapeProblem("ab\\", {Incomplete, 2, 1}),
              "\"\\\" at the end is not a complete escape: it is sent as written");
    EXPECT_EQ(DescribeEscapeProblem("\\{wait:99999}", {WaitOutOfRange, 0, 13}),
              "\"\\{wait:99999}\" waits longer than 10000 ms: the macro is not sent");
}

TEST(ExpandEscapes, NeverWritesPastTheCapacity) {
    char out[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(ExpandEscapes("abc\\n", out, 3), 3u);
    EXPECT_EQ(std::string(out, 4), "abc#");
    // A full-size macro of escapes that each shrink fits its own length.
    std::string macro;
    while (macro.size() + 4 <= 4096) {
        macro += "\\xFF";
    }
    std::string buffer(4096, '\0');
    EXPECT_EQ(ExpandEscapes(macro, buffer.data(), buffer.size()), macro.size() / 4);
}

TEST(EscapedBytes, ReadBackByMacroExpansionAsTheSameBytes) {
    std::string every;
    for (int b = 0; b < 256; ++b) {
        every.push_back(static_cast<char>(b));
    }
    // Runs that the writer treats apart: CR LF, lone CR and LF, a backslash
    // before x or n, a digit after a hex escape.
    const std::string runs[] = {every, B({0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0A}), "\\xAB\\n\\",
                                B({0x01, 'A', 0x1B, '9'}), ""};
    for (const std::string& bytes : runs) {
        const std::string text = EscapedBytes(bytes);
        for (const char c : text) {
            ASSERT_TRUE(c >= 0x20 && c < 0x7F) << "printable ASCII only: " << text;
        }
        EXPECT_EQ(ExpandEscapes(text), bytes) << text;
    }
    EXPECT_EQ(EscapedBytes(B({'o', 'k', 0x0D, 0x0A, 0xE9, 0x0D})), "ok\\n\\xE9\\r");
}

TEST(MacroSteps, LineEscapesCutTheMacroAndTheRestExpandsAsBefore) {
    using enum EMacroStep;
    EXPECT_EQ(SplitMacroSteps("boot\\n\\{rts1}\\{wait:100}\\{rts0}\\{dtr0}\\{dtr1}go\\x41"),
              (std::vector<SMacroStep>{{Bytes, "boot\r\n", 0},
                                       {Rts, "", 1},
                                       {Wait, "", 100},
                                       {Rts, "", 0},
                                       {Dtr, "", 0},
                                       {Dtr, "", 1},
                                       {Bytes, "goA", 0}}));
    EXPECT_EQ(SplitMacroSteps("\\{wait:0}\\{wait:10000}"),
              (std::vector<SMacroStep>{{Wait, "", 0}, {Wait, "", 10000}}));
    EXPECT_EQ(SplitMacroSteps("plain\\r"), (std::vector<SMacroStep>{{Bytes, "plain\r", 0}}));
    EXPECT_TRUE(SplitMacroSteps("").empty());
}

TEST(MacroSteps, WhatIsNotExactlyALineEscapeStaysWhatItWas) {
    // Each of these meant bytes before line escapes existed, and still does.
    for (const char* macro : {"\\{dtr}", "\\{DTR1}", "\\{dtr2}", "\\{wait:}", "\\{wait:abc}",
                              "\\{wait:100", "\\{wait:-1}", "\\\\{dtr1}", "\\{rts1 }"}) {
        EXPECT_FALSE(HasLineEscapes(macro)) << macro;
        EXPECT_EQ(SplitMacroSteps(macro),
                  (std::vector<SMacroStep>{{EMacroStep::Bytes, ExpandEscapes(macro), 0}}))
            << macro;
    }
    EXPECT_EQ(ExpandEscapes("\\\\{dtr1}"), "\\{dtr1}") << "an escaped backslash, then text";
    EXPECT_TRUE(HasLineEscapes("\\\\\\{dtr1}")) << "an escaped backslash, then an escape";
}

TEST(MacroKind, DecidedByTheFirstByte) {
    EXPECT_EQ(MacroKind("&ProgramRestart"), EMacroKind::Ability);
    EXPECT_EQ(MacroKind("&a\\nb"), EMacroKind::Ability);
    EXPECT_EQ(MacroKind("@DevInfo"), EMacroKind::AbilityGroup);
    EXPECT_EQ(MacroKind("\\&x"), EMacroKind::Bytes);
    EXPECT_EQ(MacroKind(""), EMacroKind::None);
}

}  // namespace
}  // namespace quillpad
