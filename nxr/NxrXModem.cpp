#include "nxr/NxrXModem.h"

#include <array>

namespace quillpad {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr auto kCrcTable = MakeCrcTable();

}  // namespace

std::uint16_t XModemCrc16(std::string_view bytes, std::uint16_t crc) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
    }
    return crc;
}

unsigned char XModemChecksum(std::string_view bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    return static_cast<unsigned char>(sum & 0xFF);
}

}  // namespace quillpad
