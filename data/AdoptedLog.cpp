#include "data/AdoptedLog.h"

#include <algorithm>

#include "data/BinaryLogFormat.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecordOverhead = kBinaryLogHeadSize + kBinaryLogLengthSize;
static_assert(CAdoptedLog::kWindowBytes % kCheckBlockBytes == 0);

constexpr std::uint64_t RoundUpToBlock(std::uint64_t offset) {
    return (offset + kCheckBlockBytes - 1) / kCheckBlockBytes * kCheckBlockBytes;
}

}  // namespace

CAdoptedLog::CAdoptedLog(std::unique_ptr<CLoadedLog> file, SBinaryLogIndex index,
                         std::size_t sparseStep)
    : m_file(std::move(file)),
      m_scan(std::move(index)),
      m_step(sparseStep),
      m_records(m_scan.count) {
    if (m_scan.complete) {
        m_scan.sparse.shrink_to_fit();
        m_scan.hashes.shrink_to_fit();
    }
    if (m_scan.cut) {
        CutAtFileEnd();
    }
}

void CAdoptedLog::IndexMore(std::uint64_t bytes, SBinaryLogLoad& result) {
    if (!Indexing()) {
        return;
    }
    ContinueBinaryLogIndex(LogSourceOf(*m_file), m_step, result, m_scan, bytes);
    if (m_scan.complete) {
        m_scan.sparse.shrink_to_fit();
        m_scan.hashes.shrink_to_fit();
    }
    m_records = m_scan.count;
    if (m_scan.cut) {
        CutAtFileEnd();
    }
}

std::size_t CAdoptedLog::TakeCut(bool drop) {
    m_changed = false;
    m_scan.complete = true;
    const std::size_t kept = std::min(m_cut, m_records);
    if (drop) {
        m_records = kept;
    }
    return kept;
}

bool CAdoptedLog::MoveToCopy(const std::string& folder, std::string& error) {
    auto copy = m_file->Copy(folder, error);
    if (!copy) {
        return false;
    }
    m_file = std::move(copy);
    return true;
}

std::size_t CAdoptedLog::MemoryBytes() const {
    return (m_scan.sparse.capacity() + m_scan.hashes.capacity()) * sizeof(std::uint64_t);
}

std::uint64_t CAdoptedLog::GroupStart(std::size_t group) const {
    return m_scan.first + m_scan.sparse[group];
}

std::uint64_t CAdoptedLog::GroupEnd(std::size_t group) const {
    return group + 1 < m_scan.sparse.size() ? m_scan.first + m_scan.sparse[group + 1] : m_scan.end;
}

std::uint64_t CAdoptedLog::ReadChecked(std::uint64_t start, std::uint64_t end, char* out) const {
    const std::uint64_t size = m_file->Size();
    const std::uint64_t stop = std::min(RoundUpToBlock(end), size);
    const std::uint64_t got = m_file->ReadAt(start, out, static_cast<std::size_t>(stop - start));
    const auto& hashes = m_scan.hashes;
    for (std::uint64_t at = start; at < stop; at += kCheckBlockBytes) {
        const std::uint64_t blockEnd = std::min(at + kCheckBlockBytes, size);
        const std::size_t block = static_cast<std::size_t>(at / kCheckBlockBytes);
        if (blockEnd > start + got || block >= hashes.size() ||
            CheckHash(out + (at - start), static_cast<std::size_t>(blockEnd - at)) !=
                hashes[block]) {
            return at;
        }
    }
    return end;
}

void CAdoptedLog::CutAt(std::uint64_t intact) const {
    const auto& sparse = m_scan.sparse;
    const std::uint64_t first = m_scan.first;
    std::size_t cut = 0;
    while (intact > first) {
        // The last group that starts before `intact`, read up to it: a block
        // before may no longer match either.
        const auto it = std::lower_bound(sparse.begin(), sparse.end(), intact - first);
        const std::size_t group = static_cast<std::size_t>(it - sparse.begin()) - 1;
        const std::uint64_t groupStart = first + sparse[group];
        const std::uint64_t from = groupStart / kCheckBlockBytes * kCheckBlockBytes;
        auto bytes = std::make_unique_for_overwrite<char[]>(
            static_cast<std::size_t>(RoundUpToBlock(intact) - from));
        const std::uint64_t checked = ReadChecked(from, intact, bytes.get());
        if (checked < intact) {
            intact = checked;
            continue;
        }
        // Its records that end before `intact` are whole.
        std::uint64_t offset = groupStart;
        cut = group * m_step;
        while (cut < m_records && cut < (group + 1) * m_step &&
               offset + kBinaryLogHeadSize <= intact) {
            const char* head = bytes.get() + (offset - from);
            if (ReadLe32(head) != kDataRecordKind) {
                offset += kBinaryLogHeadSize;
                continue;
            }
            if (offset + kRecordOverhead > intact ||
                offset + kRecordOverhead + ReadLe32(head + kBinaryLogHeadSize) > intact) {
                break;
            }
            offset += kRecordOverhead + ReadLe32(head + kBinaryLogHeadSize);
            ++cut;
        }
        break;
    }
    if (cut < m_records && cut < m_cut) {
        m_cut = cut;
        m_changed = true;
    }
}

