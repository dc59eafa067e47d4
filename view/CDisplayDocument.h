#pragma once
// What the console view shows, as data: the displayed text as bytes (one
// byte, one Latin-1 character), its format runs (each an index into a small
// table of the distinct character formats), its line starts and the run
// table that names the record each piece of text came from.
//
// Every distinct format keeps its own slot for as long as the document
// lives, however many the style editor makes: text already drawn never
// changes colour because later text brought new formats.
//
// CR and LF each end a line, as paragraph breaks do in a rich-edit text. The
// run table keeps one entry where the record changes rather than one per
// appended run: a lookup gives the same record either way, at a fraction of
// the memory. Likewise text that draws nothing (line breaks, tabs, control
// bytes) starts no format run of its own: its format could never show, and
// line breaks in a colour of their own would otherwise cost two runs a line. Text removed by a
// backspace takes its now empty runs with it, so text appended afterwards is credited to the record
// that drew it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/SDataRecord.h"
#include "view/CPositionIndex.h"
#include "view/IRenderSurface.h"

namespace quillpad {

class CDisplayDocument final : public IRenderSurface {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    CDisplayDocument();

    // IRenderSurface
    void MoveCaretToEnd() override {}
    void ApplyFormat(const SCharFormat& format) override;
    void AppendRun(std::string_view text, std::uint32_t sequence) override;
    void DeleteLastCharOfCaretLine() override;

    // Empties text, runs, lines and the run table; the format table goes
    // back to the default format alone. Keeping the text's capacity spares a
    // replay that refills it at once from growing it again.
    void Clear(bool keepCapacity = false);

    // Room for this many bytes of text without growing; untouched room
    // costs address space, not memory.
    void Reserve(std::size_t bytes);

    std::string_view Text() const { return m_text; }
    std::size_t Size() const { return m_text.size(); }
    // Bumped by every change, so a view can tell it has something to draw.
    std::uint64_t Revision() const { return m_revision; }

    // Lines: [LineStart, LineEnd) is the line's text, its break not included.
    // There is always at least one (possibly empty) line.
    std::size_t LineCount() const { return m_lineStarts.Count() + 1; }
    std::size_t LineStart(std::size_t line) const {
        return line == 0 ? 0 : m_lineStarts.Position(line - 1);
    }
    std::size_t LineEnd(std::size_t line) const;
    std::size_t LineOf(std::size_t position) const;

    // Formats. Index 0 is the view's default format (nothing applied yet).
    std::size_t FormatCount() const { return m_formats.size(); }
    const SCharFormat& Format(std::size_t index) const { return m_formats[index]; }
    std::size_t CurrentFormat() const { return m_current; }

    // Format runs: run i covers [RunStart(i), RunEnd(i)) in format RunFormat(i).
    std::size_t RunCount() const;
    std::size_t RunAt(std::size_t position) const;  // kNone on an empty text
    std::size_t RunStart(std::size_t run) const;
    std::size_t RunEnd(std::size_t run) const {
        return run + 1 < RunCount() ? RunStart(run + 1) : m_text.size();
    }
    std::size_t RunFormat(std::size_t run) const;

    // The store generation of the records drawn from now on (0, which no
    // store uses, until told).
    void SetGeneration(std::uint32_t generation) { m_generation = generation; }

    // The run table: the record the character at `position` came from. The
    // first character of a run counts to its own run.
    std::optional<std::uint32_t> SequenceAt(std::size_t position) const;
    // The first position drawn by `record` or a later one, Size() when none
    // is: records are drawn in order, so the run table's records rise with
    // the position. A record that draws nothing gives where it would be.
    std::size_t FirstPositionOf(std::size_t record) const;
    std::size_t SequenceEntryCount() const { return m_sequences.Count(); }
    // The first position after `position` where the run table names another
    // record entry (Size() when none does).
    std::size_t NextRecordStart(std::size_t position) const {
        const std::size_t i = m_sequences.FindFirstFrom(position + 1);
        return i < m_sequences.Count() ? m_sequences.Position(i) : m_text.size();
    }
    // The same with the generation it was drawn in, to look it up in the
    // store by: text drawn before a load or a clear names no record after it.
    std::optional<SRecordRef> RecordAt(std::size_t position) const;

    // Memory reserved by the document (capacities, not sizes).
    std::size_t ReservedBytes() const;

  private:
    struct SFormatHash {
        std::size_t operator()(const SCharFormat& format) const;
    };

    std::uint32_t FormatIndex(const SCharFormat& format);

    // Whichever run table is in use.
    template <class F>
    decltype(auto) OnRuns(F&& f) const {
        return m_wideRuns ? f(*m_wideRuns) : f(m_runs);
    }
    template <class F>
    decltype(auto) OnRuns(F&& f) {
        return m_wideRuns ? f(*m_wideRuns) : f(m_runs);
    }

    std::string m_text;
    std::vector<SCharFormat> m_formats;
    std::unordered_map<SCharFormat, std::uint32_t, SFormatHash> m_formatIndex;
    std::uint32_t m_current = 0;
    std::uint32_t m_lastLookup = 0;
    std::uint32_t m_previousLookup = 0;
    // Format indexes fit 16 bits unless the style editor made more formats
    // than that: the runs, by far the largest table after the text, then
    // move to 32-bit values once and stay there until cleared.
    CPositionIndex<std::uint16_t> m_runs;
    std::unique_ptr<CPositionIndex<std::uint32_t>> m_wideRuns;
    CPositionIndex<> m_lineStarts;
    CPositionIndex<std::uint32_t> m_sequences;
    // Where the store generation changes; as rare as loads and clears.
    CPositionIndex<std::uint32_t> m_generations;
    std::uint32_t m_generation = 0;
    std::uint64_t m_revision = 0;
};

inline std::size_t CDisplayDocument::RunCount() const {
    return OnRuns([](const auto& runs) { return runs.Count(); });
}

inline std::size_t CDisplayDocument::RunStart(std::size_t run) const {
    return OnRuns([run](const auto& runs) { return runs.Position(run); });
}

inline std::size_t CDisplayDocument::RunFormat(std::size_t run) const {
    return OnRuns([run](const auto& runs) { return std::size_t{runs.Value(run)}; });
}

}  // namespace quillpad
