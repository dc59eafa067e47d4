#pragma once
// Bytes the console marks while it paints: every match of the find bar in
// sight. The view asks only about the records it draws, so whoever answers
// looks up a few records however long the history is; the view itself maps
// the bytes to what the style draws of them, so marks follow a restyle and
// bytes the style hides draw none.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillpad {

// Bytes [begin, end) of one record.
struct SByteMark {
    std::size_t record = 0;
    std::uint32_t begin = 0;
    std::uint32_t end = 0;

    bool operator==(const SByteMark&) const = default;
};

class IFindMarks {
  public:
    virtual ~IFindMarks() = default;
    // The marked bytes of records [firstRecord, lastRecord], in order.
    virtual std::vector<SByteMark> MarksIn(std::size_t firstRecord,
                                           std::size_t lastRecord) const = 0;
};

}  // namespace quillpad
