#include "platform/Memory.h"

#include <cstdint>
#include <new>

#include <malloc.h>
#include <sys/mman.h>

namespace quillpad {

void AdviseSequentialFill(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (last > first) {
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

namespace {
// Below this the heap serves: a page each for small blocks would waste more
// than the heap's free space costs.
constexpr std::size_t kPagesFrom = std::size_t{64} << 10;
}  // namespace

void ReturnLargeAllocationsToTheSystem() {
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

void ReturnFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void SPagesFree::operator()(char* data) const noexcept {
    if (data == nullptr) {
        return;
    }
    if (bytes == 0) {
        delete[] data;
    } else {
        munmap(data, bytes);
    }
}

PageBuffer AllocatePages(std::size_t bytes) {
    if (bytes < kPagesFrom) {
        return PageBuffer(new char[bytes], SPagesFree{0});
    }
    void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        throw std::bad_alloc();
    }
    return PageBuffer(static_cast<char*>(data), SPagesFree{bytes});
}

}  // namespace quillpad
