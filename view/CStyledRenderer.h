#pragma once
// Turns records into text through a scheme, byte by byte: for each byte its
// colour rule decides font and colour, its format rule how it is written.
// Consecutive bytes under one colour rule go to the surface as one run.
//
// NUL bytes that would be written as themselves (no format rule, or as text)
// are dropped: they show as nothing on screen and in formatted text, and they
// never cut off the rest of a run. Under the hexadecimal codes a NUL is
// written by name ("[00h]", "[NUL]") like every other byte.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
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
// deletions of IRenderSurface. The text of several colour runs may come in
// one append (a count has no formats), so a surface only adds them up.
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
    // While held, the scheme's rules are taken to stay as they are: a count
    // looks their tables up once, not at every record. For a run of counts
    // between which nothing can change the scheme (a slice of the index).
    void HoldScheme(bool hold);
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

    // For a count, what each byte does to the text held back, under one
    // byte table with the record so far in one colour rule: the characters
    // it adds (kOpWidth), then a break; or a backspace; or kOpColour when it
    // changes the colour rule, to be looked up again under the new one.
    static constexpr std::uint8_t kOpWidth = 0x0F;
    static constexpr std::uint8_t kOpBreak = 0x10;
    static constexpr std::uint8_t kOpBackspace = 0x20;
    static constexpr std::uint8_t kOpColour = 0x40;
    // With the widest stretch of byte values [lo, lo + span] that, but for
    // at most two (`except`), all add `width` characters and nothing else:
    // such bytes are taken many at a time.
    struct RunOps {
        std::array<std::uint8_t, 256> op{};
        bool uniform = false;
        std::uint8_t width = 0;
        std::uint8_t lo = 0;
        std::uint8_t span = 0;
        std::array<std::uint8_t, 2> except{};
        // lo, span and the exceptions, each repeated across 16 lanes.
        alignas(16) std::array<std::array<std::uint8_t, 16>, 4> lanes{};
    };
    static std::uint8_t RunOpOf(const SByteChoice& choice, std::uint8_t byte);
    static void FindUniform(RunOps& ops);
    // How many of the `n` bytes at `p` are of the uniform stretch, before
    // the first that is not.
    static std::size_t UniformPrefix(const RunOps& ops, const std::uint8_t* p, std::size_t n);
    // The ops of one table for each colour rule (by index + 1; 0 for none
    // yet), made once per table and rule, not once per record.
    struct SRunOpSet {
        std::uint64_t build = 0;
        std::uint32_t direction = 0;
        std::uint32_t source = 0;
        std::uint64_t covered = 0;
        bool valid = false;
        std::vector<std::unique_ptr<RunOps>> byRule;
    };
    SRunOpSet& RunOpSetFor(std::uint64_t build, const SDataRecord& record, std::uint64_t covered);
    static const RunOps& MakeOps(SRunOpSet& set, const std::array<SByteChoice, 256>& table,
                                 std::int32_t rule);

    const CStyleScheme* m_scheme = nullptr;
    const CCompiledScheme* m_heldCompiled = nullptr;
    // Never read through: the rule may be gone since. Within one record a
    // rule is the current one when it is this one; at a record's first
    // colour rule only when its format is also the kept copy.
    const SStyleRule* m_currentColourRule = nullptr;
    SCharFormat m_currentFormat;
    std::string m_pending;
    std::vector<std::uint32_t> m_pendingBreaks;
    // The run widths of a few tables: a record's own and those its
    // patterns make, one per set of patterns covering a byte. Three pattern
    // rules make up to eight sets, a busy stream uses them all, and a slot
    // too few makes them again at every switch, which costs more than the
    // count.
    std::array<SRunOpSet, 16> m_runOps{};
    std::size_t m_lastRunOps = 0;
    std::size_t m_nextRunOps = 0;  // the slot a new set takes, in turn
};

}  // namespace quillpad
