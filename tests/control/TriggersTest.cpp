// Triggers: matching across records, once and every time, the hold-off, the
// rate pause, and the settings text with its errors.

#include "control/Triggers.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "config/CIniDocument.h"
#include "input/Escapes.h"
#include "pattern/BytePattern.h"

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

// Latin-1 case written out plainly, as the reference the matcher's table
// must agree with: A-Z and \xC0-\xDE but \xD7 are upper case.
char LowerLatin1(char c) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
        return static_cast<char>(b + 0x20);
    }
    return c;
}

std::string LowerLatin1(std::string text) {
    for (char& c : text) {
        c = LowerLatin1(c);
    }
    return text;
}

// How many times `literal` occurs in `hay` without overlaps, caseless.
std::size_t CaselessCount(const std::string& hay, const std::string& literal) {
    const std::string h = LowerLatin1(hay);
    const std::string l = LowerLatin1(literal);
    std::size_t count = 0;
    for (std::size_t at = h.find(l); at != std::string::npos; at = h.find(l, at + l.size())) {
        ++count;
    }
    return count;
}

// Fed in records cut at random places, a caseless literal fires once for
// each match a folded search counts, wherever the cuts fall.
TEST(Triggers, ACaselessLiteralFiresForEveryMatchWhereverRecordsAreCut) {
    std::uint32_t seed = 23;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const std::string alphabet = "oOkK \xC9\xE9";
    for (const std::string literal : {"ok", "OK \xC9", "kO", "\xE9\xE9"}) {
        for (int round = 0; round < 300; ++round) {
            std::string hay(next() % 60, 'o');
            for (char& c : hay) {
                c = alphabet[next() % alphabet.size()];
            }
            std::vector<std::string> records;
            for (std::size_t at = 0; at < hay.size();) {
                const std::size_t size = std::min<std::size_t>(1 + next() % 5, hay.size() - at);
                records.push_back(hay.substr(at, size));
                at += size;
            }
            STrigger t = Make(literal);
            t.matchCase = false;
            SFeeder f({t});
            EXPECT_EQ(f.Fed(records), CaselessCount(hay, literal)) << hay << " / " << literal;
        }
    }
}

