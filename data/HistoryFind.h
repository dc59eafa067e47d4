#pragma once
// Find in a store's whole history, in memory or spilled to disk.
//
// The history is searched as one stream of bytes: every record's bytes in
// sequence order (or only those of one direction), so a match may run across
// records. A position is a history offset: where a byte lies in all records'
// bytes, both directions, counted from the first record. Matches do not
// overlap and are taken left to right, as `grep -o` takes them.
//
// A scan copies the stream into a window of about a megabyte (a match longer
// than that is cut at the window's end), so memory stays bounded however long
// the history is and no record is held across steps. Scans go in steps of a
// byte budget, so that a user interface can search in slices.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/DataStore.h"
#include "pattern/BytePattern.h"

namespace quillpad {

inline constexpr std::uint64_t kHistoryEnd = std::numeric_limits<std::uint64_t>::max();
// A step's budget that takes a few milliseconds (a pattern reads about 1 GB/s).
inline constexpr std::size_t kFindSliceBytes = std::size_t{4} << 20;

// A byte of the history: its record, its offset in that record and its
// history offset. A point at the end has record == RecordCount().
struct SHistoryPoint {
    std::size_t record = 0;
    std::uint32_t offset = 0;
    std::uint64_t history = 0;

    bool operator==(const SHistoryPoint&) const = default;
};

struct SFindMatch {
    std::uint32_t sequence = 0;  // the record the match starts in
    std::uint32_t offset = 0;    // where in that record
    std::uint64_t historyOffset = 0;
    std::uint64_t length = 0;  // bytes matched (of the searched direction)
    // One past the last byte matched, as a history offset; beyond
    // historyOffset + length when bytes of the other direction lie between.
    std::uint64_t historyEnd = 0;

    bool operator==(const SFindMatch&) const = default;
};

// Where each record's bytes start in the history. Kept for every 32nd record
// and caught up with appended records by Update; a clear or a load of the
// store (a new generation) starts it again.
class CHistoryOffsets {
  public:
    static constexpr std::size_t kStep = 32;

    // Indexes up to `recordBudget` records more; true when all are indexed.
    bool Update(const CDataStore& store,
                std::size_t recordBudget = std::numeric_limits<std::size_t>::max());
    // Bytes of the records indexed so far.
    std::uint64_t TotalBytes() const { return m_total; }
    std::size_t IndexedRecords() const { return m_records; }
    // The point of a history offset (the end when beyond the indexed records).
    SHistoryPoint PointAt(const CDataStore& store, std::uint64_t history) const;
    // The point of a byte in a record (< IndexedRecords()).
    SHistoryPoint PointOf(const CDataStore& store, std::size_t record, std::uint32_t offset) const;

  private:
    std::uint32_t m_generation = 0;
    std::vector<std::uint64_t> m_starts;  // of records 0, kStep, 2 * kStep...
    std::size_t m_records = 0;
    std::uint64_t m_total = 0;
};

// A left-to-right scan for matches that begin in [from, beginLimit).
class CHistoryScan {
  public:
    // Bytes read into the window at a time.
    static constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

    // The store and the pattern must outlive the scan, and the store must
    // not be cleared or loaded while it runs.
    // `windowBytes` smaller than the default only tests the window's edges.
    CHistoryScan(const CDataStore& store, const CBytePattern& pattern, SHistoryPoint from,
                 std::uint64_t beginLimit = kHistoryEnd, std::size_t windowBytes = kWindowBytes);

    // Reads on for about `byteBudget` bytes, handing every match to `sink` in
    // order; the sink returns false to end the scan. True once the scan has
    // ended (the end of the history, the limit, or the sink).
    using Sink = std::function<bool(const SFindMatch&)>;
    bool Step(std::size_t byteBudget, const Sink& sink);
    bool Done() const { return m_done; }
    // Every match up to here has been handed on: a history offset.
    std::uint64_t Position() const;
    // The same as a point: a scan started there goes on as this one would.
    SHistoryPoint Point() const;

  private:
    struct SPiece {
        std::size_t at;  // in the window
        std::size_t record;
        std::uint32_t offset;
        std::uint64_t history;
        bool run = false;  // several records read as one (a segment's run)
    };
    // The record and offset `into` bytes into `piece`.
    std::pair<std::size_t, std::uint32_t> PlaceIn(const SPiece& piece, std::size_t into) const;
    // Keeps the window from `keep` on and reads more after it; false at the end.
    bool Refill(std::size_t keep, std::size_t& budget);
    // Drops the window before `keep` (less the pattern's context).
    void Trim(std::size_t keep);
    // Adds bytes after the window: in place where the window's bytes lie
    // just before them in the store, else copied into m_scratch.
    void Take(std::string_view bytes, const std::size_t* before, bool& copying);
    bool Follows(std::string_view bytes, std::size_t before) const;
    const SPiece& PieceOf(std::size_t at) const;
    SFindMatch MatchAt(std::size_t begin, std::size_t end) const;
    std::uint64_t HistoryOf(std::size_t at) const;

    const CDataStore& m_store;
    const CBytePattern& m_pattern;
    std::uint64_t m_beginLimit;
    std::size_t m_windowBytes;
    // The window searched. Within a step it may lie in the store's own
    // memory (a segment read in one piece); between steps, when the store
    // may drop or move what it holds, it is always in m_own.
    std::string_view m_window;
    std::string m_own;
    std::string m_scratch;
    std::vector<SPiece> m_pieces;
    bool m_windowAtStart = true;  // the window's first byte starts the stream
    std::size_t m_scan = 0;       // where in the window the search goes on
    // The next byte to read.
    std::size_t m_record;
    std::uint32_t m_offset;
    std::uint64_t m_history;
    bool m_atEnd = false;  // nothing left to read
    bool m_done = false;
};

// The last match that begins before a history offset: windows of the history
// scanned from the end back, each left to right.
class CHistoryBackwardSearch {
  public:
    static constexpr std::uint64_t kStrideBytes = std::uint64_t{4} << 20;

    // `offsets` must have indexed the store; all must outlive the search.
    CHistoryBackwardSearch(const CDataStore& store, const CHistoryOffsets& offsets,
                           const CBytePattern& pattern, std::uint64_t before);
    // Scans on for about `byteBudget` bytes; true once it has an answer.
    bool Step(std::size_t byteBudget);
    bool Done() const { return m_done; }
    const std::optional<SFindMatch>& Result() const { return m_result; }

  private:
    void StartWindow();

    const CDataStore& m_store;
    const CHistoryOffsets& m_offsets;
    const CBytePattern& m_pattern;
    std::uint64_t m_limit;  // the current window's matches begin before this
    std::uint64_t m_windowStart = 0;
    std::optional<CHistoryScan> m_scan;
    std::optional<SFindMatch> m_last;
    std::optional<SFindMatch> m_result;
    bool m_done = false;
};

// The whole of a search at once, for tools and tests.
std::optional<SFindMatch> FindForward(const CDataStore& store, const CBytePattern& pattern,
                                      SHistoryPoint from = {});
std::optional<SFindMatch> FindBackward(const CDataStore& store, const CHistoryOffsets& offsets,
                                       const CBytePattern& pattern, std::uint64_t before);
std::uint64_t CountMatches(const CDataStore& store, const CBytePattern& pattern);
// The bytes a match covers: those of `direction` only, unless it is 0.
std::string MatchBytes(const CDataStore& store, const SFindMatch& match, std::uint32_t direction);
// Every match, first to last (a caller that expects millions counts instead).
std::vector<SFindMatch> FindAll(const CDataStore& store, const CBytePattern& pattern);

}  // namespace quillpad
