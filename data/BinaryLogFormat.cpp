#include "data/BinaryLogFormat.h"

#include <algorithm>
#include <cstring>

namespace quillpad {

SBinaryLogHeader MakeBinaryLogHeader(std::int64_t startTime, std::uint32_t startTick) {
    SBinaryLogHeader header;
    std::copy(kBinaryLogName.begin(), kBinaryLogName.end(), header.name.begin());
    header.version = kBinaryLogVersion;
    // A time the system cannot convert leaves the fields 0; such a file is
    // refused on reading rather than given an invented date.
    if (const auto local = ToLocalSystemTime(startTime)) {
        header.startTime = *local;
    }
    header.startTime.wMilliseconds = 0;
    header.startTick = startTick;
    return header;
}

std::array<char, kBinaryLogHeaderSize> EncodeBinaryLogHeader(const SBinaryLogHeader& header) {
    std::array<char, kBinaryLogHeaderSize> out{};
    std::memcpy(out.data(), header.name.data(), header.name.size());
    WriteLe32(out.data() + 32, header.version);
    const SSystemTime& t = header.startTime;
    const std::uint16_t fields[8] = {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                                     t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
    for (std::size_t i = 0; i < 8; ++i) {
        WriteLe16(out.data() + 36 + 2 * i, fields[i]);
    }
    WriteLe32(out.data() + 52, header.startTick);
    return out;
}

SBinaryLogHeader DecodeBinaryLogHeader(const char* bytes) {
    SBinaryLogHeader header;
    std::memcpy(header.name.data(), bytes, header.name.size());
    header.version = ReadLe32(bytes + 32);
    SSystemTime& t = header.startTime;
    t.wYear = ReadLe16(bytes + 36);
    t.wMonth = ReadLe16(bytes + 38);
    t.wDayOfWeek = ReadLe16(bytes + 40);
    t.wDay = ReadLe16(bytes + 42);
    t.wHour = ReadLe16(bytes + 44);
    t.wMinute = ReadLe16(bytes + 46);
    t.wSecond = ReadLe16(bytes + 48);
    t.wMilliseconds = ReadLe16(bytes + 50);
    header.startTick = ReadLe32(bytes + 52);
    return header;
}

std::optional<std::string> CheckBinaryLogHeader(const SBinaryLogHeader& header) {
    // The name compares as a NUL-terminated string: the 31 characters and the
    // NUL that ends them; nothing after that NUL counts.
    const std::string_view field(header.name.data(), header.name.size());
    if (field.substr(0, kBinaryLogName.size()) != kBinaryLogName ||
        field[kBinaryLogName.size()] != '\0') {
        return std::string("not a Workbay binary console log (the header's name is wrong)");
    }
    if (header.version != kBinaryLogVersion) {
        return "unsupported log version " + std::to_string(header.version) + " (expected " +
               std::to_string(kBinaryLogVersion) + ")";
    }
    if (!FromLocalSystemTime(header.startTime)) {
        return std::string("the header's start time is not a valid date and time");
    }
    return std::nullopt;
}

namespace {

char* AppendHead(std::string& out, const SDataRecord& record, std::size_t dataBytes) {
    const bool data = record.kind == kDataRecordKind;
    const std::size_t at = out.size();
    out.resize(at + kBinaryLogHeadSize + (data ? kBinaryLogLengthSize + dataBytes : 0));
    char* p = out.data() + at;
    WriteLe32(p + 0, record.kind);
    WriteLe32(p + 4, record.sequence);
    WriteLe32(p + 8, record.tick);
    WriteLe32(p + 12, record.ownerId);
    WriteLe32(p + 16, record.direction);
    WriteLe32(p + 20, record.source);
    if (!data) {
        return nullptr;
    }
    WriteLe32(p + 24, static_cast<std::uint32_t>(record.bytes.size()));
    return p + kBinaryLogHeadSize + kBinaryLogLengthSize;
}

}  // namespace

void AppendBinaryLogRecord(std::string& out, const SDataRecord& record) {
    char* bytes = AppendHead(out, record, record.bytes.size());
    if (bytes != nullptr && !record.bytes.empty()) {
        std::memcpy(bytes, record.bytes.data(), record.bytes.size());
    }
}

void AppendBinaryLogHead(std::string& out, const SDataRecord& record) {
    AppendHead(out, record, 0);
}

}  // namespace quillpad
