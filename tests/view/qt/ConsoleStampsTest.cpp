// The console's stamp column: shown over data that came before, left out of
// hit tests and the text, taken along by copy; gap stamps in Hex Mode.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "data/LineStamps.h"
#include "styles/BuiltinSchemes.h"
#include "view/CStyledRenderer.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CStampGutter.h"

namespace quillpad {
namespace {

class ConsoleStamps : public ::testing::Test {
  protected:
    ConsoleStamps() : store(channel, clock), view(channel, store, settings) {
        setenv("TZ", "UTC0", 1);
        tzset();
        schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        view.resize(420, 240);
        view.show();
        channel.DrainPending();
    }
    ~ConsoleStamps() override {
        unsetenv("TZ");
        tzset();
    }
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(scheme));
        view.FinishIndex();
    }
    std::shared_ptr<CStyleScheme> Scheme(std::string_view name) {
        for (const auto& scheme : schemes) {
            if (scheme->Name == name) {
                return scheme;
            }
        }
        return nullptr;
    }
    void At(std::uint32_t tick, std::string_view bytes) {
        clock.SetTick(tick);
        store.AddIncomingBytes(0, bytes);
    }
    void Stamps(EStampMode mode, std::uint32_t gapMs = kDefaultGapMs) {
        settings.stampMode = mode;
        settings.stampGapMs = gapMs;
        view.StampsChanged();
    }
    // The stamps in sight while a restyle's index is built, then once it is done.
    std::pair<std::vector<std::string>, std::vector<std::string>> TailThenIndexed(
        EStampMode mode, std::string_view scheme) {
        Stamps(mode);
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(Scheme(scheme)));
        EXPECT_TRUE(view.IsIndexing());
        std::vector<std::string> tail = view.RowStampsInSight();
        view.FinishIndex();
        EXPECT_FALSE(view.IsIndexing());
        return {tail, view.RowStampsInSight()};
    }
    void Settle() {
        channel.DrainPending();
        QTest::qWait(40);
    }

    CQueuedChannel channel;
    // 2023-11-14 22:13:20 UTC at tick 1000.
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    CConsoleView view;
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
};

// A pattern rule moved to the top lends the stamps neither font nor colour.
TEST(StampGutter, WithoutAStampsSectionItIsGreyInTheBodyRulesFont) {
    CStyleScheme scheme;
    SStyleRule body;
    body.Format_ApplyColor = true;
    body.CharFormat.crTextColor = 0xFFFFFF;
    body.CharFormat.SetFaceName("DejaVu Sans Mono");
    scheme.AppendRule(body);
    SStyleRule pattern = body;
    pattern.RegEx_Match = true;
    pattern.CharFormat.crTextColor = 0x0000FF;
    pattern.CharFormat.SetFaceName("DejaVu Serif");
    scheme.InsertRule(0, pattern);
    CStampGutter gutter;
    gutter.SetStyle(&scheme, QFont(), Qt::black);
    EXPECT_EQ(gutter.Colour(), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(gutter.Font().family(), QStringLiteral("DejaVu Sans Mono"));
}

TEST_F(ConsoleStamps, SwitchedOnAfterTheDataShowsTheDataTimesAndRestylesNothing) {
    SetScheme(Scheme("Normal"));
    At(1250, "first\r\n");
    At(3500, "second\r\n");
    Settle();
    const std::string text(view.Document().Text());
    const std::size_t indexedBefore = view.Window().Index()->IndexedRecords();
    ASSERT_EQ(view.StampColumnWidth(), 0);
    clock.SetTick(99000);
    Stamps(EStampMode::Absolute);
    EXPECT_GT(view.StampColumnWidth(), 0);
    std::vector<std::string> stamps = view.RowStampsInSight();
    ASSERT_GE(stamps.size(), 2u);
    EXPECT_EQ(stamps[0], "22:13:20.250 ");
    EXPECT_EQ(stamps[1], "22:13:22.500 ");
    Stamps(EStampMode::SincePrevious);
    stamps = view.RowStampsInSight();
    EXPECT_EQ(stamps[1], "+2.250 ");
    EXPECT_EQ(std::string(view.Document().Text()), text) << "no stamp is part of the text";
    EXPECT_EQ(view.Window().Index()->IndexedRecords(), indexedBefore) << "nothing re-indexed";
    EXPECT_FALSE(view.IsIndexing());
    Stamps(EStampMode::Off);
    EXPECT_EQ(view.StampColumnWidth(), 0);
}

TEST_F(ConsoleStamps, HitTestsStartBesideTheColumn) {
    SetScheme(Scheme("Normal"));
    At(1100, "abcdef\r\n");
    Settle();
    const auto firstXOf = [&](std::size_t position) {
        for (int x = 0; x < view.viewport()->width(); ++x) {
            if (view.CharacterUnder(QPoint(x, 5)) >= position) {
                return x;
            }
        }
        return -1;
    };
    const int plainB = firstXOf(1);
    Stamps(EStampMode::SinceStart);
    const int column = view.StampColumnWidth();
    EXPECT_EQ(firstXOf(1), plainB + column) << "the text moves right by the column";
    EXPECT_EQ(view.CharacterUnder(QPoint(column / 2, 5)), 0u) << "a click on a stamp is the line";
    EXPECT_EQ(view.CaretPoint().x() > column, true);
    // A selection on the first line leaves the caret on the typing line.
    const QPoint end = view.CaretPoint();
    view.SetSelection(0, 3);
    EXPECT_EQ(view.CaretPoint(), end);
}

TEST_F(ConsoleStamps, CopyTakesTheStampsWhenTheyAreShown) {
    SetScheme(Scheme("Normal"));
    At(1100, "one\r\n");
    At(1350, "two");
    At(1400, " more\r\nthree");
    Settle();
    view.SelectAll();
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "one\ntwo more\nthree");
    Stamps(EStampMode::SinceStart);
    view.SelectAll();
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "+0.100 one\n+0.350 two more\n+0.400 three");
    Stamps(EStampMode::SincePrevious);
    const std::string shown(view.Document().Text());
    view.SetSelection(shown.find("two"), shown.size());
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "+0.250 two more\n+0.050 three")
        << "measured from the line before the selection";
}

