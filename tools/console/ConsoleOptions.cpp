#include "tools/console/ConsoleOptions.h"

#include <charconv>

#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrCodes.h"

namespace quillpad {

std::optional<std::uint32_t> ParseMilliseconds(std::string_view text, std::uint32_t most) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || value > most) {
        return std::nullopt;
    }
    return value;
}

bool ParseConsoleOptions(const std::vector<std::string>& args, SConsoleOptions& options,
                         std::string& error) {
    options = SConsoleOptions{};
    const auto fail = [&error](std::string why) {
        error = std::move(why);
        return false;
    };
    bool hasOperation = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue =
            arg == "--xmodem-send" || arg == "--xmodem-receive" || arg == "--ascii-send" ||
            arg == "--line-delay" || arg == "--char-delay" || arg == "--type" || arg == "--until" ||
            arg == "--screenshot" || arg == "--after" || arg == "--linger" || arg == "--script";
        if (takesValue && i + 1 >= args.size()) {
            return fail(arg + " needs a value");
        }
        const auto milliseconds = [&](std::uint32_t most, std::uint32_t& into) {
            const auto value = ParseMilliseconds(args[++i], most);
            if (value) {
                into = *value;
            }
            return value.has_value();
        };
        std::uint32_t ms = 0;
        if (arg == "--xmodem-send" || arg == "--xmodem-receive" || arg == "--ascii-send" ||
            arg == "--break") {
            if (hasOperation) {
                return fail("one operation at a time");
            }
            hasOperation = true;
            options.operation = arg == "--xmodem-send"      ? nxr_request::XModemSend
                                : arg == "--xmodem-receive" ? nxr_request::XModemReceive
                                : arg == "--ascii-send"     ? nxr_request::AsciiSend
                                                            : nxr_request::SendBreak;
            if (arg != "--break") {
                options.file = args[++i];
                if (options.file.empty() || options.file.find('\0') != std::string::npos) {
                    return fail("the operation needs a file name");
                }
            }
        } else if (arg == "--script") {
            if (hasOperation) {
                return fail("one operation at a time");
            }
            hasOperation = true;
            options.script = args[++i];
            if (options.script.empty() || options.script.find('\0') != std::string::npos) {
                return fail("--script needs a file name");
            }
            options.scriptArgs.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                      args.end());
            break;  // the rest is the script's
        } else if (arg == "--xmodem-1k") {
            options.use1K = true;
        } else if (arg == "--line-delay" || arg == "--char-delay") {
            if (!milliseconds(kNxrMaxPacingMs, ms)) {
                return fail(arg + " takes milliseconds from 0 to " +
                            std::to_string(kNxrMaxPacingMs));
            }
            (arg == "--line-delay" ? options.lineDelayMs : options.charDelayMs) = ms;
        } else if (arg == "--after" || arg == "--linger") {
            if (!milliseconds(kMaxWaitMs, arg == "--after" ? options.afterMs : options.lingerMs)) {
                return fail(arg + " takes milliseconds from 0 to " + std::to_string(kMaxWaitMs));
            }
        } else if (arg == "--window") {
            options.window = true;
        } else if (arg == "--type") {
            options.type = args[++i];
        } else if (arg == "--until") {
            options.until = args[++i];
            if (options.until.empty()) {
                return fail("--until takes a text");
            }
        } else if (arg == "--screenshot") {
            options.screenshot = args[++i];
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;  // what follows is not read
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option " + arg);
        } else {
            options.spec = arg;
        }
    }
    if (options.window && hasOperation) {
        return fail("--window runs no operation");
    }
    return true;
}

std::string ConsoleUsage() {
    return std::string(
               "usage: quillpad-console [SPEC] [--linger MS] [--until TEXT]\n"
               "       quillpad-console [SPEC] (--xmodem-send FILE [--xmodem-1k] |"
               " --xmodem-receive FILE | --ascii-send FILE | --break)\n"
               "       quillpad-console [SPEC] --script FILE.lua [ARGS...]\n"
               "                        [--line-delay MS] [--char-delay MS]\n"
               "       quillpad-console [SPEC] --window [--type TEXT]"
               " [--screenshot OUT.png --after MS [--until TEXT]]\n"
               "On a terminal, keys go to the device; ") +
           kPrefixHelp +
           ".\n"
           "--line-delay and --char-delay pace ASCII Send (ms, 0 to 10000).\n";
}

}  // namespace quillpad
