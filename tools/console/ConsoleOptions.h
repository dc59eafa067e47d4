#pragma once
// The command line of quillpad-console, read whole into one record before
// anything runs, so that a line that cannot be used is refused at once.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillpad {

inline constexpr std::uint32_t kMaxWaitMs = 3600000;

struct SConsoleOptions {
    std::string spec = "sim:";
    bool help = false;
    // After stdin ends: how long to wait, or the longest wait for `until`.
    std::uint32_t lingerMs = 500;
    std::string until;
    // The one operation of a scripted run (request code, 0 for none) and
    // its file; --xmodem-1k also applies to XModem sends from the keys and a script.
    std::uint32_t operation = 0;
    std::string file;
    bool use1K = false;
    // ASCII Send's pauses; unset: the settings' values.
    std::optional<std::uint32_t> lineDelayMs;
    std::optional<std::uint32_t> charDelayMs;
    // A Lua script run on the link, and its arguments (all that follows
    // the file on the command line).
    std::string script;
    std::vector<std::string> scriptArgs;
    // The window form.
    bool window = false;
    std::string type;
    std::string screenshot;
    std::uint32_t afterMs = 1000;
};

// A whole number of milliseconds from 0 to `most`, digits only; none for
// anything else (a sign, spaces, an empty text, too large a number).
std::optional<std::uint32_t> ParseMilliseconds(std::string_view text, std::uint32_t most);

// Reads the arguments after the program's name. False with the reason in
// `error` (a line for the user) when the command line cannot be used.
bool ParseConsoleOptions(const std::vector<std::string>& args, SConsoleOptions& options,
                         std::string& error);

// The keys after the command prefix, for "?" and the usage.
inline constexpr const char* kPrefixHelp =
    "Ctrl-] then: q quit, b send a break, x XModem send, r XModem receive,"
    " a ASCII send, c cancel the transfer, w stop waiting for a lost link,"
    " Ctrl-] send Ctrl-], ? this list";

// The usage text that follows the reason.
std::string ConsoleUsage();

}  // namespace quillpad
