// The find bar's "Filter" over a console view: the filtered view in the
// console's place with exactly the matching lines, its progress in the bar,
// slices, live records, another query, selection and copy, and Escape or
// unticking back to the console where it was.

#include "control/qt/FindFilter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <cstdlib>
#include <ctime>
#include <string>

#include "control/qt/CFindBar.h"
#include "data/DataStore.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CFilterView.h"

namespace quillpad {
namespace {

class FindFilter : public ::testing::Test {
  protected:
    FindFilter()
        : store(channel, clock),
          view(channel, store, settings, &window),
          bar(store, view, &window),
          filter(view, &window) {
        window.resize(480, 300);
        view.setGeometry(0, 0, 480, 240);
        window.show();
        channel.DrainPending();
        const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0,
                     CPayload::Make(std::shared_ptr<const CStyleScheme>(schemes[0])));
        ConnectFilter(bar, filter, view, [this] {
            ++layOuts;
            filter.setGeometry(view.geometry());
        });
    }

    void Add(std::string_view bytes, bool outgoing = false) {
        outgoing ? store.AddOutgoingBytes(0, bytes) : store.AddIncomingBytes(0, bytes);
    }
    void Settle() {
        channel.DrainPending();
        for (int turns = 0; (filter.Filtering() || bar.Searching()) && turns < 100'000; ++turns) {
            QApplication::processEvents();
        }
        ASSERT_FALSE(filter.Filtering());
    }
    void FilterBy(const QString& text) {
        bar.Open();
        bar.TextField()->setText(text);
        bar.FilterBox()->setChecked(true);
        Settle();
    }
    std::string Shown() { return filter.LinesText(0, filter.Lines().size()).toStdString(); }

    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    QWidget window;
    CConsoleView view;
    CFindBar bar;
    CFilterView filter;
    int layOuts = 0;
};

TEST_F(FindFilter, ShowsOnlyTheMatchingLinesInTheConsolesPlace) {
    Add("boot\r\nER");
    Add("ROR: 7\r\nok\r\n");
    Add("ping\r\n", true);
    Add("error: 3\r\nERROR: 9\r\nfine");
    bar.MatchCaseBox()->setChecked(true);
    FilterBy(QStringLiteral("ERROR"));
    EXPECT_TRUE(filter.isVisible());
    EXPECT_FALSE(view.isVisible());
    EXPECT_GT(layOuts, 0);
    EXPECT_EQ(filter.geometry(), view.geometry());
    EXPECT_EQ(Shown(), "ERROR: 7\nERROR: 9\n") << "the record split counts as one line";
    EXPECT_EQ(bar.FilterStatusText().toStdString(), "2 lines");

    // Another query filters again.
    bar.MatchCaseBox()->setChecked(false);
    Settle();
    EXPECT_EQ(Shown(), "ERROR: 7\nerror: 3\nERROR: 9\n");
    bar.DirectionBox()->setCurrentIndex(2);  // outgoing only
    bar.TextField()->setText(QStringLiteral("p"));
    Settle();
    // This style draws no sent data: the line where it would be.
    EXPECT_EQ(Shown(), "error: 3\n");
    EXPECT_EQ(bar.FilterStatusText().toStdString(), "1 line");
}

// Each listed line keeps the stamp the console's column shows for it: Since
// Previous Line measures from the line before it in the history.
TEST_F(FindFilter, ListedLinesCarryTheirStampsWhenStampsAreShown) {
    setenv("TZ", "UTC0", 1);
    tzset();
    const std::pair<std::uint32_t, const char*> records[] = {{1100, "boot\r\n"},
                                                             {1350, "ERROR: 7\r\n"},
                                                             {1400, "ok\r\n"},
                                                             {1700, "ERR"},
                                                             {1750, "OR: 9\r\n"}};
    for (const auto& [tick, bytes] : records) {
        clock.SetTick(tick);
        Add(bytes);
    }
    FilterBy(QStringLiteral("ERROR"));
    EXPECT_EQ(Shown(), "ERROR: 7\nERROR: 9\n") << "no stamps while they are off";
    const std::pair<EStampMode, const char*> forms[] = {
        {EStampMode::Absolute, "22:13:20.350 ERROR: 7\n22:13:20.700 ERROR: 9\n"},
        {EStampMode::SinceStart, "+0.350 ERROR: 7\n+0.700 ERROR: 9\n"},
        {EStampMode::SincePrevious, "+0.250 ERROR: 7\n+0.300 ERROR: 9\n"}};
    for (const auto& [mode, text] : forms) {
        settings.stampMode = mode;
        view.StampsChanged();
        EXPECT_EQ(Shown(), text);
        // The same stamps as the console's column, lines 1 and 3.
        const std::vector<std::string> column = view.RowStampsInSight();
        ASSERT_GE(column.size(), 4u);
        EXPECT_EQ(Shown(), column[1] + "ERROR: 7\n" + column[3] + "ERROR: 9\n");
    }
    unsetenv("TZ");
    tzset();
}

TEST_F(FindFilter, ABadPatternSaysWhyAndShowsNothing) {
    Add("abc\r\n");
    bar.ModeBox()->setCurrentIndex(2);
    FilterBy(QStringLiteral("a("));
    EXPECT_TRUE(filter.Lines().empty());
    EXPECT_TRUE(bar.FilterStatusText().startsWith(QStringLiteral("filter: ")))
        << bar.FilterStatusText().toStdString();
}

TEST_F(FindFilter, ALongHistoryIsFilteredInSlicesWithItsProgressInTheBar) {
    std::string chunk;
    for (int i = 0; i < 20'000; ++i) {
        chunk += i % 1000 == 0 ? "a rare NEEDLE here\r\n" : "nothing much to see\r\n";
    }
    for (int i = 0; i < 8; ++i) {
        Add(chunk);
    }
    channel.DrainPending();
    view.FinishIndex();
    bar.Open();
    bar.TextField()->setText(QStringLiteral("NEEDLE"));
    bar.FilterBox()->setChecked(true);
    filter.Slice();
    filter.Slice();
    EXPECT_TRUE(filter.Filtering());
    EXPECT_TRUE(bar.FilterStatusText().startsWith(QStringLiteral("filtering… ")))
        << bar.FilterStatusText().toStdString();
    EXPECT_NE(bar.FilterStatusText().toStdString(), "filtering… 100%");
    Settle();
    EXPECT_EQ(filter.Lines().size(), 160u);
    EXPECT_EQ(bar.FilterStatusText().toStdString(), "160 lines");
    // The last lines are drawn from the end of the history.
    EXPECT_EQ(filter.LinesText(159, 160).toStdString(), "a rare NEEDLE here\n");
}

TEST_F(FindFilter, TakesInNewLiveRecordsThatMatch) {
    Add("one hit\r\nmiss\r\n");
    FilterBy(QStringLiteral("hit"));
    EXPECT_EQ(Shown(), "one hit\n");
    Add("two h");
    Add("it\r\nmiss again\r\nthree hit");
    channel.DrainPending();
    for (int i = 0; i < 10; ++i) {
        filter.Slice();
    }
    EXPECT_EQ(Shown(), "one hit\ntwo hit\nthree hit\n");
    // The open last line grows in place: shown once, whole.
    Add(" and more\r\n");
    channel.DrainPending();
    for (int i = 0; i < 10; ++i) {
        filter.Slice();
    }
    EXPECT_EQ(Shown(), "one hit\ntwo hit\nthree hit and more\n");
}

TEST_F(FindFilter, FollowsNewMatchesFromItsLastLineAndStaysWhereTheUserScrolledElse) {
    std::string lines;
    for (int i = 0; i < 100; ++i) {
        lines += "hit " + std::to_string(i) + "\r\n";
    }
    Add(lines);
    FilterBy(QStringLiteral("hit"));
    const auto more = [&](int from) {
        Add("hit " + std::to_string(from) + "\r\nhit " + std::to_string(from + 1) + "\r\n");
        channel.DrainPending();
        for (int i = 0; i < 10; ++i) {
            filter.Slice();
        }
    };
    const std::size_t rows = static_cast<std::size_t>(filter.VisibleRows());
    ASSERT_LT(rows, 50u);
    filter.ScrollToLine(1000);
    ASSERT_EQ(filter.TopLine(), 100 - rows);
    more(100);
    EXPECT_EQ(filter.Lines().size(), 102u);
    EXPECT_EQ(filter.TopLine(), 102 - rows) << "the last line stays in sight";
    filter.ScrollToLine(5);
    more(102);
    EXPECT_EQ(filter.Lines().size(), 104u);
    EXPECT_EQ(filter.TopLine(), 5u);
}

TEST_F(FindFilter, SelectsAndCopiesWholeLines) {
    Add("a1\r\nb\r\na2\r\na3\r\n");
    FilterBy(QStringLiteral("a"));
    ASSERT_EQ(filter.Lines().size(), 3u);
    filter.setFocus();
    QTest::keyClick(&filter, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(filter.SelectionStart(), 0u);
    EXPECT_EQ(filter.SelectionEnd(), 3u);
    filter.SelectLines(2, 1);
    QTest::keyClick(&filter, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "a2\na3\n");
    QString refused;
    // Other keys are the console's, as if typed into it.
    QString typed;
    filter.SetKeyFilter([&typed](const QKeyEvent& key) {
        typed += key.text();
        return !key.text().isEmpty();
    });
    QTest::keyClicks(&filter, QStringLiteral("ver"));
    EXPECT_EQ(typed, QStringLiteral("ver"));
    filter.SetNotifier([&refused](const QString& text) { refused = text; });
    filter.SetCopyLimit(1);
    QApplication::clipboard()->clear();
    filter.Copy();
    EXPECT_TRUE(refused.contains(QStringLiteral("too large")));
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
}

TEST_F(FindFilter, EscapeOrUntickingGoesBackToAllLinesWhereTheViewWas) {
    for (int i = 0; i < 200; ++i) {
        Add("line " + std::to_string(i) + (i % 50 == 0 ? " mark" : "") + "\r\n");
    }
    channel.DrainPending();
    view.ScrollToPosition(view.TextSize() / 2);
    const std::size_t top = view.TopPosition();
    ASSERT_FALSE(view.IsPinnedToEnd());

    FilterBy(QStringLiteral("mark"));
    EXPECT_EQ(filter.Lines().size(), 4u);
    bar.FilterBox()->setChecked(false);
    EXPECT_FALSE(filter.isVisible());
    EXPECT_TRUE(view.isVisible());
    EXPECT_TRUE(bar.isVisible()) << "unticking keeps the bar";
    EXPECT_EQ(view.TopPosition(), top);
    EXPECT_TRUE(bar.FilterStatusText().isEmpty());

    bar.FilterBox()->setChecked(true);
    Settle();
    ASSERT_TRUE(filter.isVisible());
    filter.setFocus();
    QTest::keyClick(&filter, Qt::Key_Escape);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(filter.isVisible());
    EXPECT_FALSE(bar.FilterBox()->isChecked());
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.TopPosition(), top);
    EXPECT_FALSE(view.IsPinnedToEnd());

    // Escape in the bar does the same.
    FilterBy(QStringLiteral("mark"));
    ASSERT_TRUE(filter.isVisible());
    QTest::keyClick(bar.TextField(), Qt::Key_Escape);
    EXPECT_FALSE(filter.isVisible());
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.TopPosition(), top);
}

