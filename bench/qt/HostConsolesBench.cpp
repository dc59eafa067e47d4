// Eight consoles in one window on the simulated controller, each receiving
// 1 MB/s for a few seconds: the longest turn of the user-interface thread's
// event loop while they draw (goal: none over 16 ms, one frame). Baseline:
// the same loop with the eight consoles open and idle.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"

namespace quillpad {
namespace {

constexpr int kConsoles = 8;
constexpr int kSeconds = 4;

QApplication& App() {
    static int argc = 1;
    static char name[] = "HostConsolesBench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

struct SHost {
    SHost() {
        const auto home = std::filesystem::temp_directory_path() /
                          ("quillpad-host-bench-" + std::to_string(::getpid()));
        setenv("WORKBAY_HOME", home.c_str(), 1);
        window.resize(1600, 900);
        auto* grid = new QGridLayout(&window);
        for (int i = 0; i < kConsoles; ++i) {
            consoles.push_back(std::make_unique<CQuillpad2Ctrl>(&window));
            grid->addWidget(consoles.back().get(), i / 4, i % 4);
        }
        window.show();
        for (auto& c : consoles) {
            c->IWBSetConnectionParameters("sim:");
        }
        bench::LongestLoopTurnMs(
            [&] {
                return std::all_of(consoles.begin(), consoles.end(),
                                   [](const auto& c) { return c->ConsoleOpen(); });
            },
            10000);
    }
    ~SHost() {
        for (auto& c : consoles) {
            c.reset();
        }
    }
    std::size_t Records() const {
        std::size_t n = 0;
        for (const auto& c : consoles) {
            n += c->Store()->RecordCount();
        }
        return n;
    }

    QWidget window;
    std::vector<std::unique_ptr<CQuillpad2Ctrl>> consoles;
};

void BM_EightConsolesAt1MBps(benchmark::State& state) {
    App();
    SHost host;
    double worst = 0;
    for (auto _ : state) {
        for (auto& c : host.consoles) {
            c->MessageChannel().Post(
                c->Handle(), UM_SEND_TEXT, 0, 0,
                CPayload::Make(
                    ByteString("flood 1000000 " + std::to_string(kSeconds * 1000000) + "\r")));
        }
        // The first second settles (connects, first paints); the rest counts.
        bench::LongestLoopTurnMs([] { return false; }, 1000);
        worst =
            std::max(worst, bench::LongestLoopTurnMs([] { return false; }, (kSeconds - 1) * 1000));
    }
    bench::Figure("host_8_consoles_1MBps_worst_event_loop_turn", worst, "ms");
    bench::Figure("host_8_consoles_records", static_cast<double>(host.Records()), "records");
}
BENCHMARK(BM_EightConsolesAt1MBps)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_EightConsolesIdle_Baseline(benchmark::State& state) {
    App();
    SHost host;
    double worst = 0;
    for (auto _ : state) {
        worst =
            std::max(worst, bench::LongestLoopTurnMs([] { return false; }, (kSeconds - 1) * 1000));
    }
    bench::Figure("host_8_consoles_idle_worst_event_loop_turn", worst, "ms");
}
BENCHMARK(BM_EightConsolesIdle_Baseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace quillpad
