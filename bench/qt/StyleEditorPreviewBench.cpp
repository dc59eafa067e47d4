// The style editor's preview on a long history: one refresh (the tail found,
// rendered, put into the pane, laid out and painted) for a style that keeps line ends and for
// one that hides them all, beside rendering the whole history once, which is
// what a preview without the tail would cost, in the same run.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <string>

#include "bench/support/BenchReport.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/CMemorySurface.h"
#include "view/CStyledRenderer.h"
#include "view/RenderTail.h"
#include "view/qt/CDocumentPreview.h"
#include "view/qt/CStyleEditorDlg.h"

namespace quillpad {
namespace {

constexpr std::size_t kHistoryBytes = std::size_t{16} << 20;
constexpr std::size_t kRecordBytes = 64;

QApplication& App() {
    static int argc = 1;
    static char name[] = "style_editor_preview_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

struct SHistory {
    CQueuedChannel channel;
    CDataStore store{channel};
    SHistory() {
        const std::string traffic = bench::MakeTraffic(kHistoryBytes);
        for (std::size_t at = 0; at < traffic.size(); at += kRecordBytes) {
            store.AddIncomingBytes(0, std::string_view(traffic).substr(at, kRecordBytes));
        }
    }
};

SHistory& History() {
    static SHistory history;
    return history;
}

std::shared_ptr<CStyleScheme> Normal() {
    for (auto& scheme : MakeBuiltinSchemes(EBuiltinSet::B)) {
        if (scheme->Name == "Normal") {
            return scheme;
        }
    }
    return nullptr;
}

// Nothing answers: the editor is opened on a style sheet, which asks nothing.
class CSilentUi final : public IStyleEditorUi {
  public:
    std::optional<QColor> ChooseColour(const QColor&, QWidget*) override { return std::nullopt; }
    std::optional<SFontChoice> ChooseFont(const std::optional<SFontChoice>&, QWidget*) override {
        return std::nullopt;
    }
    QString ChooseStyleFile(const QString&, QWidget*) override { return {}; }
    void Inform(const QString&, const QString&, QWidget*) override {}
    bool AskYesNo(const QString&, const QString&, QWidget*) override { return false; }
    int TrackPopup(const std::vector<SPopupChoice>&, QPoint, QWidget*) override { return 0; }
    void ShowHelp(int, QWidget*) override {}
};

void Refresh(benchmark::State& state, bool hideLineEnds, const char* figure) {
    App();
    SHistory& history = History();
    auto scheme = Normal();
    if (hideLineEnds) {
        SStyleRule hide;
        hide.CharRange_MatchValue = kClassLow;
        hide.Format_ApplyFormat = true;
        hide.Format_CharacterFormat = kFormatHide;
        scheme->InsertRule(0, hide);
    }
    CSilentUi ui;
    CStyleEditorDlg dialog("/tmp", ui);
    dialog.SetScheme(scheme);
    dialog.SetPreviewSource(&history.store, false);
    dialog.show();
    QApplication::processEvents();
    auto* preview = dialog.findChild<CDocumentPreview*>(QStringLiteral("preview"));
    double worst = 0;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        dialog.RefreshPreviewNow();
        // Laid out and painted, as the user sees it.
        preview->repaint();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        worst = std::max(worst, ms);
        total += ms;
    }
    bench::Figure(std::string(figure) + "_mean", total / static_cast<double>(state.iterations()),
                  "ms");
    bench::Figure(std::string(figure) + "_worst", worst, "ms");
}

void BM_PreviewRefresh(benchmark::State& state) {
    Refresh(state, false, "style_editor_preview_16MiB");
}
BENCHMARK(BM_PreviewRefresh)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_PreviewRefreshLineEndsHidden(benchmark::State& state) {
    Refresh(state, true, "style_editor_preview_16MiB_breaks_hidden");
}
BENCHMARK(BM_PreviewRefreshLineEndsHidden)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_TailOnlyLineEndsHidden(benchmark::State& state) {
    SHistory& history = History();
    auto scheme = Normal();
    SStyleRule hide;
    hide.CharRange_MatchValue = kClassLow;
    hide.Format_ApplyFormat = true;
    hide.Format_CharacterFormat = kFormatHide;
    scheme->InsertRule(0, hide);
    for (auto _ : state) {
        const CMemorySurface tail = RenderTail(history.store, scheme.get());
        benchmark::DoNotOptimize(tail.text.data());
    }
}
BENCHMARK(BM_TailOnlyLineEndsHidden)->Unit(benchmark::kMillisecond)->Iterations(20);

// Baseline: the whole history through the same style, into memory.
void BM_WholeHistoryRender(benchmark::State& state) {
    SHistory& history = History();
    auto scheme = Normal();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CMemorySurface surface;
        CStyledRenderer renderer;
        renderer.SetScheme(scheme.get());
        for (std::size_t i = 0; i < history.store.RecordCount(); ++i) {
            renderer.Render(surface, *history.store.Record(i), false);
        }
        benchmark::DoNotOptimize(surface.text.data());
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    bench::Figure("whole_history_render_16MiB_baseline",
                  total / static_cast<double>(state.iterations()), "ms");
}
BENCHMARK(BM_WholeHistoryRender)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace quillpad
