#include "platform/ProgramInfo.h"

#include <cstdio>
#include <string_view>

#ifndef QUILLPAD_VERSION
#error "the build names the version"
#endif

namespace quillpad {

const char* QuillpadVersion() {
    return QUILLPAD_VERSION;
}

bool AnswerVersion(int argc, char** argv, const char* program) {
    if (argc != 2 || std::string_view(argv[1]) != "--version") {
        return false;
    }
    std::printf("%s %s\n", program, QuillpadVersion());
    return true;
}

}  // namespace quillpad
