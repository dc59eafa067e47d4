#include "view/CStyledRenderer.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <memory>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "view/PatternRules.h"
#include "view/SameFormat.h"

namespace quillpad {
namespace {

static_assert(kSourceMark == static_cast<std::uint32_t>(kOwnerMarks));

// Records of another kind, and of other sources unless all are shown, draw
// nothing; marks always draw.
bool IsShown(const SDataRecord& record, bool showAllSources) {
    return IsShownRecord(record, showAllSources);
}

// The bytes [begin, stop) a part of a record takes from `offset` on, at most
// `stopAfter` of them.
struct SPartSpan {
    std::size_t begin;
    std::size_t stop;
};
SPartSpan PartSpan(const SDataRecord& record, std::size_t offset, std::size_t stopAfter) {
    const std::size_t size = record.bytes.size();
    const std::size_t begin = std::min(offset, size);
    return {begin, stopAfter >= size - begin ? size : begin + stopAfter};
}

// Views, not C strings: a count takes their lengths byte by byte.
constexpr std::array<std::string_view, 32> kControlNames = {
    "[NUL]", "[SOH]", "[STX]", "[ETX]", "[EOT]", "[ENQ]", "[ACK]", "[BEL]",
    "[BS]",  "[TAB]", "[LF]",  "[VT]",  "[FF]",  "[CR]",  "[SO]",  "[SI]",
    "[DLE]", "[DC1]", "[DC2]", "[DC3]", "[DC4]", "[NAK]", "[SYN]", "[ETB]",
    "[CAN]", "[EM]",  "[SUB]", "[ESC]", "[FS]",  "[GS]",  "[RS]",  "[US]"};

struct SHexNames {
    std::array<std::array<char, 5>, 256> names{};
    SHexNames() {
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (unsigned b = 0; b < 256; ++b) {
            names[b] = {'[', kDigits[b >> 4], kDigits[b & 15], 'h', ']'};
        }
    }
};
const SHexNames g_hexNames;

// Bytes a count takes one by one before it looks for a longer run.
constexpr std::size_t kQuickRun = 16;

// Writes one byte's translation. A backspace writes nothing: its caller
// takes back the last byte standing (CStandingBytes), where the text goes.
inline void Translate(std::string& out, std::uint8_t b, const SByteChoice& c) {
    switch (c.action) {
        case EByteAction::Copy:
            out.push_back(static_cast<char>(b));
            return;
        case EByteAction::Drop:
        case EByteAction::Backspace:
            return;
        case EByteAction::Newline:
            out.push_back('\n');
            return;
        case EByteAction::Name:
        case EByteAction::NameThenCR:
        case EByteAction::NameThenLF:
            out += ByteName(b, c.translatedNames);
            if (c.action == EByteAction::NameThenCR) {
                out.push_back('\r');
            } else if (c.action == EByteAction::NameThenLF) {
                out.push_back('\n');
            }
            return;
    }
}

// The characters one byte's translation adds; -1 for a backspace.
inline int DrawnWidth(std::uint8_t b, const SByteChoice& c) {
    switch (c.action) {
        case EByteAction::Copy:
        case EByteAction::Newline:
            return 1;
        case EByteAction::Drop:
            return 0;
        case EByteAction::Backspace:
            return -1;
        case EByteAction::Name:
            return static_cast<int>(ByteName(b, c.translatedNames).size());
        case EByteAction::NameThenCR:
        case EByteAction::NameThenLF:
            return static_cast<int>(ByteName(b, c.translatedNames).size()) + 1;
    }
    return 0;
}

// The bytes of one record still standing in its text, so that a backspace
// takes back the last byte whole: all of "[07h]", not its "]". Nothing is
// kept until the record's first backspace, which replays the record from
// its start; later ones go on from there, so a record costs one pass.
class CStandingBytes {
  public:
    // The characters of the last byte standing before the backspace at `at`,
    // which it takes back; 0 when none of the record's bytes stands (the
    // backspace then acts on what came before). `widthOf(j)` is DrawnWidth
    // of byte j.
    template <class WidthOf>
    std::size_t TakeBack(std::size_t at, WidthOf&& widthOf) {
        for (; m_upTo < at; ++m_upTo) {
            const int width = widthOf(m_upTo);
            if (width < 0) {
                if (!m_widths.empty()) {
                    m_widths.pop_back();
                }
            } else if (width > 0) {
                m_widths.push_back(static_cast<std::uint16_t>(width));
            }
        }
        m_upTo = at + 1;
        if (m_widths.empty()) {
            return 0;
        }
        const std::size_t width = m_widths.back();
        m_widths.pop_back();
        return width;
    }

