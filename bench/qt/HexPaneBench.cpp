// The hex pane over 100 MB of history, beside the console view, against the
// view on its own in the same run:
//   hex_first_screen_100MB           the pane made and shown over the history
//                                    to its first screen painted (worst of 5)
//   baseline_view_first_paint_100MB  the view's own paint of the same screen
//   scroll_together_worst_paint      both panes moved a page (by either one,
//                                    to random points) and painted: the worst
//                                    single paint, and the worst of the view
//                                    alone scrolled without the pane (baseline)
//   ingest_<on|off>                  live records (4 KiB each, 64 a turn)
//                                    taken in and painted: MB/s and the
//                                    longest turn, with the pane shown and
//                                    without it (baseline)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/QtBench.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
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

struct SConsole {
    SConsole() : store(channel) {
        const std::string traffic = bench::MakeTraffic(k100MB);
        for (std::size_t i = 0; i < traffic.size(); i += kRecord) {
            store.AddIncomingBytes(0, std::string_view(traffic).substr(i, kRecord));
            if (i % (kRecord * 64) == 0) {
                store.AddOutgoingBytes(0, "AT+STATUS?\r");  // turns now and then
            }
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
    CDataStore store;
    SViewSettings settings;
    std::unique_ptr<CConsoleView> view;
};

SConsole& Console() {
    static SConsole& console = Forever<SConsole>();
    return console;
}

void BM_FirstScreen(benchmark::State& state) {
    App();
    SConsole& c = Console();
    for (auto _ : state) {
        double worst = 0;
        double baseline = 0;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            Paint(*c.view->viewport());
            baseline = std::max(baseline, Ms(t));
            t.start();
            CHexPane pane(*c.view);
            pane.resize(pane.PreferredWidth(), 700);
            pane.show();
            pane.SyncFromView();
            Paint(pane);
            worst = std::max(worst, Ms(t));
        }
        bench::Figure("hex_first_screen_100MB", worst, "ms");
        bench::Figure("baseline_view_first_paint_100MB", baseline, "ms");
    }
}
BENCHMARK(BM_FirstScreen)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ScrollTogether(benchmark::State& state) {
    App();
    SConsole& c = Console();
    CHexPane pane(*c.view);
    pane.resize(pane.PreferredWidth(), 700);
    pane.show();
    pane.SyncFromView();
    std::mt19937_64 rng(11);
    const std::uint64_t rows = pane.Dump().RowCount();
    for (auto _ : state) {
        double worstView = 0;
        double worstPane = 0;
        double worstStep = 0;
        for (int i = 0; i < 40; ++i) {
            QElapsedTimer t;
            t.start();
            if (i % 2 == 0) {
                pane.ScrollToRow(rng() % rows);  // led by the pane
            } else {
                c.view->ScrollRows(40);  // led by the view; the pane follows its paint
            }
            const double move = Ms(t);
            t.start();
            Paint(*c.view->viewport());
            const double view = Ms(t);
            t.start();
            pane.SyncFromView();
            Paint(pane);
            const double hex = Ms(t);
            worstView = std::max(worstView, view);
            worstPane = std::max(worstPane, hex);
            worstStep = std::max(worstStep, move + view + hex);
        }
        bench::Figure("scroll_together_worst_view_paint", worstView, "ms");
        bench::Figure("scroll_together_worst_pane_paint", worstPane, "ms");
        bench::Figure("scroll_together_worst_step", worstStep, "ms");
        // The view alone, as it scrolled before there was a pane.
        pane.hide();
        double baseline = 0;
        for (int i = 0; i < 40; ++i) {
            QElapsedTimer t;
            t.start();
            c.view->ScrollToPosition(rng() % c.view->TextSize());
            Paint(*c.view->viewport());
            baseline = std::max(baseline, Ms(t));
        }
        bench::Figure("baseline_view_alone_worst_step", baseline, "ms");
    }
    c.view->ScrollToEnd();
}
BENCHMARK(BM_ScrollTogether)->Iterations(1)->Unit(benchmark::kMillisecond);

// Live data as a session brings it: records added, then the event loop's
// turn (the view's coalesced repaint, the pane following it).
void BM_Ingest(benchmark::State& state) {
    App();
    const bool on = state.range(0) != 0;
    CQtMessageChannel channel;
    CDataStore store(channel);
    SViewSettings settings;
    CConsoleView view(channel, store, settings);
    view.resize(900, 700);
    view.show();
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
        double longest = 0;
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
            longest = std::max(longest, Ms(turn));
        }
        // The last repaint, so both end where the data does.
        view.repaint();
        const double ms = Ms(all);
        const std::string name = on ? "ingest_on" : "baseline_ingest_off";
        bench::Figure(name + "_rate", static_cast<double>(kTotal) / 1e3 / ms, "MB/s");
        bench::Figure(name + "_longest_turn", longest, "ms");
    }
}
BENCHMARK(BM_Ingest)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
