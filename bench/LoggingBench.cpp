// Live logging and Save Buffer, each beside a baseline measured in the same
// run. Rates are of wall time: the writes' cost partly falls outside the
// process's CPU time (writeback throttling).
//
// Figures:
//   BM_IngestAllLogs64            AddIncoming of 64-byte records with the plain, formatted
//                                 (through "Normal") and binary logs live, flushed every
//                                 turn of 1024 records, 64 KiB (goal: at least 200 MB/s;
//                                 at that rate a turn of a millisecond brings three times
//                                 as many)
//   BM_IngestAllLogs64Stamped     the same with the console's line stamps on ("Since
//                                 Start"), which both text logs write before each line
//   BM_IngestNoLog64              the same store and turns without logging (baseline)
//   BM_IngestBinaryWritePerRecord the binary log handed over with one write per record,
//                                 as before the turn flush (for comparison)
//   BM_SaveBuffer100MB            Save Buffer of 100 MB of records into all three kinds
//                                 (goal: at least 150 MB/s of stored data)
//   BM_SaveBuffer100MB_RawWriteBaseline  writing the three files' bytes raw, 1 MiB a write

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/support/BenchReport.h"
#include "data/BinaryLogFormat.h"
#include "data/DataStore.h"
#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecordBytes = 64;
constexpr std::int64_t kRecordsPerTurn = 1024;
constexpr std::int64_t kRecordsPerClear = std::int64_t{1} << 20;

