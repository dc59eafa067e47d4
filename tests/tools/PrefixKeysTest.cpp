// The terminal console's keys as states, driven without a terminal or a session.

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "nxr/NxrCodes.h"
#include "tools/console/ConsoleOptions.h"
#include "tools/console/PrefixKeys.h"

namespace quillpad {

bool operator==(const SConsoleRequest& a, const SConsoleRequest& b) {
    return a.code == b.code && a.path == b.path && a.pacing.charDelayMs == b.pacing.charDelayMs &&
           a.pacing.lineDelayMs == b.pacing.lineDelayMs && a.use1K == b.use1K;
}
void PrintTo(const SConsoleRequest& r, std::ostream* out) {
    *out << NxrRequestName(r.code) << " \"" << r.path << "\" line " << r.pacing.lineDelayMs
         << " ms, char " << r.pacing.charDelayMs << " ms";
}

namespace {

SConsoleRequest Req(std::uint32_t code, std::string path = {}, SAsciiPacing pacing = {}) {
    SConsoleRequest r;
    r.code = code;
    r.path = std::move(path);
    r.pacing = pacing;
    return r;
}

using EState = CPrefixKeys::EState;

class CRecordedActions final : public IConsoleKeyActions {
  public:
    std::string typed;
    std::string said;
    std::vector<SConsoleRequest> requests;
    int quits = 0;
    int cancels = 0;
    int stopWaits = 0;
    std::set<std::string> files;

    void Type(char key) override { typed.push_back(key); }
    void Quit() override { ++quits; }
    void Request(const SConsoleRequest& request) override { requests.push_back(request); }
    void CancelRequest() override { ++cancels; }
    void StopWaiting() override { ++stopWaits; }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    void Say(std::string_view text) override { said += text; }
};

class PrefixKeysTest : public ::testing::Test {
  protected:
    void Feed(std::string_view keys) {
        for (const char c : keys) {
            this->keys.Feed(c);
        }
    }
    // What was said since the last call.
    std::string Said() {
        std::string s = std::move(actions.said);
        actions.said.clear();
        return s;
    }

