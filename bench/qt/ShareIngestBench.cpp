// The console's own ingest while its link is shared. The simulated controller
// floods a TCP link at 50 MB/s (and flat out); the session reads it on its I/O
// thread and delivers data events to a sink on this thread, once with the
// link unshared and once shared to two clients that read on threads of their
// own. Both in the same run, taking turns as to which goes first. Goal: at
// 50 MB/s, shared, the console keeps at least 90 % of its unshared rate.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/SimServerThread.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrRequestBlocks.h"
#include "nxr/qt/CNxrSession.h"

namespace quillpad {
namespace {

constexpr std::uint64_t kFlatOutBytes = 256ull << 20;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "ShareIngestBench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class CSink final : public INxrSessionEvents {
  public:
    std::int32_t OnDataReceived(std::uint32_t, std::string_view data) override {
        bytes += data.size();
        tail.append(data.substr(data.size() > 64 ? data.size() - 64 : 0));
        if (tail.size() > 128) {
            tail.erase(0, tail.size() - 128);
        }
        return 0;
    }
    std::int32_t OnRequestCompleted(std::uint32_t, std::uint32_t code, bool ok, std::int32_t,
                                    const std::optional<WideString>&) override {
        if (code == 0x5000) {
            connected = ok;
        }
        return 0;
    }
    std::int32_t OnShareChanged(std::int32_t port, std::int32_t count,
                                std::string_view note) override {
        sharePort = port;
        clients = count;
        if (!note.empty()) {
            notes += std::string(note) + "; ";
        }
        return 0;
    }
    bool Has(const char* text) const { return tail.find(text) != std::string::npos; }

    std::uint64_t bytes = 0;
    std::string tail;
    bool connected = false;
    std::int32_t sharePort = -1;
    std::int32_t clients = 0;
    std::string notes;
};

// A client of the shared link: a blocking socket read on a thread of its own.
class CReader {
  public:
    explicit CReader(std::uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
            m_thread = std::thread([this] { Run(); });
        }
    }
    ~CReader() {
        if (m_fd >= 0) {
            ::shutdown(m_fd, SHUT_RDWR);
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CReader(const CReader&) = delete;
    CReader& operator=(const CReader&) = delete;

    bool Reading() const { return m_thread.joinable(); }
    std::uint64_t Bytes() const { return m_bytes.load(std::memory_order_relaxed); }

  private:
    void Run() {
        std::vector<char> buffer(256 << 10);
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return;
            }
            m_bytes.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        }
    }

    int m_fd;
    std::thread m_thread;
    std::atomic<std::uint64_t> m_bytes{0};
};

using bench::LongestLoopTurnMs;

struct SFlood {
    std::uint64_t bytes = 0;
    double seconds = 0;
    double worstTurnMs = 0;
};

// One flood, from the command to its closing line; none when it did not end.
std::optional<SFlood> RunFlood(CNxrSession& session, CSink& sink, NxrHandle& handle,
                               std::uint64_t rate, std::uint64_t count) {
    sink.bytes = 0;
    sink.tail.clear();
    QElapsedTimer clock;
    clock.start();
    session.Send(BytesToWide("flood " + std::to_string(rate) + " " + std::to_string(count) + "\r"),
                 1000, &handle);
    SFlood flood;
    flood.worstTurnMs = LongestLoopTurnMs([&] { return sink.Has("flood done"); }, 120000);
    flood.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    flood.bytes = sink.bytes;
    if (!sink.Has("flood done")) {
        return std::nullopt;
    }
    // The prompt, so that the next flood starts on a quiet link.
    LongestLoopTurnMs([&] { return sink.Has("> "); }, 10000);
    return flood;
}