  private:
    std::vector<std::uint16_t> m_widths;
    std::size_t m_upTo = 0;
};

// The choice for a byte: from the tables, or by walking the rules for a
// direction or source outside 1 and 2 (records from foreign files), or for
// a byte that a pattern rule's pattern found.
class CChooser {
  public:
    // For a count alone (`countOnly`) the patterns may be left unsearched
    // while the count does not need them: see Deferred.
    // With `held`, the scheme's tables as they were refreshed last.
    CChooser(const CStyleScheme& scheme, const SDataRecord& record, bool countOnly = false,
             const CCompiledScheme* held = nullptr)
        : m_scheme(scheme), m_record(record) {
        const CCompiledScheme& compiled = held != nullptr ? *held : scheme.Compiled();
        m_build = compiled.BuildCount();
        if (IsMarkRecord(record)) {
            m_table = &compiled.MarkTable();  // no pattern rule takes a mark
            return;
        }
        if (CCompiledScheme::HasTable(record.direction, record.source)) {
            m_table = &compiled.Table(record.direction, record.source);
        }
        m_patterns = PatternRulesOf(scheme);
        if (m_patterns != nullptr) {
            m_deferred = countOnly && CountNeedsNoCovers();
            if (!m_deferred) {
                m_patterns->Cover(record.bytes, m_covers);
            }
        }
    }
    // Whether the patterns were left unsearched: their rules only colour, so
    // no byte's text changes, and no backspace in the record can tell where
    // a colour changed (after one the text held back is out). A count then
    // needs the colours only where it stops: SettleColour.
    bool Deferred() const { return m_deferred; }
    // After a deferred count of [begin, end) that began in `entry`: the
    // colour rule in force at `end` as the patterns have it, into `point`.
    void SettleColour(SRenderPoint& point, const SRenderPoint& entry, std::size_t begin,
                      std::size_t end) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(m_record.bytes.data());
        // A pattern rule only adds to the rules a byte may match: the last
        // byte the table colours is coloured still, and the last coloured
        // byte lies at or after it, in its line or the lines after.
        std::size_t from = end;
        while (from > begin && (*m_table)[bytes[from - 1]].colourRule < 0) {
            --from;
        }
        from = from > begin ? from - 1 : begin;
        while (from > 0 && bytes[from - 1] != '\r' && bytes[from - 1] != '\n') {
            --from;
        }
        m_patterns->CoverRange(m_record.bytes, from, end, m_covers);
        m_cursor = 0;
        point.currentRule = entry.currentRule;
        point.ruleInRecord = entry.ruleInRecord;
        point.formatApplied = entry.formatApplied;
        for (std::size_t i = end; i > begin; --i) {
            const std::int32_t rule = (*this)(i - 1, bytes[i - 1]).colourRule;
            if (rule >= 0) {
                point.formatApplied = entry.formatApplied || rule != entry.currentRule;
                point.currentRule = rule;
                point.ruleInRecord = rule;
                break;
            }
        }
        m_covers.clear();
    }
    // The choice for byte `b` at `at` in the record.
    const SByteChoice& operator()(std::size_t at, std::uint8_t b) {
        if (!m_covers.empty()) {
            const std::uint64_t covered = CoveredAt(at);
            if (covered != 0) {
                if (const auto* table = CoveredTable(covered)) {
                    return (*table)[b];
                }
                return CoveredChoice(covered, b);
            }
        }
        if (m_table) {
            return (*m_table)[b];
        }
        m_walked = ChooseByWalking(m_scheme.RulePointers(), b, m_record.direction, m_record.source,
                                   m_scheme.PatternRules);
        return m_walked;
    }
    // A table right for every byte from `at` up to `end`, or null where
    // bytes must be chosen one by one.
    // `covered` names the table: the patterns covering its bytes.
    struct SSegment {
        const std::array<SByteChoice, 256>* table;
        std::size_t end;
        std::uint64_t covered;
    };
    SSegment SegmentAt(std::size_t at) {
        const std::size_t size = m_record.bytes.size();
        if (m_covers.empty()) {
            return {m_table, size, 0};
        }
        const std::uint64_t covered = CoveredAt(at);
        if (covered == 0) {
            return {m_table, m_cursor < m_covers.size() ? m_covers[m_cursor].begin : size, 0};
        }
        return {CoveredTable(covered), m_covers[m_cursor].end, covered};
    }
    std::uint64_t Build() const { return m_build; }

