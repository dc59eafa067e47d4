// The session on the in-process simulated controller: requests, events,
// their order and thread, error texts and the busy-owner guarantee.

#include <gtest/gtest.h>

#include <algorithm>

#include <QThread>

#include "devsim/CDevSimEngine.h"
#include "devsim/qt/CDevSimTransport.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CRecordingSink;
using test::kConnected;
using test::kConnecting;
using test::kNotConnected;
using test::WaitFor;

WideString W(std::string_view text) {
    return BytesToWide(text);
}

class NxrSessionSim : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterDevSimTransport();
        session.Advise(&sink);
    }

    void Connect(std::string_view spec = "sim:") {
        ASSERT_EQ(session.Open(W(spec), W("Quillpad Workbay Plugin"), &handle), 0);
        ASSERT_NE(handle, 0u);
        std::uint32_t id = 0;
        ASSERT_EQ(session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle), 0);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
        ASSERT_TRUE(sink.Completion(id)->success);
    }

    // Sends and waits until the reply holds `until`.
    void Exchange(std::string_view text, std::string_view until) {
        ASSERT_EQ(session.Send(W(text), 1000, &handle), 0);
        ASSERT_TRUE(WaitFor([&] { return sink.received.find(until) != ByteString::npos; }))
            << "no \"" << until << "\" in: " << sink.received;
    }

    CNxrSession session;
    CRecordingSink sink;
    NxrHandle handle = 0;
};

TEST_F(NxrSessionSim, ConnectReportsStatusCompletionAndLinkUpInOrderOnTheOwnerThread) {
    Connect();
    // Link up follows the completion, perhaps in a later turn of the loop.
    ASSERT_TRUE(WaitFor([&] { return sink.linkUps == 1; }));
    ASSERT_GE(sink.events.size(), 4u);
    EXPECT_EQ(sink.events[0].status, kConnecting);
    EXPECT_EQ(sink.events[1].status, kConnected);
    EXPECT_EQ(sink.events[2].id, ENxrEventId::RequestCompleted);
    EXPECT_EQ(sink.events[2].code, 0x5000u);
    EXPECT_EQ(sink.events[3].id, ENxrEventId::LinkUp);
    for (const auto& e : sink.events) {
        EXPECT_EQ(e.thread, QThread::currentThreadId());
    }
    EXPECT_TRUE(WaitFor([&] { return sink.received.find("> ") != ByteString::npos; }));
    EXPECT_EQ(session.ConnectionStatus(), kConnected);

    // A second connect while up completes at once.
    std::uint32_t again = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &again, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(again) != nullptr; }));
    EXPECT_TRUE(sink.Completion(again)->success);
    EXPECT_EQ(sink.linkUps, 1);
}

TEST_F(NxrSessionSim, ConsoleOpensOnLinkUpAndTalks) {
    std::uint32_t openId = 0;
    sink.onLinkUp = [&] {
        // As the console does: the request is made from inside the event.
        session.Request(0xBC00, NxrEmptyParamBlock(), -1, &openId, nullptr, 0, &handle);
    };
    Connect("sim:name=QX-9");
    ASSERT_TRUE(WaitFor([&] { return openId != 0 && sink.Completion(openId) != nullptr; }));
    EXPECT_TRUE(sink.Completion(openId)->success);

    Exchange("ver\r", "QX-9 firmware");
    EXPECT_EQ(sink.transmitted, "ver\r") << "what was sent comes back as transmitted data";
    EXPECT_EQ(sink.received.find("ver\r\n"), sink.received.find("> ") + 2) << "echo";
}

TEST_F(NxrSessionSim, EveryByteValueArrivesIntactBothWays) {
    Connect();
    Exchange("burst 768\r", "burst done 768");
    const ByteString all = test::AllByteValues(3);
    EXPECT_NE(sink.received.find(all), ByteString::npos);

    sink.received.clear();
    Exchange("raw 768\r", "raw 768\r\n");
    sink.received.clear();
    ASSERT_EQ(session.Send(BytesToWide(all), 1000, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("raw done") != ByteString::npos; }));
    EXPECT_EQ(sink.received.substr(0, all.size()), all);
    EXPECT_NE(sink.transmitted.find(all), ByteString::npos);
}

TEST_F(NxrSessionSim, CloseConsoleCarriesTheUserTextBreakReachesTheDeviceOddRequestsSayWhy) {
    Connect();
    const WideString next = W("tcp:127.0.0.1:2323");
    std::uint32_t closeId = 0;
    std::uint32_t breakId = 0;
    std::uint32_t oddId = 0;
    session.Request(0xBC01, NxrEmptyParamBlock(), -1, &closeId, &next, 0, &handle);
    session.Request(0xE002, CNxrParamBlock().AddInteger(500).Encode(), 1000, &breakId, nullptr, 0,
                    &handle);
    session.Request(0x7777, NxrEmptyParamBlock(), -1, &oddId, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(breakId) != nullptr; }));
    ASSERT_NE(sink.Completion(oddId), nullptr);
    EXPECT_TRUE(sink.Completion(closeId)->success);
    EXPECT_EQ(sink.Completion(closeId)->userText, next);
    EXPECT_EQ(sink.Completion(breakId)->userText, std::nullopt);
    EXPECT_TRUE(sink.Completion(breakId)->success) << session.ErrorText(breakId);
    EXPECT_NE(sink.received.find("*** BREAK received ***"), ByteString::npos);
    EXPECT_EQ(session.ErrorText(oddId), "unknown request 0x7777");
    EXPECT_EQ(session.ErrorText(closeId), "");

    std::uint32_t abilityId = 0;
    EXPECT_EQ(session.Ability(0, W("ProgramRestart"), 1000, &abilityId, 0, 0, &handle), 0);
    ASSERT_TRUE(WaitFor([&] {
        return !sink.events.empty() && sink.events.back().id == ENxrEventId::AbilityCompleted;
    }));
    EXPECT_EQ(sink.events.back().requestId, abilityId);
    EXPECT_TRUE(sink.events.back().success) << session.ErrorText(abilityId);
    EXPECT_NE(sink.receivedBy[abilityId].find("Program restarted"), ByteString::npos);
}

TEST_F(NxrSessionSim, MalformedParameterBlockFailsTheRequestWithItsReason) {
    Connect();
    std::uint32_t id = 0;
    ASSERT_EQ(session.Request(0xE003, ByteString("\x03\0\0\0\x50\0\0\0ab", 10), -1, &id, nullptr, 0,
                              &handle),
              0);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_FALSE(sink.Completion(id)->success);
    EXPECT_NE(session.ErrorText(id).find("claims 80 bytes"), std::string::npos)
        << session.ErrorText(id);
    ByteString result;
    EXPECT_EQ(session.RequestWait(0xBC01, "\xFF", &result, 100, 0, &handle),
              ToStatus(ENxrResult::BadArgument));
    EXPECT_EQ(result, NxrEmptyParamBlock());
}

TEST_F(NxrSessionSim, DisconnectReconnectAndSendWhileDown) {
    Connect();
    std::uint32_t id = 0;
    session.Request(0xE001, NxrEmptyParamBlock(), 1000, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_TRUE(sink.Completion(id)->success);
    EXPECT_EQ(sink.LastStatus(), kNotConnected);

    EXPECT_EQ(session.Send(W("ver\r"), 1000, &handle), ToStatus(ENxrResult::NotConnected));
    EXPECT_NE(session.ErrorText(0).find("cannot send 4 bytes: not connected to the simulated"),
              std::string::npos)
        << session.ErrorText(0);
    ByteString result;
    EXPECT_EQ(session.RequestWait(0xBC00, NxrEmptyParamBlock(), &result, 2000, 0, &handle),
              ToStatus(ENxrResult::Failed));
    EXPECT_NE(session.ErrorText(0).find("cannot open the console"), std::string::npos);

    session.Request(0xE000, NxrEmptyParamBlock(), 1000, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_TRUE(sink.Completion(id)->success);
    EXPECT_EQ(sink.LastStatus(), kConnected);
    EXPECT_EQ(session.RequestWait(0xBC00, NxrEmptyParamBlock(), &result, 2000, 0, &handle), 0);
    EXPECT_TRUE(WaitFor([&] { return sink.linkUps == 2; }));
}

// The link's status is the I/O thread's, read before its event is
// delivered; a close delivers what was queued (the device's last words, the
// link's last status) rather than drop it, and says "not connected" once.
TEST_F(NxrSessionSim, CloseDeliversWhatWasQueuedAndTheStatusIsTheLinksOwn) {
    Connect("sim:name=QX-9");
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("> ") != ByteString::npos; }));
    const std::size_t before = sink.events.size();
    ASSERT_EQ(session.Send(W("ver\r"), 1000, &handle), 0);
    // No turn of the event loop: all of it happens on the I/O thread only.
    // The reply is in once the queue has stopped growing for a while.
    std::size_t queued = 0;
    for (int quiet = 0, i = 0; quiet < 20 && i < 500; ++i) {
        QThread::msleep(10);
        const std::size_t now = session.QueuedBytes();
        quiet = now > 0 && now == queued ? quiet + 1 : 0;
        queued = now;
    }
    ASSERT_GT(queued, 0u);
    std::uint32_t id = 0;
    session.Request(0xE001, NxrEmptyParamBlock(), 1000, &id, nullptr, 0, &handle);
    for (int i = 0; i < 500 && session.ConnectionStatus() != kNotConnected; ++i) {
        QThread::msleep(10);
    }
    ASSERT_EQ(session.ConnectionStatus(), kNotConnected);
    EXPECT_EQ(sink.events.size(), before) << "nothing was delivered yet";
    EXPECT_EQ(sink.LastStatus(), kConnected);

    ASSERT_EQ(session.Close(&handle), 0);
    EXPECT_EQ(session.ConnectionStatus(), kNotConnected);
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kNotConnected; }));
    EXPECT_NE(sink.received.find("QX-9 firmware"), ByteString::npos)
        << "the reply that was queued at the close was dropped";
    const auto notConnected =
        std::count_if(sink.events.begin() + static_cast<std::ptrdiff_t>(before), sink.events.end(),
                      [](const auto& e) {
                          return e.id == ENxrEventId::ConnectionStatus && e.status == kNotConnected;
                      });
    EXPECT_EQ(notConnected, 1);
}

TEST_F(NxrSessionSim, BadSpecAndClosedHandleFailWithWords) {
    EXPECT_EQ(session.Open(W("serial"), W(""), &handle), ToStatus(ENxrResult::BadSpec));
    EXPECT_EQ(handle, 0u);
    EXPECT_NE(session.ErrorText(0).find("bad connection spec \"serial\""), std::string::npos);
    std::uint32_t id = 77;
    EXPECT_EQ(session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle),
              ToStatus(ENxrResult::NotOpen));
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(session.Send(W("x"), 100, &handle), ToStatus(ENxrResult::NotOpen));
    EXPECT_EQ(session.Close(&handle), 0) << "closing nothing is fine";
    NxrHandle stranger = 12345;
    EXPECT_EQ(session.Send(W("x"), 100, &stranger), ToStatus(ENxrResult::NotOpen));
}

TEST_F(NxrSessionSim, OptionsCancelAndClose) {
    Connect();
    EXPECT_EQ(session.SetOption(1, 29567, &handle), 0);
    EXPECT_EQ(session.SetOption(2, 15, &handle), 0);
    EXPECT_EQ(session.Option(1), 29567);
    EXPECT_EQ(session.SetTextSetting(W("%D")), 0);
    EXPECT_EQ(session.TextSetting(), W("%D"));
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    EXPECT_EQ(session.AbilityInfo(&a, &b, &handle), 0);
    EXPECT_EQ(CNxrSession::FromAbilityInfo(a), &session);
    EXPECT_EQ(b, handle);

    std::uint32_t id = 0;
    session.Request(0xBC00, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    EXPECT_EQ(session.Cancel(id, 2, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    QCoreApplication::processEvents();
    int completions = 0;
    for (const auto& e : sink.events) {
        completions += (e.id == ENxrEventId::RequestCompleted && e.requestId == id) ? 1 : 0;
    }
    EXPECT_EQ(completions, 1) << "a request completes once, cancelled or not";
    EXPECT_EQ(session.Cancel(id, 2, &handle), ToStatus(ENxrResult::NoSuchRequest));

    EXPECT_EQ(session.Close(&handle), 0);
    EXPECT_EQ(handle, 0u);
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kNotConnected; }));
}

