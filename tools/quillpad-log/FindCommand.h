#pragma once
// The "find" command of quillpad-log.

#include <string>
#include <vector>

namespace quillpad {

// quillpad-log find [--hex | --regex] [--ignore-case] [--direction in|out] [--count]
//                   PATTERN FILE.wblog
// One line per match: the record's local time with milliseconds, "in" or
// "out", the match's history offset and the bytes matched in the console's
// escapes; with --count the number of matches alone. Status 0 when something
// matched, 1 when nothing did, 2 for a bad pattern, file or command line.
int RunFindCommand(const std::vector<std::string>& args);

}  // namespace quillpad