  private:
    bool CountNeedsNoCovers() const {
        if (m_table == nullptr || !m_patterns->CoversFromAnyLine()) {
            return false;
        }
        for (const SStyleRule* rule : m_scheme.RulePointers()) {
            if (IsPatternRule(*rule, true) && rule->Format_ApplyFormat) {
                return false;
            }
        }
        std::bitset<256> backspaces;
        for (unsigned b = 0; b < 256; ++b) {
            backspaces[b] = (*m_table)[b].action == EByteAction::Backspace;
        }
        if (backspaces.none()) {
            return true;
        }
        const std::string_view bytes = m_record.bytes;
        if (backspaces.count() == 1) {
            unsigned only = 0;
            while (!backspaces[only]) {
                ++only;
            }
            return bytes.find(static_cast<char>(only)) == std::string_view::npos;
        }
        return std::none_of(bytes.begin(), bytes.end(),
                            [&](char c) { return backspaces[static_cast<std::uint8_t>(c)]; });
    }

    const std::array<SByteChoice, 256>* CoveredTable(std::uint64_t covered) {
        if (m_table == nullptr) {
            return nullptr;
        }
        if (covered != m_lastCovered) {
            m_lastCovered = covered;
            m_lastCoveredTable = m_patterns->CoveredTable(m_scheme, m_build, m_record.direction,
                                                          m_record.source, covered);
        }
        return m_lastCoveredTable;
    }

    // Past the kept tables a covered byte's choice walks the rules; the walk
    // depends only on the byte and which patterns cover it, so a run of
    // covered bytes (digits of one number, say) walks once per distinct byte.
    struct SCoveredChoices {
        std::uint64_t covered = 0;
        std::bitset<256> known;
        std::array<SByteChoice, 256> choice;
    };
    const SByteChoice& CoveredChoice(std::uint64_t covered, std::uint8_t b) {
        if (!m_coveredChoices) {
            m_coveredChoices = std::make_unique<SCoveredChoices>();
        }
        SCoveredChoices& cache = *m_coveredChoices;
        if (cache.covered != covered) {
            cache.covered = covered;
            cache.known.reset();
        }
        if (!cache.known[b]) {
            cache.choice[b] = ChooseByWalking(m_scheme.RulePointers(), b, m_record.direction,
                                              m_record.source, true, covered);
            cache.known.set(b);
        }
        return cache.choice[b];
    }

    std::uint64_t CoveredAt(std::size_t at) {
        while (m_cursor < m_covers.size() && m_covers[m_cursor].end <= at) {
            ++m_cursor;
        }
        while (m_cursor > 0 && m_covers[m_cursor - 1].end > at) {
            --m_cursor;
        }
        return m_cursor < m_covers.size() && m_covers[m_cursor].begin <= at
                   ? m_covers[m_cursor].rules
                   : 0;
    }

    const CStyleScheme& m_scheme;
    const SDataRecord& m_record;
    const CPatternRuleSet* m_patterns = nullptr;
    std::uint64_t m_build = 0;
    const std::array<SByteChoice, 256>* m_table = nullptr;
    SByteChoice m_walked;
    std::vector<SPatternCover> m_covers;
    std::size_t m_cursor = 0;
    std::unique_ptr<SCoveredChoices> m_coveredChoices;
    std::uint64_t m_lastCovered = 0;
    const std::array<SByteChoice, 256>* m_lastCoveredTable = nullptr;
    bool m_deferred = false;
};

}  // namespace

std::string_view ByteName(std::uint8_t byte, bool translated) {
    if (translated && byte < 0x20) {
        return kControlNames[byte];
    }
    return std::string_view(g_hexNames.names[byte].data(), 5);
}

void CStyledRenderer::HoldScheme(bool hold) {
    m_heldCompiled = hold && m_scheme != nullptr ? &m_scheme->Compiled() : nullptr;
}

void CStyledRenderer::SetScheme(const CStyleScheme* scheme) {
    m_scheme = scheme;
    m_heldCompiled = nullptr;
    m_currentColourRule = nullptr;
    m_runOps = {};
    m_lastRunOps = 0;
    m_nextRunOps = 0;
}

