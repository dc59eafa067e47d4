#include "control/CScriptRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

    bool linkUp = true;
    std::string sent;
    std::vector<std::string> marks;
    std::vector<std::string> printed;
};

struct SScript {
    explicit SScript(std::string_view source, std::vector<std::string> args = {}) : runner(host) {
        loaded = runner.Load(source, "boot.lua", args);
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
    EXPECT_EQ(bad.runner.Error(), "boot.lua:1: expect: \"5G\" is not hex");
}

TEST(ScriptRunner, CancelStopsAtTheWaitAndNothingRunsAgain) {
    SScript s("expect('>')\nsend('after')\n");
    s.runner.Start(0);
    s.runner.Cancel();
    EXPECT_EQ(s.runner.State(), EScriptState::Cancelled);
    s.runner.Received(">", 1);
    s.runner.Tick(100000);
    EXPECT_TRUE(s.host.sent.empty());
}

// Nothing that starts a program or reads a compiled chunk; and a loop that
// never waits is stopped rather than holding the console.
TEST(ScriptRunner, TheSandboxAndTheLoopThatNeverWaits) {
    SScript s(R"(
        assert(os.execute == nil and io.popen == nil and package.loadlib == nil)
        local chunk = string.dump(function() return 1 end)
        local f, why = load(chunk)
        assert(f == nil, "a binary chunk loaded")
        assert(load("return 2")() == 2)
        send(args[1] .. ":" .. #args .. ":" .. string.format("%.1f", time()))
    )",
              {"rig-7", "x"});
    ASSERT_TRUE(s.loaded) << s.runner.Error();
    s.runner.Start(500);
    EXPECT_EQ(s.runner.State(), EScriptState::Finished) << s.runner.Error();
    EXPECT_EQ(s.host.sent, "rig-7:2:0.0");

    SScript loop("send('a')\nwhile true do end\n");
    loop.runner.Start(0);
    EXPECT_EQ(loop.runner.State(), EScriptState::Failed);
    EXPECT_NE(loop.runner.Error().find("without waiting"), std::string::npos)
        << loop.runner.Error();
}

}  // namespace
}  // namespace quillpad
