#pragma once
// The history as a hex dump: rows of 16 bytes, each with its offset in the
// history, the bytes as hexadecimal and the same bytes as text, and for each
// byte the direction it travelled. Nothing is rendered ahead: a row is read
// from the store when asked for, through the store's byte offsets, so a
// history of any length costs the same per screen.
//
// The dump covers the records a console view shows: from the view's first
// record on, data records of this console's own source, or of every source
// with show-all-sources. Offsets count from the first byte it covers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/DataStore.h"

namespace quillpad {

// A byte of the history: the record (store index) and the byte in it.
struct SBytePlace {
    std::size_t record = 0;
    std::size_t byte = 0;

    bool operator==(const SBytePlace&) const = default;
    auto operator<=>(const SBytePlace&) const = default;
};

struct SHexRow {
    static constexpr std::size_t kBytes = 16;

    std::uint64_t offset = 0;  // of the row's first byte
    std::size_t count = 0;     // bytes in the row, 16 but at the very end
    std::array<std::uint8_t, kBytes> bytes{};
    std::array<std::uint8_t, kBytes> direction{};  // the record's direction
    // Bit i: byte i travelled the other way from the byte before it (the
    // first byte of the dump starts no turn).
    std::uint32_t turns = 0;
    SBytePlace first;  // where byte 0 of the row lies

    bool TurnsAt(std::size_t i) const { return ((turns >> i) & 1u) != 0; }
};

class CHexDump {
  public:
    static constexpr std::size_t kRowBytes = SHexRow::kBytes;
    // The most a copy takes, in bytes of the history.
    static constexpr std::size_t kMaxCopyBytes = std::size_t{8} << 20;

    CHexDump(const CDataStore& store, std::size_t firstRecord, bool showAllSources);

    std::size_t FirstRecord() const { return m_firstRecord; }
    bool ShowAllSources() const { return m_allSources; }

    // Bytes covered and the rows they make.
    std::uint64_t Size() const;
    std::uint64_t RowCount() const { return (Size() + kRowBytes - 1) / kRowBytes; }

    // Rows [first, first + count), fewer at the end.
    std::vector<SHexRow> Rows(std::uint64_t first, std::size_t count) const;

    // The offset of a byte of a shown record, and the place of an offset
    // (the end of the dump: the store's count and 0).
    std::uint64_t OffsetOf(const SBytePlace& place) const;
    SBytePlace PlaceOf(std::uint64_t offset) const;
    // Whether a record's bytes are in the dump.
    bool Shows(const SDataRecord& record) const;

    // The bytes [from, to) as "0D 0A 3E 20" (upper-case pairs, one blank
    // between); at most kMaxCopyBytes of them.
    std::string HexText(std::uint64_t from, std::uint64_t to) const;

    // How a byte shows in the text column: printable Latin-1 as itself,
    // everything else as a dot.
    static char TextOf(std::uint8_t byte);
    // A whole row as text: offset, hex bytes (a gap after the eighth), text.
    static std::string RowText(const SHexRow& row);
    // Where the columns of RowText start, in characters.
    static constexpr std::size_t kHexColumn = 10;
    static constexpr std::size_t kTextColumn = kHexColumn + kRowBytes * 3 + 2;
    static constexpr std::size_t kRowChars = kTextColumn + kRowBytes;
    // The character column of byte i's hex pair and of its text.
    static constexpr std::size_t HexColumnOf(std::size_t i) {
        return kHexColumn + i * 3 + (i >= 8 ? 1 : 0);
    }
    static constexpr std::size_t TextColumnOf(std::size_t i) { return kTextColumn + i; }

  private:
    std::uint64_t Base() const;

    const CDataStore& m_store;
    std::size_t m_firstRecord;
    bool m_allSources;
};

}  // namespace quillpad