void CStyledRenderer::Render(IRenderSurface& surface, const SDataRecord& record,
                             bool showAllSources) {
    if (!IsShown(record, showAllSources)) {
        return;
    }
    surface.MoveCaretToEnd();
    if (m_scheme == nullptr) {
        m_pending.clear();
        for (const char c : record.bytes) {
            if (c != '\0') {
                m_pending.push_back(c);
            }
        }
        if (!m_pending.empty()) {
            surface.AppendRun(m_pending, record.sequence);
        }
        return;
    }
    m_pending.clear();
    bool formatApplied = false;
    auto flush = [&] {
        if (m_pending.empty()) {
            return;
        }
        if (!formatApplied && m_currentColourRule != nullptr) {
            surface.ApplyFormat(m_currentFormat);
        }
        surface.AppendRun(m_pending, record.sequence);
        m_pending.clear();
    };
    CChooser choose(*m_scheme, record);
    CStandingBytes standing;
    const auto widthOf = [&](std::size_t j) {
        const auto bj = static_cast<std::uint8_t>(record.bytes[j]);
        return DrawnWidth(bj, choose(j, bj));
    };
    const auto& rules = m_scheme->RulePointers();
    // The rules cannot change while one record renders, but may have between
    // two: the first colour rule met is compared by its format, not by its
    // address, which a rule edited in place or made anew may keep. Within the
    // record the rule's index alone tells it is the current one.
    int ruleInRecord = -1;
    for (std::size_t i = 0; i < record.bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(record.bytes[i]);
        const SByteChoice& c = choose(i, b);
        if (c.colourRule >= 0 && c.colourRule != ruleInRecord) {
            const SStyleRule* colour = rules[static_cast<std::size_t>(c.colourRule)];
            if (colour != m_currentColourRule ||
                (ruleInRecord < 0 && !SameFormat(colour->CharFormat, m_currentFormat))) {
                flush();
                m_currentColourRule = colour;
                m_currentFormat = colour->CharFormat;
                // From the rule, not the copy just written: reading that back
                // at once stalls on the stores still in flight.
                surface.ApplyFormat(colour->CharFormat);
                formatApplied = true;
            }
            ruleInRecord = c.colourRule;
        }
        if (c.action == EByteAction::Backspace) {
            // The byte's characters still held back go from there, any
            // written out already from the surface.
            const std::size_t width = std::max<std::size_t>(standing.TakeBack(i, widthOf), 1);
            const std::size_t held = std::min(width, m_pending.size());
            m_pending.resize(m_pending.size() - held);
            for (std::size_t k = held; k < width; ++k) {
                surface.DeleteLastCharOfCaretLine();
            }
            continue;
        }
        Translate(m_pending, b, c);
    }
    flush();
}

bool CStyledRenderer::RenderPart(IRenderSurface& surface, const SDataRecord& record,
                                 bool showAllSources, SRenderPoint& point, std::size_t stopAfter) {
    if (!IsShown(record, showAllSources)) {
        return true;
    }
    const std::size_t size = record.bytes.size();
    const auto [begin, stop] = PartSpan(record, point.offset, stopAfter);
    surface.MoveCaretToEnd();
    m_pending.clear();
    if (m_scheme == nullptr) {
        // Nothing is ever deleted without a scheme: any byte will do.
        for (std::size_t i = begin; i < stop; ++i) {
            if (record.bytes[i] != '\0') {
                m_pending.push_back(record.bytes[i]);
            }
        }
        if (!m_pending.empty()) {
            surface.AppendRun(m_pending, record.sequence);
        }
        point.offset = stop;
        if (stop < size) {
            return false;
        }
        point.offset = 0;
        return true;
    }
    const auto& rules = m_scheme->RulePointers();
    const auto ruleAt = [&](std::int32_t i) { return rules[static_cast<std::size_t>(i)]; };
    auto flush = [&] {
        if (m_pending.empty()) {
            return;
        }
        if (!point.formatApplied && point.currentRule >= 0) {
            surface.ApplyFormat(ruleAt(point.currentRule)->CharFormat);
        }
        surface.AppendRun(m_pending, record.sequence);
        m_pending.clear();
    };
    CChooser choose(*m_scheme, record);
    CStandingBytes standing;
    const auto widthOf = [&](std::size_t j) {
        const auto bj = static_cast<std::uint8_t>(record.bytes[j]);
        return DrawnWidth(bj, choose(j, bj));
    };
    // Line breaks in the held-back text: while there are any it cannot be
    // written early (a backspace may take a break from it, never from the
    // surface).
    std::size_t breaks = 0;
    for (std::size_t i = begin; i < size; ++i) {
        if (i >= stop && breaks == 0) {
            flush();
            point.offset = i;
            return false;
        }
        const auto b = static_cast<std::uint8_t>(record.bytes[i]);
        const SByteChoice& c = choose(i, b);
        // Within one scheme a rule is the current one exactly when its index is.
        if (c.colourRule >= 0 && c.colourRule != point.ruleInRecord) {
            if (c.colourRule != point.currentRule) {
                flush();
                breaks = 0;
                point.currentRule = c.colourRule;
                surface.ApplyFormat(ruleAt(c.colourRule)->CharFormat);
                point.formatApplied = true;
            }
            point.ruleInRecord = c.colourRule;
        }
        if (c.action == EByteAction::Backspace) {
            // As Render: from the text held back, then from the surface.
            const std::size_t width = std::max<std::size_t>(standing.TakeBack(i, widthOf), 1);
            const std::size_t held = std::min(width, m_pending.size());
            for (std::size_t k = m_pending.size() - held; k < m_pending.size(); ++k) {
                breaks -= m_pending[k] == '\n' || m_pending[k] == '\r';
            }
            m_pending.resize(m_pending.size() - held);
            for (std::size_t k = held; k < width; ++k) {
                surface.DeleteLastCharOfCaretLine();
            }
            continue;
        }
        const std::size_t before = m_pending.size();
        Translate(m_pending, b, c);
        for (std::size_t k = before; k < m_pending.size(); ++k) {
            breaks += m_pending[k] == '\n' || m_pending[k] == '\r';
        }
    }
    flush();
    point.offset = 0;
    point.ruleInRecord = -1;
    point.formatApplied = false;
    return true;
}

