#include "data/RecordArena.h"

#include <algorithm>
#include <cstring>

namespace quillpad {

std::size_t CRecordArena::SAttributesHash::operator()(const SAttributes& a) const noexcept {
    std::uint64_t h = a.ownerId;
    h = h * 0x9E3779B97F4A7C15ull + a.direction;
    h = h * 0x9E3779B97F4A7C15ull + a.source;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

std::uint32_t CRecordArena::AttributeIndex(const SAttributes& attributes) {
    // Nearly every record has the attributes of the one before it.
    if (m_lastAttribute < m_attributes.size() && m_attributes[m_lastAttribute] == attributes) {
        return m_lastAttribute;
    }
    auto [it, added] =
        m_attributeIndex.try_emplace(attributes, static_cast<std::uint32_t>(m_attributes.size()));
    if (added) {
        m_attributes.push_back(attributes);
    }
    m_lastAttribute = it->second;
    return it->second;
}

char* CRecordArena::Reserve(std::uint32_t length) {
    if (!m_blocks.empty()) {
        SBlock& current = m_blocks.back();
        if (current.capacity - current.used >= length) {
            return current.data.get() + current.used;
        }
        if (current.firstRecord == m_count) {
            m_blocks.pop_back();  // an earlier reservation that was never used
        }
    }
    // Large records get a block of their own size, so a block wastes at most
    // a quarter of itself on a tail that did not fit.
    const std::size_t standard = m_blocks.size() >= 8
                                     ? kBlockBytes
                                     : std::min(kBlockBytes, kFirstBlockBytes << m_blocks.size());
    const std::uint32_t capacity =
        length > standard / 4 ? length : static_cast<std::uint32_t>(standard);
    SBlock block;
    block.data = std::make_unique_for_overwrite<char[]>(capacity);
    block.capacity = capacity;
    block.firstRecord = m_count;
    m_blocks.push_back(std::move(block));
    return m_blocks.back().data.get();
}

void CRecordArena::Commit(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                          std::uint32_t source, std::uint32_t length) {
    SBlock& block = m_blocks.back();
    if ((m_count & (kHeadsPerPage - 1)) == 0) {
        m_headPages.push_back(std::make_unique_for_overwrite<SPackedHead[]>(kHeadsPerPage));
    }
    m_headPages.back()[m_count & (kHeadsPerPage - 1)] =
        SPackedHead{tick, AttributeIndex({ownerId, direction, source}), block.used};
    block.used += length;
    ++m_count;
}

void CRecordArena::Abandon() {
    if (!m_blocks.empty() && m_blocks.back().firstRecord == m_count) {
        m_blocks.pop_back();
    }
}

void CRecordArena::Append(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                          std::uint32_t source, std::string_view bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    char* room = Reserve(length);
    if (length != 0) {
        std::memcpy(room, bytes.data(), length);
    }
    Commit(tick, ownerId, direction, source, length);
}

std::size_t CRecordArena::BlockOf(std::size_t index) const {
    // The last block whose first record is at or before `index`.
    auto it =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), index,
                         [](std::size_t i, const SBlock& block) { return i < block.firstRecord; });
    return static_cast<std::size_t>(it - m_blocks.begin()) - 1;
}

SDataRecord CRecordArena::At(std::size_t index) const {
    const SPackedHead& head = Head(index);
    const std::size_t b = BlockOf(index);
    const SBlock& block = m_blocks[b];
    const std::size_t blockEnd = b + 1 < m_blocks.size() ? m_blocks[b + 1].firstRecord : m_count;
    const std::uint32_t end = index + 1 < blockEnd ? Head(index + 1).offset : block.used;
    const SAttributes& attributes = m_attributes[head.attributes];

    SDataRecord record;
    record.kind = kDataRecordKind;
    record.sequence = static_cast<std::uint32_t>(index);
    record.tick = head.tick;
    record.ownerId = attributes.ownerId;
    record.direction = attributes.direction;
    record.source = attributes.source;
    record.length = end - head.offset;
    record.bytes = std::string_view(block.data.get() + head.offset, record.length);
    return record;
}

void CRecordArena::Clear() {
    m_headPages.clear();
    m_headPages.shrink_to_fit();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_attributes.clear();
    m_attributeIndex.clear();
    m_lastAttribute = 0;
    m_count = 0;
}

std::size_t CRecordArena::ReservedBytes() const {
    std::size_t total = m_headPages.size() * kHeadsPerPage * sizeof(SPackedHead);
    for (const SBlock& block : m_blocks) {
        total += block.capacity;
    }
    return total + m_attributes.size() * sizeof(SAttributes);
}

}  // namespace quillpad
