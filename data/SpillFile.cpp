#include "data/SpillFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "data/BinaryLogFormat.h"
#include "data/LogRequest.h"
#include "platform/FileIO.h"
#include "platform/LocalTime.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

constexpr std::string_view kSpillPrefix = "console-";
constexpr std::string_view kLinkExtension = ".link";
// A sidecar is one spec; anything longer is not ours.
constexpr std::size_t kMaxLinkBytes = 4096;

std::uint64_t PageSize() {
    static const auto size = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return size;
}

bool IsSpillName(std::string_view name) {
    const std::string extension = "." + std::string(kBinaryLogExtension);
    return name.starts_with(kSpillPrefix) && name.size() > extension.size() &&
           name.ends_with(extension);
}

// Puts what was written to `path` on the disk.
bool SyncFile(const std::string& path, std::error_code& failed) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    if (!synced) {
        failed = std::error_code(errno, std::generic_category());
    }
    if (fd >= 0) {
        close(fd);
    }
    return synced;
}

// A spill file is made under this name and takes its own once it is locked,
// so that a file under a spill name is never one nobody holds yet.
constexpr std::string_view kNewSuffix = ".new";

bool IsNewSpillName(std::string_view name) {
    return name.ends_with(kNewSuffix) &&
           IsSpillName(name.substr(0, name.size() - kNewSuffix.size()));
}

// Gives the file at `made` the name `path` too, never over another file: 0,
// or the errno.
int TakeName(const std::string& made, const std::string& path) {
    if (link(made.c_str(), path.c_str()) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EPERM && error != EOPNOTSUPP) {
        return error;
    }
    // A file system without hard links: a rename, which keeps the lock.
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
        return EEXIST;
    }
    return rename(made.c_str(), path.c_str()) == 0 ? 0 : errno;
}

// Less than a header and one record's head: a console that died before it
// had spilled a record, with nothing to recover.
constexpr std::uint64_t kLeastRecordBytes = kBinaryLogHeaderSize + kBinaryLogHeadSize;

}  // namespace

std::string DefaultSpillFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache != '\0') {
        return PathCombine(cache, "quillpad");
    }
    const char* home = std::getenv("HOME");
    return PathCombine(PathCombine(home != nullptr ? home : "/tmp", ".cache"), "quillpad");
}

std::vector<std::string> FindOrphanSpillFiles(const std::string& folder) {
    std::vector<std::string> orphans;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return orphans;
    }
    while (const dirent* entry = readdir(dir)) {
        const bool made = IsNewSpillName(entry->d_name);
        if (!made && !IsSpillName(entry->d_name)) {
            continue;
        }
        std::string path = PathCombine(folder, entry->d_name);
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            continue;
        }
        // A live console holds its file locked; a lock we get is nobody's.
        // Without a record the orphan goes now, under the lock, unasked.
        struct stat info {};
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &info) == 0) {
            if (made) {
                unlink(path.c_str());
            } else if (static_cast<std::uint64_t>(info.st_size) < kLeastRecordBytes) {
                RemoveSpillFile(path);
            } else {
                orphans.push_back(std::move(path));
            }
        }
        close(fd);
    }
    closedir(dir);
    std::sort(orphans.begin(), orphans.end());
    return orphans;
}

std::string SpillLinkPath(const std::string& path) {
    const std::string extension = "." + std::string(kBinaryLogExtension);
    const std::string_view stem =
        std::string_view(path).ends_with(extension)
            ? std::string_view(path).substr(0, path.size() - extension.size())
            : std::string_view(path);
    return std::string(stem) + std::string(kLinkExtension);
}

void RemoveSpillFile(const std::string& path) {
    unlink(path.c_str());
    unlink(SpillLinkPath(path).c_str());
}

std::vector<SOrphanSpill> DescribeOrphanSpillFiles(const std::string& folder) {
    std::vector<SOrphanSpill> described;
    for (std::string& path : FindOrphanSpillFiles(folder)) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            continue;  // taken by another console meanwhile
        }
        SOrphanSpill orphan;
        orphan.lastWrite = static_cast<std::int64_t>(info.st_mtim.tv_sec);
        orphan.bytes = static_cast<std::uint64_t>(info.st_size);
        std::string link;
        if (ReadWholeFile(SpillLinkPath(path), link, nullptr, kMaxLinkBytes)) {
            orphan.link = std::move(link);
        }
        orphan.path = std::move(path);
        described.push_back(std::move(orphan));
    }
    std::stable_sort(
        described.begin(), described.end(),
        [](const SOrphanSpill& a, const SOrphanSpill& b) { return a.lastWrite < b.lastWrite; });
    return described;
}