TEST_F(ConsoleStamps, HexModeStampsBurstsAtTheGap) {
    SetScheme(Scheme("Hex Mode"));
    At(1100, "AB");
    At(1200, "CD");  // 100 ms: same burst
    At(1301, "EF");  // 101 ms: a burst of its own
    Settle();
    Stamps(EStampMode::SinceStart, 100);
    EXPECT_TRUE(view.UsesGapStamps());
    std::vector<std::string> stamps = view.RowStampsInSight();
    stamps.erase(std::remove(stamps.begin(), stamps.end(), std::string()), stamps.end());
    EXPECT_EQ(stamps, (std::vector<std::string>{"+0.100 ", "+0.301 "}));
    Stamps(EStampMode::SinceStart, 10);
    stamps = view.RowStampsInSight();
    stamps.erase(std::remove(stamps.begin(), stamps.end(), std::string()), stamps.end());
    EXPECT_EQ(stamps, (std::vector<std::string>{"+0.100 ", "+0.200 ", "+0.301 "}));
    SetScheme(Scheme("Normal"));
    EXPECT_FALSE(view.UsesGapStamps());
}

// After a restyle the end of the history is drawn at once while the index
// is built in slices: its rows carry the stamps they carry once it is done,
// whether the drawing starts at the first record or inside a long line.
TEST_F(ConsoleStamps, TheTailWhileIndexingIsStampedAsWhenIndexed) {
    At(1100, "one\r\n");
    At(1350, "two\r\n");
    At(1400, "three\r\n");
    Settle();
    for (const EStampMode mode :
         {EStampMode::Absolute, EStampMode::SinceStart, EStampMode::SincePrevious}) {
        const auto [tail, indexed] = TailThenIndexed(mode, "Normal");
        ASSERT_FALSE(tail.empty());
        EXPECT_FALSE(tail.front().empty()) << "the first record's line is stamped";
        EXPECT_EQ(tail, indexed);
    }
    const auto [hexTail, hexIndexed] = TailThenIndexed(EStampMode::SinceStart, "Hex Mode");
    ASSERT_FALSE(hexTail.empty());
    EXPECT_EQ(hexTail.front(), "+0.100 ");
    EXPECT_EQ(hexTail, hexIndexed);
}

TEST_F(ConsoleStamps, TheTailInsideALongLineMeasuresFromTheLineStart) {
    // A line longer than the tail draws: it starts in a record the tail
    // leaves out, and the line after measures from there.
    At(2000, "start ");
    At(2100, std::string(std::size_t{1} << 20, 'x') + "\r\n");
    At(2350, "after\r\n");
    At(2400, "last\r\n");
    Settle();
    for (const EStampMode mode : {EStampMode::SincePrevious, EStampMode::SinceStart}) {
        const auto [tail, indexed] = TailThenIndexed(mode, "Normal");
        EXPECT_EQ(tail, indexed);
        if (mode == EStampMode::SincePrevious) {
            EXPECT_NE(std::find(tail.begin(), tail.end(), "+0.350 "), tail.end())
                << "\"after\" measures from the long line's start";
        }
    }
}

