#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "nxr/CNxrXModemReceiver.h"
#include "nxr/CNxrXModemSender.h"

namespace quillpad {
namespace {

using namespace xmodem;

ByteString RandomBytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 gen(seed);
    ByteString out(n, '\0');
    for (auto& c : out) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return out;
}

// Runs a sender and a receiver against each other on a simulated clock. The
// filters see (and may change) everything on the wire in each direction.
struct SLink {
    SLink(CNxrXModemSender& s, CNxrXModemReceiver& r, std::uint32_t t0)
        : sender(s), receiver(r), now(t0) {}

    CNxrXModemSender& sender;
    CNxrXModemReceiver& receiver;
    std::uint32_t now;
    std::size_t chunk = 1u << 20;  // bytes handed over per Feed
    std::function<void(ByteString&)> toReceiver = [](ByteString&) {};
    std::function<void(ByteString&)> toSender = [](ByteString&) {};
    ByteString got;
    ByteString wireToReceiver;

    void Feed(CNxrXModemReceiver& r, const ByteString& bytes) {
        for (std::size_t i = 0; i < bytes.size(); i += chunk) {
            r.Feed(std::string_view(bytes).substr(i, chunk), now);
        }
    }
    bool Running() const {
        return sender.State() == EXModemState::Running || receiver.State() == EXModemState::Running;
    }
    void Run(int steps = 100000) {
        while (steps-- > 0 && Running()) {
            ByteString a = sender.TakeOutput();
            toReceiver(a);
            wireToReceiver += a;
            Feed(receiver, a);
            got += receiver.TakeData();
            ByteString b = receiver.TakeOutput();
            toSender(b);
            sender.Feed(b, now);
            if (a.empty() && b.empty()) {
                // Quiet line: let time pass to the next deadline.
                std::uint32_t next = now + 1000000;
                if (sender.State() == EXModemState::Running) {
                    next = sender.NextDeadline();
                }
                if (receiver.State() == EXModemState::Running &&
                    (sender.State() != EXModemState::Running ||
                     static_cast<std::int32_t>(receiver.NextDeadline() - next) < 0)) {
                    next = receiver.NextDeadline();
                }
                now = next;
                sender.Tick(now);
                receiver.Tick(now);
            }
        }
        got += receiver.TakeData();
    }
};

// What an XModem receiver holds for `data`: the data, then only padding,
// less than one block of it, in whole 128-byte blocks.
void ExpectPadded(const ByteString& data, const ByteString& got, std::size_t block) {
    ASSERT_GE(got.size(), data.size());
    EXPECT_EQ(got.substr(0, data.size()), data);
    const std::size_t pad = got.size() - data.size();
    EXPECT_EQ(got.size() % 128, 0u);
    EXPECT_LT(pad, data.size() % block == 0 ? 1 : block);
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(data.size()), got.end(),
                            [](char c) { return static_cast<unsigned char>(c) == PAD; }));
}

TEST(XModem, CrcAndChecksumKnownValues) {
    EXPECT_EQ(XModemCrc16("123456789"), 0x31C3);
    EXPECT_EQ(XModemCrc16(""), 0);
    EXPECT_EQ(XModemChecksum(ByteString("\xFF\x02", 2)), 0x01);
}

struct SCase {
    std::size_t size;
    bool crc;
    bool use1K;
};

void PrintTo(const SCase& c, std::ostream* os) {
    *os << c.size << (c.crc ? " crc" : " sum") << (c.use1K ? " 1k" : " 128");
}

class XModemPair : public testing::TestWithParam<SCase> {};

TEST_P(XModemPair, DataArrivesWithOnlyPaddingAdded) {
    const SCase c = GetParam();
    const ByteString data = RandomBytes(c.size);
    const std::uint32_t t0 = 0xFFFFF000u;  // the tick wraps during the transfer
    CNxrXModemSender sender(data, {.use1K = c.use1K}, t0);
    CNxrXModemReceiver receiver({.preferCrc = c.crc}, t0);
    SLink link(sender, receiver, t0);
    link.Run();
    EXPECT_EQ(sender.State(), EXModemState::Done) << sender.ErrorText();
    EXPECT_EQ(receiver.State(), EXModemState::Done) << receiver.ErrorText();
    EXPECT_EQ(sender.Check(), c.crc ? EXModemCheck::Crc16 : EXModemCheck::Checksum);
    EXPECT_EQ(sender.BytesDone(), data.size());
    EXPECT_EQ(sender.Errors(), 0);
    ExpectPadded(data, link.got, c.use1K && c.crc ? 1024 : 128);
    // 1K blocks only in CRC mode, and a short tail in a short block.
    const bool anyStx =
        link.wireToReceiver.find(static_cast<char>(STX)) != std::string::npos && c.size > 128;
    if (!c.crc || !c.use1K) {
        EXPECT_EQ(link.got.size(), (c.size + 127) / 128 * 128);
    } else if (c.size > 128) {
        EXPECT_TRUE(anyStx);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, XModemPair,
                         testing::Values(SCase{0, true, false}, SCase{1, true, false},
                                         SCase{127, false, false}, SCase{128, true, false},
                                         SCase{129, false, false}, SCase{1024, true, true},
                                         SCase{1025, true, true}, SCase{1025, false, true},
                                         SCase{1153, true, true}, SCase{300 * 128 + 5, true, false},
                                         SCase{70000, true, true}));

TEST(XModem, ByteByByteDeliveryGivesTheSameResult) {
    const ByteString data = RandomBytes(3000);
    CNxrXModemSender sender(data, {.use1K = true}, 0);
    CNxrXModemReceiver receiver({}, 0);
    SLink link(sender, receiver, 0);
    link.chunk = 1;
    link.Run();
    ASSERT_EQ(receiver.State(), EXModemState::Done);
    ExpectPadded(data, link.got, 1024);
}

TEST(XModem, ReceiverFallsBackToNakAndTheTransferUsesTheChecksum) {
    CNxrXModemReceiver receiver({.crcTries = 3, .startIntervalMs = 100}, 0);
    ByteString asks = receiver.TakeOutput();
    for (std::uint32_t t = 100; t <= 300; t += 100) {
        receiver.Tick(t);
        asks += receiver.TakeOutput();
    }
    EXPECT_EQ(asks, ByteString("CCC") + static_cast<char>(NAK));

    // A sender that only now starts listening hears the NAK.
    const ByteString data = RandomBytes(500);
    CNxrXModemSender sender(data, {.use1K = true}, 300);
    sender.Feed(ByteString(1, static_cast<char>(NAK)), 300);
    SLink link(sender, receiver, 300);
    link.Run();
    EXPECT_EQ(receiver.State(), EXModemState::Done);
    EXPECT_EQ(sender.Check(), EXModemCheck::Checksum);
    ExpectPadded(data, link.got, 128);
}

TEST(XModem, DamagedBlocksAreNakedAndSentAgain) {
    const ByteString data = RandomBytes(5000);
    CNxrXModemSender sender(data, {}, 0);
    CNxrXModemReceiver receiver({}, 0);
    SLink link(sender, receiver, 0);
    int blocks = 0;
    link.toReceiver = [&](ByteString& bytes) {
        // Damage the data of blocks 3 and 4 once each, and the header of 6.
        if (bytes.size() >= 133 && ++blocks <= 8) {
            if (blocks == 3 || blocks == 5) {
                bytes[50] = static_cast<char>(bytes[50] ^ 0x40);
            } else if (blocks == 8) {
                bytes[2] = bytes[1];  // number and complement disagree
            }
        }
    };
    link.Run();
    ASSERT_EQ(receiver.State(), EXModemState::Done) << receiver.ErrorText();
    EXPECT_EQ(sender.Errors(), 3);
    EXPECT_EQ(receiver.Errors(), 3);
    ExpectPadded(data, link.got, 128);
}

TEST(XModem, ALostAckGivesARepeatThatIsNotKeptTwice) {
    const ByteString data = RandomBytes(1000);
    CNxrXModemSender sender(data, {}, 0);
    CNxrXModemReceiver receiver({}, 0);
    SLink link(sender, receiver, 0);
    int acks = 0;
    link.toSender = [&](ByteString& bytes) {
        if (bytes == ByteString(1, static_cast<char>(ACK)) && ++acks == 2) {
            bytes.clear();
        }
    };
    link.Run();
    ASSERT_EQ(sender.State(), EXModemState::Done) << sender.ErrorText();
    EXPECT_GE(sender.Retries(), 1);
    ExpectPadded(data, link.got, 128);
}

TEST(XModem, ALostBlockIsAskedForAgainAfterTheTimeOut) {
    const ByteString data = RandomBytes(1000);
    CNxrXModemSender sender(data, {}, 0);
    CNxrXModemReceiver receiver({}, 0);
    SLink link(sender, receiver, 0);
    int blocks = 0;
    link.toReceiver = [&](ByteString& bytes) {
        if (bytes.size() >= 133 && ++blocks == 4) {
            bytes.clear();
        }
    };
    link.Run();
    ASSERT_EQ(receiver.State(), EXModemState::Done) << receiver.ErrorText();
    ExpectPadded(data, link.got, 128);
    EXPECT_GE(link.now, 10000u);  // it took a time-out
}

TEST(XModem, ABlockCutShortIsNakedWhenTheLineGoesQuiet) {
    CNxrXModemReceiver receiver({}, 0);
    receiver.TakeOutput();
    ByteString part(1, static_cast<char>(SOH));
    part += "\x01\xFE" + ByteString(60, 'x');
    receiver.Feed(part, 0);
    receiver.Tick(999);
    EXPECT_EQ(receiver.TakeOutput(), "");
    receiver.Tick(1000);
    EXPECT_EQ(receiver.TakeOutput(), ByteString(1, static_cast<char>(NAK)));
    EXPECT_EQ(receiver.State(), EXModemState::Running);
}

TEST(XModem, CancelFromEitherSideEndsBothEnds) {
    for (const bool fromSender : {true, false}) {
        SCOPED_TRACE(fromSender ? "sender cancels" : "receiver cancels");
        const ByteString data = RandomBytes(20000);
        CNxrXModemSender sender(data, {.use1K = true}, 0);
        CNxrXModemReceiver receiver({}, 0);
        SLink link(sender, receiver, 0);
        int blocks = 0;
        link.toReceiver = [&](ByteString& bytes) {
            if (bytes.size() > 1000 && ++blocks == 5) {
                if (fromSender) {
                    sender.Cancel(link.now);  // waits for the block's answer
                } else {
                    receiver.Cancel();
                }
            }
        };
        link.Run();
        EXPECT_EQ(sender.State(), EXModemState::Cancelled);
        EXPECT_EQ(receiver.State(), EXModemState::Cancelled);
        EXPECT_LT(link.now, 1000u);  // at once, not by a time-out
        EXPECT_LT(link.got.size(), data.size());
    }
}

TEST(XModem, ASenderThatCancelsMidBlockIsSeenAsCancelled) {
    CNxrXModemReceiver receiver({}, 0);
    ByteString bytes(1, static_cast<char>(STX));
    bytes += "\x01\xFE" + ByteString(100, 'x') + ByteString(kCancelCount, static_cast<char>(CAN));
    receiver.Feed(bytes, 0);
    receiver.Tick(1000);
    EXPECT_EQ(receiver.State(), EXModemState::Cancelled);
}

TEST(XModem, ASingleCanIsNoise) {
    const ByteString data = RandomBytes(300);
    CNxrXModemSender sender(data, {}, 0);
    sender.Feed(ByteString("\x18"
                           "C",
                           2),
                0);
    EXPECT_EQ(sender.State(), EXModemState::Running);
    EXPECT_EQ(sender.TakeOutput().size(), 133u);
}

TEST(XModem, TooManyNaksFailTheSenderAndCancelTheReceiver) {
    CNxrXModemSender sender(RandomBytes(300), {.maxRetries = 3}, 0);
    sender.Feed("C", 0);
    sender.TakeOutput();
    for (int i = 0; i < 3; ++i) {
        sender.Feed(ByteString(1, static_cast<char>(NAK)), 0);
        EXPECT_EQ(sender.TakeOutput().size(), 133u);
    }
    sender.Feed(ByteString(1, static_cast<char>(NAK)), 0);
    EXPECT_EQ(sender.State(), EXModemState::Failed);
    EXPECT_NE(sender.ErrorText().find("block 1"), std::string::npos) << sender.ErrorText();
    EXPECT_EQ(sender.TakeOutput(), ByteString(kCancelCount, static_cast<char>(CAN)));
}

TEST(XModem, TimeOutsWithoutAPeerFailEachSide) {
    CNxrXModemSender sender("abc", {.startTimeoutMs = 5000}, 0);
    sender.Tick(4999);
    EXPECT_EQ(sender.State(), EXModemState::Running);
    sender.Tick(5000);
    EXPECT_EQ(sender.State(), EXModemState::Failed);

    CNxrXModemReceiver receiver({.startIntervalMs = 10, .startTries = 5}, 0);
    for (std::uint32_t t = 10; t <= 100 && receiver.State() == EXModemState::Running; t += 10) {
        receiver.Tick(t);
    }
    EXPECT_EQ(receiver.State(), EXModemState::Failed);
    const ByteString out = receiver.TakeOutput();
    EXPECT_EQ(out.substr(0, 5), ByteString("CCC\x15\x15", 5));
    EXPECT_EQ(out.substr(5), ByteString(kCancelCount, static_cast<char>(CAN)));
}

TEST(XModem, ABlockOutOfSequenceEndsTheTransfer) {
    CNxrXModemReceiver receiver({.preferCrc = false}, 0);
    receiver.TakeOutput();
    ByteString block(1, static_cast<char>(SOH));
    block += "\x03\xFC";
    const ByteString payload(128, 'q');
    block += payload;
    block.push_back(static_cast<char>(XModemChecksum(payload)));
    receiver.Feed(block, 0);
    EXPECT_EQ(receiver.State(), EXModemState::Failed);
    EXPECT_EQ(receiver.TakeData(), "");
    EXPECT_EQ(receiver.TakeOutput(), ByteString(kCancelCount, static_cast<char>(CAN)));
}

TEST(XModem, NoiseBeforeTheStartAndBetweenBlocksIsIgnored) {
    const ByteString data = RandomBytes(400);
    CNxrXModemSender sender(data, {}, 0);
    sender.Feed("hello\r\n", 0);
    EXPECT_EQ(sender.TakeOutput(), "");
    CNxrXModemReceiver receiver({}, 0);
    SLink link(sender, receiver, 0);
    link.toReceiver = [](ByteString& bytes) {
        if (!bytes.empty()) {
            bytes.insert(0, "\r\nnoise");
        }
    };
    link.Run();
    EXPECT_EQ(receiver.State(), EXModemState::Done);
    ExpectPadded(data, link.got, 128);
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

TEST(XModem, ASenderCancelWaitsForTheAnswerToTheBlockOnTheWire) {
    const ByteString cans(kCancelCount, static_cast<char>(CAN));
    CNxrXModemSender answered(RandomBytes(1000), {}, 0);
    answered.Feed("C", 0);
    EXPECT_EQ(answered.TakeOutput().size(), 133u);
    answered.Cancel(10);
    EXPECT_EQ(answered.TakeOutput(), "");
    EXPECT_EQ(answered.State(), EXModemState::Running);
    answered.Feed(ByteString(1, static_cast<char>(ACK)), 20);
    EXPECT_EQ(answered.TakeOutput(), cans);  // not block 2
    EXPECT_EQ(answered.State(), EXModemState::Cancelled);

    CNxrXModemSender silent(RandomBytes(1000), {}, 0);
    silent.Feed("C", 0);
    silent.TakeOutput();
    silent.Cancel(10);
    silent.Tick(10 + CNxrXModemSender::kCancelWaitMs - 1);
    EXPECT_EQ(silent.TakeOutput(), "");
    silent.Tick(10 + CNxrXModemSender::kCancelWaitMs);
    EXPECT_EQ(silent.TakeOutput(), cans);

    // A block not yet handed out never goes.
    CNxrXModemSender queued(RandomBytes(1000), {}, 0);
    queued.Feed("C", 0);
    queued.Cancel(0);
    EXPECT_EQ(queued.TakeOutput(), cans);
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

TEST(XModem, AnUnansweredEotAfterEveryBlockWasAcknowledgedEndsAsDone) {
    CNxrXModemSender sender("abc", {.eotTimeoutMs = 100, .eotTries = 3}, 0);
    sender.Feed("C", 0);
    sender.TakeOutput();
    sender.Feed(ByteString(1, static_cast<char>(ACK)), 0);
    ByteString eots = sender.TakeOutput();
    for (std::uint32_t t = 100; t <= 300; t += 100) {
        sender.Tick(t);
        eots += sender.TakeOutput();
    }
    EXPECT_EQ(eots, ByteString(3, static_cast<char>(EOT)));
    EXPECT_EQ(sender.State(), EXModemState::Done);
    EXPECT_EQ(sender.BytesDone(), 3u);
    EXPECT_NE(sender.ErrorText().find("EOT"), std::string::npos);
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

TEST(XModem, BytesAfterTheEndAreLeftForTheConsole) {
    CNxrXModemSender sender("abc", {}, 0);
    sender.Feed("C", 0);
    sender.TakeOutput();
    sender.Feed(ByteString(1, static_cast<char>(ACK)), 0);
    EXPECT_EQ(sender.Feed(ByteString(1, static_cast<char>(ACK)) + "done\r\n> ", 0), 1u);
    EXPECT_EQ(sender.State(), EXModemState::Done);

    CNxrXModemReceiver receiver({}, 0);
    EXPECT_EQ(receiver.Feed(ByteString(1, static_cast<char>(EOT)) + "sent 0\r\n", 0), 1u);
    EXPECT_EQ(receiver.State(), EXModemState::Done);
    EXPECT_EQ(receiver.Feed("more", 0), 0u);
}

}  // namespace
}  // namespace quillpad
