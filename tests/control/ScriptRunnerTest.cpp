#include "control/CScriptRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

class CRecordingHost : public IScriptHost {
  public:
    bool Send(std::string_view bytes, std::string& error) override {
        if (!linkUp) {
            error = "the device session is not open";
            return false;
        }
        sent += bytes;
        return true;
    }
    void Mark(std::string_view text) override { marks.emplace_back(text); }
    void Print(std::string_view text) override { printed.emplace_back(text); }
    bool SetLine(EScriptLine line, bool on, std::string& error) override {
        if (!hasLines) {
            return IScriptHost::SetLine(line, on, error);
        }
        lines.emplace_back(line, on);
        return true;
    }
    bool StartLog(const SScriptLog& log, std::string& error) override {
        if (logging) {
            error = "the console is logging already";
            return false;
        }
        logging = true;
        logs.push_back(log);
        return true;
    }
    bool StopLog() override { return std::exchange(logging, false); }
    bool StartTransfer(EScriptTransfer kind, const std::string& path, std::string& error) override {
        if (!linkUp) {
            error = "the device session is not open";
            return false;
        }
        transfers.emplace_back(kind, path);
        if (endAtStart) {
            runner->TransferEnded(false, *endAtStart, 0);  // as a session that fails at once
        }
        return true;
    }
    void CancelTransfer() override { ++cancels; }

    CScriptRunner* runner = nullptr;
    std::optional<std::string> endAtStart;
    std::vector<std::pair<EScriptTransfer, std::string>> transfers;
    int cancels = 0;
    bool linkUp = true;
    bool hasLines = true;
    bool logging = false;
    std::vector<std::pair<EScriptLine, bool>> lines;
    std::vector<SScriptLog> logs;
    std::string sent;
    std::vector<std::string> marks;
    std::vector<std::string> printed;
};

// Each step waits, as long as it takes, for the script to come to rest.
constexpr std::chrono::seconds kGenerous{20};

struct SScript {
    explicit SScript(std::string_view source, std::vector<std::string> args = {},
                     const std::vector<std::string>& folders = {})
        : runner(host) {
        host.runner = &runner;
        runner.SetStepLimit(kGenerous);
        loaded = runner.Load(source, "boot.lua", args, folders);
    }
    CRecordingHost host;
    CScriptRunner runner;
    bool loaded = false;
};

// The commissioning case: stop the autoboot within its two seconds and read
// the version, the prompt arriving split across reads.
TEST(ScriptRunner, AnswersAPromptSplitAcrossReadsAndReadsTheReply) {
    SScript s(R"(
        local hit = expect("Hit any key to stop autoboot", 2000)
        send(" ")
        send("version\r")
        local v = expect("U-Boot 20", 1000)
        mark(hit .. " / " .. v)
        print("done", 42)
    )");
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Start(1000);
    EXPECT_EQ(s.runner.State(), EScriptState::Waiting);
    EXPECT_EQ(s.runner.NextDeadline(), 3000u);
    s.runner.Received("U-Boot SPL\r\nHit any key to st", 1100);
    EXPECT_TRUE(s.host.sent.empty());
    s.runner.Received("op autoboot:  2 ", 1200);
    EXPECT_EQ(s.host.sent, " version\r");
    s.runner.Received("\r\n=> version\r\nU-Boot 2023.01\r\n", 1300);
    EXPECT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    EXPECT_EQ(s.host.marks, std::vector<std::string>{"Hit any key to stop autoboot / U-Boot 20"});
    EXPECT_EQ(s.host.printed, std::vector<std::string>{"done\t42"});
}

TEST(ScriptRunner, WhatCameBeforeTheExpectCountsOnceAndTimeOutsGiveNil) {
    SScript s(R"(
        sleep(100)
        local a = expect("login:")
        local b = expect("login:", 50)
        send(b == nil and "none" or "again")
        local c = expect({hex = "55 aa"}, 10)
        local d = expect("ok\\r\\x41") -- the console's escapes, not Lua's
        send(string.format("|%d,%d|%s", c:byte(1), c:byte(2), d == "ok\rA" and "esc" or "?"))
    )");
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Start(0);
    s.runner.Received("login: ", 10);  // before the expect: kept
    s.runner.Tick(99);
    EXPECT_EQ(s.runner.NextDeadline(), 100u);
    s.runner.Tick(100);
    // "login:" was taken by the first expect; the second waits and times out.
    EXPECT_EQ(s.runner.NextDeadline(), 150u);
    s.runner.Tick(149);
    EXPECT_TRUE(s.host.sent.empty());
    s.runner.Tick(150);
    EXPECT_EQ(s.host.sent, "none");
    s.runner.Received(std::string("\x01\x55\xAA", 3), 155);
    s.runner.Received("ok\\r\\x41 ok\rA", 156);
    EXPECT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    EXPECT_EQ(s.host.sent, "none|85,170|esc");
}

