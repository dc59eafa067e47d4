// The console view against QPlainTextEdit, fed the same styled runs in the
// same run: replay of a long history, painting a window of it, memory per
// displayed byte, and live traffic on the event loop.
//
// QPlainTextEdit takes seconds per megabyte, so its baseline is fed the
// first kBaselineBytes of the same traffic; its figures are per byte (MB/s,
// bytes per byte) or per window, which is what compares.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "platform/qt/CQtMessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

constexpr std::size_t kBig = 100u << 20;
constexpr std::size_t kSmall = 100u << 10;
constexpr std::size_t kBaselineBytes = 5u << 20;
constexpr std::size_t kRecord = 64;
constexpr int kWidth = 1000;
constexpr int kHeight = 700;

// The application and the widgets below live until the process ends and are
// never destroyed: Qt's own globals are gone by the time static objects
// would be torn down.
template <class T, class... Args>
T& Forever(Args&&... args) {
    return *std::make_unique<T>(std::forward<Args>(args)...).release();
}

// Times every event handled at the outermost level: the longest is the
// longest the event loop was not free.
class CTimingApp final : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth++ == 0) {
            m_timer.start();
        }
        const bool result = QApplication::notify(receiver, event);
        if (--m_depth == 0 && recording) {
            eventMs.push_back(static_cast<double>(m_timer.nsecsElapsed()) / 1e6);
        }
        return result;
    }
    bool recording = false;
    std::vector<double> eventMs;

  private:
    int m_depth = 0;
    QElapsedTimer m_timer;
};

CTimingApp& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    static CTimingApp& app = Forever<CTimingApp>(argc, argv);
    return app;
}

const std::string& Traffic() {
    static const std::string traffic = bench::MakeTraffic(kBig);
    return traffic;
}

const std::shared_ptr<CStyleScheme>& NormalScheme() {
    static const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    return schemes[0];
}

const CStyleScheme& Normal() {
    return *NormalScheme();
}

// A store holding `bytes` of traffic as 64-byte incoming records, and a view.
struct SConsole {
    explicit SConsole(std::size_t bytes) : store(channel) {
        const std::string& t = Traffic();
        for (std::size_t at = 0; at < bytes; at += kRecord) {
            store.AddIncomingBytes(0, std::string_view(t).substr(at, kRecord));
        }
        view = std::make_unique<CConsoleView>(channel, store, settings);
        view->resize(kWidth, kHeight);
        view->show();
        QApplication::processEvents();
    }
    void Replay() {
        channel.Send(view->Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(NormalScheme()));
    }
    CQtMessageChannel channel;
    CDataStore store;
    SViewSettings settings;
    std::unique_ptr<CConsoleView> view;
};

SConsole& Big() {
    static SConsole& console = Forever<SConsole>(kBig);
    return console;
}
SConsole& Small() {
    static SConsole& console = Forever<SConsole>(kSmall);
    return console;
}

// The same styled runs, into a QPlainTextEdit.
class CPlainTextSurface final : public IRenderSurface {
  public:
    explicit CPlainTextSurface(QPlainTextEdit& edit) : m_cursor(edit.document()) {
        m_cursor.movePosition(QTextCursor::End);
    }
    void MoveCaretToEnd() override { m_cursor.movePosition(QTextCursor::End); }
    void ApplyFormat(const SCharFormat& f) override {
        m_format = QTextCharFormat();
        m_format.setFontFamilies({QString::fromLatin1(
            f.FaceName().data(), static_cast<qsizetype>(f.FaceName().size()))});
        if (f.yHeight > 0) {
            m_format.setFontPointSize(f.yHeight / 20.0);
        }
        m_format.setFontWeight((f.dwEffects & kEffectBold) ? QFont::Bold : QFont::Normal);
        m_format.setFontItalic((f.dwEffects & kEffectItalic) != 0);
        m_format.setFontUnderline((f.dwEffects & kEffectUnderline) != 0);
        m_format.setFontStrikeOut((f.dwEffects & kEffectStrikeOut) != 0);
        m_format.setForeground(
            QColor(ColorRed(f.crTextColor), ColorGreen(f.crTextColor), ColorBlue(f.crTextColor)));
    }
    void AppendRun(std::string_view text, std::uint32_t) override {
        QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        s.replace('\r', '\n');
        m_cursor.insertText(s, m_format);
    }
    void DeleteLastCharOfCaretLine() override {
        if (!m_cursor.atBlockStart()) {
            m_cursor.deletePreviousChar();
        }
    }

  private:
    QTextCursor m_cursor;
    QTextCharFormat m_format;
};

struct SBaseline {
    SBaseline() {
        edit.resize(kWidth, kHeight);
        edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit.show();
        QApplication::processEvents();
    }
    void Feed(std::size_t bytes) {
        CPlainTextSurface surface(edit);
        CStyledRenderer renderer;
        renderer.SetScheme(&Normal());
        const std::string& t = Traffic();
        std::uint32_t seq = 0;
        for (std::size_t at = 0; at < bytes; at += kRecord) {
            renderer.Render(
                surface, MakeRecord(std::string_view(t).substr(at, kRecord), 1, 1, seq++), false);
        }
    }
    QPlainTextEdit edit;
};

SBaseline& Baseline() {
    static SBaseline& baseline = Forever<SBaseline>();
    return baseline;
}

double Seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// ---- replay and memory

void BM_ViewReplay100MB(benchmark::State& state) {
    App();
    SConsole& c = Big();
    static const auto setB = MakeBuiltinSchemes(EBuiltinSet::B);
    for (auto _ : state) {
        // Into the empty view: what a first fill or a load costs, memory
        // included.
        const long long before = bench::ResidentBytes();
        QElapsedTimer t;
        t.start();
        c.Replay();
        c.view->FinishIndex();  // the view's whole index, not only its first screen
        const double first = Seconds(t);
        const long long after = bench::ResidentBytes();
        const auto shown = static_cast<double>(c.view->TextSize());
        // A style change: the view is full and takes the whole history again.
        t.start();
        c.channel.Send(c.view->Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(setB[1]));
        c.view->FinishIndex();
        const double restyle = Seconds(t);
        c.Replay();  // back to Normal for what follows
        bench::Figure("view_replay_100MB_into_empty_view", first * 1000, "ms");
        bench::Figure("view_replay_100MB_on_style_change", restyle * 1000, "ms");
        bench::Figure("view_replay_on_style_change", kBig / 1e6 / restyle, "MB/s");
        bench::Figure("view_document_resident_per_displayed_byte",
                      static_cast<double>(after - before) / shown, "B/B");
        bench::Figure("view_window_reserved_per_displayed_byte",
                      static_cast<double>(c.view->Window().Document().ReservedBytes()) / shown,
                      "B/B");
    }
}
BENCHMARK(BM_ViewReplay100MB)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PlainTextEditReplay5MB(benchmark::State& state) {
    App();
    for (auto _ : state) {
        state.PauseTiming();
        SBaseline* baseline = &Baseline();
        const long long before = bench::ResidentBytes();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        baseline->Feed(kBaselineBytes);
        QApplication::processEvents();
        const double s = Seconds(t);
        state.PauseTiming();
        const long long after = bench::ResidentBytes();
        const double shown = static_cast<double>(baseline->edit.document()->characterCount());
        bench::Figure("baseline_plaintextedit_replay_5MB", s * 1000, "ms");
        bench::Figure("baseline_plaintextedit_replay", kBaselineBytes / 1e6 / s, "MB/s");
        bench::Figure("baseline_plaintextedit_replay_100MB_extrapolated", s * 20, "s");
        bench::Figure("baseline_plaintextedit_resident_per_displayed_byte",
                      static_cast<double>(after - before) / shown, "B/B");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBaselineBytes));
}
BENCHMARK(BM_PlainTextEditReplay5MB)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- painting a full window

// Milliseconds per window: moved to `where` (so the rows are laid out again)
// and painted into an image, best of a few.
template <class Scroll, class Paint>
double PaintMs(Scroll scroll, Paint paint) {
    double best = 1e9;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        scroll(i);
        paint();
        best = std::min(best, Seconds(t) * 1000);
    }
    return best;
}

