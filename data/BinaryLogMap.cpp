#include "data/BinaryLogMap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data/BinaryLogFormat.h"
#include "data/BinaryLogReader.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

constexpr std::size_t kHeadAndLength = kBinaryLogHeadSize + kBinaryLogLengthSize;
// How often an index pass reports where it is.
constexpr std::uint64_t kIndexReportBytes = std::uint64_t{64} << 20;

}  // namespace

std::unique_ptr<CBinaryLogMap> CBinaryLogMap::Open(const std::string& path, std::string& error,
                                                   EOpen& outcome) {
    outcome = EOpen::Failed;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the file: " + std::string(std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        // An empty file maps to nothing; the stream reader says why it is refused.
        ::close(fd);
        outcome = EOpen::NotMappable;
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* bytes = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);  // the mapping keeps the file
    if (bytes == MAP_FAILED) {
        outcome = EOpen::NotMappable;
        return nullptr;
    }
    ::madvise(bytes, size, MADV_SEQUENTIAL);
    outcome = EOpen::Mapped;
    return std::unique_ptr<CBinaryLogMap>(
        new CBinaryLogMap(static_cast<const char*>(bytes), size, st.st_dev, st.st_ino));
}

CBinaryLogMap::~CBinaryLogMap() {
    ::munmap(const_cast<char*>(m_bytes), m_size);
}

bool CBinaryLogMap::IsFile(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode;
}

std::unique_ptr<CBinaryLogMap> CBinaryLogMap::Copy(const std::string& folder,
                                                   std::string& error) const {
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
    std::size_t done = 0;
    while (done < m_size) {
        const ssize_t n =
            ::write(fd, m_bytes + done, std::min<std::size_t>(m_size - done, 1 << 20));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd);
            return nullptr;
        }
        done += static_cast<std::size_t>(n);
    }
    DropPages();
    struct stat st {};
    void* bytes =
        ::fstat(fd, &st) == 0 ? ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    const int why = errno;
    ::close(fd);
    if (bytes == MAP_FAILED) {
        error = path + ": " + std::strerror(why);
        return nullptr;
    }
    return std::unique_ptr<CBinaryLogMap>(
        new CBinaryLogMap(static_cast<const char*>(bytes), m_size, st.st_dev, st.st_ino));
}

void CBinaryLogMap::DropPages() const {
    ::madvise(const_cast<char*>(m_bytes), m_size, MADV_DONTNEED);
}

bool BeginBinaryLogIndex(std::string_view log, SBinaryLogLoad& result, SBinaryLogIndex& index) {
    index = SBinaryLogIndex{};
    if (log.size() < kBinaryLogHeaderSize) {
        result.error = "the file is shorter than the 56-byte header";
        return false;
    }
    result.header = DecodeBinaryLogHeader(log.data());
    if (auto error = CheckBinaryLogHeader(result.header)) {
        result.error = std::move(*error);
        return false;
    }
    index.scanned = kBinaryLogHeaderSize;
    return true;
}

void ContinueBinaryLogIndex(std::string_view log, std::size_t step, SBinaryLogLoad& result,
                            SBinaryLogIndex& index, std::uint64_t bytes,
                            const std::function<void(std::uint64_t)>& between) {
    if (index.complete || index.scanned < kBinaryLogHeaderSize) {
        return;
    }
    const char* data = log.data();
    const std::uint64_t size = log.size();
    std::uint64_t offset = index.scanned;
    const std::uint64_t stop = size - offset > bytes ? offset + bytes : size;
    std::uint64_t nextReport = offset + kIndexReportBytes;
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
        const char* head = data + offset;
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
        if (between && offset >= nextReport) {
            between(offset);
            nextReport = offset + kIndexReportBytes;
        }
    }
    index.scanned = offset;
    result.records = index.count;
}

bool IndexBinaryLog(std::string_view log, std::size_t step, SBinaryLogLoad& result,
                    SBinaryLogIndex& index, const std::function<void(std::uint64_t)>& between) {
    if (!BeginBinaryLogIndex(log, result, index)) {
        return false;
    }
    ContinueBinaryLogIndex(log, step, result, index, log.size(), between);
    return true;
}

}  // namespace quillpad