TEST(ScriptRunner, ErrorsNameTheFileAndLine) {
    SScript syntax("send('a'\n");
    EXPECT_FALSE(syntax.loaded);
    EXPECT_EQ(syntax.runner.Error().rfind("boot.lua:", 0), 0u) << syntax.runner.Error();

    SScript failing("sleep(1)\n\nerror('no prompt seen')\n");
    ASSERT_TRUE(failing.loaded);
    failing.runner.Start(0);
    failing.runner.Tick(1);
    EXPECT_EQ(failing.runner.State(), EScriptState::Failed);
    EXPECT_EQ(failing.runner.Error(), "boot.lua:3: no prompt seen");

    // A send on a link that is down stops the script with the reason.
    SScript down("send('x')");
    down.host.linkUp = false;
    down.runner.Start(0);
    EXPECT_EQ(down.runner.State(), EScriptState::Failed);
    EXPECT_EQ(down.runner.Error(), "boot.lua:1: send: the device session is not open");

    SScript bad("expect({hex = '5G'})");
    bad.runner.Start(0);
    EXPECT_EQ(bad.runner.Error(), "boot.lua:1: expect: \"G\" at position 2 is not a hex digit");
}

// A regular expression returns the match and its groups, a group that took
// no part as nil; a match split across reads waits for its end, and one that
// could still run on (\d+ at the end) waits for the byte after it.
TEST(ScriptRunner, ARegexReturnsTheMatchAndItsGroups) {
    SScript s(R"lua(
        local all, major, minor, rc = expect({regex = "U-Boot (\\d+)\\.(\\d+)(-rc\\d)?\\s"}, 1000)
        send(string.format("[%s|%s|%s|%s]", all, major, minor, tostring(rc)))
        local _, n = expect({regex = "temp=(\\d+)"})
        send("<" .. n .. ">")
        local line = expect({regex = "^=> $"}, 100)
        send(line == nil and "none" or "prompt")
    )lua");
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Start(0);
    s.runner.Received("\r\nU-Boot 20", 10);
    EXPECT_TRUE(s.host.sent.empty());
    s.runner.Received("23.01 (Jan 01)\r\n", 20);
    EXPECT_EQ(s.host.sent, "[U-Boot 2023.01 |2023|01|nil]");
    s.runner.Received("temp=4", 30);
    EXPECT_EQ(s.host.sent, "[U-Boot 2023.01 |2023|01|nil]") << "more digits may follow";
    s.runner.Received("2C\r\n", 40);
    EXPECT_EQ(s.host.sent, "[U-Boot 2023.01 |2023|01|nil]<42>");
    // ^ sees the line end that an earlier match took; $ waits for the end.
    s.runner.Received("x=> \r\n", 50);
    EXPECT_EQ(s.runner.State(), EScriptState::Waiting);
    s.runner.Received("=> \r\n", 60);
    EXPECT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    EXPECT_EQ(s.host.sent, "[U-Boot 2023.01 |2023|01|nil]<42>prompt");
}

// nocase lets the letters of text and of a regular expression match either
// case, Latin-1 ones too, across reads; the match comes back as it came. A
// plain string and a table without nocase stay case-sensitive.
TEST(ScriptRunner, NocaseMatchesTextAndRegexInEitherCase) {
    SScript s(R"lua(
        local a = expect({text = "login:\\r", nocase = true})
        local b, n = expect({regex = "error (\\d+)!", nocase = true})
        local c = expect({text = "Ready"}, 50)
        local d = expect("Ready", 50)
        local e = expect({text = "\\xC9tat", nocase = true, }, 50)
        send(table.concat({a, b, n, tostring(c), tostring(d), e}, "|"))
    )lua");
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Start(0);
    s.runner.Received("LOG", 1);
    s.runner.Received("iN:\r ErR", 2);
    s.runner.Received("OR 42!\r\nREADY ", 3);
    s.runner.Tick(53);
    EXPECT_EQ(s.runner.State(), EScriptState::Waiting);
    s.runner.Tick(103);
    s.runner.Received("\xE9T", 104);
    EXPECT_TRUE(s.host.sent.empty());
    s.runner.Received("AT", 105);
    EXPECT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    EXPECT_EQ(s.host.sent, "LOGiN:\r|ErROR 42!|42|nil|nil|\xE9TAT");
}

