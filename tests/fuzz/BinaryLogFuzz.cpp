// The binary log loader on arbitrary bytes: it must never crash, never
// reserve much more than the input holds, and whatever it accepts must
// survive being written out and loaded again unchanged.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/BinaryLogFormat.h"
#include "data/DataStore.h"
#include "data/LoadedLog.h"
#include "platform/Clock.h"
#include "platform/MessageChannel.h"

namespace {

using namespace quillpad;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string Reencode(const CDataStore& store) {
    const auto header =
        EncodeBinaryLogHeader(MakeBinaryLogHeader(store.StartTime(), store.StartTick()));
    std::string out(header.data(), header.size());
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        AppendBinaryLogRecord(out, *store.Record(i));
    }
    return out;
}

void LoadOnce(std::string_view bytes, bool sizeKnown) {
    CManualClock clock(0, 0);
    CQueuedChannel channel;
    CDataStore store(channel, clock);
    CMemoryByteSource source(bytes, sizeKnown);
    const SBinaryLogLoad load = store.LoadLog(source);
    if (!load.accepted) {
        Require(store.RecordCount() == 0 && !load.error.empty());
        if (sizeKnown) {
            SBinaryLogLoad mapped;
            SBinaryLogIndex index;
            Require(!IndexBinaryLog(bytes, CRecordArena::kSparseStep, mapped, index) &&
                    mapped.error == load.error);
        }
        return;
    }
    Require(load.records == store.RecordCount());
    if (sizeKnown) {
        // A file is indexed where it lies: the same records, the same report.
        SBinaryLogLoad mapped;
        SBinaryLogIndex index;
        Require(IndexBinaryLog(bytes, CRecordArena::kSparseStep, mapped, index));
        Require(mapped.records == load.records && index.count == load.records);
        Require(mapped.otherHeads == load.otherHeads && mapped.truncated == load.truncated &&
                mapped.droppedBytes == load.droppedBytes);
        Require(index.end <= bytes.size());
    }
    // Every kept record took at least 28 bytes of input.
    Require(store.RecordCount() * 28 + kBinaryLogHeaderSize <= bytes.size());
    Require(store.ReservedBytes() <= 2 * bytes.size() + 2 * CRecordArena::kBlockBytes);

    const std::string again = Reencode(store);
    CDataStore reloaded(channel, clock);
    CMemoryByteSource source2(again, true);
    const SBinaryLogLoad second = reloaded.LoadLog(source2);
    Require(second.accepted && !second.truncated);
    Require(reloaded.StartTime() == store.StartTime());
    Require(reloaded.StartTick() == store.StartTick());
    Require(reloaded.RecordCount() == store.RecordCount());
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const SDataRecord a = *store.Record(i);
        const SDataRecord b = *reloaded.Record(i);
        Require(a.sequence == i && b.sequence == i);
        Require(a.tick == b.tick && a.ownerId == b.ownerId && a.direction == b.direction &&
                a.source == b.source && a.bytes == b.bytes && a.length == a.bytes.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LoadOnce(bytes, true);
    LoadOnce(bytes, false);  // as from a pipe
    return 0;
}