bool CStyledRenderer::CountPart(ICountSurface& surface, const SDataRecord& record,
                                bool showAllSources, SRenderPoint& point, std::size_t stopAfter) {
    if (!IsShown(record, showAllSources)) {
        return true;
    }
    const std::size_t size = record.bytes.size();
    const auto [begin, stop] = PartSpan(record, point.offset, stopAfter);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record.bytes.data());
    // The text held back, as its length and where its breaks lie. Of it,
    // the first `out` characters (with `outBreaks` breaks) count as written
    // already, as a change of colour writes them: a backspace cannot take
    // them back. They go to the surface with the rest, in one append.
    std::size_t pending = 0;
    std::size_t out = 0;
    std::size_t outBreaks = 0;
    m_pendingBreaks.clear();
    auto flush = [&] {
        if (pending > 0) {
            surface.AppendCounted(pending, m_pendingBreaks);
            pending = 0;
            m_pendingBreaks.clear();
        }
        out = 0;
        outBreaks = 0;
    };
    auto addBreak = [&] { m_pendingBreaks.push_back(static_cast<std::uint32_t>(pending++)); };
    if (m_scheme == nullptr) {
        for (std::size_t i = begin; i < stop; ++i) {
            if (bytes[i] == '\r' || bytes[i] == '\n') {
                addBreak();
            } else if (bytes[i] != 0) {
                ++pending;
            }
        }
        flush();
        point.offset = stop < size ? stop : 0;
        return stop == size;
    }
    CChooser choose(*m_scheme, record, true, m_heldCompiled);
    CStandingBytes standing;
    const SRenderPoint entry = point;
    // A colour rule met that is not the record's so far; the current one
    // only changes (and the text held back goes out) when it differs too.
    const auto colour = [&](std::int32_t rule) {
        if (rule != point.currentRule) {
            out = pending;
            outBreaks = m_pendingBreaks.size();
            point.currentRule = rule;
            point.formatApplied = true;
        }
        point.ruleInRecord = rule;
    };
    // A backspace at `at` takes the characters of the last byte standing
    // from the text held back (breaks too), and what of them a change of
    // colour wrote out already from the line on the surface, as Render does.
    const auto backspace = [&](std::size_t at) {
        const std::size_t width = std::max<std::size_t>(
            standing.TakeBack(
                at, [&](std::size_t j) { return DrawnWidth(bytes[j], choose(j, bytes[j])); }),
            1);
        const std::size_t held = std::min(width, pending - out);
        pending -= held;
        while (m_pendingBreaks.size() > outBreaks && m_pendingBreaks.back() >= pending) {
            m_pendingBreaks.pop_back();
        }
        if (held < width) {
            flush();
            for (std::size_t k = held; k < width; ++k) {
                surface.DeleteLastCharOfCaretLine();
            }
        }
    };
    // What one byte's op does to the text held back.
    const auto apply = [&](std::uint8_t op, std::size_t at) {
        if ((op & kOpBackspace) != 0) {
            backspace(at);
            return;
        }
        pending += op & kOpWidth;
        if ((op & kOpBreak) != 0) {
            addBreak();
        }
    };
    // Whether the text held back has a break a backspace may still take:
    // no stop may fall then.
    const auto heldBreaks = [&] { return m_pendingBreaks.size() > outBreaks; };
    SRunOpSet* opSet = nullptr;
    std::uint64_t opSetCovered = 0;
    std::size_t i = begin;
    while (i < size) {
        if (i >= stop && !heldBreaks()) {
            flush();
            if (choose.Deferred()) {
                choose.SettleColour(point, entry, begin, i);
            }
            point.offset = i;
            return false;
        }
        const auto [table, segmentEnd, covered] = choose.SegmentAt(i);
        if (table == nullptr) {
            // No table for these bytes: each is chosen by walking the rules.
            const std::uint8_t b = bytes[i];
            const SByteChoice& c = choose(i, b);
            if (c.colourRule >= 0 && c.colourRule != point.ruleInRecord) {
                colour(c.colourRule);
            }
            apply(RunOpOf(c, b), i);
            ++i;
            continue;
        }
        if (opSet == nullptr || covered != opSetCovered) {
            opSet = &RunOpSetFor(choose.Build(), record, covered);
            opSetCovered = covered;
        }
        const auto opsFor = [&, table = table](std::int32_t rule) -> const RunOps* {
            const auto& slot = opSet->byRule[static_cast<std::size_t>(rule + 1)];
            return slot ? slot.get() : &MakeOps(*opSet, *table, rule);
        };
        const RunOps* ops = opsFor(point.ruleInRecord);
        const std::size_t end = std::min(segmentEnd, size);
        while (i < end) {
            const bool free = !heldBreaks();
            if (free && i >= stop) {
                break;  // a stop falls here
            }
            // Most bytes add to the text held back and nothing else: a run
            // of them is counted in one go, up to where a stop may fall.
            const std::size_t limit = free ? std::min(end, stop) : end;
            std::size_t added = 0;
            std::uint8_t op = 0;
            // Byte by byte first, as most runs are short; a run that goes on
            // is taken many bytes at a time where the table allows.
            const std::size_t quick = std::min(limit, i + kQuickRun);
            for (; i < quick; ++i) {
                op = ops->op[bytes[i]];
                if (op > kOpWidth) {
                    break;
                }
                added += op;
            }
            if (i == quick && i < limit) {
                if (ops->uniform) {
                    const std::size_t n = UniformPrefix(*ops, bytes + i, limit - i);
                    added += n * ops->width;
                    i += n;
                }
                for (; i < limit; ++i) {
                    op = ops->op[bytes[i]];
                    if (op > kOpWidth) {
                        break;
                    }
                    added += op;
                }
            }
            pending += added;
            if (i == limit) {
                continue;
            }
            if ((op & kOpColour) != 0) {
                colour((*table)[bytes[i]].colourRule);
                ops = opsFor(point.ruleInRecord);
                op = ops->op[bytes[i]];
            }
            apply(op, i);
            ++i;
        }
    }
    flush();
    if (choose.Deferred()) {
        choose.SettleColour(point, entry, begin, size);
    }
    point.offset = 0;
    point.ruleInRecord = -1;
    point.formatApplied = false;
    return true;
}

