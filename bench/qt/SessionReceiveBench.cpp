// Sustained receive rate of the session: the simulated controller floods a
// TCP link on 127.0.0.1 as fast as it can; the session reads it on its I/O
// thread and delivers data events to a sink on this thread. Baseline: a bare
// QTcpSocket reading the same flood on this thread, with no session at all.
// Also reports the longest turn of this thread's event loop while the
// session delivers (goal: none over 16 ms).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/SimServerThread.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"

namespace quillpad {
namespace {

constexpr std::uint64_t kFloodBytes = 256ull << 20;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "SessionReceiveBench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

using CServerThread = bench::CSimServerThread;

class CCountingSink final : public INxrSessionEvents {
  public:
    std::int32_t OnDataReceived(std::uint32_t, std::string_view data) override {
        bytes += data.size();
        // The closing line tells that the flood is over.
        tail.append(data.substr(data.size() > 64 ? data.size() - 64 : 0));
        if (tail.size() > 128) {
            tail.erase(0, tail.size() - 128);
        }
        return 0;
    }
    std::int32_t OnRequestCompleted(std::uint32_t, std::uint32_t, bool ok, std::int32_t,
                                    const std::optional<WideString>&) override {
        connected = ok;
        return 0;
    }
    bool Done() const { return tail.find("flood done") != std::string::npos; }

    std::uint64_t bytes = 0;
    std::string tail;
    bool connected = false;
};

using bench::LongestLoopTurnMs;

// state.range(0): the flood's rate in MB/s, 0 for as fast as the link takes.
void BM_SessionReceiveTcp(benchmark::State& state) {
    const std::uint64_t rate = static_cast<std::uint64_t>(state.range(0)) * 1000000;
    const std::uint64_t floodBytes = rate == 0 ? kFloodBytes : rate * 2;
    App();
    CServerThread server;
    if (server.Port() == 0) {
        state.SkipWithError(("no simulator: " + server.Error()).c_str());
        return;
    }
    double worstTurn = 0;
    double worstDelivery = 0;
    std::uint64_t total = 0;
    for (auto _ : state) {
        CNxrSession session;
        CCountingSink sink;
        session.Advise(&sink);
        NxrHandle handle = 0;
        const std::string spec = "tcp:127.0.0.1:" + std::to_string(server.Port());
        session.Open(BytesToWide(spec), {}, &handle);
        std::uint32_t id = 0;
        session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        LongestLoopTurnMs([&] { return sink.connected; }, 10000);
        LongestLoopTurnMs([&] { return sink.tail.find("> ") != std::string::npos; }, 10000);
        sink.bytes = 0;
        session.Send(
            BytesToWide("flood " + std::to_string(rate) + " " + std::to_string(floodBytes) + "\r"),
            1000, &handle);
        worstTurn = std::max(worstTurn, LongestLoopTurnMs([&] { return sink.Done(); }, 120000));
        if (!sink.Done()) {
            state.SkipWithError("the flood did not finish");
            return;
        }
        total += sink.bytes;
        worstDelivery = std::max(worstDelivery, static_cast<double>(session.LongestTurnNs()) / 1e6);
        session.Close(&handle);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
    const std::string which =
        rate == 0 ? std::string("flat_out") : std::to_string(rate / 1000000) + "MBps";
    // The whole turn, as this thread saw it (scheduling on a busy machine
    // included), and the part of it that the session's delivery took.
    bench::Figure("session_receive_worst_event_loop_turn_" + which, worstTurn, "ms");
    bench::Figure("session_receive_worst_delivery_turn_" + which, worstDelivery, "ms");
}
BENCHMARK(BM_SessionReceiveTcp)
    ->Arg(0)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_BareSocketReceiveTcp_Baseline(benchmark::State& state) {
    App();
    CServerThread server;
    if (server.Port() == 0) {
        state.SkipWithError(("no simulator: " + server.Error()).c_str());
        return;
    }
    std::uint64_t total = 0;
    for (auto _ : state) {
        QTcpSocket socket;
        std::uint64_t bytes = 0;
        std::string tail;
        bool prompt = false;
        QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
            const QByteArray chunk = socket.readAll();
            bytes += static_cast<std::uint64_t>(chunk.size());
            tail.append(chunk.constData() + std::max<qsizetype>(0, chunk.size() - 64),
                        static_cast<std::size_t>(std::min<qsizetype>(64, chunk.size())));
            if (tail.size() > 128) {
                tail.erase(0, tail.size() - 128);
            }
            prompt = prompt || tail.find("> ") != std::string::npos;
        });
        socket.connectToHost(QStringLiteral("127.0.0.1"), server.Port());
        LongestLoopTurnMs([&] { return prompt; }, 10000);
        bytes = 0;
        socket.write(QByteArray::fromStdString("flood 0 " + std::to_string(kFloodBytes) + "\r"));
        LongestLoopTurnMs([&] { return tail.find("flood done") != std::string::npos; }, 120000);
        total += bytes;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}
BENCHMARK(BM_BareSocketReceiveTcp_Baseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
}  // namespace quillpad
