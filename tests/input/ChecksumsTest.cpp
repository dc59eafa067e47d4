#include "input/Checksums.h"

#include <gtest/gtest.h>

#include <string>

namespace quillpad {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

// The catalogue's check value of each: its checksum of "123456789".
TEST(Checksums, EachGivesItsPublishedCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(ComputeChecksum(EChecksum::Sum8, check), 0xDDu);
    EXPECT_EQ(ComputeChecksum(EChecksum::Xor8, check), 0x31u);
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc8, check), 0xF4u);
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc16Modbus, check), 0x4B37u);
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc16CcittFalse, check), 0x29B1u);
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc32, check), 0xCBF43926u);
    EXPECT_EQ(ComputeChecksum(EChecksum::None, check), 0u);
}

// Frames as devices send them, with the checksum they carry.
TEST(Checksums, KnownDeviceFramesEndInTheirChecksum) {
    // Modbus RTU: read 10 holding registers of slave 1, and the protocol
    // guide's read of registers 108 to 110 of slave 17; CRC low byte first.
    std::string read = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
    AppendChecksum(read, EChecksum::Crc16Modbus, EByteOrder::LowFirst);
    EXPECT_EQ(read, Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    std::string guide = Bytes({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03});
    AppendChecksum(guide, EChecksum::Crc16Modbus, EByteOrder::LowFirst);
    EXPECT_EQ(guide, Bytes({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
    // zlib's and Ethernet's CRC-32 of the pangram.
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc32, "The quick brown fox jumps over the lazy dog"),
              0x414FA339u);
    // A frame that carries its own CRC-32 (little-endian, as Ethernet and
    // zip do) leaves the well-known residue when the CRC runs over it all.
    std::string frame = "status?";
    AppendChecksum(frame, EChecksum::Crc32, EByteOrder::LowFirst);
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc32, frame), 0x2144DF1Cu);
    // A Modbus frame with its CRC appended checks to zero.
    EXPECT_EQ(ComputeChecksum(EChecksum::Crc16Modbus, read), 0u);
}

TEST(Checksums, AppendedInTheChosenByteOrder) {
    std::string high = "123456789";
    AppendChecksum(high, EChecksum::Crc16CcittFalse, EByteOrder::HighFirst);
    EXPECT_EQ(high.substr(9), Bytes({0x29, 0xB1}));
    std::string low = "123456789";
    AppendChecksum(low, EChecksum::Crc32, EByteOrder::LowFirst);
    EXPECT_EQ(low.substr(9), Bytes({0x26, 0x39, 0xF4, 0xCB}));
    std::string big = "123456789";
    AppendChecksum(big, EChecksum::Crc32, EByteOrder::HighFirst);
    EXPECT_EQ(big.substr(9), Bytes({0xCB, 0xF4, 0x39, 0x26}));
    // One byte has no order; none adds nothing.
    std::string one = "123456789";
    AppendChecksum(one, EChecksum::Sum8, EByteOrder::LowFirst);
    EXPECT_EQ(one.substr(9), Bytes({0xDD}));
    std::string none = "abc";
    AppendChecksum(none, EChecksum::None, EByteOrder::HighFirst);
    EXPECT_EQ(none, "abc");
    // Every byte value takes part: the sums wrap, nothing stops at a NUL.
    EXPECT_EQ(ComputeChecksum(EChecksum::Sum8, Bytes({0xFF, 0x02, 0x00, 0x01})), 0x02u);
    EXPECT_EQ(ComputeChecksum(EChecksum::Xor8, Bytes({0xFF, 0x00, 0x0F})), 0xF0u);
}

TEST(Checksums, FileKeysReadInAnyCaseAndUnknownOnesAreNone) {
    for (const SChecksumInfo& info : kChecksums) {
        ASSERT_EQ(ChecksumFromKey(info.key), info.kind) << info.key;
        EXPECT_EQ(&ChecksumInfo(info.kind), &info);
    }
    EXPECT_EQ(ChecksumFromKey("CRC-16/MODBUS"), EChecksum::Crc16Modbus);
    EXPECT_EQ(ChecksumFromKey("Crc-32"), EChecksum::Crc32);
    EXPECT_FALSE(ChecksumFromKey("crc-64/xz").has_value());
    EXPECT_FALSE(ChecksumFromKey("crc-16").has_value());
    EXPECT_FALSE(ChecksumFromKey("").has_value());
}

}  // namespace
}  // namespace quillpad
