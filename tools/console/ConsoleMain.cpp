// quillpad-console: the device session of a console, in a terminal.
//
//   quillpad-console [SPEC] [--linger MS] [--until TEXT]
//   quillpad-console [SPEC] --window [--type TEXT] [--screenshot OUT.png --after MS [--until TEXT]]
//
// Connects to SPEC (default "sim:") as a console does: the connection
// parameters go through the console's side of the connection, the device's
// console is opened on link up, and what the device sends is stored as
// records and written to stdout as it is (bytes, never decoded). Every key
// typed goes to the device as a typed character (LF as CR, as a terminal's
// Enter) once the device's console is open; nothing is echoed locally.
// On a terminal, Ctrl-] is a command prefix (PrefixKeys.h). When stdin is not
// a terminal, its end quits after MS milliseconds (default 500) so that the
// device's answer can still arrive; with --until, as soon as the device has
// sent TEXT, MS being the longest wait for it (status 1 if it never comes).
//
// One operation runs once the device's console is open and stdin has ended
// (ScriptedRun.h):
//   --xmodem-send FILE [--xmodem-1k], --xmodem-receive FILE, --ascii-send FILE, --break
// The status is 0 when it succeeded, 1 with the reason on stderr when not.
// --line-delay MS and --char-delay MS pace ASCII Send (0 to 10000; by default
// the settings' "AsciiLineDelayMs" and "AsciiCharDelayMs").
//
// --script FILE.lua [ARGS...] runs a Lua script on the link instead
// (ScriptDriver.h, docs/SCRIPTING.md): status 0 when it ends normally, 1 when
// it fails, 2 when it cannot be read or compiled.
//
// With --window it opens the console control itself (WindowMode.h).
//
// SIGTERM, SIGINT and SIGHUP end it as Ctrl-] q does (QuitSignals.h), with
// status 0; a second one while it ends ends it at once.
//
// Status changes and errors go to stderr. The settings (for instance
// "OutgoingCRToCRLF") come from the registry defaults.

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "devsim/qt/CDevSimTransport.h"
#include "platform/Memory.h"
#include "platform/ProgramInfo.h"
#include "platform/qt/QuitSignals.h"
#include "tools/console/ConsoleOptions.h"
#include "tools/console/TerminalRun.h"
#include "tools/console/WindowMode.h"

int main(int argc, char** argv) {
    using namespace quillpad;
    ReturnLargeAllocationsToTheSystem();
    if (AnswerVersion(argc, argv, "quillpad-console")) {
        return 0;
    }
    SConsoleOptions options;
    std::string error;
    if (!ParseConsoleOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "quillpad-console: %s\n%s", error.c_str(), ConsoleUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fprintf(stdout,
                     "quillpad-console: a console on a connection spec (docs/CONNECTIONS.md)\n%s",
                     ConsoleUsage().c_str());
        return 0;
    }
    RegisterDevSimTransport();
    // A signal ends the run as Ctrl-] q or the window's end does: the logs
    // closed, the spill file removed, status 0.
    const auto quit = [] { QCoreApplication::quit(); };
    if (options.window) {
        QApplication app(argc, argv);
        CQuitSignals quitSignals(quit);
        return RunWindow(app, options);
    }
    QCoreApplication app(argc, argv);
    CQuitSignals quitSignals(quit);
    return RunTerminal(options);
}
