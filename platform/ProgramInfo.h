#pragma once
// What every Quillpad program says about itself.

namespace quillpad {

// The project's version, as the build knows it ("0.1").
const char* QuillpadVersion();

// `--version` as the only argument: prints "<program> <version>" on stdout
// and returns true (the program then exits 0).
bool AnswerVersion(int argc, char** argv, const char* program);

}  // namespace quillpad
