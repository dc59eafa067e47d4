#include "data/ByteOffsetIndex.h"

#include <algorithm>

#include "data/DataStore.h"

namespace quillpad {
namespace {

bool IsOwnSource(const SDataRecord& record) {
    return record.source == kSourceOwn;
}

}  // namespace

void CByteOffsetIndex::Reset() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_total = {};
    m_counted = 0;
}

void CByteOffsetIndex::Add(std::size_t index, std::uint32_t length, bool own) {
    if (index != m_counted) {
        return;  // a gap (a loaded log not counted yet): CatchUp counts it
    }
    if (m_counted % kStep == 0) {
        m_entries.push_back(m_total);
    }
    m_total.all += length;
    if (own) {
        m_total.own += length;
    }
    ++m_counted;
}

void CByteOffsetIndex::CatchUp(const CDataStore& store) {
    const std::size_t count = store.RecordCount();
    while (m_counted < count) {
        const auto record = store.Record(m_counted);
        Add(m_counted, record ? record->length : 0, record && IsOwnSource(*record));
        if (m_counted % 4096 == 0) {
            store.TrimWindows();  // a loaded log of millions of records
        }
    }
}

std::uint64_t CByteOffsetIndex::BytesBefore(const CDataStore& store, std::size_t index,
                                            bool allSources) {
    CatchUp(store);
    index = std::min(index, m_counted);
    if (index == m_counted) {
        return Of(m_total, allSources);
    }
    const std::size_t entry = index / kStep;
    std::uint64_t sum = Of(m_entries[entry], allSources);
    for (std::size_t i = entry * kStep; i < index; ++i) {
        if (const auto record = store.Record(i); record && (allSources || IsOwnSource(*record))) {
            sum += record->length;
        }
    }
    return sum;
}

std::size_t CByteOffsetIndex::RecordAt(const CDataStore& store, std::uint64_t offset,
                                       bool allSources) {
    CatchUp(store);
    if (offset >= Of(m_total, allSources)) {
        return m_counted;
    }
    // The last entry at or before the offset; records after it are walked.
    const auto it = std::upper_bound(
        m_entries.begin(), m_entries.end(), offset,
        [allSources](std::uint64_t o, const SEntry& e) { return o < Of(e, allSources); });
    const std::size_t entry = static_cast<std::size_t>(it - m_entries.begin()) - 1;
    std::uint64_t sum = Of(m_entries[entry], allSources);
    for (std::size_t i = entry * kStep; i < m_counted; ++i) {
        const auto record = store.Record(i);
        if (!record || (!allSources && !IsOwnSource(*record))) {
            continue;
        }
        if (offset < sum + record->length) {
            return i;
        }
        sum += record->length;
    }
    return m_counted;
}

std::uint64_t CByteOffsetIndex::Total(const CDataStore& store, bool allSources) {
    CatchUp(store);
    return Of(m_total, allSources);
}

}  // namespace quillpad