// A pattern table holds one of text, hex and regex, and nocase; anything
// else stops the script naming the file and line.
TEST(ScriptRunner, APatternTableWithAnUnknownOrWrongKeyIsAnError) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"sleep(1)\n\nexpect({text = 'ok', nocas = true})\n",
         "boot.lua:3: expect: \"nocas\" is no key of a pattern (text, hex, regex, nocase)"},
        {"expect({text = 'a', regex = 'b'})",
         "boot.lua:1: expect: a pattern is one of text, hex or regex, not two"},
        {"expect({nocase = true})",
         "boot.lua:1: expect: a pattern is a string, {text=...}, {hex=...} or {regex=...}"},
        {"expect({text = 'a', nocase = 'yes'})", "boot.lua:1: expect: nocase is true or false"},
        {"expect({hex = '55', nocase = true})",
         "boot.lua:1: expect: hex names bytes, which have no case: leave out nocase"},
        {"expect({text = '', nocase = true})", "boot.lua:1: expect: the pattern is empty"},
        {"expect({[1] = 'a'})", "boot.lua:1: expect: the pattern table's keys are names"},
    };
    for (const auto& [source, error] : cases) {
        SScript s(source);
        ASSERT_TRUE(s.loaded) << source;
        s.runner.Start(0);
        s.runner.Tick(1);
        EXPECT_EQ(s.runner.State(), EScriptState::Failed) << source;
        EXPECT_EQ(s.runner.Error(), error) << source;
    }
}

TEST(ScriptRunner, ABadRegexIsAnErrorWithItsLineAndTheTailStaysBounded) {
    SScript bad("sleep(1)\nexpect({regex = 'a(b'})\n");
    ASSERT_TRUE(bad.loaded);
    bad.runner.Start(0);
    bad.runner.Tick(1);
    EXPECT_EQ(bad.runner.State(), EScriptState::Failed);
    EXPECT_EQ(bad.runner.Error().rfind("boot.lua:2: expect: ", 0), 0u) << bad.runner.Error();
    EXPECT_NE(bad.runner.Error().find("missing closing parenthesis"), std::string::npos)
        << bad.runner.Error();

    SScript wrong("expect({regex = 5})");
    wrong.runner.Start(0);
    EXPECT_EQ(wrong.runner.Error(), "boot.lua:1: expect: regex is a string");

    // Only the newest 64 KiB that no expect took are searched: a start
    // pushed out by later bytes no longer matches.
    SScript tail(
        "sleep(10)\nlocal m = expect({regex = 'BEGIN(x*)END'}, 100)\nsend(m and #m or 'gone')\n");
    tail.runner.Start(0);
    tail.runner.Received("BEGIN", 1);
    tail.runner.Received(std::string(CScriptRunner::kKeptBytes, 'x'), 2);
    tail.runner.Tick(10);
    tail.runner.Received("END", 11);
    tail.runner.Tick(110);
    EXPECT_EQ(tail.runner.State(), EScriptState::Finished) << tail.runner.Error();
    EXPECT_EQ(tail.host.sent, "gone");
}

TEST(ScriptRunner, LinesAndLogsReachTheHostAsTheScriptAsks) {
    SScript s(R"lua(
        dtr(true)
        rts(false)
        assert(log.start() == true)
        local again, why = log.start{binary = true}
        assert(again == nil and why == "the console is logging already", why)
        assert(log.stop() == true and log.stop() == false)
        log.start{name = "rig", plain = "run.txt", binary = true, timestamps = false}
    )lua");
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Start(0);
    ASSERT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    EXPECT_EQ(s.host.lines, (std::vector<std::pair<EScriptLine, bool>>{{EScriptLine::Dtr, true},
                                                                       {EScriptLine::Rts, false}}));
    ASSERT_EQ(s.host.logs.size(), 2u);
    // No table: named after the script, in the console's own kinds.
    EXPECT_EQ(s.host.logs[0].name, "boot");
    EXPECT_FALSE(s.host.logs[0].kindsGiven);
    EXPECT_FALSE(s.host.logs[0].timestamps.has_value());
    const SScriptLog& named = s.host.logs[1];
    EXPECT_EQ(named.name, "rig");
    EXPECT_TRUE(named.kindsGiven);
    EXPECT_TRUE(named.plain && named.binary && !named.formatted);
    EXPECT_EQ(named.plainPath, "run.txt");
    EXPECT_EQ(named.binaryPath, "");
    EXPECT_EQ(named.timestamps, false);
}

