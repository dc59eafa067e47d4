// Modem lines through the session: line sequences played on the I/O thread
// in order and on time, and the lines the far end drives reported as they
// change. A pseudo-terminal has no modem lines (its kernel driver refuses
// TIOCMGET and TIOCMSET), so the lines are played against a scripted port;
// what a pseudo-terminal gives is pinned at the end.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "nxr/NxrCodes.h"
#include "nxr/NxrLineScript.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSerialTransport.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/ScriptedTransport.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using namespace std::chrono_literals;
using test::CRecordingSink;
using test::SScriptedLink;
using test::WaitFor;

class NxrSessionLines : public ::testing::Test {
  protected:
    void SetUp() override {
        link->lines = nxr_line::Dtr | nxr_line::Rts;
        test::ServeScriptedLinks(transports, {link});
        session.Advise(&sink);
        ASSERT_EQ(session.Open(BytesToWide("sim:"), {}, &handle), 0);
        std::uint32_t id = 0;
        session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    }

    // Plays `steps`; the completion's success, its error text otherwise.
    std::string Play(const std::vector<SNxrLineStep>& steps, std::uint32_t* requestId = nullptr) {
        std::uint32_t id = 0;
        session.Request(nxr_request::LineScript, NxrLineScriptBlock(steps).Encode(), -1, &id,
                        nullptr, 0, &handle);
        if (requestId != nullptr) {
            *requestId = id;
            return {};
        }
        if (!WaitFor([&] { return sink.Completion(id) != nullptr; })) {
            return "no completion";
        }
        return sink.Completion(id)->success ? "" : session.ErrorText(id);
    }
    bool LastLinesHave(std::uint32_t bits) const {
        return !sink.modemLines.empty() && sink.modemLines.back() >= 0 &&
               (static_cast<std::uint32_t>(sink.modemLines.back()) & bits) == bits;
    }

    std::shared_ptr<SScriptedLink> link = std::make_shared<SScriptedLink>();
    CNxrTransportRegistry transports;
    CNxrSession session{transports};
    CRecordingSink sink;
    NxrHandle handle = 0;
};

TEST_F(NxrSessionLines, APulseHoldsTheLineForItsTimeAndPutsItBack) {
    ASSERT_TRUE(WaitFor([&] { return !sink.modemLines.empty(); })) << "the lines at link up";
    EXPECT_EQ(sink.modemLines.front(), static_cast<std::int32_t>(nxr_line::Dtr | nxr_line::Rts));

    std::vector<SNxrLineStep> steps = NxrPulse(ENxrLineStep::Dtr, true, 120);
    steps.push_back(NxrSetLine(ENxrLineStep::Rts, false));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Play(steps), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms) << "complete once the pulse is over";

    const auto changes = link->LineChanges();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].second, "DTR off");
    EXPECT_EQ(changes[1].second, "DTR on");
    EXPECT_EQ(changes[2].second, "RTS off");
    EXPECT_GE(changes[1].first - changes[0].first, 115ms);
    // Not another pulse's length: no wait was asked for (a loaded machine is slow).
    EXPECT_LT(changes[2].first - changes[1].first, 100ms) << "no wait was asked for";
    // The menu's checks learn the outputs' state from the same event.
    ASSERT_TRUE(WaitFor([&] { return !LastLinesHave(nxr_line::Rts); }));
    EXPECT_TRUE(LastLinesHave(nxr_line::Dtr));
}

TEST_F(NxrSessionLines, SequencesPlayOneAfterAnotherWithTheirBytesInPlace) {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    Play({NxrSend("boot"), NxrWait(100), NxrSetLine(ENxrLineStep::Rts, false), NxrSend("!")},
         &first);
    Play({NxrSetLine(ENxrLineStep::Rts, true), NxrSend("?")}, &second);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(second) != nullptr; }));
    ASSERT_NE(sink.Completion(first), nullptr);
    EXPECT_TRUE(sink.Completion(first)->success);
    EXPECT_TRUE(sink.Completion(second)->success);
    EXPECT_EQ(link->Taken(), "boot!?");
    EXPECT_EQ(sink.transmitted, "boot!?") << "a sequence's bytes are console data";
    const auto writes = link->Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_GE(writes[1].first - writes[0].first, 95ms) << "the wait came between";
    const auto changes = link->LineChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].second, "RTS off") << "the second waited for the first";
    EXPECT_EQ(changes[1].second, "RTS on");
}

TEST_F(NxrSessionLines, TheLampsFollowTheLinesTheFarEndDrives) {
    for (const std::uint32_t inputs :
         {nxr_line::Cts, nxr_line::Dsr | nxr_line::Dcd, nxr_line::Ri, std::uint32_t{0}}) {
        link->SetInputs(inputs);
        const std::uint32_t all = nxr_line::Cts | nxr_line::Dsr | nxr_line::Dcd | nxr_line::Ri;
        ASSERT_TRUE(WaitFor(
            [&] {
                return !sink.modemLines.empty() && sink.modemLines.back() >= 0 &&
                       (static_cast<std::uint32_t>(sink.modemLines.back()) & all) == inputs;
            },
            2000))
            << "inputs " << inputs;
    }
    const std::size_t told = sink.modemLines.size();
    WaitFor([] { return false; }, 150);
    EXPECT_EQ(sink.modemLines.size(), told) << "lines that stay are not told again";

    ASSERT_EQ(session.Close(&handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.modemLines.back() == nxr_line::kNone; }))
        << "the lamps go out with the link";
}

TEST_F(NxrSessionLines, AFaultySequenceOrALinkWithoutLinesFailsWithTheReason) {
    CNxrParamBlock bad = NxrLineScriptBlock({NxrWait(1)});
    bad.AddInteger(9).AddInteger(0);
    std::uint32_t id = 0;
    session.Request(nxr_request::LineScript, bad.Encode(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_EQ(session.ErrorText(id), "line sequence: step 2 is of unknown kind 9");
    EXPECT_EQ(Play({NxrWait(20000)}),
              "line sequence: a wait of 20000 ms is out of range (0 to 10000)");

    {
        std::lock_guard lock(link->mutex);
        link->lines.reset();
    }
    EXPECT_EQ(Play({NxrSetLine(ENxrLineStep::Dtr, true), NxrSend("never")}),
              "this kind of link has no modem lines");
    EXPECT_EQ(link->Taken(), "") << "a failed step ends its sequence";
}

TEST(NxrSerialLines, APseudoTerminalTellsNoLinesAndRefusesToSetThem) {
    if (!test::HaveProgram("socat")) {
        QUILLPAD_PEER_MISSING("socat is not installed");
    }
    test::CTempDir dir;
    test::CPtyPeer pty(dir.Path(), false);
    ASSERT_TRUE(pty.Ready());
    CNxrSession session;
    CRecordingSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    ASSERT_EQ(session.Open(BytesToWide("serial:" + pty.Near()), {}, &handle), 0);
    std::uint32_t id = 0;
    session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);

    session.Request(nxr_request::LineScript,
                    NxrLineScriptBlock({NxrSetLine(ENxrLineStep::Dtr, false)}).Encode(), -1, &id,
                    nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_FALSE(sink.Completion(id)->success);
    EXPECT_EQ(session.ErrorText(id),
              "cannot set DTR on " + pty.Near() + ": Inappropriate ioctl for device");
    EXPECT_TRUE(sink.modemLines.empty()) << "no lamps for a link that tells no lines";
    EXPECT_EQ(session.ConnectionStatus(), 3) << "the refusal is no fault of the link";
}

}  // namespace
}  // namespace quillpad
