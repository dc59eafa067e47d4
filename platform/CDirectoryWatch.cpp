#include "platform/CDirectoryWatch.h"

#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillpad {
namespace {

#ifdef __linux__
constexpr std::uint32_t kWatchedEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE |
                                         IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                         IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose changes all pass through this machine's kernel, so an
// inotify watch misses none.
bool WatchSeesEveryChange(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case F2FS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case RAMFS_MAGIC:
        case OVERLAYFS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}
#endif

}  // namespace

CDirectoryWatch::~CDirectoryWatch() {
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
}

long CDirectoryWatch::ReadEvents(int fd, char* buffer, std::size_t size) {
    return static_cast<long>(::read(fd, buffer, size));
}

std::uint64_t CDirectoryWatch::Mark(const std::string& path) {
#ifdef __linux__
    const std::lock_guard lock(m_mutex);
    TakeEvents();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return 0;
    }
    const auto found = m_folders.find(path);
    if (found != m_folders.end()) {
        if (found->second.device == st.st_dev && found->second.inode == st.st_ino) {
            return found->second.mark;
        }
        const int watch = found->second.watch;
        m_folders.erase(found);
        DropUnlessShared(watch);
    }
    if (m_folders.size() >= kMaxFolders || !WatchSeesEveryChange(path) || !Open()) {
        return 0;
    }
    const int watch = ::inotify_add_watch(m_inotify, path.c_str(), kWatchedEvents);
    if (watch < 0) {
        return 0;
    }
    // The path may have been pointed elsewhere since its stat.
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        DropUnlessShared(watch);
        return 0;
    }
    const std::uint64_t mark = ++m_lastMark;
    m_folders[path] = {watch, st.st_dev, st.st_ino, mark};
    return mark;
#else
    (void)path;
    return 0;
#endif
}

bool CDirectoryWatch::Watches(const std::string& path, dev_t device, ino_t inode) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_folders.find(path);
    return found != m_folders.end() && found->second.device == device &&
           found->second.inode == inode;
}

bool CDirectoryWatch::Open() {
#ifdef __linux__
    if (m_inotify < 0 && !m_openFailed) {
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        m_openFailed = m_inotify < 0;
    }
#endif
    return m_inotify >= 0;
}

// Two spellings of one folder share the kernel's watch.
void CDirectoryWatch::DropUnlessShared(int watch) {
#ifdef __linux__
    const bool shared = std::any_of(m_folders.begin(), m_folders.end(),
                                    [watch](const auto& f) { return f.second.watch == watch; });
    if (!shared) {
        ::inotify_rm_watch(m_inotify, watch);
    }
#else
    (void)watch;
#endif
}

void CDirectoryWatch::TrustNothing() {
    for (auto& folder : m_folders) {
        folder.second.mark = ++m_lastMark;
    }
}

// Any report about a folder, even of a file the cache does not care about,
// gives it a new mark: cheaper than being clever.
void CDirectoryWatch::TakeEvents() {
#ifdef __linux__
    if (m_inotify < 0) {
        return;
    }
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const long got = ReadEvents(m_inotify, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                TrustNothing();  // events may be lost
            }
            return;
        }
        for (long at = 0; at + static_cast<long>(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<long>(sizeof event + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                TrustNothing();
                continue;
            }
            for (auto it = m_folders.begin(); it != m_folders.end();) {
                if (it->second.watch != event.wd) {
                    ++it;
                } else if (event.mask & IN_IGNORED) {
                    it = m_folders.erase(it);  // the kernel dropped the watch
                } else {
                    (it++)->second.mark = ++m_lastMark;
                }
            }
        }
    }
#endif
}

}  // namespace quillpad
