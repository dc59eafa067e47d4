#pragma once
// A property a fuzz target checks: a broken one aborts, which the fuzzer
// reports as a finding with the input that caused it.

#include <cstdlib>

namespace quillpad::fuzz {

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace quillpad::fuzz
