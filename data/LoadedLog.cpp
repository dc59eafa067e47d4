#include "data/LoadedLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "data/BinaryLogFormat.h"
#include "data/BinaryLogReader.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

constexpr std::size_t kHeadAndLength = kBinaryLogHeadSize + kBinaryLogLengthSize;
// A pass reads this much at a time (a whole number of check blocks).
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
static_assert(kChunkBytes % kCheckBlockBytes == 0);

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;

std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint64_t Round(std::uint64_t lane, std::uint64_t word) {
    return std::rotl(lane + word * kPrime2, 31) * kPrime1;
}

// Reads a log in chunks that start on a check block and hashes every block
// once, in order, so the hashes have no gaps whatever the pass skips.
class CPassReader {
  public:
    CPassReader(const SLogSource& log, SBinaryLogIndex& index)
        : m_log(log),
          m_index(index),
          m_capacity(static_cast<std::size_t>(std::min<std::uint64_t>(
              kChunkBytes,
              (log.size + kCheckBlockBytes - 1) / kCheckBlockBytes * kCheckBlockBytes))),
          m_buffer(std::make_unique_for_overwrite<char[]>(m_capacity)) {}

    // `size` bytes at `offset` (within the log's size), or null when the log
    // came back shorter (index.cut is then set).
    const char* At(std::uint64_t offset, std::size_t size) {
        while (offset < m_start || offset + size > m_end) {
            const std::uint64_t hashed = m_index.hashes.size() * kCheckBlockBytes;
            if (!Load(std::min(offset / kCheckBlockBytes * kCheckBlockBytes, hashed))) {
                return nullptr;
            }
        }
        return m_buffer.get() + (offset - m_start);
    }

    // Hashes on up to `end`; false when the log came back shorter.
    bool HashTo(std::uint64_t end) {
        while (std::min<std::uint64_t>(m_index.hashes.size() * kCheckBlockBytes, m_log.size) <
               end) {
            if (!Load(m_index.hashes.size() * kCheckBlockBytes)) {
                return false;
            }
        }
        return true;
    }

  private:
    bool Load(std::uint64_t from) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_capacity, m_log.size - from));
        const std::size_t got = m_log.readAt(from, m_buffer.get(), want);
        m_start = from;
        m_end = from + got;
        for (std::uint64_t b = m_index.hashes.size();; ++b) {
            const std::uint64_t begin = b * kCheckBlockBytes;
            const std::uint64_t end = std::min(begin + kCheckBlockBytes, m_log.size);
            if (begin >= end || end > m_end) {
                break;
            }
            m_index.hashes.push_back(CheckHash(m_buffer.get() + (begin - from), end - begin));
        }
        if (got < want) {
            m_index.cut = true;
            return false;
        }
        return true;
    }

    const SLogSource& m_log;
    SBinaryLogIndex& m_index;
    std::size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    std::uint64_t m_start = 0;
    std::uint64_t m_end = 0;
};

}  // namespace

std::uint64_t CheckHash(const char* bytes, std::size_t size) {
    // Four independent lanes, so the multiplies overlap: several GB/s.
    std::uint64_t a = kPrime1 + kPrime2;
    std::uint64_t b = kPrime2;
    std::uint64_t c = 0;
    std::uint64_t d = 0 - kPrime1;
    const char* p = bytes;
    const char* end = bytes + size;
    for (; end - p >= 32; p += 32) {
        a = Round(a, Load64(p));
        b = Round(b, Load64(p + 8));
        c = Round(c, Load64(p + 16));
        d = Round(d, Load64(p + 24));
    }
    std::uint64_t h = std::rotl(a, 1) + std::rotl(b, 7) + std::rotl(c, 12) + std::rotl(d, 18);
    h += size;
    for (; end - p >= 8; p += 8) {
        h = std::rotl(h ^ Round(0, Load64(p)), 27) * kPrime1 + kPrime3;
    }
    for (; p < end; ++p) {
        h = std::rotl(h ^ (static_cast<unsigned char>(*p) * kPrime3), 11) * kPrime1;
    }
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    return h ^ (h >> 32);
}

std::unique_ptr<CLoadedLog> CLoadedLog::Open(const std::string& path, std::string& error,
                                             EOpen& outcome) {
    outcome = EOpen::Failed;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the file: " + std::string(std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        // An empty file has nothing to index; the stream reader says why it is refused.
        ::close(fd);
        outcome = EOpen::NotRegular;
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    outcome = EOpen::Opened;
    return std::unique_ptr<CLoadedLog>(
        new CLoadedLog(fd, static_cast<std::uint64_t>(st.st_size), st.st_dev, st.st_ino));
}

CLoadedLog::~CLoadedLog() {
    ::close(m_fd);
}

std::uint64_t CLoadedLog::CurrentSize() const {
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::size_t CLoadedLog::ReadAt(std::uint64_t offset, char* out, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the end, or an error: either way no more bytes
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool CLoadedLog::IsFile(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode;
}

std::unique_ptr<CLoadedLog> CLoadedLog::Copy(const std::string& folder, std::string& error) const {
    if (!EnsureFolder(folder, EFileAccess::Private)) {
        error = "cannot create " + folder;
        return nullptr;
    }
    std::string path = PathCombine(folder, "loaded-XXXXXX");
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    ::unlink(path.c_str());
    // What the file holds now: bytes changed meanwhile fail their check later.
    auto buffer = std::make_unique_for_overwrite<char[]>(kChunkBytes);
    std::uint64_t done = 0;
    while (done < m_size) {
        const std::size_t got =
            ReadAt(done, buffer.get(),
                   static_cast<std::size_t>(std::min<std::uint64_t>(m_size - done, kChunkBytes)));
        if (got == 0) {
            break;
        }
        for (std::size_t written = 0; written < got;) {
            const ssize_t n = ::write(fd, buffer.get() + written, got - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error = path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
                ::close(fd);
                return nullptr;
            }
            written += static_cast<std::size_t>(n);
        }
        done += got;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<CLoadedLog>(new CLoadedLog(fd, m_size, st.st_dev, st.st_ino));
}

SLogSource LogSourceOf(const CLoadedLog& log) {
    return SLogSource{log.Size(), [&log](std::uint64_t offset, char* out, std::size_t size) {
                          return log.ReadAt(offset, out, size);
                      }};
}

SLogSource LogSourceOf(std::string_view bytes) {
    return SLogSource{
        bytes.size(), [bytes](std::uint64_t offset, char* out, std::size_t size) {
            const std::size_t n =
                offset < bytes.size() ? std::min<std::size_t>(size, bytes.size() - offset) : 0;
            if (n != 0) {
                std::memcpy(out, bytes.data() + offset, n);
            }
            return n;
        }};
}

bool BeginBinaryLogIndex(const SLogSource& log, SBinaryLogLoad& result, SBinaryLogIndex& index) {
    index = SBinaryLogIndex{};
    char header[kBinaryLogHeaderSize];
    if (log.size < kBinaryLogHeaderSize ||
        log.readAt(0, header, kBinaryLogHeaderSize) < kBinaryLogHeaderSize) {
        result.error = "the file is shorter than the 56-byte header";
        return false;
    }
    result.header = DecodeBinaryLogHeader(header);
    if (auto error = CheckBinaryLogHeader(result.header)) {
        result.error = std::move(*error);
        return false;
    }
    index.scanned = kBinaryLogHeaderSize;
    return true;
}

void ContinueBinaryLogIndex(const SLogSource& log, std::size_t step, SBinaryLogLoad& result,
                            SBinaryLogIndex& index, std::uint64_t bytes) {
    if (index.complete || index.scanned < kBinaryLogHeaderSize) {
        return;
    }
    CPassReader reader(log, index);
    const std::uint64_t size = log.size;
    std::uint64_t offset = index.scanned;
    const std::uint64_t stop = size - offset > bytes ? offset + bytes : size;
    // Records until the next sparse entry (one division a part, not one a record).
    std::size_t toSparse = index.count % step == 0 ? 0 : step - index.count % step;
    while (offset < stop || offset == size) {
        const std::uint64_t left = size - offset;
        if (left < kBinaryLogHeadSize) {
            // The end, or a head cut short: the partial head is dropped.
            result.truncated = left != 0;
            result.droppedBytes = left;
            index.complete = true;
            break;
        }
        const char* head = reader.At(offset, std::min<std::uint64_t>(left, kHeadAndLength));
        if (head == nullptr) {
            break;  // cut by another program: the log ends at what was read
        }
        if (ReadLe32(head) != kDataRecordKind) {
            offset += kBinaryLogHeadSize;  // a head with no payload
            ++result.otherHeads;
            continue;
        }
        if (left < kHeadAndLength) {
            result.truncated = true;
            result.droppedBytes = left;
            index.complete = true;
            break;
        }
        const std::uint32_t length = ReadLe32(head + kBinaryLogHeadSize);
        if (left - kHeadAndLength < length) {
            result.truncated = true;
            result.droppedBytes = left;
            index.complete = true;
            break;
        }
        if (index.count == 0) {
            index.first = offset;
        }
        if (toSparse == 0) {
            index.sparse.push_back(offset - index.first);
            toSparse = step;
        }
        --toSparse;
        ++index.count;
        offset += kHeadAndLength + length;
        index.end = offset;
    }
    index.scanned = offset;
    // Every record found can be checked, the bytes of the last one too.
    if (!index.cut) {
        reader.HashTo(index.end);
    }
    if (index.cut) {
        index.complete = true;
    }
    result.records = index.count;
}

bool IndexBinaryLog(const SLogSource& log, std::size_t step, SBinaryLogLoad& result,
                    SBinaryLogIndex& index) {
    if (!BeginBinaryLogIndex(log, result, index)) {
        return false;
    }
    ContinueBinaryLogIndex(log, step, result, index, log.size);
    return true;
}

}  // namespace quillpad
