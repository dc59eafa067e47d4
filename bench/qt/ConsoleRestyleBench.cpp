// A style change over a long history, in the console view, against what the
// view did before (every record rendered again into a display document of
// the whole history) in the same run:
//   baseline_eager_replay_<size>_<scheme>   the whole history rendered at once
//   restyle_first_screen_<size>             command to first screen painted
//   restyle_index_<size>                    the index of the rest, built in the
//                                           event loop's turns (MB/s of records),
//                                           and the longest turn meanwhile (the
//                                           gap between 1 ms ticks; the longest
//                                           event by the clock and by the thread's
//                                           processor time)
//   jump_to_any_point_<size>                the view moved to a random point of
//                                           the history and painted (worst of 20)
// The 1 GB history is kept under a 256 MB memory budget: the rest lives in
// the store's spill file, as it would in the console.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "platform/qt/CQtMessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

constexpr std::size_t k100MB = std::size_t{100} << 20;
constexpr std::size_t kRecord = 256;
constexpr std::size_t kBudget = std::size_t{256} << 20;

template <class T, class... Args>
T& Forever(Args&&... args) {
    return *std::make_unique<T>(std::forward<Args>(args)...).release();
}

// Times every event handled at the outermost level, by the clock and by the
// thread's own processor time: on a loaded machine the first also counts
// the time the thread waited for a processor, the second only what the
// handler itself took.
class CTimingApp final : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth++ == 0) {
            m_wall.start();
            m_cpu = ThreadCpuNs();
        }
        const bool result = QApplication::notify(receiver, event);
        if (--m_depth == 0 && recording) {
            longestWallMs =
                std::max(longestWallMs, static_cast<double>(m_wall.nsecsElapsed()) / 1e6);
            longestCpuMs = std::max(longestCpuMs, static_cast<double>(ThreadCpuNs() - m_cpu) / 1e6);
        }
        return result;
    }
    static long long ThreadCpuNs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    }
    bool recording = false;
    double longestWallMs = 0;
    double longestCpuMs = 0;

  private:
    int m_depth = 0;
    QElapsedTimer m_wall;
    long long m_cpu = 0;
};

CTimingApp& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    static CTimingApp& app = Forever<CTimingApp>(argc, argv);
    return app;
}

const std::vector<std::shared_ptr<CStyleScheme>>& Schemes() {
    static const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    return schemes;
}

double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// `copies` times 100 MB of console traffic in 256-byte records, and a view.
struct SConsole {
    explicit SConsole(std::size_t copies) : store(channel) {
        if (copies > 1) {
            const char* tmp = std::getenv("TMPDIR");
            store.SetHistoryBudget(
                kBudget, std::string(tmp != nullptr ? tmp : "/tmp") + "/quillpad-restyle-bench");
        }
        const std::string traffic = bench::MakeTraffic(k100MB);
        for (std::size_t c = 0; c < copies; ++c) {
            for (std::size_t i = 0; i < traffic.size(); i += kRecord) {
                store.AddIncomingBytes(0, std::string_view(traffic).substr(i, kRecord));
            }
            store.FlushLiveLogs();
        }
        bytes = traffic.size() * copies;
        // The store lives until the process ends and is never closed: its
        // spill file goes now, the store keeps it open and mapped.
        if (const std::string spill = store.SpillPath(); !spill.empty()) {
            std::error_code ignored;
            std::filesystem::remove(spill, ignored);
        }
        view = std::make_unique<CConsoleView>(channel, store, settings);
        view->resize(1000, 700);
        view->show();
        QApplication::processEvents();
        SetScheme(0);
        view->FinishIndex();
        QApplication::processEvents();
    }
    void SetScheme(std::size_t index) {
        channel.Send(view->Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(Schemes()[index]));
    }
    void Paint() {
        QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        view->viewport()->render(&image);
    }
    CQtMessageChannel channel;
    CDataStore store;
    SViewSettings settings;
    std::unique_ptr<CConsoleView> view;
    std::size_t bytes = 0;
};