std::uint8_t CStyledRenderer::RunOpOf(const SByteChoice& c, std::uint8_t b) {
    // As Translate writes it.
    switch (c.action) {
        case EByteAction::Copy:
            return b == '\r' || b == '\n' ? kOpBreak : 1;
        case EByteAction::Drop:
            return 0;
        case EByteAction::Newline:
            return kOpBreak;
        case EByteAction::Backspace:
            return kOpBackspace;
        case EByteAction::Name:
        case EByteAction::NameThenCR:
        case EByteAction::NameThenLF: {
            const auto width = static_cast<std::uint8_t>(ByteName(b, c.translatedNames).size());
            return c.action == EByteAction::Name ? width
                                                 : static_cast<std::uint8_t>(width | kOpBreak);
        }
    }
    return 0;
}

CStyledRenderer::SRunOpSet& CStyledRenderer::RunOpSetFor(std::uint64_t build,
                                                         const SDataRecord& record,
                                                         std::uint64_t covered) {
    // A table's choices follow from the scheme's build, the record's
    // direction and source, and the patterns covering the bytes.
    const auto same = [&](const SRunOpSet& set) {
        return set.valid && set.build == build && set.direction == record.direction &&
               set.source == StyleSourceOf(record) && set.covered == covered;
    };
    if (same(m_runOps[m_lastRunOps])) {
        return m_runOps[m_lastRunOps];
    }
    for (std::size_t k = 0; k < m_runOps.size(); ++k) {
        if (same(m_runOps[k])) {
            m_lastRunOps = k;
            return m_runOps[k];
        }
    }
    m_lastRunOps = m_nextRunOps;
    m_nextRunOps = (m_nextRunOps + 1) % m_runOps.size();
    SRunOpSet& set = m_runOps[m_lastRunOps];
    set.build = build;
    set.direction = record.direction;
    set.source = StyleSourceOf(record);
    set.covered = covered;
    set.valid = true;
    set.byRule.clear();
    set.byRule.resize(m_scheme->RulePointers().size() + 1);
    return set;
}