TEST(FindFilterPicture, DISABLED_Screenshot) {
    const char* picture = std::getenv("QUILLPAD_SCREENSHOT");
    if (picture == nullptr) {
        FAIL() << "set QUILLPAD_SCREENSHOT to the picture's file";
    }
    setenv("TZ", "UTC0", 1);
    tzset();
    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store(channel, clock);
    SViewSettings settings;
    settings.stampMode = EStampMode::Absolute;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* view = new CConsoleView(channel, store, settings, &window);
    auto* filter = new CFilterView(*view, &window);
    auto* bar = new CFindBar(store, *view, &window);
    layout->addWidget(view, 1);
    layout->addWidget(filter, 1);
    layout->addWidget(bar);
    ConnectFilter(*bar, *filter, *view, {});
    window.resize(900, 300);
    window.show();
    channel.DrainPending();
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    channel.Send(view->Handle(), UM_SET_SCHEME, 0, 0,
                 CPayload::Make(std::shared_ptr<const CStyleScheme>(schemes[0])));
    for (int i = 0; i < 600; ++i) {
        clock.SetTick(1000 + static_cast<std::uint32_t>(i) * 137);
        store.AddOutgoingBytes(0, "status\r");
        store.AddIncomingBytes(0, "axis 2 ready, temp 41.5 C\r\n");
        if (i % 23 == 4) {
            store.AddIncomingBytes(0, "motor ERR");
            store.AddIncomingBytes(0, "OR: " + std::to_string(4700 + i) + "\r\n");
        }
        store.AddIncomingBytes(0, "> ");
    }
    channel.DrainPending();
    bar->ModeBox()->setCurrentIndex(2);
    bar->Open();
    bar->TextField()->setText(QStringLiteral("ERR(OR)?:\\s+\\d+"));
    bar->FilterBox()->setChecked(true);
    for (int turns = 0; (filter->Filtering() || bar->Searching()) && turns < 100'000; ++turns) {
        QApplication::processEvents();
    }
    QTest::qWait(100);
    EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(picture)));
}

}  // namespace
}  // namespace quillpad
