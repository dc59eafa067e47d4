// Rendering records into formatted text through the built-in schemes, beside
// a plain copy of the same bytes in the same run.

#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/support/Traffic.h"
#include "styles/BuiltinSchemes.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

constexpr std::size_t kTotal = 16 << 20;
constexpr std::size_t kRecord = 64;

const std::vector<std::string>& Records() {
    static const auto records = bench::MakeRecords(kTotal, kRecord);
    return records;
}

void BM_MemcpyBaseline(benchmark::State& state) {
    const auto& records = Records();
    std::string out(kTotal + kRecord, '\0');
    for (auto _ : state) {
        std::size_t at = 0;
        for (const auto& r : records) {
            std::memcpy(out.data() + at, r.data(), r.size());
            at += r.size();
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}
BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond);

void RenderWith(benchmark::State& state, std::size_t schemeIndex) {
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    const CStyleScheme* scheme = schemes[schemeIndex].get();
    const auto& records = Records();
    std::string out;
    out.reserve(kTotal * 6);
    for (auto _ : state) {
        out.clear();
        std::uint32_t seq = 0;
        for (const auto& r : records) {
            CStyledRenderer::AppendToString(out, scheme, MakeRecord(r, 1, 1, seq++));
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}

void BM_RenderNormal(benchmark::State& state) {
    RenderWith(state, 0);
}
void BM_RenderHexMode(benchmark::State& state) {
    RenderWith(state, 2);
}
BENCHMARK(BM_RenderNormal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderHexMode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
