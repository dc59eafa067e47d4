// Triggers on the console's ingest path: 256-byte records of device traffic
// stored and shown to the trigger matcher, as the console does with each
// data event, with 20 triggers enabled (10 texts, 10 regular expressions)
// beside the same run with none, in the same run:
//   BM_Ingest_NoTriggers      AddIncomingBytes + the matcher with no trigger
//   BM_Ingest_20Triggers      the same with 20 triggers enabled
//   BM_Match_20Triggers       the matcher alone, 20 triggers
//   BM_Match_10Texts, BM_Match_10Regexes   the matcher with each half alone
//   BM_Match_10TextsNocase, BM_Match_10RegexesNocase   the same halves with
//                            Match case off
// Each reports MB/s. The traffic holds a match for some of the triggers
// about every 64 KB, so actions are due now and then, as on a real link.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/support/Traffic.h"
#include "bench/support/TwentyTriggers.h"
#include "control/Triggers.h"
#include "data/DataStore.h"
#include "platform/MessageChannel.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecord = 256;
constexpr std::size_t kTotal = std::size_t{64} << 20;
constexpr std::int64_t kRecordsPerClear = std::int64_t{1} << 18;

const std::vector<std::string>& Records() {
    static const std::vector<std::string> records = [] {
        std::string traffic = bench::MakeTraffic(kTotal);
        for (std::size_t at = 65536; at + 32 < traffic.size(); at += 65536) {
            traffic.replace(at, 20, "ERROR: 4711 login: ");
        }
        std::vector<std::string> out;
        for (std::size_t at = 0; at < traffic.size(); at += kRecord) {
            out.push_back(traffic.substr(at, kRecord));
        }
        return out;
    }();
    return records;
}

using bench::TwentyTriggers;

void Ingest(benchmark::State& state, const std::vector<STrigger>& triggers, bool store) {
    const auto& records = Records();
    CQueuedChannel channel;
    CDataStore dataStore(channel);
    CTriggerMatcher matcher;
    matcher.SetTriggers(triggers);
    std::vector<STriggerEvent> events;
    std::int64_t bytes = 0;
    std::int64_t sinceClear = 0;
    std::uint64_t now = 0;
    std::size_t fired = 0;
    for (auto _ : state) {
        for (const std::string& r : records) {
            if (store) {
                dataStore.AddIncomingBytes(0, r);
            }
            matcher.Feed(kDirectionIncoming, r, now, events);
            if (!events.empty()) {
                fired += events.size();
                events.clear();
            }
            if (store && ++sinceClear == kRecordsPerClear) {
                state.PauseTiming();
                dataStore.ClearData();
                channel.DrainPending();
                sinceClear = 0;
                state.ResumeTiming();
            }
            now += 1;  // a ms a record: no trigger reaches the rate pause
        }
        bytes += static_cast<std::int64_t>(records.size() * kRecord);
    }
    state.SetBytesProcessed(bytes);
    state.counters["fired"] = static_cast<double>(fired);
}

void BM_Ingest_NoTriggers(benchmark::State& state) {
    Ingest(state, {}, true);
}
void BM_Ingest_20Triggers(benchmark::State& state) {
    Ingest(state, TwentyTriggers(), true);
}
void BM_Match_20Triggers(benchmark::State& state) {
    Ingest(state, TwentyTriggers(), false);
}

void BM_Match_10Texts(benchmark::State& state) {
    auto t = TwentyTriggers();
    t.resize(10);
    Ingest(state, t, false);
}
void BM_Match_10Regexes(benchmark::State& state) {
    auto t = TwentyTriggers();
    t.erase(t.begin(), t.begin() + 10);
    Ingest(state, t, false);
}

std::vector<STrigger> Caseless(std::vector<STrigger> triggers) {
    for (STrigger& t : triggers) {
        t.matchCase = false;
    }
    return triggers;
}
void BM_Match_10TextsNocase(benchmark::State& state) {
    auto t = TwentyTriggers();
    t.resize(10);
    Ingest(state, Caseless(t), false);
}
void BM_Match_10RegexesNocase(benchmark::State& state) {
    auto t = TwentyTriggers();
    t.erase(t.begin(), t.begin() + 10);
    Ingest(state, Caseless(t), false);
}
BENCHMARK(BM_Match_10Texts)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Match_10Regexes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Match_10TextsNocase)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Match_10RegexesNocase)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Ingest_NoTriggers)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Ingest_20Triggers)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Match_20Triggers)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace quillpad
