// The XModem engines against lrzsz's sx and rx, the reference XModem, over a
// pseudo-terminal pair made by socat.

#include <gtest/gtest.h>

#include <csignal>

#include "nxr/CNxrXModemReceiver.h"
#include "nxr/CNxrXModemSender.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CPtyPeer;
using test::NowMs;
using test::RandomBytes;

void RequireTools() {
    if (const std::string missing = test::MissingLrzszTool(); !missing.empty()) {
        QUILLPAD_PEER_MISSING(missing << " is not installed (tools/install-deps.sh installs it)");
    }
}

// Drives `engine` on the near end until it and the peer have ended; `step`
// runs after every turn with the bytes done so far. False when nothing moves
// on the line for 30 s. A megabyte in 128-byte blocks is 8192 round trips
// through socat, so on a loaded machine the whole transfer may take minutes;
// only a stall is a fault here (the transfer's speed is a benchmark's job).
template <class Engine, class Step>
bool Drive(CPtyPeer& pty, Engine& engine, ByteString* data, Step step) {
    constexpr std::uint32_t kStallMs = 30000;
    std::uint32_t last_motion = NowMs();
    for (;;) {
        const ByteString out = engine.TakeOutput();
        if (!out.empty()) {
            if (!pty.Write(out)) {
                return false;
            }
            last_motion = NowMs();
        }
        if (engine.State() != EXModemState::Running && pty.PollExit() >= 0) {
            return true;
        }
        const std::string in = pty.Read(engine.State() == EXModemState::Running ? 20 : 50);
        const std::uint32_t now = NowMs();
        if (!in.empty()) {
            last_motion = now;
        } else if (now - last_motion > kStallMs) {
            ADD_FAILURE() << "the line stalled after " << engine.BytesDone() << " bytes";
            return false;
        }
        if (engine.State() == EXModemState::Running) {
            engine.Feed(in, now);
            engine.Tick(now);
        }
        if constexpr (requires { engine.TakeData(); }) {
            *data += engine.TakeData();
        }
        step(engine.BytesDone());
    }
}

struct SPeerCase {
    std::size_t size;
    bool crc;
    bool use1K;
};

void PrintTo(const SPeerCase& c, std::ostream* os) {
    *os << c.size << (c.crc ? " crc" : " sum") << (c.use1K ? " 1k" : " 128");
}

std::string Name(const testing::TestParamInfo<SPeerCase>& info) {
    return std::to_string(info.param.size) + (info.param.crc ? "_crc" : "_sum") +
           (info.param.use1K ? "_1k" : "_128");
}

class XModemPeer : public testing::TestWithParam<SPeerCase> {
  protected:
    void SetUp() override { RequireTools(); }
};

// Our sender to rx.
TEST_P(XModemPeer, SendToRx) {
    const SPeerCase c = GetParam();
    test::CTempDir dir;
    CPtyPeer pty(dir.Path());
    ASSERT_TRUE(pty.Ready());
    const ByteString data = RandomBytes(c.size, static_cast<unsigned>(c.size));
    std::vector<std::string> args{"rx", "-b", "-q"};
    if (c.crc) {
        args.push_back("-c");
    }
    args.push_back("got.bin");
    pty.Start(args);
    CNxrXModemSender sender(data, {.use1K = c.use1K}, NowMs());
    ASSERT_TRUE(Drive(pty, sender, nullptr, [](std::size_t) {}));
    ASSERT_EQ(sender.State(), EXModemState::Done) << sender.ErrorText() << "\n"
                                                  << test::ReadFileBytes(dir.File("peer.log"));
    EXPECT_EQ(pty.PollExit(), 0) << test::ReadFileBytes(dir.File("peer.log"));
    EXPECT_EQ(sender.Check(), c.crc ? EXModemCheck::Crc16 : EXModemCheck::Checksum);
    const ByteString got = test::ReadFileBytes(dir.File("got.bin"));
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(got.substr(0, data.size()) == data);
    EXPECT_EQ(got.substr(data.size()), ByteString(got.size() - data.size(), '\x1A'));
    EXPECT_LT(got.size() - data.size(), c.use1K && c.crc ? 1024u : 128u);
}

// sx to our receiver.
TEST_P(XModemPeer, ReceiveFromSx) {
    const SPeerCase c = GetParam();
    test::CTempDir dir;
    CPtyPeer pty(dir.Path());
    ASSERT_TRUE(pty.Ready());
    const ByteString data = RandomBytes(c.size, static_cast<unsigned>(c.size) + 1);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("out.bin"), data));
    std::vector<std::string> args{"sx", "-b", "-q"};
    if (c.use1K) {
        args.push_back("-k");
    }
    args.push_back("out.bin");
    pty.Start(args);
    CNxrXModemReceiver receiver({.preferCrc = c.crc}, NowMs());
    ByteString got;
    ASSERT_TRUE(Drive(pty, receiver, &got, [](std::size_t) {}));
    ASSERT_EQ(receiver.State(), EXModemState::Done) << receiver.ErrorText();
    EXPECT_EQ(pty.PollExit(), 0) << test::ReadFileBytes(dir.File("peer.log"));
    EXPECT_EQ(receiver.Check(), c.crc ? EXModemCheck::Crc16 : EXModemCheck::Checksum);
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(got.substr(0, data.size()) == data);
    EXPECT_EQ(got.substr(data.size()), ByteString(got.size() - data.size(), '\x1A'));
    EXPECT_LT(got.size() - data.size(), c.use1K ? 1024u : 128u);
}

INSTANTIATE_TEST_SUITE_P(Lrzsz, XModemPeer,
                         testing::Values(SPeerCase{0, true, false}, SPeerCase{1, false, false},
                                         SPeerCase{127, true, false}, SPeerCase{128, false, false},
                                         SPeerCase{129, true, false}, SPeerCase{1024, true, true},
                                         SPeerCase{1025, true, true}, SPeerCase{1025, false, false},
                                         SPeerCase{1 << 20, true, true},
                                         SPeerCase{1 << 20, false, false}),
                         Name);

// A missing peer skips the test (or fails it in CI) before it starts.
class XModemPeerCancel : public ::testing::Test {
  protected:
    void SetUp() override { RequireTools(); }
};

TEST_F(XModemPeerCancel, OurCancelStopsRx) {
    test::CTempDir dir;
    CPtyPeer pty(dir.Path());
    ASSERT_TRUE(pty.Ready());
    pty.Start({"rx", "-b", "-q", "-c", "got.bin"});
    CNxrXModemSender sender(RandomBytes(1 << 20, 3), {.use1K = true}, NowMs());
    ASSERT_TRUE(Drive(pty, sender, nullptr, [&](std::size_t done) {
        if (done >= 100000) {
            sender.Cancel(NowMs());
        }
    }));
    EXPECT_EQ(sender.State(), EXModemState::Cancelled);
    EXPECT_NE(pty.PollExit(), 0) << test::ReadFileBytes(dir.File("peer.log"));
}

TEST_F(XModemPeerCancel, OurCancelStopsSx) {
    test::CTempDir dir;
    CPtyPeer pty(dir.Path());
    ASSERT_TRUE(pty.Ready());
    ASSERT_TRUE(test::WriteFileBytes(dir.File("out.bin"), RandomBytes(1 << 20, 4)));
    pty.Start({"sx", "-b", "-q", "-k", "out.bin"});
    CNxrXModemReceiver receiver({}, NowMs());
    ByteString got;
    ASSERT_TRUE(Drive(pty, receiver, &got, [&](std::size_t done) {
        if (done >= 100000) {
            receiver.Cancel();
        }
    }));
    EXPECT_EQ(receiver.State(), EXModemState::Cancelled);
    EXPECT_NE(pty.PollExit(), 0);
    EXPECT_LT(got.size(), std::size_t{1} << 20);
}

// An interrupted sx or rx sometimes sends CANs and sometimes just ends,
// depending on where the signal finds it. Either way our end stops: at once
// on the CANs, or by its own time-outs, and says which.
TEST_F(XModemPeerCancel, AnInterruptedSxEndsOurReceiver) {
    test::CTempDir dir;
    CPtyPeer pty(dir.Path());
    ASSERT_TRUE(pty.Ready());
    ASSERT_TRUE(test::WriteFileBytes(dir.File("out.bin"), RandomBytes(1 << 20, 5)));
    pty.Start({"sx", "-b", "-q", "-k", "out.bin"});
    CNxrXModemReceiver receiver({.blockTimeoutMs = 300, .charTimeoutMs = 200, .maxRetries = 2},
                                NowMs());
    ByteString got;
    bool sent = false;
    ASSERT_TRUE(Drive(pty, receiver, &got, [&](std::size_t done) {
        if (done >= 100000 && !sent) {
            sent = true;
            ::kill(pty.Peer(), SIGINT);
        }
    }));
    if (receiver.State() == EXModemState::Failed) {
        EXPECT_NE(receiver.ErrorText().find("too many errors"), std::string::npos)
            << receiver.ErrorText();
    } else {
        EXPECT_EQ(receiver.State(), EXModemState::Cancelled);
        EXPECT_EQ(receiver.ErrorText(), "cancelled by the sender");
    }
    EXPECT_NE(pty.PollExit(), 0);
    EXPECT_EQ(got.size(), receiver.BytesDone());
}

TEST_F(XModemPeerCancel, AnInterruptedRxEndsOurSender) {
    test::CTempDir dir;
    CPtyPeer pty(dir.Path());
    ASSERT_TRUE(pty.Ready());
    pty.Start({"rx", "-b", "-q", "-c", "got.bin"});
    CNxrXModemSender sender(RandomBytes(1 << 20, 6),
                            {.use1K = true, .ackTimeoutMs = 300, .maxRetries = 2}, NowMs());
    bool sent = false;
    ASSERT_TRUE(Drive(pty, sender, nullptr, [&](std::size_t done) {
        if (done >= 100000 && !sent) {
            sent = true;
            ::kill(pty.Peer(), SIGINT);
        }
    }));
    if (sender.State() == EXModemState::Failed) {
        EXPECT_NE(sender.ErrorText().find("after 2 retries"), std::string::npos)
            << sender.ErrorText();
    } else {
        EXPECT_EQ(sender.State(), EXModemState::Cancelled);
        EXPECT_EQ(sender.ErrorText(), "cancelled by the receiver");
    }
    EXPECT_LT(sender.BytesDone(), sender.Total());
}

}  // namespace
}  // namespace quillpad
