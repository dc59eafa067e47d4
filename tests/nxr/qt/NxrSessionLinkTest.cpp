// End to end: the session over real TCP, telnet and serial (a pseudo-terminal)
// links to the simulator program on this machine.

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QTcpServer>
#include <QThread>

#include <algorithm>
#include <chrono>

#include "devsim/CDevSimEngine.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "platform/TurnBudget.h"
#include "tests/nxr/qt/DevSimProcess.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CDevSimProcess;
using test::CRecordingSink;
using test::kConnected;
using test::kLinkLost;
using test::kNotConnected;
using test::WaitFor;

struct SLinkCase {
    const char* name;
    QStringList args;
    std::string (*spec)(const CDevSimProcess&);
};

void PrintTo(const SLinkCase& c, std::ostream* out) {
    *out << c.name;
}

class NxrSessionLink : public ::testing::TestWithParam<SLinkCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.Start(GetParam().args)) << device.Error();
        session.Advise(&sink);
        const std::string spec = GetParam().spec(device);
        ASSERT_EQ(session.Open(BytesToWide(spec), BytesToWide("test"), &handle), 0)
            << session.ErrorText(0);
        std::uint32_t id = 0;
        session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
        ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
        ASSERT_EQ(sink.LastStatus(), kConnected);
        Exchange("\r", "> ");
    }

    void Exchange(std::string_view text, std::string_view until) {
        ASSERT_EQ(session.Send(BytesToWide(text), 1000, &handle), 0) << session.ErrorText(0);
        ASSERT_TRUE(WaitFor([&] { return sink.received.find(until) != ByteString::npos; }))
            << "no \"" << until << "\" in: " << sink.received;
    }

    CDevSimProcess device;
    CNxrSession session;
    CRecordingSink sink;
    NxrHandle handle = 0;
};

TEST_P(NxrSessionLink, EveryByteValueArrivesIntactBothWays) {
    Exchange("ver\r", "firmware 4.2.7");
    sink.received.clear();
    Exchange("burst 1024\r", "burst done 1024");
    const ByteString all = test::AllByteValues(4);
    EXPECT_NE(sink.received.find(all), ByteString::npos) << "device to console";
    EXPECT_EQ(sink.received.find("\xFF\xFF"), ByteString::npos) << "no escape leaks through";

    sink.received.clear();
    Exchange("raw 1024\r", "raw 1024\r\n");
    sink.received.clear();
    sink.transmitted.clear();
    ASSERT_EQ(session.Send(BytesToWide(all), 1000, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("raw done 1024") != ByteString::npos; }));
    EXPECT_EQ(sink.received.substr(0, all.size()), all) << "console to device and back";
    EXPECT_EQ(sink.transmitted, all);
}

// The simulator program's question and its bus scan need its clock on every
// kind of link.
TEST_P(NxrSessionLink, AnAbilityThatAsksAndOneThatTakesItsTimeCrossTheLink) {
    sink.onQuery = [](const std::string&) { return std::optional<std::string>("yes"); };
    std::uint32_t stop = 0;
    std::uint32_t scan = 0;
    ASSERT_EQ(session.Ability(0, BytesToWide("ProgramStop"), 1000, &stop, 0, 0, &handle), 0);
    ASSERT_EQ(session.Ability(0, BytesToWide("QbusMasterReportDevices 2,true"), 1000, &scan, 0, 0,
                              &handle),
              0);
    ASSERT_TRUE(WaitFor([&] { return sink.AbilityCompletion(scan) != nullptr; }));
    ASSERT_NE(sink.AbilityCompletion(stop), nullptr);
    EXPECT_TRUE(sink.AbilityCompletion(stop)->success) << session.ErrorText(stop);
    EXPECT_TRUE(sink.AbilityCompletion(scan)->success) << session.ErrorText(scan);
    EXPECT_EQ(sink.queries.size(), 1u);
    EXPECT_NE(sink.receivedBy[stop].find("Program stopped"), ByteString::npos) << sink.received;
    EXPECT_NE(sink.receivedBy[scan].find("Qbus 2,true: 2 devices"), ByteString::npos);
    ASSERT_FALSE(sink.tasks.empty());
    EXPECT_EQ(sink.tasks.back(), "complete " + std::to_string(scan) + " ok");
}

TEST_P(NxrSessionLink, ABlockedEventLoopLosesNothingOfAFlood) {
    sink.received.clear();
    // A second of 3 Mbaud, the first half with the owner's thread stuck.
    constexpr std::size_t kFlood = 300000;
    ASSERT_EQ(
        session.Send(BytesToWide("flood 300000 " + std::to_string(kFlood) + "\r"), 1000, &handle),
        0);
    ASSERT_TRUE(test::BusyUntil([&] { return session.QueuedBytes() >= kFlood / 2; }))
        << "nothing was read while the owner's thread was stuck";
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("flood done") != ByteString::npos; }, 30000));
    const auto start = sink.received.find("00000000 ");
    ASSERT_NE(start, ByteString::npos);
    EXPECT_TRUE(sink.received.substr(start, kFlood) == CDevSimEngine::FloodBytes(0, kFlood))
        << "the flood arrived changed or incomplete";
}

TEST_P(NxrSessionLink, StatusFollowsAPeerThatGoesAwayAndTheSessionStaysUsable) {
    device.Kill();
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kLinkLost; }));
    EXPECT_NE(session.ErrorText(0).find("link lost"), std::string::npos) << session.ErrorText(0);
    EXPECT_EQ(session.Send(BytesToWide("ver\r"), 1000, &handle),
              ToStatus(ENxrResult::NotConnected));
    EXPECT_NE(session.ErrorText(0).find("cannot send 4 bytes: not connected"), std::string::npos)
        << session.ErrorText(0);
    // A connect to a device that is gone fails with words, and nothing hangs.
    std::uint32_t id = 0;
    session.Request(0xE000, NxrEmptyParamBlock(), 5000, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_FALSE(sink.Completion(id)->success);
    EXPECT_FALSE(session.ErrorText(id).empty());
    EXPECT_EQ(sink.LastStatus(), kNotConnected) << "the status comes before the completion";
}

// XModem both ways through the session, with data full of 0xFF (the
// telnet escape) and CR NUL, to the simulator's own transfers.
TEST_P(NxrSessionLink, XModemBothWaysWithEscapeBytesIsByteExact) {
    test::CTempDir dir;
    const auto transfer = [&](std::uint32_t code, const std::string& path, bool use1K) {
        std::uint32_t id = 0;
        EXPECT_EQ(session.Request(code, test::TransferParams(path, use1K), 1000, &id, nullptr, 0,
                                  &handle),
                  0);
        EXPECT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }, 30000));
        return sink.Completion(id) != nullptr && sink.Completion(id)->success
                   ? std::string()
                   : "failed: " + session.ErrorText(id);
    };

    Exchange("xmodem send 3000\r", "start your XModem Receive");
    ASSERT_EQ(transfer(0xE004, dir.File("got.bin"), false), "");
    ByteString expected = test::AllByteValues(12).substr(0, 3000);
    expected.append(3072 - 3000, '\x1A');
    EXPECT_TRUE(test::ReadFileBytes(dir.File("got.bin")) == expected);
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("xmodem: sent 3000") != ByteString::npos; }));

    for (const bool use1K : {false, true}) {
        ByteString image(2000, '\xFF');
        image += test::AllByteValues(2);
        image += "\r\0\r\r\n\xFF\r";
        image.append(1500, '\xFF');
        ASSERT_TRUE(test::WriteFileBytes(dir.File("ff.bin"), image));
        const std::size_t block = use1K ? 1024 : 128;
        const std::size_t padded = (image.size() + block - 1) / block * block;
        std::uint32_t sum = 0;
        for (const char c : image) {
            sum += static_cast<unsigned char>(c);
        }
        sum += static_cast<std::uint32_t>(padded - image.size()) * 0x1A;
        sink.received.clear();
        Exchange("xmodem receive\r", "waiting for your XModem Send");
        ASSERT_EQ(transfer(0xE003, dir.File("ff.bin"), use1K), "") << (use1K ? "1K" : "128");
        const std::string report =
            "received " + std::to_string(padded) + " bytes, sum " + std::to_string(sum);
        EXPECT_TRUE(WaitFor([&] { return sink.received.find(report) != ByteString::npos; }))
            << "want \"" << report << "\" in: " << sink.received;
    }
}

std::string NetSpec(const char* kind, const CDevSimProcess& device) {
    return std::string(kind) + ":" + device.Where();
}

INSTANTIATE_TEST_SUITE_P(
    Transports, NxrSessionLink,
    ::testing::Values(
        SLinkCase{"Tcp", {"--tcp", "0"}, [](const CDevSimProcess& d) { return NetSpec("tcp", d); }},
        SLinkCase{"Telnet",
                  {"--telnet", "0"},
                  [](const CDevSimProcess& d) { return NetSpec("telnet", d); }},
        SLinkCase{"Serial",
                  {"--pty"},
                  [](const CDevSimProcess& d) { return "serial:" + d.Where() + ",115200,8N1"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NxrSessionLinkErrors, RefusedConnectionAndMissingDeviceSayWhy) {
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }  // closed again: nothing listens there now
    struct SCase {
        std::string spec;
        std::string words;
    } cases[] = {
        {"tcp:127.0.0.1:" + std::to_string(port),
         "connection refused by 127.0.0.1:" + std::to_string(port)},
        {"telnet:127.0.0.1:" + std::to_string(port),
         "connection refused by 127.0.0.1:" + std::to_string(port)},
        {"serial:/dev/quillpad-no-such-tty,9600", "no such serial device"},
    };
    for (const auto& c : cases) {
        CNxrSession session;
        CRecordingSink sink;
        session.Advise(&sink);
        NxrHandle handle = 0;
        ASSERT_EQ(session.Open(BytesToWide(c.spec), {}, &handle), 0);
        std::uint32_t id = 0;
        session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; })) << c.spec;
        EXPECT_FALSE(sink.Completion(id)->success);
        EXPECT_NE(session.ErrorText(id).find(c.words), std::string::npos)
            << c.spec << ": " << session.ErrorText(id);
        EXPECT_EQ(sink.LastStatus(), kNotConnected);
        EXPECT_EQ(sink.linkUps, 0);
    }
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

// A telnet server that never negotiates: the link comes up after the grace
// time, and a request with a shorter time-out fails in the meantime.
TEST(NxrSessionLinkErrors, TimeOutFailsARequestOnceAndTheSilentTelnetServerStillConnects) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    CNxrSession session;
    CRecordingSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    const std::string spec = "telnet:127.0.0.1:" + std::to_string(silent.serverPort());
    ASSERT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0);
    std::uint32_t quick = 0;
    std::uint32_t patient = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), 100, &quick, nullptr, 0, &handle);
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &patient, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(quick) != nullptr; }));
    EXPECT_FALSE(sink.Completion(quick)->success);
    EXPECT_EQ(session.ErrorText(quick), "connect timed out after 100 ms");
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(patient) != nullptr; }));
    EXPECT_TRUE(sink.Completion(patient)->success);
    EXPECT_EQ(sink.LastStatus(), kConnected);
    QCoreApplication::processEvents();
    int quickCompletions = 0;
    for (const auto& e : sink.events) {
        quickCompletions += (e.id == ENxrEventId::RequestCompleted && e.requestId == quick);
    }
    EXPECT_EQ(quickCompletions, 1) << "the late success of a timed-out request is not delivered";
}

// Connects over TCP to the simulator and waits for its prompt; what came
// before the prompt is forgotten.
void ConnectToThePrompt(CNxrSession& session, CRecordingSink& sink, const CDevSimProcess& device,
                        NxrHandle& handle) {
    ASSERT_EQ(session.Open(BytesToWide("tcp:" + device.Where()), {}, &handle), 0);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("> ") != ByteString::npos; }));
    sink.received.clear();
}

// The simulator's flood of `bytes` from its first line on, byte for byte.
void ExpectTheFloodWhole(const ByteString& received, std::size_t bytes) {
    const auto start = received.find("00000000 ");
    ASSERT_NE(start, ByteString::npos);
    ASSERT_GE(received.size(), start + bytes);
    EXPECT_TRUE(received.compare(start, bytes, CDevSimEngine::FloodBytes(0, bytes)) == 0)
        << "the flood arrived changed, out of order or incomplete";
}

// The simulator over TCP and a session at its prompt, with a sink of the
// test's own; the session is made first, so it hooks the turns' start before
// any hook of the test.
template <class TSink>
struct SAtThePrompt {
    void Connect() {
        ASSERT_TRUE(device.Start({"--tcp", "0"})) << device.Error();
        session.Advise(&sink);
        ASSERT_NO_FATAL_FAILURE(ConnectToThePrompt(session, sink, device, handle));
    }

    CDevSimProcess device;
    CNxrSession session;
    TSink sink;
    NxrHandle handle = 0;
};

// Asks the simulator for a flood of `bytes` and holds this thread until the
// session has queued it all: the owner takes none of it meanwhile, so the
// inbox joins it into its largest events.
void QueueAFloodWhole(CNxrSession& session, NxrHandle& handle, std::size_t bytes) {
    ASSERT_EQ(session.Send(BytesToWide("flood 0 " + std::to_string(bytes) + "\r"), 1000, &handle),
              0);
    ASSERT_TRUE(test::BusyUntil([&] { return session.QueuedBytes() >= bytes; }, 60000))
        << "the flood never queued up: " << session.QueuedBytes();
}

// A session connected to the simulator over TCP, at its prompt.
class NxrSessionAtThePrompt : public ::testing::Test, protected SAtThePrompt<CRecordingSink> {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Connect()); }
};

// More than the high-water mark arrives while the owner sleeps: the reader
// pauses (TCP holds the device back), resumes, and every byte arrives in order.
TEST_F(NxrSessionAtThePrompt, BackPressureOnALongStallLosesNothing) {
    constexpr std::size_t kBytes = 48u << 20;  // above the 32 MB mark
    ASSERT_EQ(session.Send(BytesToWide("flood 0 " + std::to_string(kBytes) + "\r"), 1000, &handle),
              0);
    ASSERT_TRUE(test::BusyUntil([&] { return session.ReaderPauses() > 0; }, 60000))
        << "the reader never had to wait";
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("flood done") != ByteString::npos; }, 120000));
    const auto start = sink.received.find("00000000 ");
    ASSERT_NE(start, ByteString::npos);
    ASSERT_GE(sink.received.size(), start + kBytes);
    constexpr std::size_t kStep = 1 << 20;
    for (std::size_t at = 0; at < kBytes; at += kStep) {
        ASSERT_TRUE(
            sink.received.compare(start + at, kStep, CDevSimEngine::FloodBytes(at, kStep)) == 0)
            << "first difference in the MB at " << at;
    }
}

// A turn whose store must first catch up on its writes stops the intake: the
// drain takes nothing in it, the inbox holds the rest (the reader pauses, TCP
// holds the device back), and the next turns bring every byte in order.
TEST(NxrSessionLinkErrors, ATurnThatStopsTheIntakeTakesNothingAndTheFloodArrivesWhole) {
    struct CWatchingSink final : CRecordingSink {
        std::int32_t OnDataReceived(std::uint32_t ownerId, std::string_view data) override {
            if (ThreadTurnBudget().IntakeStopped()) {
                ++whileStopped;
            }
            return CRecordingSink::OnDataReceived(ownerId, data);
        }
        int whileStopped = 0;
    };
    SAtThePrompt<CWatchingSink> rig;
    ASSERT_NO_FATAL_FAILURE(rig.Connect());
    // Stands for the store's writer: three turns of four stop the intake
    // (the context ends the connection with the test, however it ends).
    int turns = 0;
    int stopped = 0;
    QObject context;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     &context, [&] {
                         if (++turns % 4 != 0) {
                             ThreadTurnBudget().StopIntake();
                             ++stopped;
                         }
                     });
    constexpr std::size_t kBytes = 8u << 20;
    ASSERT_EQ(rig.session.Send(BytesToWide("flood 0 " + std::to_string(kBytes) + "\r"), 1000,
                               &rig.handle),
              0);
    ASSERT_TRUE(
        WaitFor([&] { return rig.sink.received.find("flood done") != ByteString::npos; }, 120000));
    EXPECT_GT(stopped, 10);
    EXPECT_EQ(rig.sink.whileStopped, 0) << "the drain took data in a turn that stopped the intake";
    ExpectTheFloodWhole(rig.sink.received, kBytes);
}

// A flood joined into large events reaches a slow sink in pieces, and the
// drain stops between the pieces of one event once its turn is used up: no
// turn delivers more than one piece when each piece takes longer than the
// floor of a spent turn. The flood still arrives whole and in order.
TEST(NxrSessionLinkErrors, ASlowSinkGetsAJoinedFloodInPiecesOneATurnWhenTheTurnIsSpent) {
    struct CSlowSink final : CRecordingSink {
        std::int32_t OnDataReceived(std::uint32_t ownerId, std::string_view data) override {
            largestPiece = std::max(largestPiece, data.size());
            thisTurn += data.size();
            largestTurn = std::max(largestTurn, thisTurn);
            // Longer than a spent turn's floor: the drain must stop after it.
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::nanoseconds(CTurnBudget::kFloorNs * 3 / 2);
            while (std::chrono::steady_clock::now() < until) {
            }
            return CRecordingSink::OnDataReceived(ownerId, data);
        }
        std::size_t largestPiece = 0;
        std::size_t thisTurn = 0;
        std::size_t largestTurn = 0;
    };
    SAtThePrompt<CSlowSink> rig;
    ASSERT_NO_FATAL_FAILURE(rig.Connect());
    constexpr std::size_t kBytes = 4u << 20;
    ASSERT_NO_FATAL_FAILURE(QueueAFloodWhole(rig.session, rig.handle, kBytes));
    // Every turn from here is spent by something else before the drain.
    QObject context;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     &context, [&] {
                         ThreadTurnBudget().Spend();
                         rig.sink.thisTurn = 0;
                     });
    ASSERT_TRUE(
        WaitFor([&] { return rig.sink.received.find("flood done") != ByteString::npos; }, 120000));
    EXPECT_LE(rig.sink.largestPiece, CNxrSession::kDeliverPieceBytes);
    EXPECT_LE(rig.sink.largestTurn, CNxrSession::kDeliverPieceBytes)
        << "a spent turn delivered more than one piece";
    ExpectTheFloodWhole(rig.sink.received, kBytes);
}

// With the turn to spare, the pieces grow to what it holds: each record costs
// the store and the views a little of their own, so a fast sink gets a
// joined flood in pieces larger than the first.
TEST(NxrSessionLinkErrors, AFastSinkWithTimeToSpareGetsLargerPiecesThanTheFirst) {
    // Once at the prompt it keeps only the flood's last bytes, so that its
    // own pace leaves the drain time to spare even in a sanitizer's build.
    struct CMeasuringSink final : CRecordingSink {
        std::int32_t OnDataReceived(std::uint32_t ownerId, std::string_view data) override {
            if (!measuring) {
                return CRecordingSink::OnDataReceived(ownerId, data);
            }
            largestPiece = std::max(largestPiece, data.size());
            tail.append(data.substr(data.size() - std::min<std::size_t>(data.size(), 64)));
            tail.erase(0, tail.size() - std::min<std::size_t>(tail.size(), 64));
            return 0;
        }
        bool measuring = false;
        std::size_t largestPiece = 0;
        ByteString tail;
    };
    SAtThePrompt<CMeasuringSink> rig;
    ASSERT_NO_FATAL_FAILURE(rig.Connect());
    rig.sink.measuring = true;
    constexpr std::size_t kBytes = 4u << 20;
    ASSERT_NO_FATAL_FAILURE(QueueAFloodWhole(rig.session, rig.handle, kBytes));
    ASSERT_TRUE(
        WaitFor([&] { return rig.sink.tail.find("flood done") != ByteString::npos; }, 120000));
    EXPECT_GT(rig.sink.largestPiece, CNxrSession::kDeliverPieceBytes);
    EXPECT_LE(rig.sink.largestPiece, CNxrInbox::kJoinLimit);
}

