// A history larger than the memory budget, each figure beside its baseline
// in the same run. The simulated controller floods TCP links on 127.0.0.1
// from a thread of its own, as a device would; for the console's resident
// memory it runs as a process of its own (quillpad-devsim), so that what is
// measured is the console's alone.
//
// Figures:
//   BM_ConsoleFlood/256   a console (view included) receives 1 GB, budget
//                         256 MB: the whole process's resident memory after
//                         it (goal: at most 320 MB), as the last byte arrives
//                         and once the console has gone idle for 250 ms, the
//                         store's share and the view's rendered copy
//   BM_ConsoleFlood/0     the same without a budget, today's way (baseline:
//                         about 2.4 bytes per byte)
//   BM_IngestWhileSpilling/256  session and store, budget 256 MB, 1 GB flat
//                         out, each turn ended as a console's is (goal: 300
//                         MB/s, no event-loop turn over 16 ms); /0 the same
//                         without a budget, so what spilling costs shows
//   BM_BareSocket_Baseline  a bare QTcpSocket read loop of the same flood
//   BM_ToolFlood/256, /0  quillpad-console with 1 GB in, its output to
//                         /dev/null: its peak resident memory, with the
//                         budget and without (baseline)
//   BM_StreamLoad100MB_Baseline  the store reading a 100 MB log as a stream,
//                         as every load did before logs were mapped
//   BM_LoadLog1GB         the store's load of a 1 GB log, and that plus the
//                         last screenful of records looked up (what a view
//                         that draws only what it shows needs; goal 100 ms)
//   BM_LoadLogCommand1GB  Load Workbay Log of that file through the control,
//                         command to first paint, with the view as it is
//
// QUILLPAD_BENCH_FLOOD_MB sets the size of the floods and of the large log
// (default 1000) for a quicker look.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopTurns.h"
#include "bench/support/QtBench.h"
#include "control/CQuillpadSettings.h"
#include "control/qt/CLogTurnFlush.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/BinaryLogFormat.h"
#include "data/DataStore.h"
#include "devsim/qt/CDevSimServer.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/nxr/qt/DevSimProcess.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

constexpr std::uint64_t kMB = 1000 * 1000;

std::uint64_t FloodBytes() {
    const char* mb = std::getenv("QUILLPAD_BENCH_FLOOD_MB");
    const std::uint64_t n = mb != nullptr ? std::strtoull(mb, nullptr, 10) : 0;
    return (n != 0 ? n : 1000) * kMB;
}

