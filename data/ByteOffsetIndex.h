#pragma once
// Where each record's bytes lie in the history taken as one stream of bytes:
// the offset of record N is the sum of the lengths before it. Two streams are
// counted side by side, every record's bytes and those of own-source records
// only (what a view shows with show-all-sources off), since views differ in
// which records they show.
//
// The index is sparse: a running pair of sums every kStep records, so it
// costs 16 bytes per kStep records and never holds a byte of data. The few
// records between an entry and the one asked for are looked up in the store
// (which may read them from its spill file or a loaded log). Records added
// live are counted as they come (Add); a loaded log's are counted the first
// time an offset is asked for (CatchUp).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillpad {

class CDataStore;

class CByteOffsetIndex {
  public:
    static constexpr std::size_t kStep = 64;

    // Forgets everything: the store's records are gone or replaced.
    void Reset();
    // Counts the next record, when every one before it is counted already.
    void Add(std::size_t index, std::uint32_t length, bool own);
    // Counts the records of `store` not counted yet.
    void CatchUp(const CDataStore& store);
    std::size_t Counted() const { return m_counted; }

    // Bytes of the records [0, index) of `store` (index ≤ its count), all of
    // them or only own-source ones.
    std::uint64_t BytesBefore(const CDataStore& store, std::size_t index, bool allSources);
    // The record that holds byte `offset` of that stream (records without
    // bytes in it are passed over); the store's count when past the end.
    std::size_t RecordAt(const CDataStore& store, std::uint64_t offset, bool allSources);
    std::uint64_t Total(const CDataStore& store, bool allSources);

    std::size_t ReservedBytes() const { return m_entries.capacity() * sizeof(SEntry); }

  private:
    struct SEntry {
        std::uint64_t all = 0;
        std::uint64_t own = 0;
    };
    static std::uint64_t Of(const SEntry& e, bool allSources) { return allSources ? e.all : e.own; }

    // Sums before record kStep * i.
    std::vector<SEntry> m_entries;
    SEntry m_total;
    std::size_t m_counted = 0;
};

}  // namespace quillpad
