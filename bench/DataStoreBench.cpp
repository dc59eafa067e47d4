// The data store and the binary log: memory per stored byte, ingest speed,
// live logging and loading, each beside a baseline measured in the same run.
//
// Figures:
//   DataStore/resident_per_byte          resident bytes per stored data byte, 64-byte records
//   DataStore/resident_per_byte_baseline the same for one heap block per record
//   BM_Ingest64                          AddIncoming of 64-byte records, no view
//   BM_Ingest64_MemcpyBaseline           memcpy of the same bytes
//   (live logging and Save Buffer: LoggingBench.cpp)
//   BM_Load100MB                         loading a 100 MB log
//   BM_Load100MB_RawReadBaseline         reading the same file raw

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BenchReport.h"
#include "data/DataStore.h"
#include "platform/MessageChannel.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecordBytes = 64;
// Records between clears, so a long run does not fill the machine.
constexpr std::int64_t kRecordsPerClear = std::int64_t{1} << 20;

std::u16string WideRecord() {
    std::u16string text(kRecordBytes, u'\0');
    for (std::size_t i = 0; i < kRecordBytes; ++i) {
        text[i] = static_cast<char16_t>((i * 37 + 11) & 0xFF);
    }
    return text;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

long long TrimmedResident() {
    malloc_trim(0);
    return bench::ResidentBytes();
}

// Registered first: the resident set is measured before other runs leave
// freed memory in the heap for these allocations to reuse.
void BM_ResidentPerStoredByte(benchmark::State& state) {
    constexpr std::size_t kRecords = 2'000'000;
    const std::u16string text = WideRecord();
    const std::string bytes(kRecordBytes, 'x');
    for (auto _ : state) {
        double ours = 0;
        {
            CQueuedChannel channel;
            const long long before = TrimmedResident();
            CDataStore store(channel);
            for (std::size_t i = 0; i < kRecords; ++i) {
                store.AddIncoming(0, text);
            }
            ours = static_cast<double>(bench::ResidentBytes() - before) /
                   static_cast<double>(kRecords * kRecordBytes);
        }
        double naive = 0;
        {
            // The obvious layout: a record object and a NUL-terminated copy
            // of its bytes, each its own heap block.
            struct SNaiveRecord {
                std::uint32_t head[6];
                std::unique_ptr<char[]> bytes;
                std::uint32_t length;
            };
            const long long before = TrimmedResident();
            std::vector<std::unique_ptr<SNaiveRecord>> records;
            for (std::size_t i = 0; i < kRecords; ++i) {
                auto r = std::make_unique<SNaiveRecord>();
                r->bytes = std::make_unique<char[]>(kRecordBytes + 1);
                std::memcpy(r->bytes.get(), bytes.data(), kRecordBytes);
                r->length = kRecordBytes;
                records.push_back(std::move(r));
            }
            naive = static_cast<double>(bench::ResidentBytes() - before) /
                    static_cast<double>(kRecords * kRecordBytes);
        }
        state.counters["ours"] = ours;
        state.counters["naive"] = naive;
        bench::Figure("DataStore/resident_per_byte", ours, "B/B");
        bench::Figure("DataStore/resident_per_byte_baseline", naive, "B/B");
    }
}
BENCHMARK(BM_ResidentPerStoredByte)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Ingest64(benchmark::State& state) {
    CQueuedChannel channel;
    CDataStore store(channel);
    const std::u16string text = WideRecord();
    std::int64_t sinceClear = 0;
    for (auto _ : state) {
        store.AddIncoming(0, text);
        if (++sinceClear == kRecordsPerClear) {
            state.PauseTiming();
            store.ClearData();
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kRecordBytes));
}
BENCHMARK(BM_Ingest64);

void BM_Ingest64_MemcpyBaseline(benchmark::State& state) {
    const std::string source(kRecordBytes, 'x');
    const std::size_t room = static_cast<std::size_t>(kRecordsPerClear) * kRecordBytes;
    auto target = std::make_unique<char[]>(room);
    std::size_t at = 0;
    for (auto _ : state) {
        std::memcpy(target.get() + at, source.data(), kRecordBytes);
        benchmark::ClobberMemory();
        at += kRecordBytes;
        if (at == room) {
            at = 0;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kRecordBytes));
}
BENCHMARK(BM_Ingest64_MemcpyBaseline);

// A 100 MB log of 64-byte records, made once.
const std::string& LogFile() {
    static const std::string path = [] {
        const std::string p = TempPath("quillpad_bench_load.wblog");
        CQueuedChannel channel;
        CDataStore store(channel);
        const std::u16string text = WideRecord();
        const std::size_t records = 100'000'000 / (28 + kRecordBytes);
        for (std::size_t i = 0; i < records; ++i) {
            store.AddIncoming(static_cast<std::uint32_t>(i % 3), text);
        }
        store.SaveBinaryLog(p);
        return p;
    }();
    return path;
}

struct SRemoveLogFile {
    ~SRemoveLogFile() {
        std::error_code ignored;
        std::filesystem::remove(TempPath("quillpad_bench_load.wblog"), ignored);
    }
} g_removeLogFile;

void BM_Load100MB(benchmark::State& state) {
    const std::string& path = LogFile();
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    CQueuedChannel channel;
    CDataStore store(channel);
    for (auto _ : state) {
        const SBinaryLogLoad load = store.LoadLog(path);
        if (!load.accepted || load.truncated) {
            state.SkipWithError("the log did not load");
            break;
        }
        benchmark::DoNotOptimize(store.RecordCount());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Load100MB)->Unit(benchmark::kMillisecond);

void BM_Load100MB_RawReadBaseline(benchmark::State& state) {
    const std::string& path = LogFile();
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    auto buffer = std::make_unique<char[]>(std::size_t{1} << 20);
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the log");
            break;
        }
        std::size_t total = 0;
        while (const std::size_t n = std::fread(buffer.get(), 1, std::size_t{1} << 20, file)) {
            total += n;
        }
        std::fclose(file);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Load100MB_RawReadBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
