#pragma once
// A property a fuzz target checks: a broken one says which and aborts, which
// the fuzzer reports as a finding with the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <source_location>

namespace quillpad::fuzz {

inline void Check(bool condition, std::source_location where = std::source_location::current()) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed at %s:%u\n", where.file_name(),
                     static_cast<unsigned>(where.line()));
        std::abort();
    }
}

}  // namespace quillpad::fuzz
