// Live ingest through a style with three pattern rules on, against the same
// style without them in the same run:
//   ingest_pattern_rules_<rate|longest_turn|p99_turn>  live records (4 KiB
//                                      each, 64 a turn) taken in and painted
//                                      with "Normal" and three pattern rules
//                                      in front of its rules: MB/s and turns
//   baseline_ingest_plain_<...>        the same with "Normal" alone

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/QtBench.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "platform/qt/CQtMessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

using bench::App;
using bench::Ms;

SStyleRule PatternRule(const char* name, const char* pattern, std::uint32_t colour) {
    SStyleRule rule;
    rule.SetName(name);
    rule.RegEx_Match = true;
    rule.RegEx_MatchValue = pattern;
    rule.Format_ApplyColor = true;
    rule.CharFormat.crTextColor = colour;
    return rule;
}

std::shared_ptr<CStyleScheme> Style(bool patterns) {
    std::shared_ptr<CStyleScheme> scheme = MakeBuiltinSchemes(EBuiltinSet::B)[0]->Clone();
    if (patterns) {
        // Words the traffic holds often, now and then, and a number form.
        scheme->InsertRule(0, PatternRule("errors", "motor\\s+error", 0x0000FF));
        scheme->InsertRule(1, PatternRule("replies", "reply:\\s+\\S+", 0x008000));
        scheme->InsertRule(2, PatternRule("numbers", "\\b\\d+\\.\\d+\\b", 0xFF0000));
        scheme->PatternRules = true;
    }
    return scheme;
}

// Live data as a session brings it: records added, then the event loop's
// turn (the view's coalesced repaint).
void BM_Ingest(benchmark::State& state) {
    App();
    const bool patterns = state.range(0) != 0;
    CQtMessageChannel channel;
    CDataStore store(channel);
    SViewSettings settings;
    CConsoleView view(channel, store, settings);
    view.resize(900, 700);
    view.show();
    QApplication::processEvents();
    channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0,
                 CPayload::Make(std::shared_ptr<const CStyleScheme>(Style(patterns))));
    QApplication::processEvents();
    const std::string traffic = bench::MakeTraffic(std::size_t{4} << 20);
    constexpr std::size_t kChunk = 4096;
    constexpr std::size_t kTotal = std::size_t{256} << 20;
    for (auto _ : state) {
        std::vector<double> turns;
        QElapsedTimer all;
        all.start();
        std::size_t at = 0;
        for (std::size_t done = 0; done < kTotal;) {
            QElapsedTimer turn;
            turn.start();
            for (int k = 0; k < 64; ++k, done += kChunk) {
                store.AddIncomingBytes(0, std::string_view(traffic).substr(at, kChunk));
                at = (at + kChunk) % (traffic.size() - kChunk);
            }
            store.FlushLiveLogs();
            QApplication::processEvents();
            turns.push_back(Ms(turn));
        }
        view.repaint();
        const double ms = Ms(all);
        const std::string name = patterns ? "ingest_pattern_rules" : "baseline_ingest_plain";
        bench::Figure(name + "_rate", static_cast<double>(kTotal) / 1e3 / ms, "MB/s");
        std::sort(turns.begin(), turns.end());
        bench::Figure(name + "_longest_turn", turns.back(), "ms");
        bench::Figure(name + "_p99_turn", turns[turns.size() * 99 / 100], "ms");
    }
}
BENCHMARK(BM_Ingest)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
