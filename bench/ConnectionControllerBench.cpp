// The receive road's share of the console's side of the connection: a data
// event through the controller into the store, beside the store alone.
//
//   BM_DataEventThroughController64   OnDataReceived of 64-byte events
//   BM_DataEventStoreOnlyBaseline64   CDataStore::AddIncomingBytes of the same

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "data/DataStore.h"
#include "session/CConnectionController.h"
#include "tests/session/SessionDoubles.h"

namespace quillpad {
namespace {

constexpr std::size_t kEventBytes = 64;
constexpr std::int64_t kEventsPerClear = std::int64_t{1} << 20;

ByteString Event() {
    ByteString bytes(kEventBytes, '\0');
    for (std::size_t i = 0; i < kEventBytes; ++i) {
        bytes[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    }
    return bytes;
}

std::unique_ptr<CConnectionController> MakeController(CMessageChannel& channel) {
    auto log = std::make_shared<std::vector<test::SSessionCall>>();
    SSessionServices services;
    services.factory = [log] {
        return SSessionCreation{std::make_unique<test::CFakeSession>(log), {}};
    };
    return std::make_unique<CConnectionController>(channel, std::move(services));
}

// Feeds one 64-byte event per iteration; the store is cleared now and then,
// outside the timing, so memory stays bounded.
template <class FEvent>
void RunEvents(benchmark::State& state, CDataStore& store, FEvent&& event) {
    const ByteString bytes = Event();
    std::int64_t sinceClear = 0;
    for (auto _ : state) {
        event(bytes);
        if (++sinceClear == kEventsPerClear) {
            state.PauseTiming();
            store.ClearData();
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kEventBytes));
}

void BM_DataEventThroughController64(benchmark::State& state) {
    CQueuedChannel channel;
    CDataStore store(channel);
    auto controller = MakeController(channel);
    controller->SetDataStore(&store);
    RunEvents(state, store, [&](std::string_view bytes) { controller->OnDataReceived(0, bytes); });
}
BENCHMARK(BM_DataEventThroughController64);

void BM_DataEventStoreOnlyBaseline64(benchmark::State& state) {
    CQueuedChannel channel;
    CDataStore store(channel);
    RunEvents(state, store, [&](std::string_view bytes) { store.AddIncomingBytes(0, bytes); });
}
BENCHMARK(BM_DataEventStoreOnlyBaseline64);

}  // namespace
}  // namespace quillpad
