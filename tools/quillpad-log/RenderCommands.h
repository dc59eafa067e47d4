#pragma once
// The "render" and "style" commands of quillpad-log.

#include <string>
#include <vector>

namespace quillpad {

// quillpad-log render [--style FILE.tss | --builtin NAME] [--set A|B]
//                     [--show-all-sources] [--timestamps] [--stamps absolute|start|delta]
//                     [--as text|plain|ansi|html] FILE.wblog
// "--as plain" writes the bytes a plain text log of the records holds;
// "--stamps" the line stamps a text log written with them holds.
int RunRenderCommand(const std::vector<std::string>& args);
// quillpad-log style show FILE.tss
// quillpad-log style new --from NAME [--set A|B] OUT.tss
int RunStyleCommand(const std::vector<std::string>& args);

}  // namespace quillpad
