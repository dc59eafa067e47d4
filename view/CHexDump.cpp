#include "view/CHexDump.h"

#include <algorithm>

namespace quillpad {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint8_t b) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
}

}  // namespace

CHexDump::CHexDump(const CDataStore& store, std::size_t firstRecord, bool showAllSources)
    : m_store(store), m_firstRecord(firstRecord), m_allSources(showAllSources) {}

bool CHexDump::Shows(const SDataRecord& record) const {
    return record.sequence >= m_firstRecord && record.kind == kDataRecordKind &&
           (m_allSources || record.source == kSourceOwn);
}

std::uint64_t CHexDump::Base() const {
    return m_store.BytesBefore(m_firstRecord, m_allSources);
}

std::uint64_t CHexDump::Size() const {
    return m_store.TotalBytes(m_allSources) - Base();
}

std::uint64_t CHexDump::OffsetOf(const SBytePlace& place) const {
    if (place.record < m_firstRecord) {
        return 0;
    }
    return m_store.BytesBefore(place.record, m_allSources) - Base() + place.byte;
}

SBytePlace CHexDump::PlaceOf(std::uint64_t offset) const {
    const std::uint64_t base = Base();
    const std::size_t record = m_store.RecordAtByte(base + offset, m_allSources);
    if (record >= m_store.RecordCount()) {
        return SBytePlace{m_store.RecordCount(), 0};
    }
    const std::uint64_t start = m_store.BytesBefore(record, m_allSources);
    return SBytePlace{record, static_cast<std::size_t>(base + offset - start)};
}

std::vector<SHexRow> CHexDump::Rows(std::uint64_t first, std::size_t count) const {
    std::vector<SHexRow> rows;
    const std::uint64_t size = Size();
    if (count == 0 || first * kRowBytes >= size) {
        return rows;
    }
    const std::uint64_t lastRow = std::min<std::uint64_t>(first + count, RowCount());
    rows.reserve(static_cast<std::size_t>(lastRow - first));
    SBytePlace at = PlaceOf(first * kRowBytes);
    // The direction of the byte before the first, so a turn on the first
    // row's first byte shows too.
    std::uint32_t previous = 0;
    if (first > 0 || at.byte > 0) {
        const SBytePlace before = PlaceOf(first * kRowBytes - 1);
        if (const auto record = m_store.Record(before.record)) {
            previous = record->direction;
        }
    }
    std::uint64_t offset = first * kRowBytes;
    SHexRow row;
    row.offset = offset;
    row.first = at;
    const std::size_t records = m_store.RecordCount();
    for (std::size_t r = at.record; r < records && rows.size() < lastRow - first; ++r) {
        const auto record = m_store.Record(r);
        if (!record || !Shows(*record)) {
            continue;
        }
        const std::size_t from = r == at.record ? at.byte : 0;
        for (std::size_t i = from; i < record->length; ++i) {
            if (row.count == 0) {
                row.first = SBytePlace{r, i};
            }
            const auto b = static_cast<std::uint8_t>(record->bytes[i]);
            row.bytes[row.count] = b;
            row.direction[row.count] = static_cast<std::uint8_t>(record->direction);
            if (previous != 0 && previous != record->direction) {
                row.turns |= 1u << row.count;
            }
            previous = record->direction;
            ++offset;
            if (++row.count == kRowBytes) {
                rows.push_back(row);
                row = SHexRow{};
                row.offset = offset;
                if (rows.size() == lastRow - first) {
                    break;
                }
            }
        }
    }
    if (row.count > 0 && rows.size() < lastRow - first) {
        rows.push_back(row);
    }
    return rows;
}

std::string CHexDump::HexText(std::uint64_t from, std::uint64_t to) const {
    std::string out;
    to = std::min({to, Size(), from + kMaxCopyBytes});
    if (from >= to) {
        return out;
    }
    out.reserve(static_cast<std::size_t>(to - from) * 3);
    SBytePlace at = PlaceOf(from);
    std::uint64_t left = to - from;
    const std::size_t records = m_store.RecordCount();
    for (std::size_t r = at.record; r < records && left > 0; ++r) {
        const auto record = m_store.Record(r);
        if (!record || !Shows(*record)) {
            continue;
        }
        for (std::size_t i = r == at.record ? at.byte : 0; i < record->length && left > 0;
             ++i, --left) {
            if (!out.empty()) {
                out.push_back(' ');
            }
            AppendHex(out, static_cast<std::uint8_t>(record->bytes[i]));
        }
        if ((r & 1023) == 0) {
            m_store.TrimWindows();
        }
    }
    return out;
}

char CHexDump::TextOf(std::uint8_t byte) {
    const bool printable = (byte >= 0x20 && byte < 0x7F) || byte >= 0xA0;
    return printable ? static_cast<char>(byte) : '.';
}

std::string CHexDump::RowText(const SHexRow& row) {
    std::string out;
    out.reserve(kRowChars);
    for (int shift = 28; shift >= 0; shift -= 4) {
        out.push_back(kDigits[(row.offset >> shift) & 0x0F]);
    }
    if (row.offset > 0xFFFFFFFFu) {
        // Past 4 GiB the offset takes the digits it needs, in front.
        std::string high;
        for (std::uint64_t o = row.offset >> 32; o != 0; o >>= 4) {
            high.insert(high.begin(), kDigits[o & 0x0F]);
        }
        out.insert(0, high);
    }
    out.append("  ");
    for (std::size_t i = 0; i < kRowBytes; ++i) {
        if (i == 8) {
            out.push_back(' ');
        }
        if (i < row.count) {
            AppendHex(out, row.bytes[i]);
        } else {
            out.append("  ");
        }
        out.push_back(' ');
    }
    out.push_back(' ');
    for (std::size_t i = 0; i < row.count; ++i) {
        out.push_back(TextOf(row.bytes[i]));
    }
    return out;
}

}  // namespace quillpad