// The copy of text without lines is what the formatted log writes: each
// burst on a line of its own, and no empty line where a row already ended
// with a line break (Hex Mode) or where the style hides the line ends.
TEST_F(ConsoleStamps, CopyWithGapStampsBreaksOnlyWhereTheScreenDoes) {
    auto hidden = Scheme("Hex Mode")->Clone();
    for (std::size_t i = 0; i < hidden->RuleCount(); ++i) {
        hidden->Rule(i).Format_InsertCRLFIfTranslated = false;
    }
    hidden->Name = "Hex without line ends";
    ASSERT_FALSE(DrawsLineEnds(hidden.get()));
    struct SBurst {
        std::uint32_t tick;
        const char* bytes;
    };
    const SBurst records[] = {{1100, "AB\r\n"}, {1150, "CD"},     {1400, "EF\r\n"},
                              {1700, "GH"},     {1705, "IJ\r\n"}, {2000, "KL\r\n"}};
    for (const SBurst& r : records) {
        At(r.tick, r.bytes);
    }
    Settle();
    for (const auto& scheme : {std::shared_ptr<const CStyleScheme>(Scheme("Hex Mode")),
                               std::shared_ptr<const CStyleScheme>(hidden)}) {
        SCOPED_TRACE(scheme->Name);
        SetScheme(scheme);
        for (const EStampMode mode : {EStampMode::SinceStart, EStampMode::SincePrevious}) {
            Stamps(mode, 100);
            ASSERT_TRUE(view.UsesGapStamps());
            CGapStamps log(mode, STimeBase{store.StartTime(), store.StartTick()}, 100);
            std::string expected;
            for (const SBurst& r : records) {
                SDataRecord record;
                record.direction = kDirectionIncoming;
                record.source = kSourceOwn;
                record.bytes = r.bytes;
                record.length = static_cast<std::uint32_t>(std::strlen(r.bytes));
                log.Append(expected, CStyledRenderer::RenderToString(scheme.get(), record), r.tick);
            }
            std::replace(expected.begin(), expected.end(), '\r', '\n');
            view.SelectAll();
            view.Copy();
            const QString copied = QApplication::clipboard()->text();
            EXPECT_EQ(copied.toStdString(), expected);
            EXPECT_FALSE(copied.contains(QStringLiteral("\n\n"))) << "no line the screen lacks";
            EXPECT_EQ(copied.count(QChar('+')), 4) << "one stamp a burst";
        }
    }
}

