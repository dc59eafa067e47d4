#include "data/BinaryLogReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillpad {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr std::size_t kSmallestBuffer = 256;
// Data of a source of unknown size is taken in steps that start here and
// double, so memory grows only with the bytes that really arrive.
constexpr std::size_t kUnknownSizeStep = std::size_t{1} << 16;

// No bigger than the source needs: small files are read often (the fuzzer).
std::size_t BufferBytesFor(const IByteSource& source) {
    const auto remaining = source.Remaining();
    if (!remaining) {
        return kUnknownSizeStep;
    }
    return static_cast<std::size_t>(
        std::clamp<std::uint64_t>(*remaining, kSmallestBuffer, kBufferBytes));
}

}  // namespace

std::unique_ptr<CFileByteSource> CFileByteSource::Open(const std::string& path,
                                                       std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open the file: " + std::string(std::strerror(errno));
        return nullptr;
    }
    // Pipes and devices cannot seek; their size stays unknown.
    std::optional<std::uint64_t> size;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end >= 0 && std::fseek(file, 0, SEEK_SET) == 0) {
            size = static_cast<std::uint64_t>(end);
        }
    }
    if (!size) {
        std::clearerr(file);
    }
    return std::unique_ptr<CFileByteSource>(new CFileByteSource(file, size));
}

CFileByteSource::CFileByteSource(std::FILE* file, std::optional<std::uint64_t> size)
    : m_file(file), m_size(size) {}

CFileByteSource::~CFileByteSource() {
    std::fclose(m_file);
}

std::size_t CFileByteSource::Read(char* out, std::size_t size) {
    const std::size_t n = std::fread(out, 1, size, m_file);
    m_read += n;
    return n;
}

std::optional<std::uint64_t> CFileByteSource::Remaining() const {
    if (!m_size) {
        return std::nullopt;
    }
    // A file that grew or shrank since it was opened: the reads decide.
    return *m_size > m_read ? *m_size - m_read : 0;
}

std::size_t CMemoryByteSource::Read(char* out, std::size_t size) {
    const std::size_t n = std::min(size, m_bytes.size());
    if (n != 0) {
        std::memcpy(out, m_bytes.data(), n);
    }
    m_bytes.remove_prefix(n);
    return n;
}

std::optional<std::uint64_t> CMemoryByteSource::Remaining() const {
    if (!m_sizeKnown) {
        return std::nullopt;
    }
    return m_bytes.size();
}

CBinaryLogReader::CBinaryLogReader(IByteSource& source)
    : m_source(source),
      m_bufferBytes(BufferBytesFor(source)),
      m_buffer(std::make_unique_for_overwrite<char[]>(m_bufferBytes)) {}

CBinaryLogReader::~CBinaryLogReader() = default;

std::size_t CBinaryLogReader::Fill(std::size_t size) {
    if (m_end - m_pos >= size) {
        return size;
    }
    if (m_pos != 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    while (m_end < size) {
        const std::size_t n = m_source.Read(m_buffer.get() + m_end, m_bufferBytes - m_end);
        if (n == 0) {
            break;
        }
        m_end += n;
    }
    return std::min(size, m_end);
}

std::size_t CBinaryLogReader::ReadInto(char* out, std::size_t size) {
    const std::size_t buffered = std::min(size, m_end - m_pos);
    if (buffered != 0) {
        std::memcpy(out, m_buffer.get() + m_pos, buffered);
        m_pos += buffered;
    }
    std::size_t done = buffered;
    // Large data goes straight from the source to its place.
    while (done < size) {
        const std::size_t n = m_source.Read(out + done, size - done);
        if (n == 0) {
            break;
        }
        done += n;
    }
    return done;
}

std::optional<std::uint64_t> CBinaryLogReader::Remaining() const {
    const auto rest = m_source.Remaining();
    if (!rest) {
        return std::nullopt;
    }
    return *rest + (m_end - m_pos);
}

bool CBinaryLogReader::ReadHeader(SBinaryLogLoad& result) {
    if (Fill(kBinaryLogHeaderSize) < kBinaryLogHeaderSize) {
        result.error = "the file is shorter than the 56-byte header";
        return false;
    }
    result.header = DecodeBinaryLogHeader(m_buffer.get() + m_pos);
    m_pos += kBinaryLogHeaderSize;
    if (auto error = CheckBinaryLogHeader(result.header)) {
        result.error = std::move(*error);
        return false;
    }
    return true;
}

void CBinaryLogReader::ReadRecords(CRecordArena& arena, SBinaryLogLoad& result) {
    constexpr std::size_t kHeadAndLength = kBinaryLogHeadSize + kBinaryLogLengthSize;
    for (;;) {
        const std::size_t got = Fill(kHeadAndLength);
        if (got < kBinaryLogHeadSize) {
            // The end, or a head cut short: the partial head is dropped.
            result.truncated = got != 0;
            result.droppedBytes = got;
            m_pos += got;
            return;
        }
        const char* head = m_buffer.get() + m_pos;
        const std::uint32_t kind = ReadLe32(head);
        if (kind != kDataRecordKind) {
            m_pos += kBinaryLogHeadSize;  // a head with no payload
            ++result.otherHeads;
            continue;
        }
        if (got < kHeadAndLength) {
            result.truncated = true;
            result.droppedBytes = got;
            m_pos += got;
            return;
        }
        const std::uint32_t tick = ReadLe32(head + 8);
        const std::uint32_t ownerId = ReadLe32(head + 12);
        const std::uint32_t direction = ReadLe32(head + 16);
        const std::uint32_t source = ReadLe32(head + 20);
        const std::uint32_t length = ReadLe32(head + 24);
        m_pos += kHeadAndLength;

        const auto remaining = Remaining();
        if (remaining && *remaining < length) {
            // Declared longer than what is left: nothing is allocated for it.
            result.truncated = true;
            result.droppedBytes = kHeadAndLength + *remaining;
            return;
        }
        if (remaining) {
            char* room = arena.Reserve(length);
            const std::size_t read = ReadInto(room, length);
            if (read < length) {  // the file shrank while we read it
                arena.Abandon();
                result.truncated = true;
                result.droppedBytes = kHeadAndLength + read;
                return;
            }
            arena.Commit(tick, ownerId, direction, source, length);
        } else {
            std::string data;
            std::size_t read = 0;
            std::size_t nextStep = kUnknownSizeStep;
            while (read < length) {
                const std::size_t step = std::min<std::size_t>(length - read, nextStep);
                nextStep *= 2;
                data.resize(read + step);
                const std::size_t n = ReadInto(data.data() + read, step);
                read += n;
                if (n < step) {
                    result.truncated = true;
                    result.droppedBytes = kHeadAndLength + read;
                    return;
                }
            }
            arena.Append(tick, ownerId, direction, source, data);
        }
        ++result.records;
    }
}

}  // namespace quillpad