TEST(ScriptRunner, ALinkWithoutLinesAndABadLogTableStopTheScriptAtTheirLine) {
    SScript none("sleep(1)\nrts(true)\n");
    none.host.hasLines = false;
    none.runner.Start(0);
    none.runner.Tick(1);
    EXPECT_EQ(none.runner.Error(), "boot.lua:2: rts: this link has no RTS line");

    const std::pair<const char*, const char*> cases[] = {
        {"log.start{plian = true}", "boot.lua:1: log.start: \"plian\" is no key of a log"},
        {"log.start{plain = 3}", "boot.lua:1: log.start: plain is true, false or a file's name"},
        {"log.start{binary = ''}", "boot.lua:1: log.start: binary names no file"},
        {"log.start{plain = false}", "boot.lua:1: log.start: every kind of log is off"},
        {"log.start('x')", "boot.lua:1: log.start: give a table"},
        {"log.start{[1] = true}", "boot.lua:1: log.start: the table's keys are names"},
        {"dtr('yes')", "bad argument #1 to 'dtr'"},
    };
    for (const auto& [source, error] : cases) {
        SScript bad(source);
        bad.runner.Start(0);
        EXPECT_EQ(bad.runner.State(), EScriptState::Failed) << source;
        EXPECT_NE(bad.runner.Error().find(error), std::string::npos)
            << source << ": " << bad.runner.Error();
        EXPECT_TRUE(bad.host.logs.empty()) << source;
    }
}

TEST(ScriptRunner, CancelStopsAtTheWaitAndNothingRunsAgain) {
    SScript s("expect('>')\nsend('after')\n");
    s.runner.Start(0);
    s.runner.Cancel();
    EXPECT_EQ(s.runner.State(), EScriptState::Cancelled);
    s.runner.Received(">", 1);
    s.runner.Tick(100000);
    EXPECT_TRUE(s.host.sent.empty());
    EXPECT_EQ(s.host.cancels, 0) << "no transfer ran";
}

// The working folder for a test's length: relative names are taken from it.
class CCurrentDir {
  public:
    explicit CCurrentDir(const std::string& dir) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CCurrentDir() {
        std::error_code ec;
        std::filesystem::current_path(m_old, ec);
    }
    CCurrentDir(const CCurrentDir&) = delete;
    CCurrentDir& operator=(const CCurrentDir&) = delete;

  private:
    std::filesystem::path m_old;
};

// Each transfer waits for its end, with no deadline of its own, and answers
// true, or nil and its name with the session's reason; an end the host tells
// before the call could yield is answered at once. What the device sent
// meanwhile was the transfer's; what was kept before still counts.
TEST(ScriptRunner, TransfersWaitForTheirEndAndAnswerTrueOrNilWithTheReason) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("fw.bin"), "image"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), "ver\r"));
    const CCurrentDir here(dir.Path());
    const std::string source = R"(
        mark(tostring(xmodem.send("fw.bin")))
        local ok, why = xmodem.receive("got.bin")
        mark(tostring(ok) .. ", " .. why)
        mark(tostring(expect("OK", 0)) .. " " .. expect("ready", 0))
        ok, why = ascii.send(args[1])
        mark(tostring(ok) .. ", " .. why)
    )";
    SScript s(source, {dir.File("prog.txt")});
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Received("ready ", 0);
    s.runner.Start(0);
    ASSERT_EQ(s.host.transfers.size(), 1u);
    EXPECT_EQ(s.host.transfers[0].first, EScriptTransfer::XModemSend);
    EXPECT_EQ(s.host.transfers[0].second, dir.File("fw.bin")) << "made full from the folder";
    EXPECT_TRUE(s.runner.WaitingForTransfer());
    EXPECT_FALSE(s.runner.NextDeadline().has_value());
    s.runner.Received("OK", 5);
    s.runner.Tick(1000000);
    EXPECT_TRUE(s.host.marks.empty()) << "neither bytes nor time end a transfer";

    s.runner.TransferEnded(true, "", 10);
    ASSERT_EQ(s.host.transfers.size(), 2u);
    EXPECT_EQ(s.host.transfers[1].first, EScriptTransfer::XModemReceive);
    EXPECT_EQ(s.host.transfers[1].second, dir.File("got.bin"));
    s.runner.Received("OK\r\n", 12);
    s.host.endAtStart = "the link went down";
    s.runner.TransferEnded(false,
                           ScriptTransferReason(EScriptTransfer::XModemReceive,
                                                "XModem receive: cancelled by the sender"),
                           20);
    s.runner.Tick(20);  // expect("OK", 0) finds nothing
    EXPECT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    ASSERT_EQ(s.host.transfers.size(), 3u);
    EXPECT_EQ(s.host.transfers[2].first, EScriptTransfer::AsciiSend);
    EXPECT_EQ(s.host.marks,
              (std::vector<std::string>{"true", "nil, xmodem.receive: cancelled by the sender",
                                        "nil ready", "nil, ascii.send: the link went down"}));
    // A reason without the session's name in front is left as it is.
    EXPECT_EQ(ScriptTransferReason(EScriptTransfer::XModemSend, "ASCII send: no"),
              "ASCII send: no");
}

