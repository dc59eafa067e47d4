// Time stamps over 100 MB of history, against the same view without them in
// the same run:
//   stamps_on_first_screen_100MB       stamps switched on (each form, from
//                                      Off) to the first screen painted, at
//                                      the end and in the middle of the
//                                      history: the worst of them
//   baseline_stamps_off_first_paint_100MB  the same screens painted with
//                                      stamps off: the worst
//   ingest_stamps_hex_<rate|longest_turn>  live records (4 KiB each, 64 a
//                                      turn) taken in and painted with
//                                      stamps and the hex pane shown: MB/s
//                                      and the longest turn (and the 99th
//                                      percentile turn, which a loaded
//                                      machine's preemptions leave alone)
//   baseline_ingest_off_<...>          the same with both off

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/QtBench.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "platform/Clock.h"
#include "platform/qt/CQtMessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CHexPane.h"

namespace quillpad {
namespace {

constexpr std::size_t k100MB = std::size_t{100} << 20;
constexpr std::size_t kRecord = 256;

using bench::App;
using bench::Forever;
using bench::Ms;
using bench::Paint;

// 100 MB that came over hours: every record a few milliseconds after the
// last, so each line's stamp is a time of its own.
struct SConsole {
    SConsole() : store(channel, clock) {
        const std::string traffic = bench::MakeTraffic(k100MB);
        std::uint32_t tick = 1000;
        for (std::size_t i = 0; i < traffic.size(); i += kRecord) {
            tick += 3;
            clock.SetTick(tick);
            store.AddIncomingBytes(0, std::string_view(traffic).substr(i, kRecord));
        }
        store.FlushLiveLogs();
        view = std::make_unique<CConsoleView>(channel, store, settings);
        view->resize(900, 700);
        view->show();
        QApplication::processEvents();
        channel.Send(view->Handle(), UM_SET_SCHEME, 0, 0,
                     CPayload::Make(MakeBuiltinSchemes(EBuiltinSet::B)[0]));
        view->FinishIndex();
        QApplication::processEvents();
    }
    CQtMessageChannel channel;
    CManualClock clock{1000, 1'700'000'000};
    CDataStore store;
    SViewSettings settings;
    std::unique_ptr<CConsoleView> view;
};

SConsole& Console() {
    static SConsole& console = Forever<SConsole>();
    return console;
}

void SetStamps(SConsole& c, EStampMode mode) {
    c.settings.stampMode = mode;
    c.view->StampsChanged();
}

void BM_StampsFirstScreen(benchmark::State& state) {
    App();
    SConsole& c = Console();
    for (auto _ : state) {
        double worst = 0;
        double baseline = 0;
        for (const bool middle : {false, true}) {
            if (middle) {
                c.view->ScrollToPosition(c.view->TextSize() / 2);
            } else {
                c.view->ScrollToEnd();
            }
            Paint(*c.view->viewport());
            for (const EStampMode mode :
                 {EStampMode::Absolute, EStampMode::SinceStart, EStampMode::SincePrevious}) {
                QElapsedTimer t;
                t.start();
                Paint(*c.view->viewport());
                baseline = std::max(baseline, Ms(t));
                t.start();
                SetStamps(c, mode);
                Paint(*c.view->viewport());
                worst = std::max(worst, Ms(t));
                SetStamps(c, EStampMode::Off);
            }
        }
        bench::Figure("stamps_on_first_screen_100MB", worst, "ms");
        bench::Figure("baseline_stamps_off_first_paint_100MB", baseline, "ms");
    }
    c.view->ScrollToEnd();
}
BENCHMARK(BM_StampsFirstScreen)->Iterations(1)->Unit(benchmark::kMillisecond);

// Live data as a session brings it: records added, then the event loop's
// turn (the view's coalesced repaint, the pane following it).
void BM_Ingest(benchmark::State& state) {
    App();
    const bool on = state.range(0) != 0;
    CQtMessageChannel channel;
    CDataStore store(channel);
    SViewSettings settings;
    settings.stampMode = on ? EStampMode::Absolute : EStampMode::Off;
    CConsoleView view(channel, store, settings);
    view.resize(900, 700);
    view.show();
    view.StampsChanged();
    CHexPane pane(view);
    pane.resize(pane.PreferredWidth(), 700);
    if (on) {
        pane.show();
    }
    QApplication::processEvents();
    const std::string traffic = bench::MakeTraffic(std::size_t{4} << 20);
    constexpr std::size_t kChunk = 4096;
    constexpr std::size_t kTotal = std::size_t{256} << 20;
    for (auto _ : state) {
        std::vector<double> turns;
        QElapsedTimer all;
        all.start();
        std::size_t at = 0;
        for (std::size_t done = 0; done < kTotal;) {
            QElapsedTimer turn;
            turn.start();
            for (int k = 0; k < 64; ++k, done += kChunk) {
                store.AddIncomingBytes(0, std::string_view(traffic).substr(at, kChunk));
                at = (at + kChunk) % (traffic.size() - kChunk);
            }
            store.FlushLiveLogs();
            QApplication::processEvents();
            turns.push_back(Ms(turn));
        }
        // The last repaint, so both end where the data does.
        view.repaint();
        const double ms = Ms(all);
        const std::string name = on ? "ingest_stamps_hex" : "baseline_ingest_off";
        bench::Figure(name + "_rate", static_cast<double>(kTotal) / 1e3 / ms, "MB/s");
        std::sort(turns.begin(), turns.end());
        bench::Figure(name + "_longest_turn", turns.back(), "ms");
        bench::Figure(name + "_p99_turn", turns[turns.size() * 99 / 100], "ms");
    }
}
BENCHMARK(BM_Ingest)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
