#pragma once
// Checksums a send can carry at its end, as devices check them: two simple
// 8-bit sums and four CRCs with the parameters of the published catalogue
// (each gives its catalogue check value for "123456789").
//
//   sum-8               the bytes added, modulo 256             check 0xDD
//   XOR-8               the bytes exclusive-ored                check 0x31
//   CRC-8 (SMBus)       poly 0x07, init 0, not reflected        check 0xF4
//   CRC-16/Modbus       poly 0x8005 reflected, init 0xFFFF      check 0x4B37
//   CRC-16/CCITT-FALSE  poly 0x1021, init 0xFFFF, not reflected check 0x29B1
//   CRC-32              poly 0x04C11DB7 reflected, init and
//                       final xor 0xFFFFFFFF (zlib, Ethernet)   check 0xCBF43926

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillpad {

enum class EChecksum { None, Sum8, Xor8, Crc8, Crc16Modbus, Crc16CcittFalse, Crc32 };

// Which byte of a checksum wider than one byte goes out first.
enum class EByteOrder { HighFirst, LowFirst };

struct SChecksumInfo {
    EChecksum kind;
    const char* key;    // in panel files; read in any letter case
    const char* label;  // as the send panel shows it
    std::size_t width;  // bytes appended
};

inline constexpr std::array<SChecksumInfo, 7> kChecksums = {{
    {EChecksum::None, "none", "None", 0},
    {EChecksum::Sum8, "sum-8", "Sum-8", 1},
    {EChecksum::Xor8, "xor-8", "XOR-8", 1},
    {EChecksum::Crc8, "crc-8", "CRC-8 (SMBus)", 1},
    {EChecksum::Crc16Modbus, "crc-16/modbus", "CRC-16/Modbus", 2},
    {EChecksum::Crc16CcittFalse, "crc-16/ccitt-false", "CRC-16/CCITT-FALSE", 2},
    {EChecksum::Crc32, "crc-32", "CRC-32", 4},
}};

const SChecksumInfo& ChecksumInfo(EChecksum kind);
// The checksum a file's key names (ASCII letters in any case); none for a
// name this program does not know.
std::optional<EChecksum> ChecksumFromKey(std::string_view key);

// The checksum of the bytes, in the low bits.
std::uint32_t ComputeChecksum(EChecksum kind, std::string_view bytes);

// Appends the checksum of `bytes` to them in the chosen order; nothing for
// EChecksum::None.
void AppendChecksum(std::string& bytes, EChecksum kind, EByteOrder order);

}  // namespace quillpad
