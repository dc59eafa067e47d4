#pragma once
// Hints to the operating system about how memory will be used.

#include <cstddef>
#include <memory>

namespace quillpad {

// Asks for large pages behind a big buffer that is about to be filled from
// start to end: one page fault per 2 MiB instead of per 4 KiB. A hint only;
// nothing changes where it is not supported.
void AdviseSequentialFill(void* data, std::size_t bytes);

// A buffer of whole pages from the system, given back to it when freed.
// malloc keeps what is freed for its next requests, so blocks of a megabyte
// that come and go all day (the history's segments as they spill) would
// otherwise stay resident as its free space. Small buffers come from the
// heap as usual.
struct SPagesFree {
    std::size_t bytes = 0;  // 0: from the heap
    void operator()(char* data) const noexcept;
};
using PageBuffer = std::unique_ptr<char[], SPagesFree>;

// Throws std::bad_alloc when the system has no memory to give.
PageBuffer AllocatePages(std::size_t bytes);

// For a program's main, before anything is allocated: every allocation of a
// megabyte or more gets pages of its own, returned when it is freed. glibc
// otherwise raises that limit each time such a block is freed, and the large
// vectors a long run grows and frees (the view's line index at every restyle)
// then stay behind as free space in the heap.
void ReturnLargeAllocationsToTheSystem();

// Gives the free pages of every heap back to the system, wherever in it they
// lie (glibc: malloc_trim; elsewhere nothing is done). Blocks freed below
// others stay with the process otherwise: a closed console's history, or
// the buffers a flood passed through (received on one thread, freed on
// another), which leave their heap with room for the flood's peak. Costs a
// walk over the heaps' free lists: for the end of a burst or of a console,
// not for every turn.
void ReturnFreedMemory();

}  // namespace quillpad
