// Find in 100 MB of history (records of 256 bytes), each beside a baseline
// over the same bytes in one buffer, in the same run:
//   BM_FindBackwardOnceAtStart          a text at the very start, searched backwards from the end
//   BM_FindBackwardOnceAtStart_Memmem   memmem over the same bytes (no match)
//   BM_Literal_Engine                   the byte pattern's literal search (memchr for the
//                                       rarest byte) over the same bytes, one buffer
//   BM_Literal_Horspool                 std::boyer_moore_horspool_searcher over them: the
//                                       literal search the pattern takes is the fastest
//   BM_CountHex                         every "55 AA" counted (one in 4 KB)
//   BM_CountHex_Memmem                  memmem counting the same
//   BM_PatternSliced                    ERR(OR)?:\s+\d+ over all of it, in find slices;
//                                       the worst slice is a figure
//   BM_Pattern_Pcre2OneBuffer           PCRE2 (JIT) alone over one buffer

#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "bench/support/BenchReport.h"
#include "bench/support/Traffic.h"
#include "data/DataStore.h"
#include "data/HistoryFind.h"
#include "platform/MessageChannel.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecord = 256;
constexpr std::size_t k100MB = std::size_t{100} << 20;
constexpr char kNeedle[] = "NEEDLE-7f3a";
constexpr char kPattern[] = R"(ERR(OR)?:\s+\d+)";

struct SHistory {
    CQueuedChannel channel;
    CDataStore store{channel};
    CHistoryOffsets offsets;
    std::string flat;
    std::uint64_t hexFrames = 0;
};

SHistory& History() {
    static const auto history = [] {
        auto h = std::make_unique<SHistory>();
        std::string traffic = bench::MakeTraffic(k100MB);
        std::memcpy(traffic.data(), kNeedle, sizeof kNeedle - 1);
        // Frames every 4 KB, an error report every 64 KB.
        for (std::size_t at = 4096; at + 16 < traffic.size(); at += 4096) {
            traffic[at] = '\x55';
            traffic[at + 1] = '\xAA';
            ++h->hexFrames;
            if (at % 65536 == 0) {
                std::memcpy(traffic.data() + at + 2, " ERROR:  4711 ", 14);
            }
        }
        for (std::size_t i = 0; i < traffic.size(); i += kRecord) {
            h->store.AddIncomingBytes(0, std::string_view(traffic).substr(i, kRecord));
        }
        h->offsets.Update(h->store);
        h->flat = std::move(traffic);
        return h;
    }();
    return *history;
}

void BM_FindBackwardOnceAtStart(benchmark::State& state) {
    SHistory& h = History();
    const CBytePattern pattern(SFindQuery{kNeedle});
    for (auto _ : state) {
        const auto found = FindBackward(h.store, h.offsets, pattern, kHistoryEnd);
        if (!found || found->historyOffset != 0) {
            state.SkipWithError("not found at the start");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_FindBackwardOnceAtStart)->Unit(benchmark::kMillisecond);

void BM_FindBackwardOnceAtStart_Memmem(benchmark::State& state) {
    SHistory& h = History();
    for (auto _ : state) {
        // Past the one occurrence, so that all the bytes are read.
        benchmark::DoNotOptimize(
            memmem(h.flat.data() + 1, h.flat.size() - 1, kNeedle, sizeof kNeedle - 1));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_FindBackwardOnceAtStart_Memmem)->Unit(benchmark::kMillisecond);

void BM_Literal_Engine(benchmark::State& state) {
    SHistory& h = History();
    const CBytePattern pattern(SFindQuery{kNeedle});
    for (auto _ : state) {
        benchmark::DoNotOptimize(pattern.Match(h.flat, 1, EFollow::Nothing, false));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_Literal_Engine)->Unit(benchmark::kMillisecond);

void BM_Literal_Horspool(benchmark::State& state) {
    SHistory& h = History();
    const std::boyer_moore_horspool_searcher searcher(kNeedle, kNeedle + sizeof kNeedle - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::search(h.flat.begin() + 1, h.flat.end(), searcher));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_Literal_Horspool)->Unit(benchmark::kMillisecond);

void BM_CountHex(benchmark::State& state) {
    SHistory& h = History();
    const CBytePattern pattern(SFindQuery{"55 AA", EFindMode::Hex});
    for (auto _ : state) {
        if (CountMatches(h.store, pattern) != h.hexFrames) {
            state.SkipWithError("wrong count");
            break;
        }
    }
    state.counters["matches"] = static_cast<double>(h.hexFrames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_CountHex)->Unit(benchmark::kMillisecond);

void BM_CountHex_Memmem(benchmark::State& state) {
    SHistory& h = History();
    for (auto _ : state) {
        std::uint64_t count = 0;
        const char* p = h.flat.data();
        const char* end = p + h.flat.size();
        while (const void* found = memmem(p, static_cast<std::size_t>(end - p), "\x55\xAA", 2)) {
            ++count;
            p = static_cast<const char*>(found) + 2;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_CountHex_Memmem)->Unit(benchmark::kMillisecond);

void BM_PatternSliced(benchmark::State& state) {
    SHistory& h = History();
    const CBytePattern pattern(SFindQuery{kPattern, EFindMode::Pattern});
    double worst = 0;
    std::uint64_t count = 0;
    for (auto _ : state) {
        count = 0;
        CHistoryScan scan(h.store, pattern, SHistoryPoint{});
        for (bool done = false; !done;) {
            const auto start = std::chrono::steady_clock::now();
            done = scan.Step(kFindSliceBytes, [&count](const SFindMatch&) {
                ++count;
                return true;
            });
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            worst = std::max(worst, took.count());
        }
    }
    state.counters["matches"] = static_cast<double>(count);
    state.counters["worst_slice_ms"] = worst;
    bench::Figure("Find/pattern_worst_slice", worst, "ms");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_PatternSliced)->Unit(benchmark::kMillisecond);

void BM_Pattern_Pcre2OneBuffer(benchmark::State& state) {
    SHistory& h = History();
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED,
                                     PCRE2_MULTILINE | PCRE2_NEVER_UTF, &error, &offset, nullptr);
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(h.flat.data());
    std::uint64_t count = 0;
    for (auto _ : state) {
        count = 0;
        for (PCRE2_SIZE at = 0;
             pcre2_match(code, subject, h.flat.size(), at, 0, data, nullptr) > 0;) {
            ++count;
            at = pcre2_get_ovector_pointer(data)[1];
        }
    }
    state.counters["matches"] = static_cast<double>(count);
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.flat.size()));
}
BENCHMARK(BM_Pattern_Pcre2OneBuffer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
