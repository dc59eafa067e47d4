#pragma once
// Giving freed memory back to the system. A console that received a flood
// frees hundreds of megabytes when it closes, in blocks the allocator keeps
// for itself when other blocks lie above them; the host asks for them to be
// returned once a console is gone.

namespace quillpad {

// Returns the allocator's free pages to the system, wherever in the heap
// they lie (glibc: malloc_trim). Elsewhere nothing is done.
void ReturnFreedMemory();

}  // namespace quillpad
