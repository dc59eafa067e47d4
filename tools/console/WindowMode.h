#pragma once
// The window form: the console control itself, as the host shows it, with the
// connection status in the window's title; --type, and --screenshot after
// --after MS or as soon as --until's text is drawn.

#include <QApplication>

#include "tools/console/ConsoleOptions.h"

namespace quillpad {

// The exit status.
int RunWindow(QApplication& app, const SConsoleOptions& options);

}  // namespace quillpad