// state.range(0): the flood's rate in MB/s, 0 for as fast as the link takes.
void BM_ShareTwoClientsIngest(benchmark::State& state) {
    const std::uint64_t rate = static_cast<std::uint64_t>(state.range(0)) * 1000000;
    const std::uint64_t count = rate == 0 ? kFlatOutBytes : rate * 2;
    App();
    bench::CSimServerThread server;
    if (server.Port() == 0) {
        state.SkipWithError(("no simulator: " + server.Error()).c_str());
        return;
    }
    CNxrSession session;
    CSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    session.Open(BytesToWide("tcp:127.0.0.1:" + std::to_string(server.Port())), {}, &handle);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    LongestLoopTurnMs([&] { return sink.connected && sink.Has("> "); }, 10000);
    if (!sink.connected) {
        state.SkipWithError("the session did not connect");
        return;
    }

    SFlood unshared;
    SFlood shared;
    std::uint64_t clientBytes = 0;
    int turn = 0;
    for (auto _ : state) {
        for (int leg = 0; leg < 2; ++leg) {
            const bool share = (leg + turn) % 2 == 1;
            std::vector<std::unique_ptr<CReader>> readers;
            if (share) {
                session.Request(nxr_request::ShareStart, NxrShareBlock(0, false, false).Encode(),
                                -1, &id, nullptr, 0, &handle);
                LongestLoopTurnMs([&] { return sink.sharePort > 0; }, 10000);
                for (int i = 0; i < 2 && sink.sharePort > 0; ++i) {
                    readers.push_back(
                        std::make_unique<CReader>(static_cast<std::uint16_t>(sink.sharePort)));
                }
                LongestLoopTurnMs([&] { return sink.clients == 2; }, 10000);
                if (sink.clients != 2 || !readers[0]->Reading() || !readers[1]->Reading()) {
                    state.SkipWithError("the two clients did not attach");
                    return;
                }
            }
            const auto flood = RunFlood(session, sink, handle, rate, count);
            if (!flood) {
                state.SkipWithError("the flood did not finish");
                return;
            }
            SFlood& into = share ? shared : unshared;
            into.bytes += flood->bytes;
            into.seconds += flood->seconds;
            into.worstTurnMs = std::max(into.worstTurnMs, flood->worstTurnMs);
            if (share) {
                // Each client gets every byte the console got.
                const auto caughtUp = [&] {
                    return readers[0]->Bytes() >= flood->bytes &&
                           readers[1]->Bytes() >= flood->bytes;
                };
                LongestLoopTurnMs(caughtUp, 10000);
                if (!caughtUp() || !sink.notes.empty()) {
                    state.SkipWithError(("a client fell behind: " + sink.notes).c_str());
                    return;
                }
                clientBytes += readers[0]->Bytes() + readers[1]->Bytes();
                session.Request(nxr_request::ShareStop, NxrEmptyParamBlock(), -1, &id, nullptr, 0,
                                &handle);
                LongestLoopTurnMs([&] { return sink.sharePort == 0; }, 10000);
                readers.clear();  // the server closed them: their threads end
            }
        }
        ++turn;
    }
    session.Close(&handle);

    const double unsharedRate = static_cast<double>(unshared.bytes) / unshared.seconds / 1e6;
    const double sharedRate = static_cast<double>(shared.bytes) / shared.seconds / 1e6;
    const double kept = 100.0 * sharedRate / unsharedRate;
    state.counters["unshared_MBps"] = unsharedRate;
    state.counters["shared_MBps"] = sharedRate;
    state.counters["kept_pct"] = kept;
    state.counters["clients_MB"] = static_cast<double>(clientBytes) / 1e6;
    const std::string which =
        rate == 0 ? std::string("flat_out") : std::to_string(rate / 1000000) + "MBps";
    bench::Figure("share_ingest_unshared_" + which, unsharedRate, "MB/s");
    bench::Figure("share_ingest_two_clients_" + which, sharedRate, "MB/s");
    bench::Figure("share_ingest_kept_" + which, kept, "%");
    bench::Figure("share_ingest_two_clients_worst_event_loop_turn_" + which, shared.worstTurnMs,
                  "ms");
}
BENCHMARK(BM_ShareTwoClientsIngest)
    ->Arg(50)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
}  // namespace quillpad
