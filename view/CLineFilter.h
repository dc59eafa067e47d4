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
// find bar searches it, and each match is placed by drawing the stretch of
// the index around its record (a few hundred lines at most, kept while the
// next matches fall in it). Records the index took in later are filtered on
// from the end of the last match.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/DataStore.h"
#include "data/FindPattern.h"
#include "data/HistoryFind.h"
#include "view/CDisplayDocument.h"
#include "view/CLineIndex.h"

namespace quillpad {

class CLineFilter {
  public:
    // Lines kept at most (8 bytes each); past them the filter stops and says so.
    static constexpr std::size_t kMaxLines = std::size_t{4} << 20;

    // The store, the index and the pattern must outlive the filter; the
    // index must be of the store's current generation.
    CLineFilter(const CDataStore& store, const CLineIndex& index, const CFindPattern& pattern,
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
    const CFindPattern& m_pattern;
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

    // The stretch last drawn: between checkpoints m_low and m_high.
    CDisplayDocument m_stretch;
    SWindowPlace m_place;
    std::size_t m_low = static_cast<std::size_t>(-1);
    std::size_t m_high = static_cast<std::size_t>(-1);
};

}  // namespace quillpad
