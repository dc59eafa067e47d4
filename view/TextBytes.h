#pragma once
// Between positions of the console's displayed text and the bytes of the
// history that drew them. The text may hide bytes, or draw one byte as
// several characters ("[0Dh]"), so the two are tied through records and
// byte offsets: from the line index's nearest checkpoint (a record, a byte
// in it and the text position there) the bytes are walked one by one, each
// taking the characters its format rule gives it.
//
// What one byte draws depends only on the scheme, the byte and its record's
// direction and source; it is learnt once per pair by rendering the byte on
// its own, so the walk is exactly the renderer's (a backspace takes back the
// characters of its record's last byte standing, within their line, or one
// character of the line when none stands).

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

#include "data/DataStore.h"
#include "view/CHexDump.h"
#include "view/CLineIndex.h"

namespace quillpad {

class CTextByteMap {
  public:
    // The index must outlive the map; a new index needs a new map.
    explicit CTextByteMap(const CLineIndex& index) : m_index(index) {}

    // The byte that drew the character at `position`; past the text's end,
    // the place after the last indexed record.
    SBytePlace ByteAt(const CDataStore& store, std::uint64_t position);
    // Where the first character drawn by `place` or a byte after it lies:
    // the start of a selection beginning at that byte, or the end of one
    // ending just before it.
    std::uint64_t PositionOf(const CDataStore& store, const SBytePlace& place);

  private:
    struct SByteText {
        std::uint16_t length = 0;  // characters it adds
        bool backspace = false;    // takes back one instead
        bool breaks = false;       // ends its line (the last break is its last character)
    };
    using Table = std::array<SByteText, 256>;

    const Table& TableFor(std::uint32_t direction, std::uint32_t source);
    bool Shows(const SDataRecord& record) const;

    const CLineIndex& m_index;
    std::map<std::pair<std::uint32_t, std::uint32_t>, Table> m_tables;
};

}  // namespace quillpad
