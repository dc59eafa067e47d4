// XModem-1K send of 1 MB over a socat pseudo-terminal pair to lrzsz's rx:
// our sender engine beside `sx -k` on the same kind of link (the baseline).
// Both are skipped when socat or lrzsz is missing. A run ends when rx has
// exited with the whole file: rx flushes its output as it exits, which on a
// pseudo-terminal often loses the ACK of the EOT, and each sender then waits
// out its own EOT time-outs, which says nothing about throughput.

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "nxr/CNxrXModemSender.h"
#include "tests/support/PtyPeer.h"

namespace {

using namespace quillpad;
using quillpad::test::CPtyPeer;
using quillpad::test::NowMs;

constexpr std::size_t kSize = 1 << 20;

ByteString Payload() {
    std::mt19937 gen(11);
    ByteString out(kSize, '\0');
    for (auto& c : out) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return out;
}

struct STempDir {
    STempDir() {
        char pattern[] = "/tmp/quillpad-xmodem-bench-XXXXXX";
        path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~STempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

bool HaveTools(benchmark::State& state) {
    for (const char* tool : {"socat", "sx", "rx"}) {
        if (!test::HaveProgram(tool)) {
            state.SkipWithError((std::string(tool) + " is not installed").c_str());
            return false;
        }
    }
    return true;
}

bool Received(const std::string& dir) {
    std::error_code ec;
    return std::filesystem::file_size(dir + "/got.bin", ec) >= kSize;
}

void BM_XModem1KSendToRx(benchmark::State& state) {
    if (!HaveTools(state)) {
        return;
    }
    const ByteString data = Payload();
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
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_XModem1KSendToRx)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_XModem1KSendToRx_SxBaseline(benchmark::State& state) {
    if (!HaveTools(state)) {
        return;
    }
    const ByteString data = Payload();
    for (auto _ : state) {
        state.PauseTiming();
        STempDir dir;
        { std::ofstream(dir.path + "/out.bin", std::ios::binary) << data; }
        CPtyPeer pty(dir.path);
        // sx waits for rx's first ask before rx starts: started after rx, it
        // may miss that 'C' and wait seconds for the next.
        const std::string command = "exec sx -q -b -k '" + dir.path + "/out.bin' <'" + dir.path +
                                    "/near' >'" + dir.path + "/near' 2>/dev/null";
        const pid_t sx = ::fork();
        if (sx == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::usleep(300000);
        state.ResumeTiming();
        pty.Start({"rx", "-q", "-b", "-c", "got.bin"});
        while (pty.PollExit() < 0) {
            ::usleep(500);
        }
        ::kill(sx, SIGKILL);
        ::waitpid(sx, nullptr, 0);
        state.PauseTiming();
        if (!Received(dir.path)) {
            state.SkipWithError("sx to rx failed");
            return;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_XModem1KSendToRx_SxBaseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace
