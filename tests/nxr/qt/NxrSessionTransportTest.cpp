// The session on transports the test controls: what it reports as sent when
// the link refuses a write, how long a close may hold the console when the
// driver hangs, and a program that lacks the simulated controller.

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "devsim/qt/CDevSimTransport.h"
#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/ScriptedTransport.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CRecordingSink;
using test::kConnected;
using test::kLinkLost;
using test::SScriptedLink;
using test::WaitFor;

void Connect(CNxrSession& session, CRecordingSink& sink, NxrHandle& handle,
             std::string_view spec = "sim:") {
    ASSERT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0) << session.ErrorText(0);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
}

// A session whose links are the scripted ones, one for each open, with a sink
// that records what it hears.
struct SScriptedSession {
    explicit SScriptedSession(std::vector<std::shared_ptr<SScriptedLink>> links) {
        test::ServeScriptedLinks(transports, std::move(links));
        session = std::make_unique<CNxrSession>(transports);
        session->Advise(&sink);
    }
    void Connect() { quillpad::Connect(*session, sink, handle); }

    CNxrTransportRegistry transports;
    std::unique_ptr<CNxrSession> session;
    CRecordingSink sink;
    NxrHandle handle = 0;
};

TEST(NxrSessionTransport, OnlyWhatTheLinkTookIsReportedSentAndARefusedWriteLosesTheLink) {
    auto link = std::make_shared<SScriptedLink>();
    link->takes = 8;
    SScriptedSession s({link});
    ASSERT_NO_FATAL_FAILURE(s.Connect());

    ASSERT_EQ(s.session->Send(BytesToWide("hello\r"), 1000, &s.handle), 0);
    ASSERT_EQ(s.session->Send(BytesToWide("world\r"), 1000, &s.handle), 0);
    ASSERT_TRUE(WaitFor([&] { return s.sink.LastStatus() == kLinkLost; }))
        << "a refused write must bring the link down";
    EXPECT_EQ(link->Taken(), "hello\rwo");
    EXPECT_EQ(s.sink.transmitted, "hello\rwo") << "bytes that never left were reported as sent";
    EXPECT_EQ(s.session->ErrorText(0), "link lost: the cable was pulled (4 bytes were not sent)");
    EXPECT_EQ(s.session->Send(BytesToWide("x"), 1000, &s.handle),
              ToStatus(ENxrResult::NotConnected));
}

// Bytes to send reach the link as they are, zero bytes and all, and come
// back as the transmitted data; the wide-string send is the same path.
TEST(NxrSessionTransport, BytesGoOutAsTheyAre) {
    auto link = std::make_shared<SScriptedLink>();
    SScriptedSession s({link});
    ASSERT_NO_FATAL_FAILURE(s.Connect());
    const ByteString all = test::AllByteValues();
    ASSERT_EQ(s.session->SendBytes(all, 1000, &s.handle), 0);
    ASSERT_EQ(s.session->Send(BytesToWide("\xFF\x80"), 1000, &s.handle), 0);
    const ByteString expected = all + "\xFF\x80";
    ASSERT_TRUE(WaitFor([&] { return s.sink.transmitted.size() == expected.size(); }));
    EXPECT_EQ(link->Taken(), expected);
    EXPECT_EQ(s.sink.transmitted, expected);
    s.session->Close(&s.handle);
    EXPECT_EQ(s.session->SendBytes("x", 1000, &s.handle), ToStatus(ENxrResult::NotOpen));
}

// The driver of a USB adapter may hang in its close. The console gets its
// thread back within the bound; the I/O thread ends by itself once the driver
// lets go, frees what it held, and never reaches the session again.
TEST(NxrSessionTransport, AHangingCloseHoldsTheConsoleNoLongerThanTheBound) {
    const int runningBefore = CNxrIoThread::Running();
    auto first = std::make_shared<SScriptedLink>();
    auto second = std::make_shared<SScriptedLink>();
    first->closeHangs = true;
    second->closeHangs = true;
    SScriptedSession s({first, second});
    constexpr auto kBound = std::chrono::milliseconds(300);
    s.session->SetCloseWait(kBound);
    ASSERT_NO_FATAL_FAILURE(s.Connect());

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(s.session->Close(&s.handle), 0);
    const qint64 closeMs = clock.elapsed();
    EXPECT_GE(closeMs, kBound.count() - 10) << "the close did not wait for the thread at all";
    EXPECT_LT(closeMs, kBound.count() + 1500) << "the close waited for the hanging driver";
    EXPECT_TRUE(first->Closing());
    EXPECT_FALSE(first->Destroyed());
    EXPECT_EQ(CNxrIoThread::Running(), runningBefore + 1);

    // The session is usable at once on a new link, while the old thread hangs.
    ASSERT_NO_FATAL_FAILURE(s.Connect());
    ASSERT_EQ(s.session->Send(BytesToWide("ver\r"), 1000, &s.handle), 0);
    ASSERT_TRUE(WaitFor([&] { return second->Taken() == "ver\r"; }));
    EXPECT_EQ(s.sink.LastStatus(), kConnected);

    // Destroyed while its link hangs too: two threads end by themselves.
    clock.restart();
    s.session.reset();
    EXPECT_LT(clock.elapsed(), kBound.count() + 1500);
    EXPECT_EQ(CNxrIoThread::Running(), runningBefore + 2);

    first->Release();
    second->Release();
    EXPECT_TRUE(WaitFor([&] {
        return first->Destroyed() && second->Destroyed() &&
               CNxrIoThread::Running() == runningBefore;
    })) << "an I/O thread left to itself did not end and free its transport";
}

TEST(NxrSessionTransport, SimOpensOnlyInAProgramThatRegisteredTheSimulator) {
    CNxrTransportRegistry transports;
    transports.RegisterBuiltins();
    CNxrSession session(transports);
    CRecordingSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    EXPECT_EQ(session.Open(BytesToWide("sim:name=QX-4"), {}, &handle),
              ToStatus(ENxrResult::Failed));
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(
        session.ErrorText(0),
        "cannot open \"sim:name=QX-4\": the simulated controller is not part of this program");

    RegisterDevSimTransport(transports);
    Connect(session, sink, handle, "sim:name=QX-4");
    EXPECT_TRUE(WaitFor([&] { return sink.received.find("QX-4") != ByteString::npos; }));
}

// ASCII Send's pacing reaches the link: a pause after each line, or after
// each character; a pause out of range sends nothing.
TEST(NxrSessionTransport, AsciiSendPacingSpacesTheWritesOnTheLink) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), "one\rtwo\r\nend"));
    auto link = std::make_shared<SScriptedLink>();
    SScriptedSession s({link});
    ASSERT_NO_FATAL_FAILURE(s.Connect());
    const auto send = [&](SAsciiPacing pacing) {
        std::uint32_t id = 0;
        EXPECT_EQ(
            s.session->Request(0xE006, NxrAsciiSendBlock(dir.File("prog.txt"), pacing).Encode(),
                               1000, &id, nullptr, 0, &s.handle),
            0);
        EXPECT_TRUE(WaitFor([&] { return s.sink.Completion(id) != nullptr; }));
        return id;
    };
    const auto gaps = [&](std::size_t from) {
        std::vector<std::pair<long long, ByteString>> out;
        const auto writes = link->Writes();
        for (std::size_t i = from + 1; i < writes.size(); ++i) {
            out.emplace_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 writes[i].first - writes[i - 1].first)
                                 .count(),
                             writes[i].second);
        }
        return out;
    };

    EXPECT_TRUE(s.sink.Completion(send({.lineDelayMs = 120}))->success);
    auto lines = gaps(0);
    ASSERT_EQ(link->Writes().size(), 3u);
    EXPECT_EQ(link->Writes()[0].second, "one\r");
    EXPECT_EQ(link->Writes()[1].second, "two\r\n");
    for (const auto& [ms, bytes] : lines) {
        EXPECT_GE(ms, 119) << "before \"" << bytes << "\"";
    }

    const std::size_t before = link->Writes().size();
    EXPECT_TRUE(s.sink.Completion(send({.charDelayMs = 15}))->success);
    const auto chars = gaps(before);
    ASSERT_EQ(chars.size(), 11u);
    for (const auto& [ms, bytes] : chars) {
        EXPECT_EQ(bytes.size(), 1u);
        EXPECT_GE(ms, 14) << "before \"" << bytes << "\"";
    }
    EXPECT_EQ(link->Taken(), "one\rtwo\r\nendone\rtwo\r\nend");

    const std::uint32_t bad = send({.lineDelayMs = 10001});
    EXPECT_FALSE(s.sink.Completion(bad)->success);
    EXPECT_NE(s.session->ErrorText(bad).find("from 0 to 10000"), std::string::npos)
        << s.session->ErrorText(bad);
    EXPECT_EQ(link->Writes().size(), before + 12);
}

}  // namespace
}  // namespace quillpad
