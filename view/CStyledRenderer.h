#pragma once
// Turns records into text through a scheme, byte by byte: for each byte its
// colour rule decides font and colour, its format rule how it is written.
// Consecutive bytes under one colour rule go to the surface as one run.
//
// NUL bytes that would be written as themselves (no format rule, or as text)
// are dropped: they show as nothing on screen and in formatted text, and they
// never cut off the rest of a run. Under the hexadecimal codes a NUL is
// written by name ("[00h]", "[NUL]") like every other byte.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/SDataRecord.h"
#include "styles/CStyleScheme.h"
#include "view/IRenderSurface.h"

namespace quillpad {

// A record made up on the spot (tests, tools): kind 1, own, incoming by default.
inline SDataRecord MakeRecord(std::string_view bytes, std::uint32_t direction = 1,
                              std::uint32_t source = 1, std::uint32_t sequence = 0) {
    SDataRecord r;
    r.sequence = sequence;
    r.direction = direction;
    r.source = source;
    r.bytes = bytes;
    r.length = static_cast<std::uint32_t>(bytes.size());
    return r;
}

// "[0Dh]" for code 2; "[CR]" for code 3 (control names for 0x00-0x1F).
std::string_view ByteName(std::uint8_t byte, bool translated);

// A point between two bytes of a record where rendering can stop and go on
// again with nothing held back: the next byte and what the renderer knows
// there. Between records `offset`, `ruleInRecord` and `formatApplied` are
// at rest; `currentRule` carries over from record to record.
struct SRenderPoint {
    std::size_t offset = 0;
    std::int32_t currentRule = -1;  // the colour rule in force, by index; -1 none yet
    std::int32_t ruleInRecord = -1;
    bool formatApplied = false;

    bool operator==(const SRenderPoint&) const = default;
};

// What counting the rendered text needs of a surface: text of `length`
// characters with line breaks at the offsets `breaks` (ascending), and the
// deletions of IRenderSurface.
class ICountSurface {
  public:
    virtual ~ICountSurface() = default;
    virtual void AppendCounted(std::size_t length, std::span<const std::uint32_t> breaks) = 0;
    virtual void DeleteLastCharOfCaretLine() = 0;
};

class CStyledRenderer {
  public:
    // Takes a scheme (or none) and forgets the current colour rule, so the
    // first byte rendered afterwards applies its colour rule's format.
    void SetScheme(const CStyleScheme* scheme);
    const CStyleScheme* Scheme() const { return m_scheme; }

    // Renders a record onto the surface. Records of kind other than 1, and of
    // other sources unless showAllSources, are not shown and change nothing.
    void Render(IRenderSurface& surface, const SDataRecord& record, bool showAllSources);

    // Renders a record from `point` on, as Render would go on from there. It
    // stops at the record's end (true: `point` is at rest for the next
    // record) or at the first byte `stopAfter` bytes or more past where it
    // began whose text held back has no line break in it (false: `point` is
    // where it stopped). Held-back text is written there; a backspace after
    // it then deletes on the surface the very characters it would have
    // taken from the held-back text, as long as that had no line break,
    // which it alone may take. Uses the scheme's rules by index; the
    // renderer's own state of Render is left alone.
    bool RenderPart(IRenderSurface& surface, const SDataRecord& record, bool showAllSources,
                    SRenderPoint& point, std::size_t stopAfter);
    // RenderPart without the text: the same appends, breaks, deletions and
    // stops, as counts.
    bool CountPart(ICountSurface& surface, const SDataRecord& record, bool showAllSources,
                   SRenderPoint& point, std::size_t stopAfter);
    // What a surface must be told to start drawing at `point` as if it had
    // drawn everything before it: the format in force.
    void BeginAt(IRenderSurface& surface, const SRenderPoint& point) const;
    // The colour rule in force after the record, given the one before it.
    static std::int32_t RuleAfter(const CStyleScheme* scheme, const SDataRecord& record,
                                  bool showAllSources, std::int32_t before);

    // The translated text of a record without fonts or colours; backspaces act
    // on the text alone. No visibility test.
    static std::string RenderToString(const CStyleScheme* scheme, const SDataRecord& record);
    static void AppendToString(std::string& out, const CStyleScheme* scheme,
                               const SDataRecord& record);
    // The length of that text once the bytes before `offset` are written,
    // each byte chosen for as the whole record chooses.
    static std::size_t DrawnLength(const CStyleScheme* scheme, const SDataRecord& record,
                                   std::size_t offset);
    // DrawnLength for each of `offsets` (rising), in one pass over the record.
    static std::vector<std::size_t> DrawnLengths(const CStyleScheme* scheme,
                                                 const SDataRecord& record,
                                                 std::span<const std::size_t> offsets);

  private:
    static void AppendPrefix(std::string& out, const CStyleScheme* scheme,
                             const SDataRecord& record, std::size_t limit);

    const CStyleScheme* m_scheme = nullptr;
    // Never read through: the rule may be gone since. Within one record a
    // rule is the current one when it is this one; at a record's first
    // colour rule only when its format is also the kept copy.
    const SStyleRule* m_currentColourRule = nullptr;
    SCharFormat m_currentFormat;
    std::string m_pending;
    std::vector<std::uint32_t> m_pendingBreaks;
};

}  // namespace quillpad
