#pragma once
// The display lines of a history that hold a match, like grep over what the
// console shows. A line is a display line of a line index (ended by the line
// ends the style interprets); it holds a match when any byte of the match is
// drawn in it, or would be drawn there when the style hides it. A match that
// runs over line ends takes every line it touches, from the line of its
// first byte to that of its last.
//
// The filter keeps the numbers of the matching lines only, never their text,
// and finds them in steps of a byte budget: the history is searched as the
// find bar searches it, and each match is placed by counting, as the index
// does, from the index's last checkpoint before its record (or on from the
// last match when that is nearer): no text is drawn. Records the index took
// in later are filtered on from the end of the last match.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "data/DataStore.h"
#include "data/HistoryFind.h"
#include "pattern/BytePattern.h"
#include "view/CLineIndex.h"
#include "view/CStyledRenderer.h"

namespace quillpad {

class CLineFilter {
  public:
    // Lines kept at most (8 bytes each); past them the filter stops and says so.
    static constexpr std::size_t kMaxLines = std::size_t{4} << 20;

    // The store, the index and the pattern must outlive the filter; the
    // index must be of the store's current generation.
    CLineFilter(const CDataStore& store, const CLineIndex& index, const CBytePattern& pattern,
                std::size_t maxLines = kMaxLines);

    // Searches on for about `byteBudget` bytes of history; true once every
    // record the index held when the search began (or was last taken on) is
    // filtered.
    bool Step(std::size_t byteBudget);
    bool Done() const { return m_done; }
    // Goes on with the records the index took in since.
    void TakeInNewRecords();
    // Whether the index holds records the filter has not searched.
    bool Behind() const { return m_index.IndexedRecords() > m_records; }

    // The matching lines, in order, each once.
    const std::vector<std::uint64_t>& Lines() const { return m_lines; }
    // Whether more lines matched than are kept.
    bool Capped() const { return m_capped; }
    // How far the current search has got, 0 to 1.
    double Progress() const;

  private:
    void Start(SHistoryPoint from);
    bool Take(const SFindMatch& match);
    // The line where a byte is drawn (or would be).
    std::uint64_t LineOf(std::size_t record, std::uint32_t offset);

    const CDataStore& m_store;
    const CLineIndex& m_index;
    const CBytePattern& m_pattern;
    std::size_t m_maxLines;
    std::unique_ptr<CHistoryScan> m_scan;
    std::size_t m_records = 0;  // the records searched when the scan ends
    std::uint64_t m_from = 0;   // where the scan began and ends, as history offsets
    std::uint64_t m_limit = 0;
    std::vector<std::uint64_t> m_lines;
    // The end of the last match, where a search of new records begins.
    SHistoryPoint m_after;
    bool m_done = false;
    bool m_capped = false;

    // Counts the text from a checkpoint on, keeping where each record from
    // `m_kept` on started and ended and where the lines since broke: breaks
    // never move once drawn (a backspace takes only from the open line), so
    // a byte's line is the count of breaks before its place.
    class CCounter;
    friend class CCounter;
    void CountFrom(std::size_t checkpoint);
    // Counts on to the end of record `record` (or of what is indexed).
    void CountThrough(std::size_t record);
    void CountOne();
    void Appended(std::size_t length, std::span<const std::uint32_t> breaks);
    void Deleted();

    CStyledRenderer m_renderer;
    bool m_counting = false;
    std::size_t m_record = 0;  // where counting goes on
    SRenderPoint m_point;
    std::uint64_t m_size = 0;       // characters of the text counted so far
    std::uint64_t m_lineStart = 0;  // where its open line starts
    // Where a record's text started, and the line it started on: a record
    // whose backspaces take back what earlier records drew can be followed
    // by a break placed before its own start, so which breaks came before a
    // record is told by their count, not their place.
    struct SStart {
        std::uint64_t place;
        std::uint64_t line;
    };
    std::size_t m_kept = 0;               // the first record whose place is kept
    std::vector<SStart> m_starts;         // where records m_kept... started
    std::uint64_t m_line = 0;             // the line of the first kept break
    std::vector<std::uint64_t> m_breaks;  // where lines broke, rising
};

}  // namespace quillpad
