// Triggers: matching across records, once and every time, the hold-off, the
// rate pause, and the settings text with its errors.

#include "control/Triggers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/CIniDocument.h"

namespace quillpad {
namespace {

STrigger Make(std::string pattern, ETriggerMode mode = ETriggerMode::Text,
              ETriggerDirection direction = ETriggerDirection::Incoming) {
    STrigger t;
    t.name = "t";
    t.pattern = std::move(pattern);
    t.mode = mode;
    t.direction = direction;
    return t;
}

// Feeds the records at one time each and returns the indexes that fired.
struct SFeeder {
    CTriggerMatcher matcher;
    std::vector<STriggerEvent> events;
    std::uint64_t now = 1000;

    explicit SFeeder(const std::vector<STrigger>& triggers) { matcher.SetTriggers(triggers); }
    std::size_t Fed(const std::vector<std::string>& records, std::uint32_t direction = 1) {
        const std::size_t before = events.size();
        for (const auto& r : records) {
            matcher.Feed(direction, r, now, events);
        }
        return events.size() - before;
    }
};

TEST(Triggers, TextHexAndRegexMatchAcrossRecordBoundaries) {
    SFeeder f({Make("login:"), Make("55 aa 01", ETriggerMode::Hex),
               Make("ERR[0-9]+!", ETriggerMode::Regex)});
    // Each pattern is cut by a record boundary, one of them twice.
    EXPECT_EQ(f.Fed({"boot ... lo", "gi", "n: "}), 1u);
    EXPECT_EQ(f.events.back().trigger, 0u);
    EXPECT_EQ(f.Fed({std::string("x\x55", 2), std::string("\xAA\x01y", 3)}), 1u);
    EXPECT_EQ(f.events.back().trigger, 1u);
    EXPECT_EQ(f.Fed({"ER", "R4", "2", "!"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 2u);
    // A near miss does not fire: the regex needs its "!".
    EXPECT_EQ(f.Fed({"ERR7?", "ERR", "!"}), 0u);
}

// A literal is found by its rarest byte; where that byte recurs around and
// inside false starts, the first match must still be the one find() sees.
TEST(Triggers, ALiteralIsFoundWhereverItsRarestByteRecurs) {
    std::uint32_t seed = 7;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const std::string alphabet = "aA:1 ";
    for (int round = 0; round < 2000; ++round) {
        std::string hay(next() % 40, 'a');
        for (char& c : hay) {
            c = alphabet[next() % alphabet.size()];
        }
        std::string literal(1 + next() % 4, 'a');
        for (char& c : literal) {
            c = alphabet[next() % alphabet.size()];
        }
        const std::size_t start = hay.empty() ? 0 : next() % hay.size();
        const CTriggerPattern pattern(Make(literal));
        std::size_t begin = 0;
        std::size_t end = 0;
        const auto result = pattern.Match(hay, start, begin, end);
        const std::size_t expected = start < hay.size() ? hay.find(literal, start) : hay.npos;
        if (expected != std::string::npos) {
            ASSERT_EQ(result, CTriggerPattern::EResult::Full) << hay << " / " << literal;
            EXPECT_EQ(begin, expected) << hay << " / " << literal;
            EXPECT_EQ(end, expected + literal.size());
        } else {
            ASSERT_NE(result, CTriggerPattern::EResult::Full) << hay << " / " << literal;
        }
    }
}

TEST(Triggers, ARegexLiteralPrefixStopsAtWhatMayRepeatOrDiffer) {
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
// hides the prefix from the search).
TEST(Triggers, ARegexWithALiteralPrefixMatchesAsItWouldAlone) {
    const std::vector<std::string> patterns = {
        R"(ab\d+)", "aab", "ba+b", "ab(c|a)b", R"(a\Kb)", "a b$", "abab", R"(b\.a*)", "(?<=a)ba"};
    std::uint32_t seed = 11;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const std::string alphabet = "ab1 .\n";
    for (const std::string& p : patterns) {
        ASSERT_FALSE(RegexLiteralPrefix(p).empty() && p[0] != '(') << p;
        const CTriggerPattern fast(Make(p, ETriggerMode::Regex));
        const CTriggerPattern plain(Make("(?:)" + p, ETriggerMode::Regex));
        ASSERT_TRUE(fast.IsValid() && plain.IsValid()) << p;
        for (int round = 0; round < 1500; ++round) {
            std::string hay(1 + next() % 24, 'a');
            for (char& c : hay) {
                c = alphabet[next() % alphabet.size()];
            }
            const std::size_t start = next() % hay.size();
            std::size_t begin1 = 0;
            std::size_t end1 = 0;
            std::size_t begin2 = 0;
            std::size_t end2 = 0;
            const auto r1 = fast.Match(hay, start, begin1, end1);
            const auto r2 = plain.Match(hay, start, begin2, end2);
            ASSERT_EQ(r1, r2) << p << " in \"" << hay << "\" from " << start;
            EXPECT_EQ(begin1, begin2) << p << " in \"" << hay << "\" from " << start;
            if (r1 == CTriggerPattern::EResult::Full) {
                EXPECT_EQ(end1, end2) << p << " in \"" << hay << "\" from " << start;
            }
        }
    }
}

TEST(Triggers, TextPatternsUseTheConsolesEscapes) {
    SFeeder f({Make("OK\\r"), Make("\\x1b[2J")});
    EXPECT_EQ(f.Fed({"OK\n", "OK", "\r"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 0u);
    EXPECT_EQ(f.Fed({"\x1b[2", "J"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 1u);
}

TEST(Triggers, EveryMatchInARecordFiresAndMatchesDoNotOverlap) {
    SFeeder f({Make("aa")});
    EXPECT_EQ(f.Fed({"aaaaa"}), 2u);  // aa aa, the fifth a waits
    EXPECT_EQ(f.Fed({"a"}), 1u);
}

TEST(Triggers, OnceFiresOnlyOnceUntilRearmed) {
    STrigger t = Make("ready");
    t.once = true;
    SFeeder f({t});
    EXPECT_EQ(f.Fed({"ready ready", "ready"}), 1u);
    EXPECT_TRUE(f.matcher.Spent(0));
    f.matcher.Rearm(0);
    EXPECT_FALSE(f.matcher.Spent(0));
    EXPECT_EQ(f.Fed({"ready"}), 1u);
}

TEST(Triggers, HoldOffSkipsMatchesTooSoonAfterAFire) {
    STrigger t = Make("#");
    t.holdOffMs = 500;
    SFeeder f({t});
    EXPECT_EQ(f.Fed({"#"}), 1u);
    f.now += 499;
    EXPECT_EQ(f.Fed({"##"}), 0u);
    f.now += 1;
    EXPECT_EQ(f.Fed({"#"}), 1u);
    // The skipped matches were consumed, not kept for later.
    f.now += 500;
    EXPECT_EQ(f.Fed({"x"}), 0u);
}

TEST(Triggers, MoreThanAHundredFiresASecondPausesTheTrigger) {
    SFeeder f({Make("!"), Make("ok")});
    EXPECT_EQ(f.Fed({std::string(100, '!')}), 100u);
    EXPECT_FALSE(f.matcher.Paused(0));
    f.now += 999;
    f.Fed({"!"});
    ASSERT_EQ(f.events.back().kind, STriggerEvent::EKind::Paused);
    EXPECT_TRUE(f.matcher.Paused(0));
    // Paused, it stays quiet; the other trigger goes on.
    f.now += 5000;
    EXPECT_EQ(f.Fed({"!!!"}), 0u);
    EXPECT_EQ(f.Fed({"ok"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 1u);
    f.matcher.Rearm(0);
    EXPECT_EQ(f.Fed({"!"}), 1u);
}

TEST(Triggers, AHundredFiresSpreadOverMoreThanASecondAreNotPaused) {
    SFeeder f({Make("!")});
    for (int i = 0; i < 300; ++i) {
        f.now += 11;  // about 91 a second
        f.Fed({"!"});
    }
    EXPECT_FALSE(f.matcher.Paused(0));
    EXPECT_EQ(f.events.size(), 300u);
}

TEST(Triggers, DirectionsAreSeparateStreams) {
    SFeeder f({Make("abc", ETriggerMode::Text, ETriggerDirection::Outgoing),
               Make("xyz", ETriggerMode::Text, ETriggerDirection::Both)});
    EXPECT_EQ(f.Fed({"abc"}, 1), 0u);
    EXPECT_EQ(f.Fed({"ab"}, 1) + f.Fed({"c"}, 2), 0u);  // halves in two streams
    EXPECT_EQ(f.Fed({"abc"}, 2), 1u);
    EXPECT_EQ(f.Fed({"x"}, 1) + f.Fed({"yz"}, 2), 0u);
    EXPECT_EQ(f.Fed({"yz"}, 1), 1u);
    EXPECT_EQ(f.events.back().direction, 1u);
    EXPECT_FALSE(f.matcher.Watches(3));
}

TEST(Triggers, DisabledAndInvalidTriggersNeverFire) {
    STrigger off = Make("x");
    off.enabled = false;
    SFeeder f({off, Make("(", ETriggerMode::Regex), Make("5", ETriggerMode::Hex), Make("y")});
    ASSERT_EQ(f.matcher.Errors().size(), 2u);
    EXPECT_NE(f.matcher.Errors()[0].find("Trigger 2"), std::string::npos);
    EXPECT_NE(f.matcher.Errors()[1].find("odd number"), std::string::npos);
    EXPECT_EQ(f.Fed({"x(5\x05y"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 3u);
}

TEST(Triggers, RegexAnchorsSeeTheBytesBeforeARecord) {
    SFeeder f({Make("^OK$", ETriggerMode::Regex)});
    EXPECT_EQ(f.Fed({"NOK\r\n"}), 0u);
    EXPECT_EQ(f.Fed({"O", "K", "\r\n"}), 1u);
    EXPECT_EQ(f.Fed({"xx", "OK\r\n"}), 0u);  // "xxOK" is no line of its own
}

TEST(Triggers, TheTailStaysBoundedWhateverAPartialMatchWaitsFor) {
    SFeeder f({Make("<[^>]*>", ETriggerMode::Regex)});
    // An open "<" that never closes must not make the tail grow.
    f.Fed({"<"});
    for (int i = 0; i < 1000; ++i) {
        f.Fed({std::string(100, 'a')});
    }
    EXPECT_EQ(f.events.size(), 0u);
    // A short match after that is still seen.
    EXPECT_EQ(f.Fed({"> <b>"}), 1u);
}

TEST(Triggers, ASetAddedMidStreamStartsAtTheEnd) {
    CTriggerMatcher m;
    std::vector<STriggerEvent> events;
    m.SetTriggers({Make("zz")});
    m.Feed(1, "z", 0, events);
    m.SetTriggers({Make("zz")});
    m.Feed(1, "z", 0, events);
    EXPECT_TRUE(events.empty());
    m.Feed(1, "z", 0, events);
    EXPECT_EQ(events.size(), 1u);
}

// ---- settings text

TEST(TriggerSettings, RoundTripThroughTheSettingsText) {
    STrigger a = Make("login:");
    a.name = "Log in";
    a.action = ETriggerAction::Send;
    a.argument = "root\\r";
    a.once = true;
    STrigger b = Make("E[0-9]+", ETriggerMode::Regex, ETriggerDirection::Both);
    b.name = "Error = bad";
    b.action = ETriggerAction::Script;
    b.argument = "/tmp/on error.lua";
    b.holdOffMs = 250;
    b.enabled = false;
    STrigger c = Make("0d 0a", ETriggerMode::Hex, ETriggerDirection::Outgoing);
    c.action = ETriggerAction::StopLogging;
    CIniDocument doc;
    StoreTriggers(doc, {a, b, c});
    CIniDocument back;
    ASSERT_TRUE(back.LoadText(doc.SaveText(), true));
    std::vector<std::string> errors;
    EXPECT_EQ(ReadTriggers(back, errors), (std::vector<STrigger>{a, b, c}));
    EXPECT_TRUE(errors.empty());
    // Storing fewer replaces the group: nothing of the old list is left.
    StoreTriggers(doc, {c});
    ASSERT_TRUE(back.LoadText(doc.SaveText(), true));
    EXPECT_EQ(ReadTriggers(back, errors), std::vector<STrigger>{c});
    EXPECT_EQ(doc.SaveText().find("2.Name"), std::string::npos);
}

TEST(TriggerSettings, ValuesTheTextFormWouldCutComeBackWhole) {
    STrigger t = Make("https?://[a-z]+", ETriggerMode::Regex);
    t.name = "two\nlines";
    t.argument = std::string("a\0b/", 4);
    CIniDocument doc;
    StoreTriggers(doc, {t});
    CIniDocument back;
    ASSERT_TRUE(back.LoadText(doc.SaveText(), true));
    std::vector<std::string> errors;
    EXPECT_EQ(ReadTriggers(back, errors), std::vector<STrigger>{t});
    EXPECT_TRUE(errors.empty());
    // Hex that is not hex is named, not guessed at.
    ASSERT_TRUE(back.LoadText("[Triggers]\nCount=1\n1.Pattern=x\n1.PatternHex=zz\n", true));
    const auto read = ReadTriggers(back, errors);
    ASSERT_EQ(errors.size(), 2u);  // the hex, then the empty pattern it left
    EXPECT_NE(errors[0].find("written in hex"), std::string::npos);
    EXPECT_FALSE(read[0].enabled);
}

TEST(TriggerSettings, BadValuesAreNamedAndTheirTriggersDisabled) {
    CIniDocument doc;
    ASSERT_TRUE(
        doc.LoadText("[Triggers]\nCount=5\n"
                     "1.Name=Good\n1.Pattern=ok\n1.Action=Beep\n"
                     "2.Name=Paren\n2.Pattern=(ab\n2.Mode=Regex\n"
                     "3.Pattern=ok\n3.Mode=Glob\n3.Direction=Sideways\n"
                     "4.Pattern=ok\n4.HoldOffMs=-3\n4.Action=Explode\n"
                     "5.Name=Empty\n",
                     true));
    std::vector<std::string> errors;
    const auto triggers = ReadTriggers(doc, errors);
    ASSERT_EQ(triggers.size(), 5u);
    EXPECT_TRUE(triggers[0].enabled);
    EXPECT_EQ(triggers[0].action, ETriggerAction::Beep);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_FALSE(triggers[i].enabled) << i;
    }
    const auto has = [&](const std::string& text) {
        for (const auto& e : errors) {
            if (e.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has("Trigger 2 (Paren): the regular expression cannot be used"));
    EXPECT_TRUE(has("Trigger 3: the mode \"Glob\""));
    EXPECT_TRUE(has("the direction \"Sideways\""));
    EXPECT_TRUE(has("Trigger 4: the hold-off \"-3\""));
    EXPECT_TRUE(has("the action \"Explode\""));
    EXPECT_TRUE(has("Trigger 5 (Empty): it has no pattern"));
    EXPECT_EQ(errors.size(), 6u);
}

TEST(TriggerSettings, CountIsCheckedAndCapped) {
    CIniDocument doc;
    std::vector<std::string> errors;
    ASSERT_TRUE(doc.LoadText("[Triggers]\nCount=lots\n", true));
    EXPECT_TRUE(ReadTriggers(doc, errors).empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("\"lots\" is not a number"), std::string::npos);
    errors.clear();
    ASSERT_TRUE(doc.LoadText("[Triggers]\nCount=4000000000\n", true));
    EXPECT_EQ(ReadTriggers(doc, errors).size(), kMaxTriggers);
    EXPECT_EQ(errors.size(), kMaxTriggers + 1);  // the cap, then each empty one
    errors.clear();
    ASSERT_TRUE(doc.LoadText("[Other]\nCount=2\n", true));
    EXPECT_TRUE(ReadTriggers(doc, errors).empty());
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace quillpad