// Since the previous burst measures from the previous burst's first record
// wherever the drawn window starts: inside a burst longer than the index
// draws around a row, or just after a burst's start. Each row on top in
// turn, every stamp in sight and in a copy from that row on is the one the
// formatted log writes for that burst.
TEST_F(ConsoleStamps, SinceThePreviousBurstDoesNotDependOnWhereTheWindowStarts) {
    auto hidden = Scheme("Hex Mode")->Clone();
    for (std::size_t i = 0; i < hidden->RuleCount(); ++i) {
        hidden->Rule(i).Format_InsertCRLFIfTranslated = false;
    }
    hidden->Name = "Hex without line ends";
    struct SRecord {
        std::uint32_t tick;
        std::string bytes;
    };
    std::vector<SRecord> records;
    std::uint32_t tick = 1000;
    const auto burst = [&](int count, std::size_t bytes, std::uint32_t step, std::uint32_t pause) {
        tick += pause;
        for (int i = 0; i < count; ++i, tick += step) {
            records.push_back(
                {tick, std::string(bytes, static_cast<char>('A' + records.size() % 26))});
        }
    };
    // Two bursts far longer than the index draws around a row, short ones
    // between and after, each record of a burst at its own time.
    burst(24, 256, 10, 100);
    burst(1, 16, 0, 500);
    burst(3, 40, 50, 200);
    burst(24, 256, 20, 1000);
    burst(2, 8, 30, 150);
    for (const SRecord& r : records) {
        At(r.tick, r.bytes);
    }
    Settle();
    view.resize(900, 90);
    Settle();
    for (const auto& scheme : {std::shared_ptr<const CStyleScheme>(Scheme("Hex Mode")),
                               std::shared_ptr<const CStyleScheme>(hidden)}) {
        SCOPED_TRACE(scheme->Name);
        SetScheme(scheme);
        Stamps(EStampMode::SincePrevious, 100);
        ASSERT_TRUE(view.UsesGapStamps());
        // The formatted log's stamps, one a burst, and where the bursts start.
        CGapStamps log(EStampMode::SincePrevious, STimeBase{store.StartTime(), store.StartTick()},
                       100);
        std::vector<std::string> expected;
        for (const SRecord& r : records) {
            SDataRecord record;
            record.direction = kDirectionIncoming;
            record.source = kSourceOwn;
            record.bytes = r.bytes;
            record.length = static_cast<std::uint32_t>(r.bytes.size());
            std::string out;
            log.Append(out, CStyledRenderer::RenderToString(scheme.get(), record), r.tick);
            if (const std::size_t plus = out.find('+'); plus != std::string::npos) {
                expected.push_back(out.substr(plus, out.find(' ', plus) + 1 - plus));
            }
        }
        ASSERT_EQ(expected.size(), 5u);
        ASSERT_EQ(expected[1], "+0.740 ") << "from the first record of the burst before";
        std::vector<std::size_t> burstStarts{0};
        const std::vector<std::size_t> gaps =
            GapStarts(view.Document(), 0, view.Document().Size(), store, 100);
        burstStarts.insert(burstStarts.end(), gaps.begin(), gaps.end());
        ASSERT_EQ(burstStarts.size(), expected.size());
        const auto firstBurstFrom = [&](std::size_t position) {
            return static_cast<std::size_t>(
                std::lower_bound(burstStarts.begin(), burstStarts.end(), position) -
                burstStarts.begin());
        };
        const auto stampsOf = [](const std::string& text) {
            std::vector<std::string> out;
            for (std::size_t at = text.find('+'); at != std::string::npos;
                 at = text.find('+', at + 1)) {
                out.push_back(text.substr(at, text.find(' ', at) + 1 - at));
            }
            return out;
        };
        bool windowAfterABurstStart = false;
        std::size_t copies = 0;
        view.ScrollToPosition(0);
        for (std::size_t top = view.TopPosition(), last = static_cast<std::size_t>(-1); top != last;
             last = top, view.ScrollRows(1), top = view.TopPosition()) {
            SCOPED_TRACE(top);
            const std::size_t first = firstBurstFrom(top);
            std::vector<std::string> shown = view.RowStampsInSight();
            shown.erase(std::remove(shown.begin(), shown.end(), std::string()), shown.end());
            ASSERT_LE(first + shown.size(), expected.size());
            EXPECT_EQ(shown, std::vector<std::string>(expected.begin() + first,
                                                      expected.begin() + first + shown.size()));
            if (first > 0 && first < burstStarts.size() && !shown.empty() &&
                view.Window().Start() > burstStarts[first - 1]) {
                windowAfterABurstStart = true;
            }
            // A copy from a row near a burst's start, in the burst before it
            // or in its own, up to the next burst's first character.
            const bool nearStart = (first < burstStarts.size() && burstStarts[first] - top < 64) ||
                                   (first > 0 && top - burstStarts[first - 1] < 64);
            if (nearStart) {
                const std::size_t end = first + 1 < burstStarts.size() ? burstStarts[first + 1] + 1
                                                                       : view.Document().Size();
                view.SetSelection(top, end);
                view.Copy();
                ++copies;
                EXPECT_EQ(stampsOf(QApplication::clipboard()->text().toStdString()),
                          std::vector<std::string>(
                              expected.begin() + static_cast<std::ptrdiff_t>(first),
                              expected.begin() + static_cast<std::ptrdiff_t>(
                                                     std::min(first + 2, expected.size()))));
            }
        }
        EXPECT_GE(copies, expected.size());
        EXPECT_TRUE(windowAfterABurstStart)
            << "some window must start after the start of the burst before its first stamp";
    }
}

// Pictures for the guide: tools/take-screenshots.sh runs it on a virtual display.
TEST_F(ConsoleStamps, DISABLED_Screenshots) {
    const char* folder = std::getenv("QUILLPAD_SCREENSHOT_DIR");
    ASSERT_NE(folder, nullptr);
    view.resize(560, 200);
    SetScheme(Scheme("Normal"));
    std::uint32_t tick = 1000;
    const char* lines[] = {"READY\r\n",
                           "> status\r\n",
                           "axis 1: homed, 0.000 mm\r\n",
                           "axis 2: homed, 12.500 mm\r\n",
                           "> move 2 40\r\n",
                           "moving...\r\n",
                           "axis 2: 40.000 mm, done\r\n"};
    const std::uint32_t steps[] = {120, 2310, 45, 12, 1800, 30, 4210};
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        tick += steps[i];
        At(tick, lines[i]);
    }
    Settle();
    const auto shoot = [&](EStampMode mode, const char* name) {
        Stamps(mode);
        Settle();
        view.grab().save(QString::fromUtf8(folder) + "/" + name);
    };
    shoot(EStampMode::Absolute, "console-stamps-absolute.png");
    shoot(EStampMode::SinceStart, "console-stamps-since-start.png");
    shoot(EStampMode::SincePrevious, "console-stamps-since-previous.png");
    SetScheme(Scheme("Hex Mode"));
    for (int burst = 0; burst < 3; ++burst) {
        tick += 400;
        for (int i = 0; i < 4; ++i) {
            At(tick += 2, "\x02OK\x03");
        }
    }
    Settle();
    Stamps(EStampMode::SinceStart, 100);
    Settle();
    view.grab().save(QString::fromUtf8(folder) + "/console-stamps-hex-gaps.png");
}

}  // namespace
}  // namespace quillpad
