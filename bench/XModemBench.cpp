// XModem-1K send of 1 MB over a socat pseudo-terminal pair to lrzsz's rx:
// our sender engine beside `sx -k` on the same kind of link (the baseline).
// Both are skipped when socat or lrzsz is missing. A run ends when rx has
// exited with the whole file: rx flushes its output as it exits, which on a
// pseudo-terminal often loses the ACK of the EOT, and each sender then waits
// out its own EOT time-outs, which says nothing about throughput.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include "bench/support/LrzszRun.h"
#include "nxr/CNxrXModemSender.h"
#include "tests/support/PtyPeer.h"

namespace {

using namespace quillpad;
using quillpad::bench::HaveLrzsz;
using quillpad::bench::kXModemPayload;
using quillpad::bench::Received;
using quillpad::bench::STempDir;
using quillpad::test::CPtyPeer;
using quillpad::test::NowMs;

void BM_XModem1KSendToRx(benchmark::State& state) {
    if (!HaveLrzsz(state)) {
        return;
    }
    const ByteString data = test::RandomBytes(kXModemPayload, 11);
    for (auto _ : state) {
        state.PauseTiming();
        STempDir dir;
        CPtyPeer pty(dir.path);
        pty.Start({"rx", "-q", "-b", "-c", "got.bin"});
        state.ResumeTiming();
        CNxrXModemSender sender(data, {.use1K = true}, NowMs());
        while (sender.State() == EXModemState::Running && pty.PollExit() < 0) {
            const ByteString out = sender.TakeOutput();
            if (!out.empty()) {
                pty.Write(out);
            }
            const std::string in = pty.Read(20);
            sender.Feed(in, NowMs());
            sender.Tick(NowMs());
        }
        state.PauseTiming();
        if (sender.State() == EXModemState::Failed || !Received(dir.path)) {
            state.SkipWithError(("transfer failed: " + sender.ErrorText()).c_str());
            return;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kXModemPayload));
}
BENCHMARK(BM_XModem1KSendToRx)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_XModem1KSendToRx_SxBaseline(benchmark::State& state) {
    if (!HaveLrzsz(state)) {
        return;
    }
    const ByteString data = test::RandomBytes(kXModemPayload, 11);
    for (auto _ : state) {
        state.PauseTiming();
        STempDir dir;
        CPtyPeer pty(dir.path);
        {
            const quillpad::bench::CSxOnNear sx(dir.path, data);
            state.ResumeTiming();
            pty.Start({"rx", "-q", "-b", "-c", "got.bin"});
            while (pty.PollExit() < 0) {
                ::usleep(500);
            }
        }  // sx ends here
        state.PauseTiming();
        if (!Received(dir.path)) {
            state.SkipWithError("sx to rx failed");
            return;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kXModemPayload));
}
BENCHMARK(BM_XModem1KSendToRx_SxBaseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace
