#pragma once
// Styled runs written out for a terminal (24-bit ANSI colours and effects)
// or as a standalone HTML page. Text is Latin-1 and comes out as UTF-8.
//
// Device data may hold bytes that a terminal or a browser would act on: C0
// control bytes other than TAB and line ends are shown as their control
// pictures (U+2400 + byte, "␛" for ESC), DEL as U+2421, and 0x80-0x9F as
// U+FFFD. CR and LF each end a line, as on screen; CR LF ends one.

#include <cstdint>
#include <string>
#include <string_view>

#include "view/CMemorySurface.h"

namespace quillpad {

std::string ExportAnsi(const CMemorySurface& surface, std::uint32_t background);
std::string ExportHtml(const CMemorySurface& surface, std::uint32_t background,
                       std::string_view title);

}  // namespace quillpad