// A handler that runs the event loop from within a piece (as a dialog would)
// lets the session drain from there: the rest of the event being delivered
// comes first, then what follows it, and nothing is lost or freed early.
TEST(NxrSessionLinkErrors, AHandlerThatRunsTheLoopWithinAPieceKeepsTheFloodInOrder) {
    struct CNestingSink final : CRecordingSink {
        std::int32_t OnDataReceived(std::uint32_t ownerId, std::string_view data) override {
            CRecordingSink::OnDataReceived(ownerId, data);
            if (!nested && ++calls % 3 == 0) {
                const std::size_t end = received.size();
                nested = true;
                for (int i = 0; i < 3; ++i) {
                    QCoreApplication::processEvents();
                }
                nested = false;
                ++nestedRuns;
                // The piece's bytes are still there after the nested drains.
                if (data.back() != received[end - 1]) {
                    ++piecesChanged;
                }
            }
            return 0;
        }
        bool nested = false;
        int calls = 0;
        int nestedRuns = 0;
        int piecesChanged = 0;
    };
    SAtThePrompt<CNestingSink> rig;
    ASSERT_NO_FATAL_FAILURE(rig.Connect());
    constexpr std::size_t kBytes = 4u << 20;
    ASSERT_NO_FATAL_FAILURE(QueueAFloodWhole(rig.session, rig.handle, kBytes));
    QObject context;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     &context, [] { ThreadTurnBudget().Spend(); });
    ASSERT_TRUE(
        WaitFor([&] { return rig.sink.received.find("flood done") != ByteString::npos; }, 120000));
    EXPECT_GT(rig.sink.nestedRuns, 10);
    EXPECT_EQ(rig.sink.piecesChanged, 0);
    ExpectTheFloodWhole(rig.sink.received, kBytes);
}

// A burst smaller than the trim's threshold leaves its room in the heaps only
// until the link has been quiet a moment; a prompt's few bytes cost no trim,
// nor does a quiet link.
TEST_F(NxrSessionAtThePrompt, ALinkThatGoesQuietAfterABurstGivesTheHeapsRoomBack) {
    const int settle = CNxrSession::kSettleTrimMs;
    WaitFor([] { return false; }, 3 * settle);
    EXPECT_EQ(session.HeapTrims(), 0u) << "a prompt's few bytes were trimmed for";

    constexpr std::size_t kBytes = 2u << 20;
    static_assert(kBytes > CNxrSession::kSettleTrimFromBytes &&
                  kBytes < CNxrSession::kTrimAfterBytes);
    ASSERT_EQ(session.Send(BytesToWide("flood 0 " + std::to_string(kBytes) + "\r"), 1000, &handle),
              0);
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("flood done") != ByteString::npos; }, 60000));
    EXPECT_TRUE(WaitFor([&] { return session.HeapTrims() > 0; }, 20 * settle))
        << "the burst's room stayed in the heaps";
    const std::uint64_t settled = session.HeapTrims();
    WaitFor([] { return false; }, 3 * settle);
    EXPECT_EQ(session.HeapTrims(), settled) << "a quiet link was trimmed for again";
}

}  // namespace
}  // namespace quillpad