TEST_F(NxrSessionSim, ABlockedEventLoopLosesNothingOfAFlood) {
    Connect();
    Exchange("ver\r", "(build");
    sink.received.clear();  // what still comes of the answer lands before the flood
    // 3 Mbaud is about 300 000 bytes a second; one second of it, the first
    // half with the owner's thread stuck: the I/O thread reads on meanwhile.
    constexpr std::size_t kFlood = 300000;
    ASSERT_EQ(session.Send(W("flood 300000 " + std::to_string(kFlood) + "\r"), 1000, &handle), 0);
    ASSERT_TRUE(test::BusyUntil([&] { return session.QueuedBytes() >= kFlood / 2; }))
        << "nothing was read while the owner's thread was stuck";
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("flood done") != ByteString::npos; }, 20000));
    const auto start = sink.received.find("00000000 ");
    ASSERT_NE(start, ByteString::npos);
    EXPECT_EQ(sink.received.substr(start, kFlood), CDevSimEngine::FloodBytes(0, kFlood));
    for (const auto thread : sink.threads) {
        ASSERT_EQ(thread, QThread::currentThreadId());
    }
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

// The console's reconnect: close, open, connect. The sink hears the old link
// go down before the new one comes up, and nothing of the old link after.
TEST_F(NxrSessionSim, ReopenReportsTheOldLinkDownBeforeTheNewOneUp) {
    Connect();
    Exchange("ver\r", "firmware");
    ASSERT_EQ(session.Send(W("burst 100000\r"), 1000, &handle), 0);
    ASSERT_EQ(session.Close(&handle), 0);
    const std::size_t before = sink.statuses.size();
    const ByteString receivedBefore = sink.received;
    ASSERT_EQ(session.Open(W("sim:name=QX-2"), W("Quillpad Workbay Plugin"), &handle), 0);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    ASSERT_GE(sink.statuses.size(), before + 3);
    EXPECT_EQ(sink.statuses[before], kNotConnected);
    EXPECT_EQ(sink.statuses[before + 1], kConnecting);
    EXPECT_EQ(sink.statuses[before + 2], kConnected);
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("QX-2 controller") != ByteString::npos; }));
    EXPECT_EQ(sink.received.find("burst done"), ByteString::npos)
        << "data of the closed link was delivered after the close";
    EXPECT_EQ(sink.received.substr(0, receivedBefore.size()), receivedBefore);
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

TEST_F(NxrSessionSim, XModemBothWaysWithTheSimulatedController) {
    test::CTempDir dir;
    ByteString data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(0xFF - (i & 0xFF));  // 0xFF too
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.bin"), data));
    Connect();
    Exchange("xmodem receive\r", "waiting for your XModem Send");
    std::uint32_t id = 0;
    session.Request(0xE003, CNxrParamBlock().AddText(dir.File("prog.bin")).Encode(), 1000, &id,
                    nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }, 20000));
    EXPECT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    ASSERT_TRUE(WaitFor([&] {
        return sink.received.find("> ", sink.received.find("xmodem: received")) != ByteString::npos;
    }));
    EXPECT_NE(sink.received.find("xmodem: received 3072 bytes, sum " +
                                 std::to_string(CDevSimEngine::Sum(ByteString(72, '\x1A'),
                                                                   CDevSimEngine::Sum(data)))),
              ByteString::npos)
        << sink.received;

    Exchange("xmodem send 1000\r", "start your XModem Receive");
    session.Request(0xE004, CNxrParamBlock().AddText(dir.File("got.bin")).Encode(), 1000, &id,
                    nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }, 20000));
    EXPECT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    const ByteString got = test::ReadFileBytes(dir.File("got.bin"));
    ASSERT_EQ(got.size(), 1024u);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(got[i], CDevSimEngine::BurstByte(i));
    }
    EXPECT_TRUE(
        WaitFor([&] { return sink.received.find("xmodem: sent 1000 bytes") != ByteString::npos; }));
}

}  // namespace
}  // namespace quillpad
