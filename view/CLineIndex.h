#pragma once
// Where the display lines of a store's records lie under one scheme, without
// the text: a sparse list of checkpoints from which the renderer can draw any
// stretch of the history again, exactly as a render of the whole history
// from the first record would have it.
//
// A checkpoint is a point where rendering can stop and go on (a record and a
// byte in it, with the renderer's state there: CStyledRenderer::RenderPart),
// with the display line it lies in and where that line starts. A backspace
// deletes the last character of its line, so what lies before a checkpoint
// on its line is not final until the line ends: each checkpoint also keeps
// how many of those characters survive (for the open last line, so far).
// Checkpoints are made every few hundred lines, and also every few thousand
// characters, so that a single line of many megabytes (hex without breaks)
// can be drawn around any point of it as cheaply as a short one.
//
// The index is built by rendering into a surface that only counts, in slices
// (a budget of record bytes per call), and goes on with records appended
// since; a clear or a load of the store, or another scheme, needs a new one.
// It keeps store indexes only, never a record's bytes.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <span>
#include <vector>

#include "data/DataStore.h"
#include "styles/CStyleScheme.h"
#include "view/CDisplayDocument.h"
#include "view/CStyledRenderer.h"

namespace quillpad {

struct SLineIndexSpacing {
    // A checkpoint at the first point after this many lines, or this many
    // characters, since the last one.
    std::uint64_t lines = 256;
    std::uint64_t chars = 16384;
    // A long record is rendered in pieces of about this many bytes, each end
    // a point a checkpoint may take.
    std::size_t pieceBytes = 4096;
};

struct SLineCheckpoint {
    std::size_t record = 0;  // store index of the record rendering goes on with
    SRenderPoint point;
    std::uint64_t line = 0;       // the display line the checkpoint lies in
    std::uint64_t lineStart = 0;  // where that line starts in the whole text
    std::uint64_t depth = 0;      // characters of the line before it when it was reached
    std::uint64_t survivors = 0;  // of those, the ones the line keeps
    // The least the line held between this checkpoint and the next on it.
    std::uint64_t leastAfter = 0;

    // Where the text drawn from here starts in the whole text.
    std::uint64_t Position() const { return lineStart + survivors; }
};

// In a deque, not a vector: a long history's index holds hundreds of
// thousands, and a vector's growth would move them all at once, in one turn
// (and keep up to as much again in spare capacity).
using LineCheckpoints = std::deque<SLineCheckpoint>;

// A stretch of the history as drawn into a document: the document's first
// character is at `start` of the whole text, its first line is `firstLine`.
struct SWindowPlace {
    std::uint64_t start = 0;
    std::uint64_t firstLine = 0;
    // Where that line starts in the whole text (at or before `start`).
    std::uint64_t firstLineStart = 0;
    // The record drawing began with and the byte in it: a checkpoint may lie
    // inside a long record, whose bytes before it are then not drawn.
    std::size_t record = 0;
    std::size_t offset = 0;
};

class CLineIndex {
  public:
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

    // The scheme must outlive the index and not change while it is used.
    // The indexed text starts with record `firstRecord` (a view cleared
    // while the store kept its records shows only those that came after).
    CLineIndex(const CStyleScheme* scheme, bool showAllSources, SLineIndexSpacing spacing = {},
               std::size_t firstRecord = 0);

    // Indexes the store's records from where the last call stopped, about
    // `byteBudget` record bytes at most. True when every record is indexed.
    // With `recordLimit`, stops before that record (the text as it stood
    // when the store held that many).
    bool Build(const CDataStore& store, std::size_t byteBudget = kUnlimited,
               std::size_t recordLimit = kUnlimited);
    bool Complete(const CDataStore& store) const { return m_record >= store.RecordCount(); }
    // Records indexed so far: [0, IndexedRecords()).
    std::size_t IndexedRecords() const { return m_record; }
    // Record bytes taken in so far, over every call: what indexing cost.
    std::uint64_t IndexedBytes() const { return m_bytes; }

