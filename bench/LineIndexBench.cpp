// The view's line index against today's whole replay, in the same run:
//   BM_WholeReplay/<scheme>        every record of 100 MB rendered into a display document
//   BM_IndexBuild/<scheme>         the line index of the same history (MB/s of records)
//   BM_IndexSlice/<scheme>         one slice of 4 MB of records, as one event-loop turn does
//   BM_FirstScreen100MB/<scheme>   a scheme made afresh, then its last 60 lines drawn
//   BM_FirstScreen1GB/<scheme>     the same over 1 GB of history
//   BM_WindowAtRandomLine/<size>   60 lines drawn at a random line once indexed

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/CLineIndex.h"
#include "view/RenderRecordOf.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecord = 256;
constexpr std::size_t k100MB = std::size_t{100} << 20;
constexpr std::size_t kScreenLines = 60;

struct SHistory {
    CQueuedChannel channel;
    CDataStore store{channel};
    std::size_t bytes = 0;
};

// 100 MB of console traffic, stored `copies` times over.
std::unique_ptr<SHistory> MakeHistory(std::size_t copies) {
    auto history = std::make_unique<SHistory>();
    const std::string traffic = bench::MakeTraffic(k100MB);
    for (std::size_t c = 0; c < copies; ++c) {
        for (std::size_t i = 0; i < traffic.size(); i += kRecord) {
            history->store.AddIncomingBytes(0, std::string_view(traffic).substr(i, kRecord));
        }
    }
    history->bytes = traffic.size() * copies;
    return history;
}

SHistory& History100MB() {
    static const auto history = MakeHistory(1);
    return *history;
}

SHistory& History1GB() {
    static const auto history = MakeHistory(10);
    return *history;
}

// 0: normal, 2: hex mode, of the second built-in set.
std::shared_ptr<CStyleScheme> Scheme(std::int64_t index) {
    return MakeBuiltinSchemes(EBuiltinSet::B)[static_cast<std::size_t>(index)];
}

void BM_WholeReplay(benchmark::State& state) {
    SHistory& history = History100MB();
    const auto scheme = Scheme(state.range(0));
    CDisplayDocument document;
    for (auto _ : state) {
        document.Clear(true);
        CStyledRenderer renderer;
        renderer.SetScheme(scheme.get());
        for (std::size_t i = 0; i < history.store.RecordCount(); ++i) {
            renderer.Render(document,
                            RenderRecordOf(*history.store.Record(i), static_cast<std::uint32_t>(i)),
                            false);
        }
        benchmark::DoNotOptimize(document.Size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * history.bytes));
}
BENCHMARK(BM_WholeReplay)->Arg(0)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_IndexBuild(benchmark::State& state) {
    SHistory& history = History100MB();
    const auto scheme = Scheme(state.range(0));
    std::size_t checkpoints = 0;
    for (auto _ : state) {
        CLineIndex index(scheme.get(), false);
        index.Build(history.store);
        checkpoints = index.Checkpoints().size();
    }
    state.counters["checkpoints"] = static_cast<double>(checkpoints);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * history.bytes));
}
BENCHMARK(BM_IndexBuild)->Arg(0)->Arg(2)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_IndexSlice(benchmark::State& state) {
    constexpr std::size_t kSlice = std::size_t{4} << 20;
    SHistory& history = History100MB();
    const auto scheme = Scheme(state.range(0));
    auto index = std::make_unique<CLineIndex>(scheme.get(), false);
    for (auto _ : state) {
        if (index->Build(history.store, kSlice)) {
            state.PauseTiming();
            index = std::make_unique<CLineIndex>(scheme.get(), false);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSlice));
}
BENCHMARK(BM_IndexSlice)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

void FirstScreen(benchmark::State& state, SHistory& history) {
    const auto scheme = Scheme(state.range(0));
    CDisplayDocument document;
    for (auto _ : state) {
        // A scheme new to the view: its tables are compiled on first use.
        const auto fresh = scheme->Clone();
        RenderLastLines(history.store, fresh.get(), false, kScreenLines, document);
        benchmark::DoNotOptimize(document.Size());
    }
}

void BM_FirstScreen100MB(benchmark::State& state) {
    FirstScreen(state, History100MB());
}
void BM_FirstScreen1GB(benchmark::State& state) {
    FirstScreen(state, History1GB());
}
BENCHMARK(BM_FirstScreen100MB)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstScreen1GB)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

// Arg: 1 for 100 MB, 10 for 1 GB; normal scheme.
void BM_WindowAtRandomLine(benchmark::State& state) {
    SHistory& history = state.range(0) == 1 ? History100MB() : History1GB();
    const auto scheme = Scheme(0);
    CLineIndex index(scheme.get(), false);
    index.Build(history.store);
    std::mt19937_64 rng(7);
    CDisplayDocument window;
    for (auto _ : state) {
        const std::uint64_t first = rng() % index.LineCount();
        index.RenderLines(history.store, first, first + kScreenLines, window);
        benchmark::DoNotOptimize(window.Size());
    }
    state.counters["checkpoints"] = static_cast<double>(index.Checkpoints().size());
}
BENCHMARK(BM_WindowAtRandomLine)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quillpad
