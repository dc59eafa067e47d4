#pragma once
// Compact storage for an unbounded history of records.
//
// A record costs 12 bytes beside its data: its tick, an index into a small
// table of distinct (ownerId, direction, source) triples, and the offset of
// its bytes inside a byte block. `kind` is always 1 and `sequence` is the
// index, so neither is stored. Data bytes are packed into blocks that never
// move, so a view's `bytes` survive later appends; a record that does not fit
// the rest of the current block starts a new one (a large record gets a block
// of its own size). Blocks start at 4 KiB and double up to 1 MiB, so a quiet
// console holds little. Heads live in fixed pages for the same reason.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/SDataRecord.h"

namespace quillpad {

class CRecordArena {
  public:
    static constexpr std::size_t kFirstBlockBytes = std::size_t{1} << 12;
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    CRecordArena() = default;
    CRecordArena(const CRecordArena&) = delete;
    CRecordArena& operator=(const CRecordArena&) = delete;

    std::size_t Count() const { return m_count; }
    // Record `index` (< Count()) with sequence = index.
    SDataRecord At(std::size_t index) const;

    // Room for `length` contiguous bytes of the next record. Valid until the
    // next call of Reserve, Commit, Abandon or Clear.
    char* Reserve(std::uint32_t length);
    // Makes the reserved bytes (all `length` of them) the next record.
    void Commit(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                std::uint32_t source, std::uint32_t length);
    // Gives back a reservation that will not be committed.
    void Abandon();
    void Append(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                std::uint32_t source, std::string_view bytes);

    // Frees every record and every block.
    void Clear();

    // Bytes held for data and heads (capacity, not just what is used).
    std::size_t ReservedBytes() const;

  private:
    struct SPackedHead {
        std::uint32_t tick;
        std::uint32_t attributes;
        std::uint32_t offset;
    };
    struct SAttributes {
        std::uint32_t ownerId;
        std::uint32_t direction;
        std::uint32_t source;
        bool operator==(const SAttributes&) const = default;
    };
    struct SAttributesHash {
        std::size_t operator()(const SAttributes& a) const noexcept;
    };
    struct SBlock {
        std::unique_ptr<char[]> data;
        std::uint32_t capacity = 0;
        std::uint32_t used = 0;
        std::size_t firstRecord = 0;
    };

    static constexpr std::size_t kHeadPageShift = 12;
    static constexpr std::size_t kHeadsPerPage = std::size_t{1} << kHeadPageShift;

    std::uint32_t AttributeIndex(const SAttributes& attributes);
    std::size_t BlockOf(std::size_t index) const;
    const SPackedHead& Head(std::size_t index) const {
        return m_headPages[index >> kHeadPageShift][index & (kHeadsPerPage - 1)];
    }

    std::vector<std::unique_ptr<SPackedHead[]>> m_headPages;
    std::vector<SBlock> m_blocks;
    std::vector<SAttributes> m_attributes;
    std::unordered_map<SAttributes, std::uint32_t, SAttributesHash> m_attributeIndex;
    std::uint32_t m_lastAttribute = 0;
    std::size_t m_count = 0;
};

}  // namespace quillpad