std::string KeepOrphanAsLog(const SOrphanSpill& orphan, const std::string& folder,
                            std::string& error) {
    namespace fs = std::filesystem;
    if (!EnsureFolder(folder, EFileAccess::Private)) {
        error = "cannot create " + folder;
        return {};
    }
    std::string target;
    for (int n = 1; n < 1000 && target.empty(); ++n) {
        const std::string name = n == 1 ? "Recovered" : "Recovered " + std::to_string(n);
        std::string candidate = BuildLogPaths(folder, name, orphan.lastWrite).binary;
        std::error_code ignored;
        if (!fs::exists(candidate, ignored)) {
            target = std::move(candidate);
        }
    }
    if (target.empty()) {
        error = "no free log name in " + folder;
        return {};
    }
    std::error_code failed;
    fs::rename(orphan.path, target, failed);
    if (failed == std::errc::cross_device_link) {
        // Another file system: a copy, and the orphan goes only once it is whole.
        failed.clear();
        if (!fs::copy_file(orphan.path, target, failed) || !SyncFile(target, failed)) {
            std::error_code ignored;
            fs::remove(target, ignored);
            error = target + ": " + failed.message();
            return {};
        }
        unlink(orphan.path.c_str());
    } else if (failed) {
        error = target + ": " + failed.message();
        return {};
    }
    unlink(SpillLinkPath(orphan.path).c_str());
    return target;
}

std::string ByteSizeText(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    // Rounded as shown: 1023.96 KB reads as 1.0 MB, not as 1024.0 KB.
    while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string RecoveryNotice(const SOrphanSpill& orphan, const std::string& kept,
                           const std::string& error, const std::string& spillFolder) {
    const std::string when = FormatCalendarSeconds("%Y-%m-%d %H:%M:%S", orphan.lastWrite);
    const std::string what =
        "The history of a console that closed unexpectedly (" +
        (orphan.link.empty() ? std::string("link not recorded") : orphan.link) + ", last written " +
        (when.empty() ? std::string("at an unknown time") : when) + ", " +
        ByteSizeText(orphan.bytes) + ")";
    if (!kept.empty()) {
        return what + " is kept as the log " + kept + "; Load Workbay Log... reviews it.";
    }
    return what + " could not be kept as a log (" + error + "); it stays in " + spillFolder +
           " and is taken at the next start.";
}

CSpillFile::CSpillFile(std::string path, int fd, WriteFunction write)
    : m_path(std::move(path)), m_fd(fd), m_write(std::move(write)) {
    m_thread = std::thread([this] { Run(); });
}

std::unique_ptr<CSpillFile> CSpillFile::Create(const std::string& folder, std::int64_t startTime,
                                               std::uint32_t startTick, std::string& error,
                                               WriteFunction write) {
    if (!EnsureFolder(folder, EFileAccess::Private)) {
        error = "cannot create " + folder;
        return nullptr;
    }
    // A name of this process that a dead one with the same pid may have left
    // is skipped by O_EXCL.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = std::string(kSpillPrefix) + std::to_string(getpid()) + "-" +
                                 std::to_string(counter++) + "." + std::string(kBinaryLogExtension);
        std::string path = PathCombine(folder, name);
        const std::string made = path + std::string(kNewSuffix);
        const int fd = open(made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error = made + ": " + std::strerror(errno);
            return nullptr;
        }
        // Another console's search may hold it for a moment (and remove
        // it): a name of its own then. link never replaces a dead console's
        // file of the same name.
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
        const int named = locked ? TakeName(made, path) : EAGAIN;
        unlink(made.c_str());
        if (named != 0) {
            close(fd);
            if (named == EAGAIN || named == EEXIST || named == ENOENT) {
                continue;
            }
            error = path + ": " + std::strerror(named);
            return nullptr;
        }
        std::unique_ptr<CSpillFile> file(new CSpillFile(std::move(path), fd, std::move(write)));
        auto header = std::make_unique<SPiece>();
        const auto bytes = EncodeBinaryLogHeader(MakeBinaryLogHeader(startTime, startTick));
        header->owned.assign(bytes.data(), bytes.size());
        header->views.emplace_back(header->owned);
        file->m_size = header->owned.size();
        file->Push(SJob{std::move(header), std::nullopt, true});
        return file;
    }
    error = "no free spill file name in " + folder;
    return nullptr;
}