    // Of what is indexed: display lines (at least one) and characters.
    std::uint64_t LineCount() const { return m_line + 1; }
    std::uint64_t TextSize() const { return m_lineStart + m_depth; }
    // Where the last line starts: text before it is final, text after may
    // still lose characters to the backspaces of records to come.
    std::uint64_t OpenLineStart() const { return m_lineStart; }
    std::size_t FirstRecord() const { return m_points.front().record; }
    const LineCheckpoints& Checkpoints() const { return m_points; }
    // Memory the checkpoints hold.
    std::size_t ReservedBytes() const { return m_points.size() * sizeof(SLineCheckpoint); }
    // What it draws with.
    const CStyleScheme* Scheme() const { return m_scheme; }
    bool ShowAllSources() const { return m_showAllSources; }

    // Draws the lines [first, last) of the indexed text into `out` (cleared
    // first), with whatever lies between them and the nearest checkpoints.
    SWindowPlace RenderLines(const CDataStore& store, std::uint64_t first, std::uint64_t last,
                             CDisplayDocument& out) const;
    // The same for the characters [from, to) of the whole text.
    SWindowPlace RenderRange(const CDataStore& store, std::uint64_t from, std::uint64_t to,
                             CDisplayDocument& out) const;

  private:
    class CCounter;
    friend class CCounter;

    void Append(std::size_t length, std::span<const std::uint32_t> breaks);
    void DeleteLast();
    void EndLine();
    // Settles the survivors of the checkpoints on the open line.
    void Settle();
    void MaybeCheckpoint();
    // Renders from checkpoint `from` up to checkpoint `to` (or the indexed
    // end when `to` is past the last).
    SWindowPlace RenderBetween(const CDataStore& store, std::size_t from, std::size_t to,
                               CDisplayDocument& out) const;

    const CStyleScheme* m_scheme;
    bool m_showAllSources;
    SLineIndexSpacing m_spacing;
    CStyledRenderer m_renderer;
    // Where indexing goes on.
    std::size_t m_record = 0;
    std::uint64_t m_bytes = 0;
    SRenderPoint m_point;
    // The counted text: lines before the open one, where it starts, what it
    // holds, the least it held since its last checkpoint, and all characters
    // ever appended (deleted ones too), for the spacing.
    std::uint64_t m_line = 0;
    std::uint64_t m_lineStart = 0;
    std::uint64_t m_depth = 0;
    std::uint64_t m_least = 0;
    std::uint64_t m_appended = 0;
    std::uint64_t m_appendedAtLast = 0;
    std::size_t m_firstOpen = 0;  // the first checkpoint on the open line
    LineCheckpoints m_points;
    // Its size, which every line's end asks for: a deque counts its nodes.
    std::size_t m_pointCount = 0;
};

// The last `lines` lines of the store's records as the whole render would
// end, into `out`: exact from the first record it renders on, because the
// colour rule in force there is found by looking back. Renders at most
// about `byteBudget` record bytes; what it draws is always the end of the
// whole text (its first line may be the end of a longer one). Returns the
// number of lines it holds.
// Records before `firstRecord` play no part; with `endRecord`, the text ends
// as it did when the store held that many records. `firstDrawn`, when
// given, is set to the first record rendered (the text's start there is
// `firstRecord`).
std::size_t RenderLastLines(const CDataStore& store, const CStyleScheme* scheme,
                            bool showAllSources, std::size_t lines, CDisplayDocument& out,
                            std::size_t byteBudget = std::size_t{1} << 16,
                            std::size_t firstRecord = 0,
                            std::size_t endRecord = CLineIndex::kUnlimited,
                            std::size_t* firstDrawn = nullptr);

// Records [from, to) of the store drawn as the whole render draws them from
// `from` on, into `out`: the colour rule in force at `from` is found by
// looking back to `firstRecord`.
void RenderRecords(const CDataStore& store, const CStyleScheme* scheme, bool showAllSources,
                   std::size_t firstRecord, std::size_t from, std::size_t to,
                   CDisplayDocument& out);

}  // namespace quillpad
