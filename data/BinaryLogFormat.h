#pragma once
// The binary console log ("wblog"): a 56-byte header, then records of a
// 24-byte head plus, for kind 1, a 4-byte length and the data. Little-endian,
// no padding, no trailer, no checksum.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/SDataRecord.h"
#include "platform/LocalTime.h"

namespace quillpad {

inline constexpr std::string_view kBinaryLogName = "Workbay Binary Console Log File";
inline constexpr std::uint32_t kBinaryLogVersion = 1;
inline constexpr std::size_t kBinaryLogHeaderSize = 56;
inline constexpr std::size_t kBinaryLogHeadSize = 24;
inline constexpr std::size_t kBinaryLogLengthSize = 4;
inline constexpr std::string_view kBinaryLogExtension = "wblog";

struct SBinaryLogHeader {
    std::array<char, 32> name{};
    std::uint32_t version = 0;
    SSystemTime startTime;
    std::uint32_t startTick = 0;
};

// The header for a store's time base; the start time's milliseconds are 0.
SBinaryLogHeader MakeBinaryLogHeader(std::int64_t startTime, std::uint32_t startTick);

std::array<char, kBinaryLogHeaderSize> EncodeBinaryLogHeader(const SBinaryLogHeader& header);
SBinaryLogHeader DecodeBinaryLogHeader(const char* bytes);

// Empty when the header is one this reader takes; otherwise why not.
std::optional<std::string> CheckBinaryLogHeader(const SBinaryLogHeader& header);

// Appends the record as the log holds it: head, then for kind 1 the length
// and the data bytes.
void AppendBinaryLogRecord(std::string& out, const SDataRecord& record);
// The same without the data bytes: the head and, for kind 1, the length,
// for a writer that takes the data from where it lies.
void AppendBinaryLogHead(std::string& out, const SDataRecord& record);

inline std::uint32_t ReadLe32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t{u[0]} | std::uint32_t{u[1]} << 8 | std::uint32_t{u[2]} << 16 |
           std::uint32_t{u[3]} << 24;
}
inline std::uint16_t ReadLe16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(u[0] | u[1] << 8);
}
inline void WriteLe32(char* p, std::uint32_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
    p[2] = static_cast<char>((v >> 16) & 0xFF);
    p[3] = static_cast<char>((v >> 24) & 0xFF);
}

// The offset of the data record `steps` data records on from the one at
// `offset`, in bytes that `window` holds from offset `from`. A log may hold
// heads of other kinds between data records: they are stepped over.
inline std::uint64_t StepDataRecords(const char* window, std::uint64_t from, std::uint64_t offset,
                                     std::size_t steps) {
    while (steps > 0) {
        const char* head = window + (offset - from);
        if (ReadLe32(head) != kDataRecordKind) {
            offset += kBinaryLogHeadSize;
            continue;
        }
        offset += kBinaryLogHeadSize + kBinaryLogLengthSize + ReadLe32(head + kBinaryLogHeadSize);
        --steps;
    }
    while (ReadLe32(window + (offset - from)) != kDataRecordKind) {
        offset += kBinaryLogHeadSize;
    }
    return offset;
}
inline void WriteLe16(char* p, std::uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace quillpad