CSpillFile::~CSpillFile() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    // The file goes at once; a write still in progress ends in the unlinked
    // file. The sidecar only after: a name written meanwhile would bring it
    // back.
    unlink(m_path.c_str());
    m_thread.join();
    unlink(SpillLinkPath(m_path).c_str());
    close(m_fd);
}

void CSpillFile::Push(SJob job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void CSpillFile::SetLink(const std::string& link) {
    Push(SJob{nullptr, link});
}

void CSpillFile::Queue(std::unique_ptr<SPiece> piece) {
    for (const std::string_view view : piece->views) {
        m_size += view.size();
    }
    Push(SJob{std::move(piece), std::nullopt});
}

bool CSpillFile::Collect(std::vector<std::unique_ptr<SPiece>>& written, std::string& error) {
    std::lock_guard lock(m_mutex);
    for (; m_done > 0; --m_done) {
        if (m_jobs.front().piece && !m_jobs.front().header) {
            written.push_back(std::move(m_jobs.front().piece));
        }
        m_jobs.pop_front();
    }
    if (m_failed) {
        error = m_error;
        return false;
    }
    return true;
}

void CSpillFile::Wait() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_failed || m_done == m_jobs.size(); });
}

void CSpillFile::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || (!m_failed && m_done < m_jobs.size()); });
        if (m_stop) {
            return;
        }
        // A deque's elements stay where they are while others come and go
        // at its ends, and the caller takes only those done.
        const SJob& job = m_jobs[m_done];
        lock.unlock();
        std::string error;
        bool ok = true;
        if (job.piece) {
            ok = Append(job.piece->views, error);
        } else {
            WriteLink(*job.link);
        }
        lock.lock();
        if (ok) {
            ++m_done;
        } else {
            m_failed = true;
            m_error = std::move(error);
        }
        m_idle.notify_all();
    }
}

void CSpillFile::WriteLink(const std::string& link) const {
    const std::string sidecar = SpillLinkPath(m_path);
    if (link.empty()) {
        unlink(sidecar.c_str());
    } else {
        WriteFileAtomically(sidecar, link, nullptr, EFileAccess::Private);
    }
}

bool CSpillFile::Append(const std::vector<std::string_view>& pieces, std::string& error) {
    m_gather.clear();
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) {
            m_gather.push_back(iovec{const_cast<char*>(piece.data()), piece.size()});
        }
    }
    std::size_t first = 0;
    while (first < m_gather.size()) {
        const auto count =
            static_cast<int>(std::min<std::size_t>(m_gather.size() - first, IOV_MAX));
        const ssize_t n = m_write ? m_write(m_fd, m_gather.data() + first, count)
                                  : writev(m_fd, m_gather.data() + first, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = m_path + ": " + (n < 0 ? std::strerror(errno) : "nothing was written");
            return false;
        }
        // A short write ends inside a piece: go on from there.
        auto left = static_cast<std::size_t>(n);
        while (first < m_gather.size() && left >= m_gather[first].iov_len) {
            left -= m_gather[first].iov_len;
            ++first;
        }
        if (left > 0) {
            m_gather[first].iov_base = static_cast<char*>(m_gather[first].iov_base) + left;
            m_gather[first].iov_len -= left;
        }
    }
    return true;
}

const char* CSpillFile::Map(std::uint64_t offset, std::uint64_t length, std::string& error) {
    const std::uint64_t start = offset & ~(PageSize() - 1);
    void* window = mmap(nullptr, static_cast<std::size_t>(offset + length - start), PROT_READ,
                        MAP_SHARED, m_fd, static_cast<off_t>(start));
    if (window == MAP_FAILED) {
        error = m_path + ": " + std::strerror(errno);
        return nullptr;
    }
    return static_cast<const char*>(window) + (offset - start);
}

void CSpillFile::Unmap(const char* mapped, std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t start = offset & ~(PageSize() - 1);
    munmap(const_cast<char*>(mapped - (offset - start)),
           static_cast<std::size_t>(offset + length - start));
}

}  // namespace quillpad
