#include "nxr/NxrRequestBlocks.h"

#include <gtest/gtest.h>

namespace quillpad {
namespace {

// Through the bytes, as a request travels.
CNxrParamBlock Travel(const CNxrParamBlock& block) {
    std::string error;
    const auto decoded = CNxrParamBlock::Decode(block.Encode(), &error);
    EXPECT_TRUE(decoded) << error;
    return decoded.value_or(CNxrParamBlock());
}

TEST(NxrRequestBlocks, BreakLengthsTravelAndAMissingOneIsTheDefault) {
    for (const std::int32_t ms : {0, 1, 250, 10000, -5, 20000}) {
        EXPECT_EQ(NxrReadBreakMs(Travel(NxrBreakBlock(ms))), ms);
    }
    EXPECT_EQ(NxrReadBreakMs(CNxrParamBlock()), kNxrDefaultBreakMs);
    EXPECT_EQ(NxrReadBreakMs(Travel(NxrTransferBlock("/tmp/x"))), kNxrDefaultBreakMs)
        << "a text is no length";
}

// The blocks the console built by hand before the codecs.
TEST(NxrRequestBlocks, HandBuiltBlocksAreTheSameBytesAndReadTheSame) {
    const ByteString handBreak = CNxrParamBlock().AddInteger(500).Encode();
    EXPECT_EQ(NxrBreakBlock(500).Encode(), handBreak);
    EXPECT_EQ(NxrReadBreakMs(*CNxrParamBlock::Decode(handBreak, nullptr)), 500);

    CNxrParamBlock hand1K;
    hand1K.AddText("/data/prog.bin");
    hand1K.AddInteger(1024);
    EXPECT_EQ(NxrXModemBlock("/data/prog.bin", true).Encode(), hand1K.Encode());
    const CNxrParamBlock read1K = *CNxrParamBlock::Decode(hand1K.Encode(), nullptr);
    EXPECT_EQ(NxrReadTransferPath(read1K), "/data/prog.bin");
    EXPECT_TRUE(NxrReadXModem1K(read1K));

    CNxrParamBlock handPath;
    handPath.AddText("/data/log.txt");
    EXPECT_EQ(NxrTransferBlock("/data/log.txt").Encode(), handPath.Encode());
    EXPECT_EQ(NxrXModemBlock("/data/log.txt", false).Encode(), handPath.Encode());
    EXPECT_FALSE(NxrReadXModem1K(handPath));
}

TEST(NxrRequestBlocks, XModemBlocksTravelWithTheirPathBytesAndBlockSize) {
    const std::string path =
        "/home/\xC3\x9C"
        "bersicht/\xE6\x97\xA5\xE6\x9C\xAC.bin";
    for (const bool use1K : {false, true}) {
        const CNxrParamBlock read = Travel(NxrXModemBlock(path, use1K));
        EXPECT_EQ(NxrReadTransferPath(read), path) << "the file system's bytes, untouched";
        EXPECT_EQ(NxrReadXModem1K(read), use1K);
    }
    CNxrParamBlock other;
    other.AddText(path);
    other.AddInteger(128);
    EXPECT_FALSE(NxrReadXModem1K(other)) << "only 1024 asks for 1K blocks";
    EXPECT_FALSE(NxrReadTransferPath(NxrBreakBlock(5))) << "no text first, no path";
    EXPECT_FALSE(NxrReadTransferPath(CNxrParamBlock()));
}

}  // namespace
}  // namespace quillpad
