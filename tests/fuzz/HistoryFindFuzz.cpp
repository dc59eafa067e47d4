// The find pattern compiler and the history scan. Any query compiles or says
// why; a bad one finds nothing. Over records cut from the input, a scan
// through a window of a few bytes (its edge everywhere) finds exactly what a
// window holding everything finds, read in one step or a byte at a time;
// matches are in order, never overlap, and cover bytes of their direction;
// the backward search ends at the last match.
//
// Input: mode and flags, the window size, the pattern's length, the record
// cutting seed, the pattern, then the history's bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/DataStore.h"
#include "data/HistoryFind.h"
#include "pattern/BytePattern.h"
#include "platform/Hex.h"
#include "platform/MessageChannel.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

using namespace quillpad;

std::vector<SFindMatch> Scan(const CDataStore& store, const CBytePattern& pattern,
                             std::size_t window, std::size_t budget) {
    std::vector<SFindMatch> all;
    CHistoryScan scan(store, pattern, SHistoryPoint{}, kHistoryEnd, window);
    for (int steps = 0; !scan.Step(budget,
                                   [&all](const SFindMatch& m) {
                                       all.push_back(m);
                                       return true;
                                   });
         ++steps) {
        Check(steps < 1'000'000);
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::size_t window = data[1] % 32 + 1;
    const std::size_t patternLength = std::min<std::size_t>(data[2], size - 4);
    std::uint32_t seed = data[3] | 1u;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 4, size - 4);

    SFindQuery query;
    query.mode = flags % 3 == 0   ? EFindMode::Text
                 : flags % 3 == 1 ? EFindMode::Hex
                                  : EFindMode::Pattern;
    query.matchCase = (flags & 4) == 0;
    query.direction = (flags >> 3) % 3;
    query.text = std::string(rest.substr(0, patternLength));
    const CBytePattern pattern(query);

    CQueuedChannel channel;
    CManualClock clock;
    CDataStore store(channel, clock);
    const std::string_view history = rest.substr(patternLength);
    for (std::size_t at = 0; at < history.size();) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t length = std::min<std::size_t>((seed >> 16) % 9, history.size() - at);
        if ((seed >> 8) & 1) {
            store.AddOutgoingBytes(0, history.substr(at, length));
        } else {
            store.AddIncomingBytes(0, history.substr(at, length));
        }
        at += length;
    }

    if (!pattern.IsValid()) {
        Check(!pattern.Error().empty());
        Check(CountMatches(store, pattern) == 0);
        return 0;
    }
    const std::vector<SFindMatch> whole = FindAll(store, pattern);
    Check(Scan(store, pattern, window, std::size_t(-1)) == whole);
    Check(Scan(store, pattern, window, 1) == whole);

    std::uint64_t previousEnd = 0;
    for (const SFindMatch& m : whole) {
        Check(m.length >= 1);
        Check(m.historyOffset >= previousEnd);
        Check(m.historyEnd >= m.historyOffset + m.length);
        Check(m.historyEnd <= history.size());
        const SDataRecord first = *store.Record(m.sequence);
        Check(m.offset < first.length);
        Check(pattern.Direction() == 0 || first.direction == pattern.Direction());
        const std::string bytes = MatchBytes(store, m, pattern.Direction());
        Check(bytes.size() == m.length);
        if (query.mode == EFindMode::Hex || (query.mode == EFindMode::Text && query.matchCase)) {
            std::string literal;
            std::string error;
            if (query.mode == EFindMode::Hex) {
                ParseHexBytes(query.text, literal, error);
            } else {
                literal = ParseFindEscapes(query.text);
            }
            Check(bytes == literal);
        }
        previousEnd = m.historyEnd;
    }

    CHistoryOffsets offsets;
    offsets.Update(store);
    const auto last = FindBackward(store, offsets, pattern, kHistoryEnd);
    Check(last.has_value() == !whole.empty());
    if (last) {
        Check(*last == whole.back());
    }
    return 0;
}
