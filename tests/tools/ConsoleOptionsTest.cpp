// quillpad-console's command line, read without starting anything.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nxr/NxrCodes.h"
#include "tools/console/ConsoleOptions.h"

namespace quillpad {
namespace {

struct SParse {
    bool ok = false;
    SConsoleOptions options;
    std::string error;
};

SParse Parse(const std::vector<std::string>& args) {
    SParse p;
    p.ok = ParseConsoleOptions(args, p.options, p.error);
    return p;
}

TEST(ConsoleMilliseconds, DigitsOnlyUpToTheLimit) {
    EXPECT_EQ(ParseMilliseconds("0", 10), 0u);
    EXPECT_EQ(ParseMilliseconds("10", 10), 10u);
    EXPECT_EQ(ParseMilliseconds("007", 10), 7u);
    for (const char* bad : {"", "11", "-1", "+1", " 1", "1 ", "1.5", "1e3", "x", "99999999999"}) {
        EXPECT_EQ(ParseMilliseconds(bad, 10), std::nullopt) << '"' << bad << '"';
    }
    EXPECT_EQ(ParseMilliseconds("3600000", kMaxWaitMs), 3600000u);
    EXPECT_EQ(ParseMilliseconds("3600001", kMaxWaitMs), std::nullopt);
}

TEST(ConsoleOptions, EachFormReadsIntoTheRecord) {
    const SParse none = Parse({});
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.options.spec, "sim:");
    EXPECT_EQ(none.options.lingerMs, 500u);
    EXPECT_EQ(none.options.operation, 0u);
    EXPECT_FALSE(none.options.lineDelayMs.has_value()) << "the settings' pauses, unless given";

    const SParse script = Parse(
        {"tcp:host:23", "--xmodem-send", "fw.bin", "--xmodem-1k", "--linger", "0", "--until", ">"});
    ASSERT_TRUE(script.ok) << script.error;
    EXPECT_EQ(script.options.spec, "tcp:host:23");
    EXPECT_EQ(script.options.operation, nxr_request::XModemSend);
    EXPECT_EQ(script.options.file, "fw.bin");
    EXPECT_TRUE(script.options.use1K);
    EXPECT_EQ(script.options.lingerMs, 0u);
    EXPECT_EQ(script.options.until, ">");

    const SParse ascii =
        Parse({"--ascii-send", "p.txt", "--line-delay", "300", "--char-delay", "10000"});
    ASSERT_TRUE(ascii.ok) << ascii.error;
    EXPECT_EQ(ascii.options.operation, nxr_request::AsciiSend);
    EXPECT_EQ(ascii.options.lineDelayMs, 300u);
    EXPECT_EQ(ascii.options.charDelayMs, 10000u);

    EXPECT_EQ(Parse({"--break"}).options.operation, nxr_request::SendBreak);
    EXPECT_EQ(Parse({"--xmodem-receive", "got.bin"}).options.operation, nxr_request::XModemReceive);

    const SParse window =
        Parse({"--window", "--type", "ver\n", "--screenshot", "a.png", "--after", "2500"});
    ASSERT_TRUE(window.ok) << window.error;
    EXPECT_TRUE(window.options.window);
    EXPECT_EQ(window.options.type, "ver\n");
    EXPECT_EQ(window.options.screenshot, "a.png");
    EXPECT_EQ(window.options.afterMs, 2500u);

    // What follows the script's file is the script's, options or not.
    const SParse lua = Parse({"serial:/dev/ttyUSB0", "--script", "boot.lua", "rig-7", "--break"});
    ASSERT_TRUE(lua.ok) << lua.error;
    EXPECT_EQ(lua.options.spec, "serial:/dev/ttyUSB0");
    EXPECT_EQ(lua.options.script, "boot.lua");
    EXPECT_EQ(lua.options.scriptArgs, (std::vector<std::string>{"rig-7", "--break"}));
    EXPECT_EQ(lua.options.operation, 0u);

    const SParse help = Parse({"--help", "--no-such-option"});
    EXPECT_TRUE(help.ok) << "what follows --help is not read";
    EXPECT_TRUE(help.options.help);
}

TEST(ConsoleOptions, BadLinesSayWhatIsWrong) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--linger", "x"}, "--linger takes milliseconds from 0 to 3600000"},
        {{"--linger", "-5"}, "--linger takes milliseconds from 0 to 3600000"},
        {{"--after", "3600001"}, "--after takes milliseconds from 0 to 3600000"},
        {{"--after", ""}, "--after takes milliseconds from 0 to 3600000"},
        {{"--line-delay", "10001"}, "--line-delay takes milliseconds from 0 to 10000"},
        {{"--char-delay", " 5"}, "--char-delay takes milliseconds from 0 to 10000"},
        {{"--linger"}, "--linger needs a value"},
        {{"sim:", "--xmodem-send"}, "--xmodem-send needs a value"},
        {{"--xmodem-send", ""}, "the operation needs a file name"},
        {{"--break", "--ascii-send", "f"}, "one operation at a time"},
        {{"--ascii-send", "f", "--break"}, "one operation at a time"},
        {{"--until", ""}, "--until takes a text"},
        {{"--window", "--break"}, "--window runs no operation"},
        {{"--break", "--script", "a.lua"}, "one operation at a time"},
        {{"--script", ""}, "--script needs a file name"},
        {{"--window", "--script", "a.lua"}, "--window runs no operation"},
        {{"--bogus"}, "unknown option --bogus"},
    };
    for (const auto& [args, why] : cases) {
        const SParse p = Parse(args);
        EXPECT_FALSE(p.ok) << args.front();
        EXPECT_EQ(p.error, why) << args.front();
    }
}

}  // namespace
}  // namespace quillpad