QApplication& App() {
    static int argc = 1;
    static char name[] = "HistoryBudgetBench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

const std::filesystem::path& Home() {
    static const std::filesystem::path home = [] {
        auto h = std::filesystem::temp_directory_path() /
                 ("quillpad-history-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(h);
        std::filesystem::create_directories(h);
        setenv("WORKBAY_HOME", (h / "workbay").c_str(), 1);
        setenv("XDG_CACHE_HOME", (h / "cache").c_str(), 1);
        return h;
    }();
    return home;
}

struct SRemoveHome {
    ~SRemoveHome() {
        std::error_code ignored;
        std::filesystem::remove_all(Home(), ignored);
    }
} g_removeHome;

void SetBudgetMB(std::uint32_t mb) {
    Home();
    CQuillpadSettings settings;
    settings.LoadFromRegistry();
    settings.m_historyMemoryMB = mb;
    settings.SaveToRegistry();
}

double Megabytes(double bytes) {
    return bytes / 1e6;
}

long long TrimmedResident() {
    malloc_trim(0);
    return bench::ResidentBytes();
}

// The simulator on a thread of its own.
class CServerThread {
  public:
    CServerThread() {
        m_thread.start();
        m_server = std::make_unique<CDevSimServer>(CDevSimServer::EMode::Tcp, SDevSimOptions{});
        m_server->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_server.get(), [this] { m_server->Listen("127.0.0.1", 0, &m_error); },
            Qt::BlockingQueuedConnection);
    }
    ~CServerThread() {
        QMetaObject::invokeMethod(
            m_server.get(), [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    std::uint16_t Port() const { return m_server ? m_server->Port() : 0; }
    std::string Spec() const { return "tcp:127.0.0.1:" + std::to_string(Port()); }
    const std::string& Error() const { return m_error; }

  private:
    QThread m_thread;
    std::unique_ptr<CDevSimServer> m_server;
    std::string m_error;
};

bool TailHas(const CDataStore& store, std::string_view what) {
    std::string tail;
    const std::size_t count = store.RecordCount();
    for (std::size_t i = count > 8 ? count - 8 : 0; i < count; ++i) {
        tail.append(store.Record(i)->bytes);
    }
    return tail.find(what) != std::string::npos;
}

void BM_ConsoleFlood(benchmark::State& state) {
    const auto budget = static_cast<std::uint32_t>(state.range(0));
    const std::uint64_t flood = FloodBytes();
    App();
    SetBudgetMB(budget);
    test::CDevSimProcess server;
    if (!server.Start({"--tcp", "0"})) {
        state.SkipWithError(("no simulator: " + server.Error()).c_str());
        return;
    }
    const std::string spec = "tcp:" + server.Where();
    for (auto _ : state) {
        const long long before = TrimmedResident();
        SControlServices services;
        services.ui = std::make_unique<test::CQuietControlUi>();
        auto control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(650, 400);
        control->show();
        control->IWBSetConnectionParameters(QByteArray::fromStdString(spec));
        bench::LongestLoopTurnMs(
            [&] { return control->ConsoleOpen() && TailHas(*control->Store(), "> "); }, 20000);
        const long long idle = bench::ResidentBytes();
        control->MessageChannel().Post(
            control->Handle(), UM_SEND_TEXT, 0, 0,
            CPayload::Make(ByteString("flood 0 " + std::to_string(flood) + "\r")));
        const auto start = std::chrono::steady_clock::now();
        const double worstTurn = bench::LongestLoopTurnMs(
            [&] { return TailHas(*control->Store(), "flood done"); }, 1800 * 1000);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!TailHas(*control->Store(), "flood done")) {
            state.SkipWithError("the flood did not end");
            return;
        }
        const long long after = bench::ResidentBytes();
        // The same once the console has gone idle, as a user sees it: what
        // the flood's last turn still held in passing is given back then.
        bench::LongestLoopTurnMs([] { return false; }, 250);
        const long long settled = bench::ResidentBytes();
        const auto store = static_cast<double>(control->Store()->ReservedBytes());
        const auto view = static_cast<double>(control->View()->Document().Text().size());
        const std::string which = "budget_" + std::to_string(budget) + "MB";
        bench::Figure("console_flood_resident_before_" + which, Megabytes(before), "MB");
        bench::Figure("console_flood_resident_connected_" + which, Megabytes(idle), "MB");
        bench::Figure("console_flood_resident_after_" + which, Megabytes(after), "MB");
        bench::Figure("console_flood_resident_idle_after_" + which, Megabytes(settled), "MB");
        bench::Figure("console_flood_resident_per_byte_" + which,
                      static_cast<double>(after - before) / static_cast<double>(flood),
                      "bytes/byte");
        bench::Figure("console_flood_store_held_" + which, Megabytes(store), "MB");
        bench::Figure("console_flood_view_text_" + which, Megabytes(view), "MB");
        bench::Figure("console_flood_rate_" + which,
                      Megabytes(static_cast<double>(flood)) / seconds, "MB/s");
        bench::Figure("console_flood_worst_turn_" + which, worstTurn, "ms");
        control.reset();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ConsoleFlood)
    ->Arg(256)
    ->Arg(0)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

class CStoreSink final : public INxrSessionEvents {
  public:
    explicit CStoreSink(CDataStore& store) : m_store(store) {}
    std::int32_t OnDataReceived(std::uint32_t owner, std::string_view data) override {
        m_store.AddIncomingBytes(owner, data);
        bytes += data.size();
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
    bool Has(std::string_view what) const { return tail.find(what) != std::string::npos; }

    std::uint64_t bytes = 0;
    std::string tail;
    bool connected = false;

  private:
    CDataStore& m_store;
};

void BM_IngestWhileSpilling(benchmark::State& state) {
    const auto budget = static_cast<std::size_t>(state.range(0));
    const std::uint64_t flood = FloodBytes();
    App();
    Home();
    CServerThread server;
    if (server.Port() == 0) {
        state.SkipWithError(("no simulator: " + server.Error()).c_str());
        return;
    }
    std::uint64_t total = 0;
    double worstTurn = 0;
    std::size_t held = 0;
    bool spilled = true;
    for (auto _ : state) {
        CQueuedChannel channel;
        CDataStore store(channel);
        store.SetHistoryBudget(budget << 20);
        CLogTurnFlush turns([&store] { return &store; });
        CNxrSession session;
        CStoreSink sink(store);
        session.Advise(&sink);
        NxrHandle handle = 0;
        session.Open(BytesToWide(server.Spec()), {}, &handle);
        std::uint32_t id = 0;
        session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        bench::LongestLoopTurnMs([&] { return sink.connected && sink.Has("> "); }, 10000);
        sink.bytes = 0;
        session.Send(BytesToWide("flood 0 " + std::to_string(flood) + "\r"), 1000, &handle);
        worstTurn = std::max(worstTurn, bench::LongestLoopTurnMs(
                                            [&] { return sink.Has("flood done"); }, 600 * 1000));
        if (!sink.Has("flood done")) {
            state.SkipWithError("the flood did not finish");
            return;
        }
        total += sink.bytes;
        held = store.ReservedBytes();
        spilled = spilled && (budget == 0 || (!store.SpillPath().empty() && !store.SpillFailed()));
        session.Close(&handle);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
    const std::string which = "budget_" + std::to_string(budget) + "MB";
    bench::Figure("ingest_worst_event_loop_turn_" + which, worstTurn, "ms");
    bench::Figure("ingest_store_held_" + which, Megabytes(static_cast<double>(held)), "MB");
    if (!spilled) {
        state.SkipWithError("the store did not spill");
    }
}
BENCHMARK(BM_IngestWhileSpilling)
    ->Arg(256)
    ->Arg(0)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_BareSocket_Baseline(benchmark::State& state) {
    const std::uint64_t flood = FloodBytes();
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
        bench::LongestLoopTurnMs([&] { return prompt; }, 10000);
        bytes = 0;
        socket.write(QByteArray::fromStdString("flood 0 " + std::to_string(flood) + "\r"));
        bench::LongestLoopTurnMs([&] { return tail.find("flood done") != std::string::npos; },
                                 600 * 1000);
        total += bytes;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}
BENCHMARK(BM_BareSocket_Baseline)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

std::string ConsoleTool() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path().parent_path() / "tools" / "console" / "quillpad-console").string();
}

// VmHWM of a running process, in kB (0 when gone).
long long PeakResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atoll(line.c_str() + 6);
        }
    }
    return 0;
}

// quillpad-console as a shell pipeline would run it: the flood command on
// its stdin, its output to /dev/null, ending when the flood's last line is in.
void BM_ToolFlood(benchmark::State& state) {
    const auto budget = static_cast<std::uint32_t>(state.range(0));
    const std::uint64_t flood = FloodBytes();
    const std::string tool = ConsoleTool();
    if (!std::filesystem::exists(tool)) {
        state.SkipWithError(("no " + tool).c_str());
        return;
    }
    App();
    SetBudgetMB(budget);
    CServerThread server;
    if (server.Port() == 0) {
        state.SkipWithError(("no simulator: " + server.Error()).c_str());
        return;
    }
    for (auto _ : state) {
        int in[2];
        if (::pipe(in) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const std::string spec = server.Spec();
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(in[0], STDIN_FILENO);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::close(in[1]);
            ::execl(tool.c_str(), tool.c_str(), spec.c_str(), "--until", "flood done", "--linger",
                    "1800000", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        const std::string command = "flood 0 " + std::to_string(flood) + "\r";
        (void)!::write(in[1], command.data(), command.size());
        ::close(in[1]);
        const auto start = std::chrono::steady_clock::now();
        // The server runs on its own thread; this one watches the child's
        // high-water mark (a child's rusage would start from this process's).
        int status = 0;
        long long peakKb = 0;
        // A loop that sleeps, looking every 20 ms: one that spins would take a
        // core from the child. The child's end ends it; a day is only a bound.
        constexpr double kADayMs = 24 * 3600 * 1000.0;
        bench::RunLoopWhile(
            [&] {
                peakKb = std::max(peakKb, PeakResidentKb(child));
                return ::waitpid(child, &status, WNOHANG) == 0;
            },
            kADayMs);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("quillpad-console did not see the flood end");
            return;
        }
        const double peak = static_cast<double>(peakKb) * 1024;
        const std::string which = "budget_" + std::to_string(budget) + "MB";
        bench::Figure("console_tool_peak_resident_" + which, Megabytes(peak), "MB");
        bench::Figure("console_tool_peak_per_byte_" + which, peak / static_cast<double>(flood),
                      "bytes/byte");
        bench::Figure("console_tool_rate_" + which, Megabytes(static_cast<double>(flood)) / seconds,
                      "MB/s");
    }
}
BENCHMARK(BM_ToolFlood)
    ->Arg(256)
    ->Arg(0)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A log of `bytes` of 64-byte console lines, written straight to the file.
std::string MakeLog(const char* name, std::uint64_t bytes) {
    const std::string path = (Home() / name).string();
    if (std::filesystem::exists(path)) {
        return path;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const auto header = EncodeBinaryLogHeader(MakeBinaryLogHeader(1'700'000'000, 0));
    std::fwrite(header.data(), 1, header.size(), file);
    std::string line(64, ' ');
    std::string chunk;
    SDataRecord record;
    record.direction = kDirectionIncoming;
    record.source = kSourceOwn;
    const std::uint64_t records = bytes / (28 + line.size());
    for (std::uint64_t i = 0; i < records; ++i) {
        for (std::size_t j = 0; j + 2 < line.size(); ++j) {
            line[j] = static_cast<char>('!' + (i + j * 7) % 90);
        }
        line[62] = '\r';
        line[63] = '\n';
        record.sequence = static_cast<std::uint32_t>(i);
        record.tick = static_cast<std::uint32_t>(i / 64);
        record.bytes = line;
        record.length = static_cast<std::uint32_t>(line.size());
        AppendBinaryLogRecord(chunk, record);
        if (chunk.size() > (std::size_t{8} << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
            chunk.clear();
        }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), file);
    std::fclose(file);
    return path;
}

void BM_StreamLoad100MB_Baseline(benchmark::State& state) {
    const std::string path = MakeLog("stream.wblog", 100 * kMB);
    CQueuedChannel channel;
    CDataStore store(channel);
    for (auto _ : state) {
        std::string error;
        auto source = CFileByteSource::Open(path, error);
        if (!source || !store.LoadLog(*source).accepted) {
            state.SkipWithError("the log did not load");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_StreamLoad100MB_Baseline)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LoadLog1GB(benchmark::State& state) {
    const std::string path = MakeLog("large.wblog", FloodBytes());
    CQueuedChannel channel;
    CDataStore store(channel);
    double worstScreen = 0;
    long long resident = 0;
    const long long before = TrimmedResident();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!store.LoadLog(path).accepted) {
            state.SkipWithError("the log did not load");
            return;
        }
        // The last screenful, as a view that draws only what it shows asks for it.
        std::size_t shown = 0;
        const std::size_t count = store.RecordCount();
        for (std::size_t i = count > 60 ? count - 60 : 0; i < count; ++i) {
            shown += store.Record(i)->length;
        }
        benchmark::DoNotOptimize(shown);
        worstScreen = std::max(worstScreen, std::chrono::duration<double, std::milli>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
        resident = bench::ResidentBytes() - before;
    }
    bench::Figure("load_log_1GB_store_to_last_screen_worst", worstScreen, "ms");
    bench::Figure("load_log_1GB_store_held", Megabytes(static_cast<double>(store.ReservedBytes())),
                  "MB");
    bench::Figure("load_log_1GB_resident_growth", Megabytes(static_cast<double>(resident)), "MB");
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_LoadLog1GB)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

class CChooseLogUi final : public test::CQuietControlUi {
  public:
    std::optional<std::string> ChooseFileToOpen(const QString&, const QString&, const std::string&,
                                                QWidget*) override {
        return path;
    }
    std::string path;
};

void BM_LoadLogCommand1GB(benchmark::State& state) {
    App();
    SetBudgetMB(256);
    const std::string path = MakeLog("large.wblog", FloodBytes());
    SControlServices services;
    auto ui = std::make_unique<CChooseLogUi>();
    ui->path = path;
    services.ui = std::move(ui);
    CQuillpad2Ctrl control(nullptr, std::move(services));
    control.resize(650, 400);
    control.show();
    QApplication::processEvents();
    double ms = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        control.OnCommand(cmd::LoadLog);
        // The fill is posted: it runs on the next turn, then the view paints.
        QApplication::processEvents();
        control.View()->viewport()->repaint();
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
    }
    bench::Figure("load_log_1GB_command_to_first_paint", ms, "ms");
    bench::Figure("load_log_1GB_command_process_resident",
                  Megabytes(static_cast<double>(bench::ResidentBytes())), "MB");
    bench::Figure("load_log_1GB_command_view_text",
                  Megabytes(static_cast<double>(control.View()->Document().Text().size())), "MB");
}
BENCHMARK(BM_LoadLogCommand1GB)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
