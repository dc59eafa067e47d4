// What a closed console gives back: Workbay with two consoles on the
// simulated controller. The second receives a 500 MB flood; then the first
// floods without end and, once it holds as much, is closed the way the host
// closes it (File > Close Console), its data still streaming. Reports the
// resident memory at each step. Baseline: the same host with the second
// console's 500 MB received and the first open but never fed (goal: after
// the close at most 10 % above it). The heap's figures beside it tell what
// is still in use from what the allocator keeps free: a closed console that
// left something referenced shows as more in use after the close than at
// the baseline; the free figure counts pages already given back as well.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

#include <malloc.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "bench/support/BenchReport.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "host/qt/CConsoleWindow.h"
#include "host/qt/CPluginCatalog.h"
#include "host/qt/CWorkbayWindow.h"
#include "host/qt/IWorkbayUi.h"
#include "platform/CRegistryStore.h"
#include "platform/Memory.h"
#include "platform/qt/IWorkbayPlugin.h"

namespace quillpad {
namespace {

constexpr std::uint64_t kFloodBytes = 500ull * 1000 * 1000;
constexpr int kFloodLimitMs = 600 * 1000;

QApplication& App() {
    static int argc = 1;
    static char name[] = "ConsoleMemoryBench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

class CConsolePlugin final : public IWorkbayPlugin {
  public:
    QString ProgId() const override { return QStringLiteral("QUILLPAD2.Quillpad2Ctrl.1"); }
    QWidget* CreateControl(QWidget* parent) override { return new CQuillpad2Ctrl(parent); }
    std::int32_t RegisterServer(const QString&) override { return kSelfRegOk; }
    std::int32_t UnregisterServer() override { return kSelfRegOk; }
};

class CSilentUi final : public IWorkbayUi {
  public:
    void ShowMessage(QWidget*, EWorkbayMessage, const QString&, const QString&) override {}
    std::optional<SNewConsoleChoice> AskNewConsole(QWidget*, const SNewConsoleOptions&) override {
        return std::nullopt;
    }
};

void RunLoopUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

CQuillpad2Ctrl* ControlOf(CConsoleWindow* console) {
    return console != nullptr ? qobject_cast<CQuillpad2Ctrl*>(console->Control()) : nullptr;
}

// Whether the simulator's closing line of a flood is among the last records.
bool FloodDone(const CQuillpad2Ctrl& control) {
    const CDataStore& store = *control.Store();
    const std::size_t count = store.RecordCount();
    for (std::size_t i = count > 8 ? count - 8 : 0; i < count; ++i) {
        const auto record = store.Record(i);
        if (record && std::string_view(record->bytes).find("flood done") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Flat out; a count of 0 floods until stopped.
void StartFlood(CQuillpad2Ctrl& control, std::uint64_t bytes) {
    control.MessageChannel().Post(
        control.Handle(), UM_SEND_TEXT, 0, 0,
        CPayload::Make(ByteString("flood 0 " + std::to_string(bytes) + "\r")));
}

struct SHeap {
    double inUse = 0;
    double free = 0;
};

SHeap HeapNow() {
    SHeap heap;
#ifdef __GLIBC__
    const struct mallinfo2 info = mallinfo2();
    heap.inUse = static_cast<double>(info.uordblks + info.hblkhd) / 1e6;
    heap.free = static_cast<double>(info.fordblks) / 1e6;
#endif
    return heap;
}

struct SHost {
    SHost() {
        const auto home = std::filesystem::temp_directory_path() /
                          ("quillpad-memory-bench-" + std::to_string(::getpid()));
        setenv("WORKBAY_HOME", home.c_str(), 1);
        store.emplace(CRegistryStore::Open(ERegistryRoot::CurrentUser));
        catalog.Add(QStringLiteral("Quillpad2"), &plugin);
        window = std::make_unique<CWorkbayWindow>(catalog, ui, *store,
                                                  (home / "workspace.ini").string());
        window->show();
        first = window->OpenConsole(QStringLiteral("Quillpad2"), "sim:");
        second = window->OpenConsole(QStringLiteral("Quillpad2"), "sim:");
        RunLoopUntil(
            [&] {
                return ControlOf(first) && ControlOf(first)->ConsoleOpen() && ControlOf(second) &&
                       ControlOf(second)->ConsoleOpen();
            },
            10000);
    }
    ~SHost() { window.reset(); }

    // As File > Close Console does it, then the turns that finish the work.
    void CloseFirst() {
        QPointer<QWidget> control = first->Control();
        window->Area()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
        window->Area()->closeActiveSubWindow();
        first = nullptr;
        RunLoopUntil([&] { return control.isNull(); }, 10000);
        // The session's I/O thread ends and frees its side in its own time.
        RunLoopUntil([] { return false; }, 3000);
    }

    CConsolePlugin plugin;
    CSilentUi ui;
    CPluginCatalog catalog;
    std::optional<CRegistryStore> store;
    std::unique_ptr<CWorkbayWindow> window;
    CConsoleWindow* first = nullptr;
    CConsoleWindow* second = nullptr;
};

double Megabytes(long long bytes) {
    return static_cast<double>(bytes) / 1e6;
}

void BM_TwoConsolesReceive500MBCloseOne(benchmark::State& state) {
    App();
    for (auto _ : state) {
        SHost host;
        CQuillpad2Ctrl* first = ControlOf(host.first);
        CQuillpad2Ctrl* second = ControlOf(host.second);
        if (first == nullptr || second == nullptr) {
            state.SkipWithError("the consoles did not open");
            return;
        }
        const long long idle = bench::ResidentBytes();
        StartFlood(*second, kFloodBytes);
        RunLoopUntil([&] { return FloodDone(*second); }, kFloodLimitMs);
        if (!FloodDone(*second)) {
            state.SkipWithError("the second console's flood did not end");
            return;
        }
        const long long baseline = bench::ResidentBytes();
        const SHeap baselineHeap = HeapNow();
        StartFlood(*first, 0);
        const std::size_t held = second->Store()->ReservedBytes();
        RunLoopUntil([&] { return first->Store()->ReservedBytes() >= held; }, kFloodLimitMs);
        const long long before = bench::ResidentBytes();
        // The host's own release, timed: it runs on the user-interface thread.
        double releaseMs = 0;
        host.window->SetMemoryRelease([&] {
            QElapsedTimer clock;
            clock.start();
            ReturnFreedMemory();
            releaseMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        });
        host.CloseFirst();
        const long long after = bench::ResidentBytes();
        const SHeap afterHeap = HeapNow();
        bench::Figure("console_memory_host_two_idle_consoles", Megabytes(idle), "MB");
        bench::Figure("console_memory_baseline_one_of_two_fed", Megabytes(baseline), "MB");
        bench::Figure("console_memory_both_fed_before_close", Megabytes(before), "MB");
        bench::Figure("console_memory_after_closing_one", Megabytes(after), "MB");
        bench::Figure("console_memory_after_close_over_baseline",
                      100.0 * static_cast<double>(after - baseline) / static_cast<double>(baseline),
                      "%");
        bench::Figure("console_memory_heap_in_use_baseline", baselineHeap.inUse, "MB");
        bench::Figure("console_memory_heap_in_use_after_close", afterHeap.inUse, "MB");
        bench::Figure("console_memory_heap_free_after_close", afterHeap.free, "MB");
        bench::Figure("console_memory_release_time", releaseMs, "ms");
    }
}
BENCHMARK(BM_TwoConsolesReceive500MBCloseOne)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace quillpad
