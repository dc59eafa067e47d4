// Triggers in the whole console: a device (a TCP peer on a thread of its
// own) sends traffic as fast as the console takes it, with something for
// the triggers about every 64 KB; the console stores it, shows it and runs
// 20 triggers over it (each marks the history). Goals: ingest >= 150 MB/s
// and no event-loop turn over 16 ms. Baseline in the same run: the same
// console with no trigger.
//
// The device greets with a screen of the same text first, and the flood
// starts once the console has shown it.
//
// Reported per case: the rate the console took in, the longest turn of its
// event loop (and the UI thread's CPU time in it, beside the most CPU time
// any one turn took: a loaded machine's preemption lengthens only the
// first), and how many marks the triggers made.

#include <benchmark/benchmark.h>

#include <poll.h>
#include <unistd.h>

#include <QApplication>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/LoopbackDevice.h"
#include "bench/support/QtBench.h"
#include "bench/support/Traffic.h"
#include "bench/support/TwentyTriggers.h"
#include "control/qt/CControlTriggers.h"
#include "control/qt/CQuillpad2Ctrl.h"

namespace quillpad {
namespace {

constexpr int kRunMs = 4000;
constexpr std::size_t kGreetingBytes = 4096;
// How long the console has to show the greeting before the flood.
constexpr int kGreetingMs = 500;

// The device: one TCP client, flooded until the bench is done.
class CFloodingDevice {
  public:
    CFloodingDevice() {
        m_traffic = bench::MakeTraffic(std::size_t{8} << 20);
        for (std::size_t at = 65536; at + 32 < m_traffic.size(); at += 65536) {
            m_traffic.replace(at, 20, "ERROR: 4711 login: ");
        }
        m_thread = std::thread([this] { Run(); });
    }
    ~CFloodingDevice() {
        m_stop = true;
        m_thread.join();
    }
    int Port() const { return m_listener.Port(); }
    void Go() { m_go = true; }
    std::uint64_t Sent() const { return m_sent; }

  private:
    void Run() {
        const int client = m_listener.Accept(m_stop);
        if (client < 0) {
            return;
        }
        // A device greets before it floods: the console's first screen of
        // text (its first layout, its fonts' glyphs, the painter's threads)
        // is shown before the flood, as it is when a user watches a device
        // come up, and is not timed as part of the flood.
        std::size_t at = kGreetingBytes;
        if (::write(client, m_traffic.data(), at) != static_cast<ssize_t>(at)) {
            ::close(client);
            return;
        }
        while (!m_stop && !m_go) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (!m_stop) {
            pollfd p{client, POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const std::size_t n = std::min<std::size_t>(65536, m_traffic.size() - at);
            const ssize_t wrote = ::write(client, m_traffic.data() + at, n);
            if (wrote <= 0) {
                break;
            }
            m_sent += static_cast<std::uint64_t>(wrote);
            at = (at + static_cast<std::size_t>(wrote)) % m_traffic.size();
        }
        ::close(client);
    }

    std::string m_traffic;
    bench::CLoopbackListener m_listener;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_go{false};
    std::atomic<std::uint64_t> m_sent{0};
};

void RunConsole(benchmark::State& state, bool triggers, const std::string& name) {
    bench::App();
    bench::UseOwnHome("quillpad-trigger-bench");
    for (auto _ : state) {
        CFloodingDevice device;
        CQuillpad2Ctrl control;
        control.resize(900, 500);
        control.show();
        control.Settings().m_triggers =
            triggers ? bench::TwentyTriggers() : std::vector<STrigger>{};
        control.Triggers().Apply();
        control.IWBSetConnectionParameters(
            QByteArray::fromStdString("tcp:127.0.0.1:" + std::to_string(device.Port())));
        const auto start = std::chrono::steady_clock::now();
        const auto since = [&start] {
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                             start)
                .count();
        };
        bench::LongestLoopTurnMs([&] { return control.ConnectionStatus() == 3 || since() > 5000; },
                                 5000);
        bench::LongestLoopTurnMs([] { return false; }, kGreetingMs);
        const std::size_t actionsBefore = control.Triggers().ActionsRun();
        device.Go();
        const auto begin = std::chrono::steady_clock::now();
        const bench::SLoopTurns turns = bench::LoopTurns([] { return false; }, kRunMs);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count();
        // What the device wrote less what the socket buffers may still hold
        // is what the console took in; over seconds the buffers do not matter.
        bench::Figure(name + "_rate", static_cast<double>(device.Sent()) / 1e3 / ms, "MB/s");
        bench::Figure(name + "_longest_turn", turns.longestMs, "ms");
        bench::Figure(name + "_longest_turn_cpu", turns.longestCpuMs, "ms");
        bench::Figure(name + "_busiest_turn_cpu", turns.busiestCpuMs, "ms");
        bench::Figure(name + "_actions",
                      static_cast<double>(control.Triggers().ActionsRun() - actionsBefore),
                      "actions");
    }
}

void BM_ConsoleIngestWith20Triggers(benchmark::State& state) {
    RunConsole(state, true, "console_ingest_20_triggers");
}
BENCHMARK(BM_ConsoleIngestWith20Triggers)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ConsoleIngestNoTriggers_Baseline(benchmark::State& state) {
    RunConsole(state, false, "console_ingest_no_triggers");
}
BENCHMARK(BM_ConsoleIngestNoTriggers_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace quillpad
