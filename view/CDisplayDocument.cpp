#include "view/CDisplayDocument.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/Memory.h"
#include "view/SameFormat.h"

namespace quillpad {
namespace {

constexpr bool IsBreak(char c) {
    return c == '\n' || c == '\r';
}

// Bytes that draw no glyph: C0 and C1 controls, DEL, and so tabs and breaks.
constexpr bool DrawsNothing(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || (b >= 0x7F && b < 0xA0);
}

}  // namespace

CDisplayDocument::CDisplayDocument() : m_formats(1), m_formatIndex{{SCharFormat{}, 0}} {}

std::size_t CDisplayDocument::SFormatHash::operator()(const SCharFormat& format) const {
    // The fields formats mostly differ in, one at a time (padding may hold
    // anything); formats alike in all of them only share a bucket.
    std::uint32_t face = 0;
    std::memcpy(&face, format.szFaceName.data(), sizeof face);
    std::uint64_t h = 14695981039346656037u;
    for (const std::uint64_t v :
         {std::uint64_t{format.crTextColor}, std::uint64_t{format.dwEffects},
          std::uint64_t{static_cast<std::uint32_t>(format.yHeight)},
          std::uint64_t{static_cast<std::uint32_t>(format.yOffset)},
          std::uint64_t{format.bPitchAndFamily}, std::uint64_t{face}}) {
        h = (h ^ v) * 1099511628211u;
    }
    return static_cast<std::size_t>(h);
}

std::uint32_t CDisplayDocument::FormatIndex(const SCharFormat& format) {
    // Renderers switch between the same two or three formats over and over
    // (text, then a control byte in red, then text): the last two hits
    // answer most lookups.
    if (SameFormat(m_formats[m_lastLookup], format)) {
        return m_lastLookup;
    }
    if (SameFormat(m_formats[m_previousLookup], format)) {
        std::swap(m_lastLookup, m_previousLookup);
        return m_lastLookup;
    }
    m_previousLookup = m_lastLookup;
    // Found by hashing, not by walking the table: the style editor can make
    // any number of formats.
    const auto [it, added] =
        m_formatIndex.try_emplace(format, static_cast<std::uint32_t>(m_formats.size()));
    if (added) {
        m_formats.push_back(format);
        if (!m_wideRuns && it->second > std::numeric_limits<std::uint16_t>::max()) {
            m_wideRuns =
                std::make_unique<CPositionIndex<std::uint32_t>>(m_runs.Widened<std::uint32_t>());
            m_runs.Clear();
        }
    }
    m_lastLookup = it->second;
    return m_lastLookup;
}

void CDisplayDocument::ApplyFormat(const SCharFormat& format) {
    m_current = FormatIndex(format);
}

void CDisplayDocument::AppendRun(std::string_view text, std::uint32_t sequence) {
    if (text.empty()) {
        return;
    }
    const std::size_t start = m_text.size();
    OnRuns([&](auto& runs) {
        if (runs.Empty() || (runs.LastValue() != m_current &&
                             !std::all_of(text.begin(), text.end(), DrawsNothing))) {
            // Narrow only while every format index fits.
            runs.Add(start, static_cast<decltype(runs.LastValue())>(m_current));
        }
    });
    if (m_sequences.Empty() || m_sequences.LastValue() != sequence) {
        m_sequences.Add(start, sequence);
    }
    if (m_generations.Empty() || m_generations.LastValue() != m_generation) {
        m_generations.Add(start, m_generation);
    }
    const char* data = text.data();
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        // Most bytes are printable; one comparison passes them.
        if (static_cast<unsigned char>(data[i]) <= '\r' && IsBreak(data[i])) {
            m_lineStarts.Add(start + i + 1);
        }
    }
    m_text.append(text);
    ++m_revision;
}