void CAdoptedLog::CutAtFileEnd() const {
    // The pass read no further: what it had not reached is gone too.
    m_changed = true;
    m_cut = std::min(m_cut, m_records);
    const std::uint64_t now = m_file->CurrentSize();
    if (now < m_file->Size()) {
        CutAt(now / kCheckBlockBytes * kCheckBlockBytes);
    }
}

const CAdoptedLog::SWindow* CAdoptedLog::WindowOf(std::size_t group) const {
    const std::uint64_t groupStart = GroupStart(group);
    const std::uint64_t groupEnd = GroupEnd(group);
    const std::uint64_t span = groupStart / kWindowBytes;
    if (auto it = m_windows.find(span); it != m_windows.end()) {
        // One read while the pass had not reached the group's end is read
        // again; one cut short holds every record before the cut.
        if (it->second.end >= groupEnd || it->second.cutShort) {
            return &it->second;
        }
        m_windows.erase(it);
    }
    // Every group that starts in the span, whole, from the block of the first.
    const auto& sparse = m_scan.sparse;
    const std::uint64_t first = m_scan.first;
    const std::uint64_t spanStart = span * kWindowBytes;
    const auto from =
        std::lower_bound(sparse.begin(), sparse.end(), spanStart > first ? spanStart - first : 0);
    const auto to = std::lower_bound(from, sparse.end(), spanStart + kWindowBytes - first);
    const std::uint64_t start = (first + *from) / kCheckBlockBytes * kCheckBlockBytes;
    const std::uint64_t end = to != sparse.end() ? first + *to : m_scan.end;
    SWindow window;
    window.bytes = std::make_unique_for_overwrite<char[]>(
        static_cast<std::size_t>(std::min(RoundUpToBlock(end), m_file->Size()) - start));
    window.start = start;
    window.end = ReadChecked(start, end, window.bytes.get());
    if (window.end < end) {
        window.cutShort = true;
        CutAt(window.end);
    }
    return &m_windows.insert_or_assign(span, std::move(window)).first->second;
}

SDataRecord CAdoptedLog::At(std::size_t index) const {
    SDataRecord record;
    record.sequence = static_cast<std::uint32_t>(index);
    if (index >= m_cut) {
        return record;  // lost from the file: empty, never other than it was
    }
    const SWindow* window = WindowOf(index / m_step);
    if (index >= m_cut) {
        return record;
    }
    // Offsets are from the log's first record; the window may start before
    // it, in the header (the difference wraps, and wraps back here).
    const std::uint64_t first = m_scan.first;
    const std::uint64_t from = window->start - first;
    std::size_t at = index - index % m_step;
    std::uint64_t offset = m_scan.sparse[index / m_step];
    if (m_cursorRecord <= index && m_cursorRecord >= at) {
        at = m_cursorRecord;
        offset = m_cursorOffset;
    }
    offset = StepDataRecords(window->bytes.get(), from, offset, index - at);
    m_cursorRecord = index;
    m_cursorOffset = offset;
    const char* head = window->bytes.get() + (first + offset - window->start);
    const std::uint32_t length = ReadLe32(head + kBinaryLogHeadSize);
    if (first + offset + kRecordOverhead + length > window->end) {
        return record;  // checked bytes hold every record before the cut; never reached
    }
    record.tick = ReadLe32(head + 8);
    record.ownerId = ReadLe32(head + 12);
    record.direction = ReadLe32(head + 16);
    record.source = ReadLe32(head + 20);
    record.length = length;
    record.bytes = std::string_view(head + kRecordOverhead, length);
    return record;
}

}  // namespace quillpad
