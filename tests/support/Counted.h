#pragma once
// Counts live instances, so a test can see that an owned payload was freed.

namespace quillpad::test {

struct SCounted {
    static inline int alive = 0;
    SCounted() { ++alive; }
    SCounted(const SCounted&) { ++alive; }
    SCounted(SCounted&&) noexcept { ++alive; }
    ~SCounted() { --alive; }
};

}  // namespace quillpad::test