// Console text: printable lines with a CR LF, as a device prints them.
std::string Record() {
    std::string text(kRecordBytes, ' ');
    for (std::size_t i = 0; i + 2 < kRecordBytes; ++i) {
        text[i] = static_cast<char>('!' + (i * 7) % 90);
    }
    text[kRecordBytes - 2] = '\r';
    text[kRecordBytes - 1] = '\n';
    return text;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// What the console view does for the formatted log: renders through its
// style (here "Normal"); append notices are taken and dropped.
class CRenderTarget final : public CMessageTarget {
  public:
    explicit CRenderTarget(CMessageChannel& channel) : CMessageTarget(channel) {
        for (auto& s : MakeBuiltinSchemes(EBuiltinSet::B)) {
            if (s->Name == "Normal") {
                m_scheme = std::move(s);
                break;
            }
        }
    }
    std::int64_t HandleMessage(SMessage& /*message*/) override { return 0; }
    bool HasScheme() const { return m_scheme != nullptr; }
    // The view's place in the store: its notices, and the formatted log's renderer.
    void Attach(CDataStore& store) {
        store.RegisterView(Handle());
        store.SetTextRenderer([this](const SDataRecord& record, std::string& text) {
            text.clear();
            CStyledRenderer::AppendToString(text, m_scheme.get(), record);
            return SRenderTextStamps{};
        });
    }

  private:
    std::shared_ptr<CStyleScheme> m_scheme;
};

SLogRequest AllKinds(const std::string& stem) {
    SLogRequest r;
    r.plainEnabled = r.formattedEnabled = r.binaryEnabled = true;
    r.plainPath = TempPath(stem + "-plain.txt");
    r.formattedPath = TempPath(stem + "-formatted.txt");
    r.binaryPath = TempPath(stem + ".wblog");
    r.insertTimestamps = true;
    return r;
}

void RemoveFiles(const SLogRequest& r) {
    std::error_code ignored;
    for (const auto* p : {&r.plainPath, &r.formattedPath, &r.binaryPath}) {
        std::filesystem::remove(*p, ignored);
    }
}

void Ingest(benchmark::State& state, bool logging, EStampMode stamps = EStampMode::Off) {
    CQueuedChannel channel;
    CDataStore store(channel);
    store.SetStampMode(stamps);
    CRenderTarget view(channel);
    if (!view.HasScheme()) {
        state.SkipWithError("no Normal scheme");
        return;
    }
    view.Attach(store);
    const SLogRequest request = AllKinds("quillpad_bench_ingest");
    if (logging) {
        store.StartLogging(request);
    }
    const std::string text = Record();
    std::int64_t sinceTurn = 0;
    std::int64_t sinceClear = 0;
    for (auto _ : state) {
        store.AddIncomingBytes(0, text);
        if (++sinceTurn == kRecordsPerTurn) {
            // The end of an event-loop turn: the view takes its notices,
            // the logs get one write each.
            channel.DrainPending();
            store.FlushLiveLogs();
            sinceTurn = 0;
        }
        if (++sinceClear == kRecordsPerClear) {
            state.PauseTiming();
            store.StopLogging();
            store.ClearData();
            if (logging) {
                store.StartLogging(request);
            }
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    store.StopLogging();
    RemoveFiles(request);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kRecordBytes));
}

void BM_IngestAllLogs64(benchmark::State& state) {
    Ingest(state, true);
}
BENCHMARK(BM_IngestAllLogs64)->UseRealTime();

void BM_IngestAllLogs64Stamped(benchmark::State& state) {
    Ingest(state, true, EStampMode::SinceStart);
}
BENCHMARK(BM_IngestAllLogs64Stamped)->UseRealTime();

void BM_IngestNoLog64(benchmark::State& state) {
    Ingest(state, false);
}
BENCHMARK(BM_IngestNoLog64)->UseRealTime();

void BM_IngestBinaryWritePerRecord(benchmark::State& state) {
    const std::string path = TempPath("quillpad_bench_per_record.wblog");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::setvbuf(file, nullptr, _IONBF, 0);
    CQueuedChannel channel;
    CDataStore store(channel);
    const std::string text = Record();
    std::string scratch;
    std::int64_t sinceClear = 0;
    for (auto _ : state) {
        const SRecordRef ref = store.AddIncomingBytes(0, text);
        scratch.clear();
        AppendBinaryLogRecord(scratch, *store.Find(ref));
        std::fwrite(scratch.data(), 1, scratch.size(), file);
        if (++sinceClear == kRecordsPerClear) {
            state.PauseTiming();
            store.ClearData();
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    std::fclose(file);
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kRecordBytes));
}
BENCHMARK(BM_IngestBinaryWritePerRecord)->UseRealTime();

constexpr std::size_t kSaveBytes = 100'000'000;

void BM_SaveBuffer100MB_RawWriteBaseline(benchmark::State& state) {
    // About what the three files hold: the data twice as text, and once
    // with a 28-byte head per record.
    const std::size_t total = kSaveBytes * 2 + kSaveBytes / kRecordBytes * (kRecordBytes + 28);
    const std::string chunk(std::size_t{1} << 20, 'x');
    const std::string path = TempPath("quillpad_bench_raw.bin");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::setvbuf(file, nullptr, _IONBF, 0);
        for (std::size_t done = 0; done < total; done += chunk.size()) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
        }
        std::fclose(file);
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSaveBytes));
}
BENCHMARK(BM_SaveBuffer100MB_RawWriteBaseline)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_SaveBuffer100MB(benchmark::State& state) {
    CQueuedChannel channel;
    CDataStore store(channel);
    CRenderTarget view(channel);
    view.Attach(store);
    const std::string text = Record();
    for (std::size_t i = 0; i < kSaveBytes / kRecordBytes; ++i) {
        store.AddIncomingBytes(0, text);
    }
    channel.DrainPending();
    const SLogRequest request = AllKinds("quillpad_bench_save");
    for (auto _ : state) {
        if (store.SaveBuffer(request) != 0) {
            state.SkipWithError("a file failed");
            break;
        }
    }
    std::uintmax_t written = 0;
    for (const auto* p : {&request.plainPath, &request.formattedPath, &request.binaryPath}) {
        written += std::filesystem::file_size(*p);
    }
    state.counters["file_MB"] = static_cast<double>(written) / 1e6;
    RemoveFiles(request);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSaveBytes));
}
BENCHMARK(BM_SaveBuffer100MB)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillpad
