#include "input/Checksums.h"

namespace quillpad {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::uint8_t Crc8Smbus(std::string_view bytes) {
    std::uint8_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
        }
    }
    return crc;
}

std::uint16_t Crc16Modbus(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
    }
    return crc;
}

std::uint16_t Crc16CcittFalse(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

// Byte-wise through a table: a panel may checksum long frames every 10 ms.
struct SCrc32Table {
    std::array<std::uint32_t, 256> entries{};
    constexpr SCrc32Table() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            }
            entries[i] = value;
        }
    }
};
constexpr SCrc32Table kCrc32Table;

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc = kCrc32Table.entries[(crc ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace

const SChecksumInfo& ChecksumInfo(EChecksum kind) {
    for (const SChecksumInfo& info : kChecksums) {
        if (info.kind == kind) {
            return info;
        }
    }
    return kChecksums.front();
}

std::optional<EChecksum> ChecksumFromKey(std::string_view key) {
    for (const SChecksumInfo& info : kChecksums) {
        const std::string_view known = info.key;
        if (known.size() != key.size()) {
            continue;
        }
        bool same = true;
        for (std::size_t i = 0; i < key.size() && same; ++i) {
            same = LowerAscii(key[i]) == known[i];
        }
        if (same) {
            return info.kind;
        }
    }
    return std::nullopt;
}

std::uint32_t ComputeChecksum(EChecksum kind, std::string_view bytes) {
    switch (kind) {
        case EChecksum::None:
            return 0;
        case EChecksum::Sum8: {
            std::uint8_t sum = 0;
            for (const char c : bytes) {
                sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
            }
            return sum;
        }
        case EChecksum::Xor8: {
            std::uint8_t sum = 0;
            for (const char c : bytes) {
                sum ^= static_cast<std::uint8_t>(c);
            }
            return sum;
        }
        case EChecksum::Crc8:
            return Crc8Smbus(bytes);
        case EChecksum::Crc16Modbus:
            return Crc16Modbus(bytes);
        case EChecksum::Crc16CcittFalse:
            return Crc16CcittFalse(bytes);
        case EChecksum::Crc32:
            return Crc32(bytes);
    }
    return 0;
}

void AppendChecksum(std::string& bytes, EChecksum kind, EByteOrder order) {
    const std::size_t width = ChecksumInfo(kind).width;
    const std::uint32_t value = ComputeChecksum(kind, bytes);
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t shift = 8 * (order == EByteOrder::LowFirst ? i : width - 1 - i);
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

}  // namespace quillpad
