// The find bar's Filter over 100 MB of history with a text that one line in
// a thousand holds, beside the bar's count of the same text over the same
// history in the same run:
//   filter_first_screen_100MB      Start to the first screen of matching
//                                  lines painted (ms)
//   filter_complete_100MB          Start to every line filtered (ms)
//   filter_longest_turn_100MB      the longest event-loop turn meanwhile (ms)
//   filter_lines_100MB             the lines it found (a check, not a speed)
//   filter_with_count_<complete|longest_turn>_100MB  Filter ticked in the bar
//                                  as a user does, so the bar's count runs
//                                  beside it
//   baseline_count_<complete|longest_turn>_100MB  the bar counting the text
//                                  to the end, nothing filtered

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>

#include <memory>
#include <string>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/QtBench.h"
#include "bench/support/Traffic.h"
#include "control/qt/CFindBar.h"
#include "control/qt/FindFilter.h"
#include "data/DataStore.h"
#include "platform/Clock.h"
#include "platform/qt/CQtMessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CFilterView.h"

namespace quillpad {
namespace {

constexpr std::size_t k100MB = std::size_t{100} << 20;
constexpr std::size_t kRecord = 256;
constexpr int kLimitMs = 600'000;
constexpr const char* kText = "ALARM";

using bench::App;
using bench::Forever;
using bench::Ms;
using bench::Paint;

// The traffic with "ALARM 7 " starting every thousandth line.
std::string MakeHistory() {
    const std::string traffic = bench::MakeTraffic(k100MB);
    std::string out;
    out.reserve(traffic.size() + traffic.size() / 4000);
    std::size_t lines = 0;
    for (std::size_t i = 0; i < traffic.size(); ++i) {
        out.push_back(traffic[i]);
        if (traffic[i] == '\n' && ++lines % 1000 == 0) {
            out += "ALARM 7 ";
        }
    }
    return out;
}

struct SConsole {
    SConsole() : store(channel, clock) {
        const std::string history = MakeHistory();
        for (std::size_t i = 0; i < history.size(); i += kRecord) {
            store.AddIncomingBytes(0, std::string_view(history).substr(i, kRecord));
        }
        store.FlushLiveLogs();
        view = std::make_unique<CConsoleView>(channel, store, settings);
        view->resize(900, 700);
        view->show();
        QApplication::processEvents();
        channel.Send(view->Handle(), UM_SET_SCHEME, 0, 0,
                     CPayload::Make(MakeBuiltinSchemes(EBuiltinSet::B)[0]));
        view->FinishIndex();
        bar = std::make_unique<CFindBar>(store, *view);
        filter = std::make_unique<CFilterView>(*view);
        filter->resize(900, 700);
        ConnectFilter(*bar, *filter, *view, nullptr);
        QApplication::processEvents();
    }
    CQtMessageChannel channel;
    CManualClock clock{1000, 1'700'000'000};
    CDataStore store;
    SViewSettings settings;
    std::unique_ptr<CConsoleView> view;
    std::unique_ptr<CFindBar> bar;
    std::unique_ptr<CFilterView> filter;
};

SConsole& Console() {
    static SConsole& console = Forever<SConsole>();
    return console;
}

// Runs the loop until the filter is done; the first screen is painted once
// a screenful of lines is found.
struct SFiltered {
    double firstScreen = 0;
    double complete = 0;
    double longestTurn = 0;
};

SFiltered RunFilter(SConsole& c, const QElapsedTimer& since) {
    SFiltered out;
    bool painted = false;
    out.longestTurn = bench::LongestLoopTurnMs(
        [&] {
            const bool done = !c.filter->Filtering();
            if (!painted && (done || c.filter->Lines().size() >=
                                         static_cast<std::size_t>(c.filter->VisibleRows()))) {
                Paint(*c.filter->viewport());
                out.firstScreen = Ms(since);
                painted = true;
            }
            return done;
        },
        kLimitMs);
    out.complete = Ms(since);
    return out;
}

void BM_Filter(benchmark::State& state) {
    App();
    SConsole& c = Console();
    for (auto _ : state) {
        // The filter alone, as the bar starts it.
        c.view->hide();
        c.filter->show();
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        c.filter->Start(SFindQuery{kText, EFindMode::Text, true, 0});
        const SFiltered alone = RunFilter(c, t);
        bench::Figure("filter_first_screen_100MB", alone.firstScreen, "ms");
        bench::Figure("filter_complete_100MB", alone.complete, "ms");
        bench::Figure("filter_longest_turn_100MB", alone.longestTurn, "ms");
        bench::Figure("filter_lines_100MB", static_cast<double>(c.filter->Lines().size()), "lines");
        c.filter->Stop();
        c.filter->hide();
        c.view->show();
        QApplication::processEvents();

        // Baseline: the bar counts the same text over the same history.
        c.bar->Open();
        c.bar->MatchCaseBox()->setChecked(true);
        t.start();
        c.bar->TextField()->setText(QString::fromLatin1(kText));
        const double countTurn =
            bench::LongestLoopTurnMs([&] { return !c.bar->Searching(); }, kLimitMs);
        bench::Figure("baseline_count_complete_100MB", Ms(t), "ms");
        bench::Figure("baseline_count_longest_turn_100MB", countTurn, "ms");

        // Filter ticked as a user does: the count again beside the filter.
        c.bar->TextField()->clear();
        QApplication::processEvents();
        t.start();
        c.bar->TextField()->setText(QString::fromLatin1(kText));
        c.bar->FilterBox()->setChecked(true);
        double complete = 0;
        const double bothTurn = bench::LongestLoopTurnMs(
            [&] {
                if (complete == 0 && !c.filter->Filtering()) {
                    complete = Ms(t);
                }
                return !c.filter->Filtering() && !c.bar->Searching();
            },
            kLimitMs);
        bench::Figure("filter_with_count_complete_100MB", complete, "ms");
        bench::Figure("filter_with_count_longest_turn_100MB", bothTurn, "ms");
        c.bar->Close();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Filter)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
