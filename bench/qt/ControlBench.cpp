// Making a console and tearing it down: the control with its window, menus
// and view, a scan of 100 style sheets and 99 key set files in the data
// folder, and the first style selected. Baseline: a bare QWidget holding a
// QPlainTextEdit, made and destroyed in the same run (goal: at most 2x).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/support/BenchReport.h"
#include "control/CQuillpadSettings.h"
#include "control/qt/CQuillpad2Ctrl.h"

namespace quillpad {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "ControlBench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// A Workbay home of its own, with the data folder filled once.
void PrepareHome() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    const auto home = std::filesystem::temp_directory_path() /
                      ("quillpad-control-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    setenv("WORKBAY_HOME", home.c_str(), 1);
    const std::string data = CQuillpadSettings().m_dataDirectory;
    for (int i = 0; i < 100; ++i) {
        std::ofstream(data + "/style" + std::to_string(i) + ".tss")
            << "[Scheme1.Info]\r\nName=Style " << i << "\r\nBackgroundColor=0\r\n\r\n"
            << "[Scheme1.Rule1]\r\nName=Incoming\r\nDirection_MatchValue=1\r\n"
            << "Format_ApplyColor=TRUE\r\nFormat_FontColor=65280\r\n\r\n[Scheme1.Rule2]\r\n\r\n";
    }
    for (int i = 0; i < 99; ++i) {
        std::ofstream(data + "/keys" + std::to_string(i) + ".keyset")
            << "[Shortcuts]\r\nF1=help\\r\r\n";
    }
}

double g_consoleMs = 0;
double g_bareMs = 0;

void BM_CreateAndDestroyConsole(benchmark::State& state) {
    App();
    PrepareHome();
    {
        // The process's first console also loads the font database and the
        // built-in styles, once for all consoles: not part of making one.
        CQuillpad2Ctrl warmUp;
        warmUp.show();
        QApplication::processEvents();
    }
    QApplication::processEvents();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        {
            CQuillpad2Ctrl control;
            control.resize(650, 400);
            control.show();
            QApplication::processEvents();
            benchmark::DoNotOptimize(control.Schemes().Current());
        }
        QApplication::processEvents();
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    g_consoleMs = total / static_cast<double>(state.iterations());
    bench::Figure("console_create_destroy", g_consoleMs, "ms");
}
BENCHMARK(BM_CreateAndDestroyConsole)->Unit(benchmark::kMillisecond)->Iterations(20);

// Where a console's making and teardown spend their time, step by step.
void BM_ConsoleSteps(benchmark::State& state) {
    App();
    PrepareHome();
    std::map<std::string, double> spent;
    for (auto _ : state) {
        auto last = std::chrono::steady_clock::now();
        SControlServices services;
        services.trace = [&](const std::string& step) {
            const auto now = std::chrono::steady_clock::now();
            spent[step] += std::chrono::duration<double, std::milli>(now - last).count();
            last = now;
        };
        CQuillpad2Ctrl control(nullptr, std::move(services));
    }
    for (const auto& [step, ms] : spent) {
        bench::Figure("console_step_" + step, ms / static_cast<double>(state.iterations()), "ms");
    }
}
BENCHMARK(BM_ConsoleSteps)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_CreateAndDestroyPlainTextEdit_Baseline(benchmark::State& state) {
    App();
    {
        QPlainTextEdit warmUp;
        warmUp.show();
        QApplication::processEvents();
    }
    QApplication::processEvents();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        {
            QWidget widget;
            auto* layout = new QVBoxLayout(&widget);
            layout->addWidget(new QPlainTextEdit(&widget));
            widget.resize(650, 400);
            widget.show();
            QApplication::processEvents();
        }
        QApplication::processEvents();
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    g_bareMs = total / static_cast<double>(state.iterations());
    bench::Figure("bare_plaintextedit_create_destroy", g_bareMs, "ms");
    if (g_consoleMs > 0 && g_bareMs > 0) {
        bench::Figure("console_create_destroy_vs_bare", g_consoleMs / g_bareMs, "x");
    }
}
BENCHMARK(BM_CreateAndDestroyPlainTextEdit_Baseline)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace quillpad
