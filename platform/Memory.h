#pragma once
// Hints to the operating system about how memory will be used.

#include <cstddef>

namespace quillpad {

// Asks for large pages behind a big buffer that is about to be filled from
// start to end: one page fault per 2 MiB instead of per 4 KiB. A hint only;
// nothing changes where it is not supported.
void AdviseSequentialFill(void* data, std::size_t bytes);

}  // namespace quillpad
