#pragma once
// What the styled renderer needs from whatever shows its runs: the console
// view's display document, or an in-memory surface in tests.

#include <cstdint>
#include <string_view>

#include "styles/SCharFormat.h"

namespace quillpad {

class IRenderSurface {
  public:
    virtual ~IRenderSurface() = default;
    // Puts the caret at the end of the text; any selection is dropped.
    virtual void MoveCaretToEnd() = 0;
    // The format the next appended text takes.
    virtual void ApplyFormat(const SCharFormat& format) = 0;
    // Appends text at the end as one run belonging to the record `sequence`.
    virtual void AppendRun(std::string_view text, std::uint32_t sequence) = 0;
    // Deletes the last character before the end of the caret's line; nothing
    // at the very start of the text or of a line.
    virtual void DeleteLastCharOfCaretLine() = 0;
};

}  // namespace quillpad