// What the script got wrong, or a console that cannot transfer, stops it at
// the call's line before anything starts.
TEST(ScriptRunner, AFileThatCannotBeUsedStopsTheScriptAtTheTransfersLine) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), "ver\r"));
    const CCurrentDir here(dir.Path());
    const std::pair<std::string, std::string> cases[] = {
        {"\nxmodem.send('missing.bin')",
         "boot.lua:2: xmodem.send: cannot open \"missing.bin\": No such file or directory"},
        {"xmodem.send('" + dir.Path() + "')",
         "boot.lua:1: xmodem.send: cannot open \"" + dir.Path() + "\": Is a directory"},
        {"xmodem.receive('no/such/got.bin')",
         "boot.lua:1: xmodem.receive: cannot write \"no/such/got.bin\": No such file or "
         "directory"},
        {"ascii.send('')", "boot.lua:1: ascii.send: give the file's name"},
        {"ascii.send('prog.txt\\0x')", "boot.lua:1: ascii.send: give the file's name"},
        {"xmodem.receive()", "bad argument #1 to 'receive'"},
    };
    for (const auto& [source, error] : cases) {
        SScript bad(source);
        ASSERT_TRUE(bad.loaded) << bad.runner.Error();
        bad.runner.Start(0);
        EXPECT_EQ(bad.runner.State(), EScriptState::Failed) << source;
        EXPECT_NE(bad.runner.Error().find(error), std::string::npos)
            << source << ": " << bad.runner.Error();
        EXPECT_TRUE(bad.host.transfers.empty()) << source;
    }
    SScript down("ascii.send('prog.txt')");
    down.host.linkUp = false;
    down.runner.Start(0);
    EXPECT_EQ(down.runner.Error(), "boot.lua:1: ascii.send: the device session is not open");
}

TEST(ScriptRunner, CancelDuringATransferCancelsItOnceAndItsEndComesTooLate) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("fw.bin"), "image"));
    SScript s("xmodem.send('" + dir.File("fw.bin") + "')\nsend('after')\n");
    s.runner.Start(0);
    ASSERT_TRUE(s.runner.WaitingForTransfer());
    s.runner.Cancel();
    s.runner.Cancel();
    EXPECT_EQ(s.runner.State(), EScriptState::Cancelled);
    EXPECT_EQ(s.host.cancels, 1);
    s.runner.TransferEnded(true, "", 10);
    EXPECT_EQ(s.runner.State(), EScriptState::Cancelled);
    EXPECT_TRUE(s.host.sent.empty());
}

