// Load Workbay Log of a 100 MB log, from the command to the last record
// shown in the console, beside the store's load of the same file alone.
//
// Figures:
//   BM_LoadWorkbayLogCommand100MB  the command through the control: session closed,
//                                  view cleared, file loaded, view filled, painted
//                                  (goal: at most 1.5 s)
//   BM_StoreLoadOnly100MB          CDataStore::LoadLog of the same file (baseline)

#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/support/BenchReport.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "LogReviewBench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

void PrepareHome() {
    static bool done = false;
    if (!done) {
        done = true;
        const auto home = std::filesystem::temp_directory_path() /
                          ("quillpad-review-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(home);
        setenv("WORKBAY_HOME", home.c_str(), 1);
    }
}

// 100 MB of 64-byte console lines, own and incoming, made once.
const std::string& LogFile() {
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / "quillpad_bench_review.wblog").string();
        CQueuedChannel channel;
        CDataStore store(channel);
        std::string line(64, ' ');
        const std::size_t records = 100'000'000 / (28 + line.size());
        for (std::size_t i = 0; i < records; ++i) {
            for (std::size_t j = 0; j + 2 < line.size(); ++j) {
                line[j] = static_cast<char>('!' + (i + j * 7) % 90);
            }
            line[62] = '\r';
            line[63] = '\n';
            store.AddIncomingBytes(0, line);
        }
        store.SaveBinaryLog(p);
        return p;
    }();
    return path;
}

struct SRemoveLog {
    ~SRemoveLog() {
        std::error_code ignored;
        std::filesystem::remove(
            std::filesystem::temp_directory_path() / "quillpad_bench_review.wblog", ignored);
    }
} g_removeLog;

class CChooseLogUi final : public test::CQuietControlUi {
  public:
    std::optional<std::string> ChooseFileToOpen(const QString&, const QString&, const std::string&,
                                                QWidget*) override {
        return LogFile();
    }
};

void BM_LoadWorkbayLogCommand100MB(benchmark::State& state) {
    App();
    PrepareHome();
    LogFile();
    SControlServices services;
    services.ui = std::make_unique<CChooseLogUi>();
    CQuillpad2Ctrl control(nullptr, std::move(services));
    control.resize(650, 400);
    control.show();
    QApplication::processEvents();
    double worstMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        control.OnCommand(cmd::LoadLog);
        // The fill is posted: it runs on the next turn, then the view paints.
        QApplication::processEvents();
        control.View()->viewport()->repaint();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        worstMs = std::max(worstMs, ms);
        // Every record drawn: the lines are 62 characters and a break each.
        if (control.Store()->RecordCount() == 0 ||
            control.View()->Document().Text().size() < control.Store()->RecordCount() * 62) {
            state.SkipWithError("nothing was shown");
            break;
        }
    }
    bench::Figure("load_workbay_log_command_100MB_worst", worstMs, "ms");
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(LogFile())));
}
BENCHMARK(BM_LoadWorkbayLogCommand100MB)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_StoreLoadOnly100MB(benchmark::State& state) {
    CQueuedChannel channel;
    CDataStore store(channel);
    for (auto _ : state) {
        if (!store.LoadLog(LogFile()).accepted) {
            state.SkipWithError("the log did not load");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(LogFile())));
}
BENCHMARK(BM_StoreLoadOnly100MB)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
