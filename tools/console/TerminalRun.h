#pragma once
// The terminal form: keys to the device (the prefix keys on a terminal),
// what it sends to stdout, and the scripted run once stdin ends.

#include "tools/console/ConsoleOptions.h"

namespace quillpad {

// Needs a QCoreApplication. The exit status.
int RunTerminal(const SConsoleOptions& options);

}  // namespace quillpad