SConsole& Console(std::int64_t size) {
    static SConsole* small = nullptr;
    static SConsole* big = nullptr;
    if (size == 1) {
        if (small == nullptr) {
            small = &Forever<SConsole>(1);
        }
        return *small;
    }
    if (big == nullptr) {
        big = &Forever<SConsole>(10);
    }
    return *big;
}

const char* SizeName(std::int64_t size) {
    return size == 1 ? "100MB" : "1GB";
}

// What a style change cost the view before: the whole history rendered into
// one display document (of 100 MB; 1 GB would not fit the budget at all).
void BM_EagerReplayBaseline(benchmark::State& state) {
    App();
    SConsole& c = Console(1);
    const std::size_t scheme = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        CDisplayDocument document;
        QElapsedTimer t;
        t.start();
        CStyledRenderer renderer;
        renderer.SetScheme(Schemes()[scheme].get());
        for (std::size_t i = 0; i < c.store.RecordCount(); ++i) {
            renderer.Render(
                document, RenderRecordOf(*c.store.Record(i), static_cast<std::uint32_t>(i)), false);
        }
        const double ms = Ms(t);
        bench::Figure(
            std::string("baseline_eager_replay_100MB_") + (scheme == 2 ? "hex" : "normal"), ms,
            "ms");
        bench::Figure("baseline_eager_replay_rate", static_cast<double>(c.bytes) / 1e3 / ms,
                      "MB/s");
    }
}
BENCHMARK(BM_EagerReplayBaseline)->Arg(0)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

// Hex Mode and back: the command to the first screen painted, then the
// index of the rest in the event loop's turns.
void BM_Restyle(benchmark::State& state) {
    App();
    SConsole& c = Console(state.range(0));
    const std::string size = SizeName(state.range(0));
    for (auto _ : state) {
        for (const std::size_t scheme : {std::size_t{2}, std::size_t{0}}) {
            QElapsedTimer t;
            t.start();
            c.SetScheme(scheme);
            c.Paint();
            const double first = Ms(t);
            const bool indexing = c.view->IsIndexing();
            t.start();
            App().longestWallMs = App().longestCpuMs = 0;
            App().recording = true;
            const double turn =
                bench::LongestLoopTurnMs([&] { return !c.view->IsIndexing(); }, 600000);
            App().recording = false;
            const double index = Ms(t);
            const std::string name = scheme == 2 ? "hex" : "normal";
            bench::Figure("restyle_first_screen_" + size + "_" + name, first, "ms");
            if (indexing) {
                bench::Figure("restyle_index_" + size + "_" + name,
                              static_cast<double>(c.bytes) / 1e3 / index, "MB/s");
                bench::Figure("restyle_index_longest_turn_" + size + "_" + name, turn, "ms");
                bench::Figure("restyle_index_longest_event_" + size + "_" + name,
                              App().longestWallMs, "ms");
                bench::Figure("restyle_index_longest_event_cpu_" + size + "_" + name,
                              App().longestCpuMs, "ms");
            }
        }
    }
}
BENCHMARK(BM_Restyle)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

// A drag of the scroll bar: the view moved to a random point and painted.
void BM_JumpToAnyPoint(benchmark::State& state) {
    App();
    SConsole& c = Console(state.range(0));
    c.view->FinishIndex();
    std::mt19937_64 rng(7);
    const std::size_t size = c.view->TextSize();
    for (auto _ : state) {
        std::vector<double> ms;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer t;
            t.start();
            c.view->ScrollToPosition(rng() % size);
            c.Paint();
            ms.push_back(Ms(t));
        }
        std::sort(ms.begin(), ms.end());
        bench::Figure(std::string("jump_to_any_point_") + SizeName(state.range(0)) + "_worst",
                      ms.back(), "ms");
        bench::Figure(std::string("jump_to_any_point_") + SizeName(state.range(0)) + "_median",
                      ms[ms.size() / 2], "ms");
    }
    c.view->ScrollToEnd();
}
BENCHMARK(BM_JumpToAnyPoint)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