void CDisplayDocument::Reserve(std::size_t bytes) {
    if (bytes <= m_text.capacity()) {
        return;
    }
    m_text.reserve(bytes);
    // Filled front to back at once by a replay: large pages fault far less.
    AdviseSequentialFill(m_text.data() + m_text.size(), m_text.capacity() - m_text.size());
}

void CDisplayDocument::DeleteLastCharOfCaretLine() {
    if (m_text.empty() || IsBreak(m_text.back())) {
        return;
    }
    m_text.pop_back();
    // Runs left empty go, so the next text starts a run of its own.
    OnRuns([&](auto& runs) { runs.TruncateFrom(m_text.size()); });
    m_sequences.TruncateFrom(m_text.size());
    m_generations.TruncateFrom(m_text.size());
    ++m_revision;
}

void CDisplayDocument::Clear(bool keepCapacity) {
    if (keepCapacity) {
        m_text.clear();
    } else {
        m_text = std::string();
    }
    m_formats.assign(1, SCharFormat{});
    m_formatIndex.clear();
    m_formatIndex.emplace(SCharFormat{}, 0);
    m_current = 0;
    m_lastLookup = 0;
    m_previousLookup = 0;
    m_runs.Clear();
    m_wideRuns.reset();
    m_lineStarts.Clear();
    m_sequences.Clear();
    m_generations.Clear();
    m_generation = 0;
    ++m_revision;
}

std::size_t CDisplayDocument::LineEnd(std::size_t line) const {
    if (line + 1 >= LineCount()) {
        return m_text.size();
    }
    return m_lineStarts.Position(line) - 1;
}

std::size_t CDisplayDocument::LineOf(std::size_t position) const {
    const std::size_t i = m_lineStarts.FindLast(position);
    return i == decltype(m_lineStarts)::kNone ? 0 : i + 1;
}

std::size_t CDisplayDocument::RunAt(std::size_t position) const {
    return OnRuns([&](const auto& runs) {
        if (runs.Empty()) {
            return kNone;
        }
        const std::size_t i = runs.FindLast(std::min(position, m_text.size() - 1));
        return i == runs.kNone ? 0 : i;
    });
}

std::optional<std::uint32_t> CDisplayDocument::SequenceAt(std::size_t position) const {
    if (position >= m_text.size()) {
        return std::nullopt;
    }
    const std::size_t i = m_sequences.FindLast(position);
    if (i == decltype(m_sequences)::kNone) {
        return std::nullopt;
    }
    return m_sequences.Value(i);
}

std::size_t CDisplayDocument::FirstPositionOf(std::size_t record) const {
    // The first entry of the run table that names `record` or a later one:
    // entries have positions of their own, so this is where its text starts.
    std::size_t low = 0;
    std::size_t high = m_sequences.Count();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (m_sequences.Value(middle) < record) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < m_sequences.Count() ? m_sequences.Position(low) : m_text.size();
}

std::optional<SRecordRef> CDisplayDocument::RecordAt(std::size_t position) const {
    const auto sequence = SequenceAt(position);
    if (!sequence) {
        return std::nullopt;
    }
    // Text never comes without its generation entry.
    return SRecordRef{m_generations.Value(m_generations.FindLast(position)), *sequence};
}

std::size_t CDisplayDocument::ReservedBytes() const {
    // A hash node holds the key, its index, the next pointer and the hash.
    constexpr std::size_t kNode = sizeof(SCharFormat) + sizeof(std::uint32_t) + 2 * sizeof(void*);
    return sizeof(*this) + m_text.capacity() + m_formats.capacity() * sizeof(SCharFormat) +
           m_formatIndex.bucket_count() * sizeof(void*) + m_formatIndex.size() * kNode +
           m_runs.ReservedBytes() + (m_wideRuns ? m_wideRuns->ReservedBytes() : 0) +
           m_lineStarts.ReservedBytes() + m_sequences.ReservedBytes() +
           m_generations.ReservedBytes();
}

}  // namespace quillpad