// Nothing that starts or ends a program, digs out a function's upvalues or
// runs a compiled chunk, by any of the ways in; text chunks and modules load.
TEST(ScriptRunner, TheSandboxRefusesWhatAScriptMustNotReach) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("ok.lua"), "return 7"));
    const std::string dump = "local f = io.open('" + dir.File("bin.lua") +
                             "', 'wb') f:write(string.dump(function() return 1 end)) f:close()\n";
    const std::pair<std::string, std::string> cases[] = {
        {"debug.sethook()", "attempt to index a nil value (global 'debug')"},
        {"local _, orig = debug.getupvalue(load, 1)", "(global 'debug')"},
        {"os.exit(1)", "attempt to call a nil value (field 'exit')"},
        {"os.execute('true')", "(field 'execute')"},
        {"io.popen('true')", "(field 'popen')"},
        {"package.loadlib('libc.so.6', 'exit')", "(field 'loadlib')"},
        {"assert(load(string.dump(function() end), 'x', 'b'))", "attempt to load a binary chunk"},
        {dump + "assert(loadfile('" + dir.File("bin.lua") + "', 'b'))", "binary chunk"},
        {dump + "dofile('" + dir.File("bin.lua") + "')", "binary chunk"},
        {dump + "require('bin')", "binary chunk"},
        {"require('cjson')", "module 'cjson' not found"},
        {"setmetatable({}, {__gc = function() while true do end end})", "cannot have __gc"},
    };
    for (const auto& [source, error] : cases) {
        SScript s(source, {}, {dir.Path()});
        s.runner.Start(0);
        EXPECT_EQ(s.runner.State(), EScriptState::Failed) << source;
        EXPECT_NE(s.runner.Error().find(error), std::string::npos)
            << source << ": " << s.runner.Error();
    }
    SScript fine("send(require('ok') + load('return 2')() .. ':' .. args[1] .. ':' .. time())",
                 {"rig-7"}, {dir.Path()});
    fine.runner.Start(500);
    EXPECT_EQ(fine.runner.State(), EScriptState::Finished) << fine.runner.Error();
    EXPECT_EQ(fine.host.sent, "9:rig-7:0.0");
}

// A script that never waits, or grows past its memory, ends with why and
// where; a pcall that catches the stop only meets it again.
TEST(ScriptRunner, ARunawayEndsWithItsDeadlineOrMemoryWhateverItCatches) {
    using namespace std::chrono_literals;
    const std::tuple<const char*, std::chrono::milliseconds, const char*> cases[] = {
        {"send('a')\nwhile true do end", 100ms, "boot.lua:2: stopped: ran past its deadline"},
        {"while true do pcall(function() while true do end end) end", 100ms,
         "boot.lua:1: stopped: ran past its deadline"},
        {"co = coroutine.wrap(function() while true do end end)\nwhile true do pcall(co) end",
         100ms, "stopped: ran past its deadline"},
        {"local s = string.rep('x', 2^30)", 1min, "boot.lua:1: out of memory (limit 64 MB)"},
        {"collectgarbage('stop')\nlocal t = {}\nwhile true do t[#t + 1] = {} end", 1min,
         "boot.lua:3: out of memory (limit 64 MB)"},
        {"while true do pcall(string.rep, 'x', 2^30) end", 1min, "boot.lua:1: out of memory"},
        {"local function f() return 1 + f() end\nf()", 1min, "boot.lua:1: out of memory"},
    };
    for (const auto& [source, runLimit, error] : cases) {
        SScript s(source);
        s.runner.SetRunLimit(runLimit);
        s.runner.Start(0);
        EXPECT_EQ(s.runner.State(), EScriptState::Failed) << source;
        EXPECT_NE(s.runner.Error().find(error), std::string::npos)
            << source << ": " << s.runner.Error();
    }
}

// Whatever a script runs, its owner keeps its turns meanwhile, and Cancel
// ends it: a C function it is in (a pattern that backtracks over a
// megabyte) returns first, then the stop meets its next instruction.
TEST(ScriptRunner, ARunawayNeverHoldsItsOwnerAndCancelEndsIt) {
    const char* const cases[] = {
        "while true do end",
        "while true do pcall(function() while true do end end) end",
        "local s = string.rep(string.rep('a', 200) .. '\\n', 5200)\n"
        "while true do s:find('[^\\n]-b') end",
    };
    for (const char* source : cases) {
        SScript s(source);
        s.runner.SetRunLimit(std::chrono::hours(1));
        s.runner.SetStepLimit(std::chrono::milliseconds(0));
        s.runner.Start(0);
        // Turns of the owner's while the script runs.
        s.runner.Received("data", 1);
        s.runner.Tick(2);
        EXPECT_EQ(s.runner.State(), EScriptState::Waiting) << source;
        s.runner.Cancel();
        EXPECT_EQ(s.runner.State(), EScriptState::Cancelled) << source;
        EXPECT_EQ(s.runner.Error(), "stopped by the user");
        const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!s.runner.Ended() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(s.runner.Ended()) << source;
    }
}

}  // namespace
}  // namespace quillpad
