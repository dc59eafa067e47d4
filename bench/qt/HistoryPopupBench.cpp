// The history popup with a long history: opening it (filled, placed and
// shown) and one search keystroke, beside filling a bare QListWidget with the
// same entries in the same run.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QStringList>

#include <chrono>
#include <string>

#include "bench/support/BenchReport.h"
#include "input/qt/CHistoryPopup.h"

namespace quillpad {
namespace {

constexpr int kEntries = 10000;

QApplication& App() {
    static int argc = 1;
    static char name[] = "history_popup_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

CCommandHistory LongHistory() {
    std::vector<ByteString> entries;
    entries.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        // Commands as engineers type them: a few verbs with arguments.
        static const char* verbs[] = {"ver", "status ", "dump 0x", "set speed ", "read reg "};
        entries.push_back(verbs[i % 5] + std::to_string(i * 7919 % 100000));
    }
    CCommandHistory history;
    history.SetEntries(std::move(entries));
    return history;
}

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

double g_openMs = 0;

void BM_HistoryPopupOpen(benchmark::State& state) {
    App();
    CCommandHistory history = LongHistory();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CHistoryPopup popup(history, QPoint(100, 500));
        popup.show();
        QApplication::processEvents();
        total += Ms(start);
        popup.reject();
    }
    g_openMs = total / static_cast<double>(state.iterations());
    bench::Figure("history_popup_open_10k", g_openMs, "ms");
}
BENCHMARK(BM_HistoryPopupOpen)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_HistoryPopupSearchKey(benchmark::State& state) {
    App();
    CCommandHistory history = LongHistory();
    CHistoryPopup popup(history, QPoint(100, 500));
    popup.show();
    QApplication::processEvents();
    double worst = 0;
    double total = 0;
    int keys = 0;
    // "SET" and "READ" walk the list from one end to the other.
    const int sequence[] = {Qt::Key_S, Qt::Key_E, Qt::Key_T, Qt::Key_Escape,
                            Qt::Key_R, Qt::Key_E, Qt::Key_A, Qt::Key_D};
    for (auto _ : state) {
        for (const int key : sequence) {
            if (key == Qt::Key_Escape) {
                QKeyEvent down(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
                QApplication::sendEvent(popup.List(), &down);  // forgets the prefix
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(key)));
            QApplication::sendEvent(popup.List(), &press);
            QApplication::processEvents();
            const double ms = Ms(start);
            worst = std::max(worst, ms);
            total += ms;
            ++keys;
        }
    }
    bench::Figure("history_popup_search_key_mean", total / keys, "ms");
    bench::Figure("history_popup_search_key_worst", worst, "ms");
}
BENCHMARK(BM_HistoryPopupSearchKey)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_BareListWidgetFill_Baseline(benchmark::State& state) {
    App();
    const CCommandHistory history = LongHistory();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QListWidget list;
        QStringList lines;
        for (const ByteString& entry : history.Entries()) {
            lines.append(QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
        }
        list.addItems(lines);
        list.resize(220, 150);
        list.show();
        QApplication::processEvents();
        total += Ms(start);
    }
    const double bare = total / static_cast<double>(state.iterations());
    bench::Figure("bare_listwidget_fill_10k", bare, "ms");
    if (g_openMs > 0 && bare > 0) {
        bench::Figure("history_popup_open_vs_bare", g_openMs / bare, "x");
    }
}
BENCHMARK(BM_BareListWidgetFill_Baseline)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace quillpad
