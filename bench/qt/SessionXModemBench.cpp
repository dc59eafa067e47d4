// XModem-1K send of 1 MB through the session, as the console runs it: a
// serial link on a socat pseudo-terminal pair with lrzsz's rx at the far end,
// the transfer on the session's I/O thread, this thread running its event
// loop. Baseline in the same run, in turns with it: `sx -k` to rx on the
// same kind of link.
// Besides the rates it reports the longest turn of this thread's event loop
// during the transfer (a 1 ms timer timing its own gaps) and the longest
// delivery of session events (goal: the loop never blocked over 16 ms).
// Each sender is already waiting when rx starts; the time runs from rx's start
// until it has exited with the whole file. A shared machine's load swings
// single runs by several times, so the best and the median of each are given.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/LrzszRun.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/support/PtyPeer.h"

namespace quillpad {
namespace {

using test::CPtyPeer;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "SessionXModemBench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

using bench::HaveLrzsz;
using bench::kXModemPayload;
using bench::LongestLoopTurnMs;
using bench::Received;
using bench::STempDir;

class CTransferSink final : public INxrSessionEvents {
  public:
    std::int32_t OnRequestCompleted(std::uint32_t id, std::uint32_t, bool ok, std::int32_t,
                                    const std::optional<WideString>&) override {
        completed[id] = ok;
        return 0;
    }
    std::int32_t OnFileProgress(std::uint32_t, std::int32_t done, std::int32_t, std::int32_t,
                                std::int32_t) override {
        bytes = done;
        return 0;
    }
    std::map<std::uint32_t, bool> completed;
    std::int32_t bytes = 0;
};

struct SRun {
    double seconds = 0;
    double worstTurnMs = 0;      // this thread's longest event-loop turn
    double worstDeliveryMs = 0;  // the longest delivery of session events in it
    std::string error;
};

// sx -k to rx: sx waits for rx's first ask, the time runs from rx's start.
SRun RunSx(const ByteString& data) {
    SRun run;
    STempDir dir;
    CPtyPeer pty(dir.path);
    {
        const bench::CSxOnNear sx(dir.path, data);
        QElapsedTimer clock;
        clock.start();
        pty.Start({"rx", "-q", "-b", "-c", "got.bin"});
        while (pty.PollExit() < 0 && clock.elapsed() < 120000) {
            ::usleep(500);
        }
        run.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    }
    if (!Received(dir.path)) {
        run.error = "sx to rx failed";
    }
    return run;
}

// The session's XModem Send, waiting for rx's first ask in the same way.
SRun RunSession(const ByteString& data) {
    SRun run;
    STempDir dir;
    { std::ofstream(dir.path + "/out.bin", std::ios::binary) << data; }
    std::filesystem::create_directory(dir.path + "/in");
    CPtyPeer pty(dir.path, false);
    CNxrSession session;
    CTransferSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    const std::string spec = "serial:" + pty.Near() + ",115200,8N1";
    std::uint32_t connect = 0;
    if (session.Open(BytesToWide(spec), {}, &handle) != 0 ||
        session.Request(0x5000, NxrEmptyParamBlock(), -1, &connect, nullptr, 0, &handle) != 0) {
        run.error = "cannot open " + spec + ": " + session.ErrorText(0);
        return run;
    }
    LongestLoopTurnMs([&] { return sink.completed.count(connect) > 0; }, 10000);
    if (!sink.completed[connect]) {
        run.error = "cannot connect: " + session.ErrorText(connect);
        return run;
    }
    CNxrParamBlock block;
    block.AddText(dir.path + "/out.bin").AddInteger(1024);
    std::uint32_t id = 0;
    session.Request(0xE003, block.Encode(), 1000, &id, nullptr, 0, &handle);
    LongestLoopTurnMs([] { return false; }, 300);
    QElapsedTimer clock;
    clock.start();
    pty.Start({"sh", "-c", "cd in && exec rx -q -b -c got.bin"});
    run.worstTurnMs = LongestLoopTurnMs(
        [&] { return pty.PollExit() >= 0 || sink.completed.count(id) > 0; }, 120000);
    run.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    // rx often loses the ACK of the EOT as it exits; the session then waits
    // out its EOT time-outs, which is no part of the throughput.
    LongestLoopTurnMs([&] { return sink.completed.count(id) > 0; }, 30000);
    run.worstDeliveryMs = static_cast<double>(session.LongestTurnNs()) / 1e6;
    session.Close(&handle);
    if (!Received(dir.path + "/in")) {
        run.error = "transfer failed: " + session.ErrorText(id);
    }
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The two in turns, so that the load of a shared machine falls on both alike.
// The iteration's time is the session's; the figures give both.
void BM_SessionXModem1KSendToRx(benchmark::State& state) {
    if (!HaveLrzsz(state)) {
        return;
    }
    App();
    const ByteString data = test::RandomBytes(kXModemPayload, 11);
    std::vector<double> session;
    std::vector<double> sx;
    double worstTurn = 0;
    double worstDelivery = 0;
    for (auto _ : state) {
        const bool sxFirst = session.size() % 2 == 0;
        const SRun a = sxFirst ? RunSx(data) : RunSession(data);
        const SRun b = sxFirst ? RunSession(data) : RunSx(data);
        const SRun& ours = sxFirst ? b : a;
        const SRun& theirs = sxFirst ? a : b;
        if (!ours.error.empty() || !theirs.error.empty()) {
            state.SkipWithError((ours.error + " " + theirs.error).c_str());
            return;
        }
        session.push_back(ours.seconds);
        sx.push_back(theirs.seconds);
        worstTurn = std::max(worstTurn, ours.worstTurnMs);
        worstDelivery = std::max(worstDelivery, ours.worstDeliveryMs);
        state.SetIterationTime(ours.seconds);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kXModemPayload));
    const double mb = kXModemPayload / 1e6;
    const double bestSession = *std::min_element(session.begin(), session.end());
    const double bestSx = *std::min_element(sx.begin(), sx.end());
    bench::Figure("xmodem1k_session_to_rx_best", mb / bestSession, "MB/s");
    bench::Figure("xmodem1k_sx_to_rx_best_baseline", mb / bestSx, "MB/s");
    bench::Figure("xmodem1k_session_to_rx_median", mb / Median(session), "MB/s");
    bench::Figure("xmodem1k_sx_to_rx_median_baseline", mb / Median(sx), "MB/s");
    bench::Figure("xmodem1k_session_vs_sx_best", 100.0 * bestSx / bestSession, "%");
    bench::Figure("xmodem1k_session_vs_sx_median", 100.0 * Median(sx) / Median(session), "%");
    bench::Figure("xmodem1k_session_worst_event_loop_turn", worstTurn, "ms");
    bench::Figure("xmodem1k_session_worst_delivery_turn", worstDelivery, "ms");
}
BENCHMARK(BM_SessionXModem1KSendToRx)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6)
    ->UseManualTime();

}  // namespace
}  // namespace quillpad