TEST(Triggers, CaselessTextAndRegexFoldLatin1LettersOnly) {
    std::vector<STrigger> triggers = {
        Make("LOGIN:"),   Make("err[0-9]+!", ETriggerMode::Regex), Make("\xC9TAT \xD7"),
        Make("\xDF\xFF"), Make("4b", ETriggerMode::Hex),           Make("login:")};
    for (std::size_t i = 0; i < 5; ++i) {
        triggers[i].matchCase = false;
    }
    SFeeder f(triggers);
    // Cut by record boundaries, in mixed case; the case-sensitive twin of
    // the first stays quiet.
    EXPECT_EQ(f.Fed({"boot ... Lo", "gI", "n: "}), 1u);
    EXPECT_EQ(f.events.back().trigger, 0u);
    EXPECT_EQ(f.Fed({"Er", "R4", "2", "!"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 1u);
    EXPECT_EQ(f.Fed({"\xE9t", "At \xD7"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 2u);
    // The multiplication sign is no upper-case division sign, and sharp s
    // and y with diaeresis have no upper case in Latin-1.
    EXPECT_EQ(f.Fed({"\xC9TAT \xF7", "SSY", "\xDF\x9F"}), 0u);
    // Hex names bytes: "4b" is K only.
    EXPECT_EQ(f.Fed({"k"}), 0u);
    EXPECT_EQ(f.Fed({"K"}), 1u);
    EXPECT_EQ(f.events.back().trigger, 4u);
    // A regular expression folds Latin-1 letters too, in its literal
    // prefix and past it.
    STrigger accents = Make("r\xE9s[0-9] \xC0", ETriggerMode::Regex);
    accents.matchCase = false;
    SFeeder g({accents});
    EXPECT_EQ(g.Fed({"R\xC9", "S5 \xE0"}), 1u);
    EXPECT_EQ(g.Fed({"r\xE9s5 \xC1"}), 0u);
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
    EXPECT_NE(f.matcher.Errors()[1].find("no partner"), std::string::npos);
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
    b.matchCase = false;
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

// MatchCase is written only when off, so a list that matches case is the
// text it was before the key existed, and such a text reads unchanged.
TEST(TriggerSettings, MatchCaseIsWrittenOnlyWhenOff) {
    const std::string old =
        "[Triggers]\nCount=2\n"
        "1.Name=a\n1.NameHex=\n1.Pattern=ok\n1.PatternHex=\n1.Mode=Text\n"
        "1.Direction=Incoming\n1.Action=Mark\n1.Argument=\n1.ArgumentHex=\n1.Once=FALSE\n"
        "1.HoldOffMs=0\n1.Enabled=TRUE\n"
        "2.Name=b\n2.NameHex=\n2.Pattern=E[0-9]\n2.PatternHex=\n2.Mode=Regex\n"
        "2.Direction=Both\n2.Action=Beep\n2.Argument=\n2.ArgumentHex=\n2.Once=TRUE\n"
        "2.HoldOffMs=5\n2.Enabled=TRUE\n";
    CIniDocument doc;
    ASSERT_TRUE(doc.LoadText(old, true));
    std::vector<std::string> errors;
    std::vector<STrigger> triggers = ReadTriggers(doc, errors);
    ASSERT_EQ(triggers.size(), 2u);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(triggers[0].matchCase && triggers[1].matchCase);
    CIniDocument again;
    StoreTriggers(again, triggers);
    EXPECT_EQ(again.SaveText(), "[Triggers]\nVersion=2\n" + doc.SaveText().substr(11));
    EXPECT_EQ(again.SaveText().find("MatchCase"), std::string::npos);

    triggers[1].matchCase = false;
    StoreTriggers(again, triggers);
    const std::string text = again.SaveText();
    EXPECT_EQ(text.find("1.MatchCase"), std::string::npos);
    EXPECT_NE(text.find("2.MatchCase=FALSE"), std::string::npos);
    CIniDocument back;
    ASSERT_TRUE(back.LoadText(text, true));
    EXPECT_EQ(ReadTriggers(back, errors), triggers);
    EXPECT_TRUE(errors.empty());

    // An edited value that is neither is named, and its trigger disabled.
    ASSERT_TRUE(
        back.LoadText("[Triggers]\nCount=2\n1.Pattern=a\n1.MatchCase=TRUE\n"
                      "2.Name=X\n2.Pattern=b\n2.MatchCase=no\n",
                      true));
    const auto read = ReadTriggers(back, errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Trigger 2 (X): the match case \"no\" is not TRUE or FALSE");
    EXPECT_TRUE(read[0].enabled && read[0].matchCase);
    EXPECT_FALSE(read[1].enabled);
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
    EXPECT_TRUE(has("Trigger 2 (Paren): the pattern cannot be used: missing closing"));
    EXPECT_TRUE(has("Trigger 3: the mode \"Glob\""));
    EXPECT_TRUE(has("the direction \"Sideways\""));
    EXPECT_TRUE(has("Trigger 4: the hold-off \"-3\""));
    EXPECT_TRUE(has("the action \"Explode\""));
    EXPECT_TRUE(has("Trigger 5 (Empty): it has no pattern"));
    EXPECT_EQ(errors.size(), 6u);
}

// A list written before the version key had the macros' escapes in its Text
// patterns: read, each is upgraded to find the very bytes it found, and the
// list is written with the version, read again unchanged.
TEST(TriggerSettings, AListWithoutAVersionFindsWhatItFoundBefore) {
    struct SOld {
        const char* pattern;
        ETriggerMode mode;
        std::string_view found;  // what the old reading matched
    };
    const SOld table[] = {
        {R"(OK\n)", ETriggerMode::Text, "OK\r\n"},
        {R"(a\r\nb)", ETriggerMode::Text, "a\r\r\nb"},
        {R"(\x41\x7z\x1b[2J)", ETriggerMode::Text, "A\x07z\x1b[2J"},
        {R"(\x)", ETriggerMode::Text, R"(\x)"},
        {R"(\xg)", ETriggerMode::Text, R"(\xg)"},
        {R"(tab\there\q)", ETriggerMode::Text, "tabhere"},
        {R"(\{wait:5})", ETriggerMode::Text, "wait:5}"},
        {R"(end\)", ETriggerMode::Text, R"(end\)"},
        {R"(\\n C:\\dir)", ETriggerMode::Text, R"(\n C:\dir)"},
        {"caf\xE9", ETriggerMode::Text, "caf\xE9"},
        {"1 F\t0d0A", ETriggerMode::Hex, "\x1F\r\n"},
        {R"(OK\r\n)", ETriggerMode::Regex, "OK\r\n"},
    };
    for (const SOld& old : table) {
        if (old.mode == ETriggerMode::Text) {
            ASSERT_EQ(ExpandEscapes(old.pattern), old.found) << old.pattern;
        }
        CIniDocument doc;
        doc.WriteString(kTriggersSection, "Count", "1");
        doc.WriteString(kTriggersSection, "1.Pattern", old.pattern);
        doc.WriteString(kTriggersSection, "1.Mode", TriggerModeName(old.mode));
        std::vector<std::string> errors;
        const std::vector<STrigger> read = ReadTriggers(doc, errors);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_TRUE(errors.empty()) << old.pattern << ": " << errors.front();
        // Exactly those bytes: the match is the whole of them, in a record
        // that holds them between others.
        const CBytePattern pattern(TriggerQuery(read[0]));
        const std::string record = "<" + std::string(old.found) + ">";
        const SPatternMatch m = pattern.Match(record, 0, EFollow::Nothing, true);
        EXPECT_EQ(m.kind, SPatternMatch::EKind::Full) << old.pattern << " as " << read[0].pattern;
        EXPECT_EQ(m.begin, 1u) << old.pattern << " as " << read[0].pattern;
        EXPECT_EQ(m.end, record.size() - 1) << old.pattern << " as " << read[0].pattern;

        CIniDocument stored;
        StoreTriggers(stored, read);
        EXPECT_EQ(stored.ReadString(stored.SectionAt(0), "Version", ""), kTriggersVersion);
        CIniDocument back;
        ASSERT_TRUE(back.LoadText(stored.SaveText(), true));
        EXPECT_EQ(ReadTriggers(back, errors), read) << old.pattern;
    }
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