const CStyledRenderer::RunOps& CStyledRenderer::MakeOps(SRunOpSet& set,
                                                        const std::array<SByteChoice, 256>& table,
                                                        std::int32_t rule) {
    std::unique_ptr<RunOps>& slot = set.byRule[static_cast<std::size_t>(rule + 1)];
    slot = std::make_unique<RunOps>();
    for (unsigned b = 0; b < 256; ++b) {
        const SByteChoice& c = table[b];
        const bool change = c.colourRule >= 0 && c.colourRule != rule;
        slot->op[b] = change ? kOpColour : RunOpOf(c, static_cast<std::uint8_t>(b));
    }
    FindUniform(*slot);
    return *slot;
}

void CStyledRenderer::FindUniform(RunOps& ops) {
    // For each width, the widest window of byte values holding at most two
    // of another op, by a sliding window; the one with the most bytes of
    // the width wins. Text is mostly one stretch (printable ASCII), names
    // nearly every byte but the breaks.
    std::size_t best = 0;
    for (unsigned w = 0; w <= kOpWidth; ++w) {
        unsigned lo = 0;
        unsigned others = 0;
        for (unsigned hi = 0; hi < 256; ++hi) {
            others += ops.op[hi] != w;
            while (others > 2) {
                others -= ops.op[lo] != w;
                ++lo;
            }
            const std::size_t covered = hi + 1 - lo - others;
            if (covered > best) {
                best = covered;
                ops.width = static_cast<std::uint8_t>(w);
                ops.lo = static_cast<std::uint8_t>(lo);
                ops.span = static_cast<std::uint8_t>(hi - lo);
            }
        }
    }
    // Worth it only for a long stretch: a few values are as quick by table.
    ops.uniform = best >= 16;
    if (!ops.uniform) {
        return;
    }
    // The exceptions, repeated; when none, a value outside the window (or,
    // when it holds every value, NUL, which then just takes the slow way).
    std::size_t found = 0;
    const unsigned outside = ops.lo > 0 ? ops.lo - 1u : (ops.lo + ops.span + 1u) & 0xFFu;
    ops.except = {static_cast<std::uint8_t>(outside), static_cast<std::uint8_t>(outside)};
    for (unsigned b = ops.lo; b <= ops.lo + ops.span; ++b) {
        if (ops.op[b] != ops.width) {
            ops.except[found++] = static_cast<std::uint8_t>(b);
        }
    }
    if (found == 1) {
        ops.except[1] = ops.except[0];
    }
    ops.lanes[0].fill(ops.lo);
    ops.lanes[1].fill(ops.span);
    ops.lanes[2].fill(ops.except[0]);
    ops.lanes[3].fill(ops.except[1]);
}

std::size_t CStyledRenderer::UniformPrefix(const RunOps& ops, const std::uint8_t* p,
                                           std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const auto lane = [&ops](std::size_t k) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(ops.lanes[k].data()));
    };
    const __m128i lo = lane(0);
    const __m128i span = lane(1);
    const __m128i except0 = lane(2);
    const __m128i except1 = lane(3);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // In the stretch: v - lo, as unsigned, no more than span.
        const __m128i t = _mm_sub_epi8(v, lo);
        const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(t, span), t);
        const __m128i out = _mm_or_si128(_mm_cmpeq_epi8(v, except0), _mm_cmpeq_epi8(v, except1));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(out, in)));
        if (mask != 0xFFFFu) {
            return i + static_cast<std::size_t>(__builtin_ctz(~mask));
        }
    }
#endif
    for (; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (static_cast<std::uint8_t>(b - ops.lo) > ops.span || b == ops.except[0] ||
            b == ops.except[1]) {
            break;
        }
    }
    return i;
}