void PaintView(SConsole& c, const char* size) {
    CConsoleView& v = *c.view;
    QImage image(v.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const std::size_t n = v.TextSize();
    auto paint = [&] { v.viewport()->render(&image); };
    // Alternating between two nearby places, so each paint lays out afresh.
    const double top = PaintMs([&](int i) { v.ScrollToPosition(i % 2 ? 0 : 200); }, paint);
    const double middle =
        PaintMs([&](int i) { v.ScrollToPosition(n / 2 + (i % 2 ? 0 : 200)); }, paint);
    const double end = PaintMs(
        [&](int i) {
            if (i % 2) {
                v.ScrollToEnd();
            } else {
                v.ScrollRows(-1);
            }
        },
        paint);
    bench::Figure(std::string("view_paint_top_") + size, top, "ms");
    bench::Figure(std::string("view_paint_middle_") + size, middle, "ms");
    bench::Figure(std::string("view_paint_end_") + size, end, "ms");
}

void BM_ViewPaint(benchmark::State& state) {
    App();
    SConsole& big = Big();
    SConsole& small = Small();
    small.Replay();
    for (auto _ : state) {
        PaintView(big, "100MB");
        PaintView(small, "100KB");
    }
}
BENCHMARK(BM_ViewPaint)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PlainTextEditPaint5MB(benchmark::State& state) {
    App();
    SBaseline& b = Baseline();  // holding the 5 MB of its replay
    QApplication::processEvents();
    QImage image(b.edit.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = b.edit.verticalScrollBar();
    auto paint = [&] { b.edit.viewport()->render(&image); };
    for (auto _ : state) {
        const int max = bar->maximum();
        const double top = PaintMs([&](int i) { bar->setValue(i % 2 ? 0 : 3); }, paint);
        const double middle =
            PaintMs([&](int i) { bar->setValue(max / 2 + (i % 2 ? 0 : 3)); }, paint);
        const double end = PaintMs([&](int i) { bar->setValue(i % 2 ? max : max - 1); }, paint);
        bench::Figure("baseline_plaintextedit_paint_top_5MB", top, "ms");
        bench::Figure("baseline_plaintextedit_paint_middle_5MB", middle, "ms");
        bench::Figure("baseline_plaintextedit_paint_end_5MB", end, "ms");
    }
}
BENCHMARK(BM_PlainTextEditPaint5MB)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- live traffic on the event loop

// Adds about 1,000 records a second of 1 to 64 bytes for `seconds`, from a
// 1 ms timer. Returns the longest single event the loop handled (ms), and
// the longest gap between two ticks of the timer, which also holds whatever
// else the machine was doing.
struct SLive {
    double longestEvent = 0;
    double event999 = 0;  // 99.9th percentile
    double longestGap = 0;
};
template <class AddRecord>
SLive Live(AddRecord add, double seconds) {
    std::mt19937 rng(3);
    const std::string& t = Traffic();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    SLive result;
    std::size_t at = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        result.longestGap = std::max(result.longestGap, static_cast<double>(now - last) / 1e6);
        last = now;
        const std::size_t n = 1 + rng() % 64;
        add(std::string_view(t).substr(at, n));
        at = (at + n) % (t.size() - 64);
    });
    App().eventMs.clear();
    App().recording = true;
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    timer.stop();
    App().recording = false;
    std::vector<double>& ms = App().eventMs;
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        result.longestEvent = ms.back();
        result.event999 = ms[ms.size() * 999 / 1000];
    }
    return result;
}

void BM_ViewLive(benchmark::State& state) {
    App();
    SConsole& c = Big();  // live on top of the 100 MB history
    c.view->ScrollToEnd();
    for (auto _ : state) {
        const int paints = c.view->PaintCount();
        const SLive live =
            Live([&](std::string_view bytes) { c.store.AddIncomingBytes(0, bytes); }, 3.0);
        bench::Figure("view_live_1000rps_longest_event", live.longestEvent, "ms");
        bench::Figure("view_live_1000rps_event_p99.9", live.event999, "ms");
        bench::Figure("view_live_1000rps_longest_timer_gap", live.longestGap, "ms");
        bench::Figure("view_live_paints_per_second", (c.view->PaintCount() - paints) / 3.0, "1/s");
    }
}
BENCHMARK(BM_ViewLive)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PlainTextEditLive(benchmark::State& state) {
    App();
    SBaseline& b = Baseline();  // on top of its 5 MB history
    CPlainTextSurface surface(b.edit);
    CStyledRenderer renderer;
    renderer.SetScheme(&Normal());
    std::uint32_t seq = 0;
    for (auto _ : state) {
        const SLive live = Live(
            [&](std::string_view bytes) {
                renderer.Render(surface, MakeRecord(bytes, 1, 1, seq++), false);
                b.edit.verticalScrollBar()->setValue(b.edit.verticalScrollBar()->maximum());
            },
            3.0);
        bench::Figure("baseline_plaintextedit_live_1000rps_longest_event", live.longestEvent, "ms");
        bench::Figure("baseline_plaintextedit_live_1000rps_longest_timer_gap", live.longestGap,
                      "ms");
    }
}
BENCHMARK(BM_PlainTextEditLive)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
