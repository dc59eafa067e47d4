// The line commands' sequences and when the menu offers them.

#include "control/LineCommands.h"

#include <gtest/gtest.h>

#include "control/CommandRules.h"
#include "input/CKeySet.h"

namespace quillpad {
namespace {

constexpr auto kDtr = ENxrLineStep::Dtr;
constexpr auto kRts = ENxrLineStep::Rts;
constexpr auto kBoth = static_cast<std::int32_t>(nxr_line::Dtr | nxr_line::Rts);

TEST(LineCommands, ASinglePulseRestsAtTheOtherLevelBeforeAndAfter) {
    SResetPulseChoice low;
    low.line = kDtr;
    low.high = false;
    low.ms = 80;
    EXPECT_EQ(ResetPulseSteps(low, kBoth),
              (std::vector{NxrSetLine(kDtr, false), NxrWait(80), NxrSetLine(kDtr, true)}))
        << "DTR on is already the rest of a low pulse";
    EXPECT_EQ(ResetPulseSteps(low, 0),
              (std::vector{NxrSetLine(kDtr, true), NxrWait(80), NxrSetLine(kDtr, false),
                           NxrWait(80), NxrSetLine(kDtr, true)}))
        << "from off it rests on first, so that the device sees an edge";
    SResetPulseChoice high = low;
    high.line = kRts;
    high.high = true;
    high.ms = 99999;
    EXPECT_EQ(
        ResetPulseSteps(high, nxr_line::kNone),
        (std::vector{NxrSetLine(kRts, true), NxrWait(kNxrMaxLineWaitMs), NxrSetLine(kRts, false)}))
        << "no lines told: taken as off; the length is held to the longest wait";
}

TEST(LineCommands, NamedSequencesAreTheirStepsAndEveryOneIsPlayable) {
    SResetPulseChoice choice;
    ASSERT_GE(NxrResetSequences().size(), 2u);
    for (std::size_t i = 0; i < NxrResetSequences().size(); ++i) {
        choice.sequence = static_cast<int>(i);
        const auto steps = ResetPulseSteps(choice, kBoth);
        EXPECT_EQ(steps, NxrResetSequences()[i].steps);
        // What the I/O thread reads back is what was chosen.
        std::string error;
        EXPECT_EQ(NxrReadLineScript(NxrLineScriptBlock(steps), &error), steps) << error;
    }
    choice.sequence = static_cast<int>(NxrResetSequences().size());
    EXPECT_TRUE(ResetPulseSteps(choice, kBoth).empty());
    // The ESP32 boot loader: IO0 (DTR) held low while EN (RTS) is released.
    EXPECT_EQ(NxrDescribeSteps(NxrResetSequences()[0].steps),
              "DTR off, RTS on, wait 100 ms, DTR on, RTS off, wait 50 ms, DTR off");
}

TEST(LineCommands, TurnAndPulseStartFromTheToldState) {
    EXPECT_EQ(ToggleLineSteps(kRts, nxr_line::Dtr), std::vector{NxrSetLine(kRts, true)});
    EXPECT_EQ(ToggleLineSteps(kDtr, nxr_line::Dtr), std::vector{NxrSetLine(kDtr, false)});
    EXPECT_EQ(PulseLineSteps(kDtr, nxr_line::Dtr),
              (std::vector{NxrSetLine(kDtr, false), NxrWait(kNxrDefaultPulseMs),
                           NxrSetLine(kDtr, true)}));
}

TEST(LineCommands, OfferedForASerialLinkThatTellsItsLines) {
    SCommandContext c;
    c.connectionKind = 1;
    c.modemLines = static_cast<std::int32_t>(nxr_line::Rts);
    EXPECT_TRUE(CommandState(cmd::LineRts, c).checked);
    EXPECT_FALSE(CommandState(cmd::LineDtr, c).checked);
    for (const auto id :
         {cmd::LineDtr, cmd::LineRts, cmd::PulseDtr, cmd::PulseRts, cmd::ResetPulse}) {
        EXPECT_TRUE(CommandState(id, c).enabled) << id;
        EXPECT_TRUE(NeedsSession(id)) << id;
        SCommandContext none = c;
        none.modemLines = nxr_line::kNone;
        EXPECT_FALSE(CommandState(id, none).enabled) << id << ": a pseudo-terminal tells none";
        SCommandContext sim = c;
        sim.connectionKind = 4;
        EXPECT_FALSE(CommandState(id, sim).enabled) << id;
        SCommandContext portServer = c;
        portServer.connectionKind = 3;  // rfc2217: telnet that tells its lines
        EXPECT_TRUE(CommandState(id, portServer).enabled) << id;
        portServer.modemLines = nxr_line::kNone;
        EXPECT_FALSE(CommandState(id, portServer).enabled) << id << ": plain telnet";
    }
    SCommandContext sim;
    sim.connectionKind = 4;
    EXPECT_TRUE(CommandState(cmd::BreakLength, sim).enabled) << "as Send Break";
    sim.connectionKind = 2;
    EXPECT_FALSE(CommandState(cmd::BreakLength, sim).enabled);
}

TEST(LineCommands, AFunctionKeyWithLineEscapesPlaysItsSteps) {
    CKeySet keySet;
    keySet.LoadText("[Shortcuts]\r\nF2=\\{dtr0}\\{wait:50}\\{dtr1}x\r\nF9=\\{dtrx}\r\n", true);
    const SKeyDispatch reset = DispatchFunctionKey(keySet, 2, {});
    EXPECT_EQ(reset.action, EFunctionKeyAction::PlaySteps);
    EXPECT_EQ(reset.steps.size(), 4u);
    EXPECT_EQ(reset.steps.back().bytes, "x");
    const SKeyDispatch old = DispatchFunctionKey(keySet, 9, {});
    EXPECT_EQ(old.action, EFunctionKeyAction::SendBytes) << "no line escape: bytes as before";
    EXPECT_EQ(old.bytes, "dtrx}") << "an unknown escape vanishes with its letter, as ever";
    // A wait out of range is neither sent as text nor played: the key says why.
    keySet.LoadText("[Shortcuts]\r\nF3=a\\{dtr0}\\{wait:99999}b\r\nF4=\\{wait:123456}\r\n", true);
    for (const int key : {3, 4}) {
        const SKeyDispatch refused = DispatchFunctionKey(keySet, key, {});
        EXPECT_EQ(refused.action, EFunctionKeyAction::Refused) << key;
        EXPECT_TRUE(refused.bytes.empty() && refused.steps.empty()) << key;
        EXPECT_NE(refused.text.find("waits longer than 10000 ms"), std::string::npos) << key;
    }
}

}  // namespace
}  // namespace quillpad
