#pragma once
// The source and build trees. Only the test main is compiled with their
// paths (it puts them in the environment), so no other test's object names a
// folder, and a clone in another folder hits the compiler cache.

#include <cstdlib>
#include <string>

namespace quillpad::test {

inline std::string SourceDir() {
    const char* dir = std::getenv("QUILLPAD_SOURCE_DIR");
    return dir != nullptr ? dir : "";
}

inline std::string BinaryDir() {
    const char* dir = std::getenv("QUILLPAD_BINARY_DIR");
    return dir != nullptr ? dir : "";
}

}  // namespace quillpad::test
