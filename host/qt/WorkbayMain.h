#pragma once
// The workbay program: the command line, registration, and the window.

namespace quillpad {

// `argc` and `argv` as main has them; Qt takes its own options out of them.
int WorkbayMain(int& argc, char** argv);

}  // namespace quillpad