void CStyledRenderer::BeginAt(IRenderSurface& surface, const SRenderPoint& point) const {
    if (m_scheme != nullptr && point.currentRule >= 0) {
        surface.ApplyFormat(
            m_scheme->RulePointers()[static_cast<std::size_t>(point.currentRule)]->CharFormat);
    }
}

std::int32_t CStyledRenderer::RuleAfter(const CStyleScheme* scheme, const SDataRecord& record,
                                        bool showAllSources, std::int32_t before) {
    if (scheme == nullptr || !IsShown(record, showAllSources)) {
        return before;
    }
    CChooser choose(*scheme, record);
    for (std::size_t i = record.bytes.size(); i > 0; --i) {
        const std::int32_t rule =
            choose(i - 1, static_cast<std::uint8_t>(record.bytes[i - 1])).colourRule;
        if (rule >= 0) {
            return rule;
        }
    }
    return before;
}

void CStyledRenderer::AppendToString(std::string& out, const CStyleScheme* scheme,
                                     const SDataRecord& record) {
    AppendPrefix(out, scheme, record, record.bytes.size());
}

std::size_t CStyledRenderer::DrawnLength(const CStyleScheme* scheme, const SDataRecord& record,
                                         std::size_t offset) {
    std::string out;
    AppendPrefix(out, scheme, record, std::min(offset, record.bytes.size()));
    return out.size();
}

std::vector<std::size_t> CStyledRenderer::DrawnLengths(const CStyleScheme* scheme,
                                                       const SDataRecord& record,
                                                       std::span<const std::size_t> offsets) {
    std::vector<std::size_t> lengths;
    lengths.reserve(offsets.size());
    const std::string_view bytes = record.bytes;
    std::optional<CChooser> choose;
    if (scheme != nullptr) {
        choose.emplace(*scheme, record);
    }
    std::string scratch;
    CStandingBytes standing;
    std::size_t length = 0;
    std::size_t done = 0;
    for (const std::size_t offset : offsets) {
        for (const std::size_t limit = std::min(offset, bytes.size()); done < limit; ++done) {
            const auto b = static_cast<std::uint8_t>(bytes[done]);
            if (!choose) {
                length += b != 0 ? 1 : 0;
                continue;
            }
            const SByteChoice& c = (*choose)(done, b);
            if (c.action == EByteAction::Copy) {
                ++length;
            } else if (c.action == EByteAction::Backspace) {
                length -= standing.TakeBack(done, [&](std::size_t j) {
                    const auto bj = static_cast<std::uint8_t>(bytes[j]);
                    return DrawnWidth(bj, (*choose)(j, bj));
                });
            } else {
                scratch.clear();
                Translate(scratch, b, c);
                length += scratch.size();
            }
        }
        lengths.push_back(length);
    }
    return lengths;
}

void CStyledRenderer::AppendPrefix(std::string& out, const CStyleScheme* scheme,
                                   const SDataRecord& record, std::size_t limit) {
    if (scheme == nullptr) {
        for (const char c : record.bytes.substr(0, limit)) {
            if (c != '\0') {
                out.push_back(c);
            }
        }
        return;
    }
    // Backspace acts on this record's text only, never on what came before.
    CChooser choose(*scheme, record);
    CStandingBytes standing;
    const char* p = record.bytes.data();
    const char* end = p + limit;
    const auto at = [&record](const char* q) {
        return static_cast<std::size_t>(q - record.bytes.data());
    };
    while (p < end) {
        const auto b = static_cast<std::uint8_t>(*p);
        const SByteChoice& c = choose(at(p), b);
        if (c.action == EByteAction::Copy) {
            // Runs of bytes written as themselves go in one append.
            const char* runEnd = p + 1;
            while (runEnd < end && choose(at(runEnd), static_cast<std::uint8_t>(*runEnd)).action ==
                                       EByteAction::Copy) {
                ++runEnd;
            }
            out.append(p, static_cast<std::size_t>(runEnd - p));
            p = runEnd;
            continue;
        }
        if (c.action == EByteAction::Backspace) {
            out.resize(out.size() - standing.TakeBack(at(p), [&](std::size_t j) {
                const auto bj = static_cast<std::uint8_t>(record.bytes[j]);
                return DrawnWidth(bj, choose(j, bj));
            }));
        } else {
            Translate(out, b, c);
        }
        ++p;
    }
}

std::string CStyledRenderer::RenderToString(const CStyleScheme* scheme, const SDataRecord& record) {
    std::string out;
    AppendToString(out, scheme, record);
    return out;
}

}  // namespace quillpad