    CRecordedActions actions;
    CPrefixKeys keys{actions, SAsciiPacing{.charDelayMs = 5, .lineDelayMs = 40}};
};

constexpr char kPrefix[] = "\x1D";

TEST_F(PrefixKeysTest, KeysGoToTheDeviceAndThePrefixMakesTheNextOneACommand) {
    Feed("ver\r");
    EXPECT_EQ(actions.typed, "ver\r");
    Feed(kPrefix);
    EXPECT_EQ(keys.State(), EState::Prefixed);
    Feed(kPrefix);
    EXPECT_EQ(actions.typed, "ver\r\x1D") << "Ctrl-] twice sends Ctrl-] itself";
    EXPECT_EQ(keys.State(), EState::Typing);

    Feed(
        "\x1D"
        "b\x1D"
        "B");
    ASSERT_EQ(actions.requests.size(), 2u);
    EXPECT_EQ(actions.requests[0], Req(nxr_request::SendBreak));
    EXPECT_EQ(actions.requests[1], Req(nxr_request::SendBreak));
    Feed(
        "\x1D"
        "c\x1D"
        "q\x1D"
        "Q");
    EXPECT_EQ(actions.cancels, 1);
    EXPECT_EQ(actions.quits, 2);
    Feed(
        "\x1D"
        "w\x1D"
        "W");
    EXPECT_EQ(actions.stopWaits, 2);
    EXPECT_EQ(actions.cancels, 1) << "stopping the wait cancels no transfer";
    EXPECT_EQ(actions.requests.size(), 2u) << "nor starts a request of its own";
    Said();
    Feed("\x1D?");
    EXPECT_EQ(Said(), std::string("\r\n[") + kPrefixHelp + "]\r\n");
    Feed("\x1Dz");
    EXPECT_EQ(Said(), std::string("\r\n[") + kPrefixHelp + "]\r\n") << "any other key";
    EXPECT_EQ(actions.typed, "ver\r\x1D") << "no command key reached the device";
    EXPECT_EQ(keys.State(), EState::Typing);
}

TEST_F(PrefixKeysTest, AFileNameIsTypedAtItsPromptEditedAndRun) {
    Feed("\x1Dx");
    EXPECT_EQ(keys.State(), EState::FileName);
    EXPECT_EQ(Said(), "\r\nXModem send file: ");
    Feed("fw.binn\x7F");
    EXPECT_EQ(Said(), "fw.binn\b \b") << "echoed, and Backspace takes one back";
    Feed("\x01\r");
    EXPECT_EQ(Said(), "\r\n") << "control bytes are not part of a name";
    ASSERT_EQ(actions.requests.size(), 1u);
    EXPECT_EQ(actions.requests[0], Req(nxr_request::XModemSend, "fw.bin"));
    EXPECT_EQ(actions.typed, "") << "a prompt's keys never reach the device";
    EXPECT_EQ(keys.State(), EState::Typing);

    // Capitals too; Backspace on an empty line does nothing.
    Feed(
        "\x1D"
        "A\x08\x08x\r");
    EXPECT_EQ(keys.State(), EState::LinePause);
}

TEST_F(PrefixKeysTest, CtrlCCtrlBracketOrAnEmptyNameGivesUp) {
    for (const std::string giveUp : {"\x03", "\x1D", "\r"}) {
        Feed(
            "\x1Dr"
            "got");
        if (giveUp == "\r") {
            Feed("\x7F\x7F\x7F");
        }
        Said();
        Feed(giveUp);
        EXPECT_EQ(Said(), "\r\n[cancelled]\r\n") << int(giveUp[0]);
        EXPECT_EQ(keys.State(), EState::Typing);
    }
    EXPECT_TRUE(actions.requests.empty());
    EXPECT_EQ(actions.typed, "");
}

TEST_F(PrefixKeysTest, ReceivingIntoAFileThatExistsAsksFirst) {
    actions.files = {"got.bin"};
    Feed("\x1Drnew.bin\r");
    ASSERT_EQ(actions.requests.size(), 1u) << "a new file is not asked about";
    EXPECT_EQ(actions.requests[0].path, "new.bin");

    Said();
    Feed("\x1Drgot.bin\r");
    EXPECT_EQ(keys.State(), EState::ReplaceQuestion);
    EXPECT_EQ(Said(), "\r\nXModem receive file: got.bin\r\n\r\ngot.bin exists. Replace it? (y/n) ");
    Feed("n\r");
    EXPECT_EQ(actions.requests.size(), 1u);
    EXPECT_EQ(Said(), "n\r\n[cancelled]\r\n");
    Feed("\x1Drgot.bin\r\r");
    EXPECT_EQ(actions.requests.size(), 1u) << "an empty answer is no";
    Feed("\x1Drgot.bin\rY\r");
    ASSERT_EQ(actions.requests.size(), 2u);
    EXPECT_EQ(actions.requests[1], Req(nxr_request::XModemReceive, "got.bin"));
}

TEST_F(PrefixKeysTest, AsciiSendOffersItsPausesAndKeepsWhatIsTyped) {
    Feed(
        "\x1D"
        "aprog.txt\r");
    EXPECT_EQ(Said(), "\r\nASCII send file: prog.txt\r\n\r\nPause after each line, ms [40]: ");
    Feed("300\r");
    EXPECT_EQ(Said(), "300\r\n\r\nPause after each character, ms [5]: ");
    Feed("\r");  // keeps 5
    ASSERT_EQ(actions.requests.size(), 1u);
    EXPECT_EQ(actions.requests[0],
              Req(nxr_request::AsciiSend, "prog.txt", {.charDelayMs = 5, .lineDelayMs = 300}));
    EXPECT_EQ(keys.Pacing().lineDelayMs, 300u);

    Said();
    Feed(
        "\x1D"
        "aprog.txt\r");
    EXPECT_NE(Said().find("Pause after each line, ms [300]: "), std::string::npos)
        << "the pause typed last time is offered";
    Feed("\r0\r");
    ASSERT_EQ(actions.requests.size(), 2u);
    EXPECT_EQ(actions.requests[1].pacing.lineDelayMs, 300u);
    EXPECT_EQ(actions.requests[1].pacing.charDelayMs, 0u);

    // A pause that is no pause sends nothing and changes nothing.
    for (const char* bad : {"10001\r", "-1\r", "2x\r"}) {
        Feed(
            "\x1D"
            "aprog.txt\r");
        Said();
        Feed(bad);
        EXPECT_NE(Said().find("[not a pause from 0 to 10000 ms]"), std::string::npos) << bad;
        EXPECT_EQ(keys.State(), EState::Typing);
    }
    Feed(
        "\x1D"
        "aprog.txt\r7\r99999\r");
    EXPECT_EQ(actions.requests.size(), 2u);
    EXPECT_EQ(keys.Pacing().lineDelayMs, 300u) << "kept only when both pauses are good";
    EXPECT_EQ(keys.Pacing().charDelayMs, 0u);
}

}  // namespace
}  // namespace quillpad
