#pragma once
// An ordered list of text positions, each with an optional value, kept
// compact for very long texts: positions are stored as 16-bit offsets inside
// 64 KiB blocks of text, with one 32-bit entry index per block. A run or a
// line start then costs two bytes plus its value. Entries live in deques, so
// growing never copies them and never leaves abandoned buffers behind.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <type_traits>
#include <vector>

namespace quillpad {

struct SNoValue {};

template <class T = SNoValue>
class CPositionIndex {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    static constexpr unsigned kBlockBits = 16;

    std::size_t Count() const { return m_offsets.size(); }
    bool Empty() const { return m_offsets.empty(); }

    // Positions must come in non-decreasing order.
    void Add(std::size_t position, T value = T{}) {
        const std::size_t block = position >> kBlockBits;
        while (m_blockFirst.size() <= block) {
            m_blockFirst.push_back(static_cast<std::uint32_t>(m_offsets.size()));
        }
        m_offsets.push_back(static_cast<std::uint16_t>(position & kOffsetMask));
        if constexpr (kHasValues) {
            m_values.push_back(value);
        }
    }

    std::size_t Position(std::size_t index) const {
        // The block is the last one whose first entry is at or before index.
        const auto it = std::upper_bound(m_blockFirst.begin(), m_blockFirst.end(),
                                         static_cast<std::uint32_t>(index));
        const auto block = static_cast<std::size_t>(it - m_blockFirst.begin()) - 1;
        return (block << kBlockBits) | m_offsets[index];
    }

    T Value(std::size_t index) const {
        if constexpr (kHasValues) {
            return m_values[index];
        } else {
            return T{};
        }
    }
    void SetValue(std::size_t index, T value) {
        if constexpr (kHasValues) {
            m_values[index] = value;
        }
    }
    // Asked on every append: back() spares the deque's indexing arithmetic.
    T LastValue() const {
        if constexpr (kHasValues) {
            return m_values.back();
        } else {
            return T{};
        }
    }
    std::size_t LastPosition() const { return Position(Count() - 1); }

    // The index of the last entry at or before `position`, kNone when every
    // entry lies after it.
    std::size_t FindLast(std::size_t position) const {
        const std::size_t block = position >> kBlockBits;
        if (block >= m_blockFirst.size()) {
            return m_offsets.empty() ? kNone : m_offsets.size() - 1;
        }
        const std::size_t first = m_blockFirst[block];
        const std::size_t end =
            block + 1 < m_blockFirst.size() ? m_blockFirst[block + 1] : m_offsets.size();
        const auto offset = static_cast<std::uint16_t>(position & kOffsetMask);
        const auto it =
            std::upper_bound(m_offsets.begin() + static_cast<std::ptrdiff_t>(first),
                             m_offsets.begin() + static_cast<std::ptrdiff_t>(end), offset);
        const auto after = static_cast<std::size_t>(it - m_offsets.begin());
        return after == 0 ? kNone : after - 1;
    }

    // The index of the first entry at or after `position` (Count() if none).
    std::size_t FindFirstFrom(std::size_t position) const {
        if (position == 0) {
            return 0;
        }
        const std::size_t last = FindLast(position - 1);
        return last == kNone ? 0 : last + 1;
    }

    // Drops every entry at `position` or after.
    void TruncateFrom(std::size_t position) {
        const std::size_t keep = FindFirstFrom(position);
        m_offsets.resize(keep);
        if constexpr (kHasValues) {
            m_values.resize(keep);
        }
        const std::size_t blocks = position == 0 ? 0 : ((position - 1) >> kBlockBits) + 1;
        if (m_blockFirst.size() > blocks) {
            m_blockFirst.resize(blocks);
        }
    }

    // The same entries with their values held as U, for values that outgrow T.
    template <class U>
    CPositionIndex<U> Widened() const {
        static_assert(kHasValues && sizeof(U) > sizeof(T));
        CPositionIndex<U> wide;
        wide.m_offsets = m_offsets;
        wide.m_values.assign(m_values.begin(), m_values.end());
        wide.m_blockFirst = m_blockFirst;
        return wide;
    }

    void Clear() {
        m_offsets = {};
        m_values = {};
        m_blockFirst = {};
    }

    // What the entries take: a deque allocates in fixed blocks of 512 bytes.
    std::size_t ReservedBytes() const {
        constexpr std::size_t kNode = 512;
        auto nodes = [](std::size_t n, std::size_t size) {
            return (n * size + kNode - 1) / kNode * kNode + kNode;
        };
        return nodes(m_offsets.size(), sizeof(std::uint16_t)) +
               (kHasValues ? nodes(m_values.size(), sizeof(T)) : 0) +
               m_blockFirst.capacity() * sizeof(std::uint32_t);
    }

  private:
    template <class>
    friend class CPositionIndex;

    static constexpr bool kHasValues = !std::is_empty_v<T>;
    static constexpr std::size_t kOffsetMask = (std::size_t{1} << kBlockBits) - 1;

    std::deque<std::uint16_t> m_offsets;
    std::deque<std::conditional_t<kHasValues, T, char>> m_values;
    std::vector<std::uint32_t> m_blockFirst;
};

}  // namespace quillpad
