#include "nxr/NxrPortLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace quillpad {
namespace {

std::string NameBelowDev(std::string path) {
    constexpr std::string_view kDev = "/dev/";
    if (path.starts_with(kDev)) {
        path.erase(0, kDev.size());
    }
    std::replace(path.begin(), path.end(), '/', '_');
    return path;
}

std::string ResolvedPath(const std::string& device) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(device.c_str(), nullptr),
                                                     &std::free);
    return real ? std::string(real.get()) : std::string();
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.resize(256);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

struct SDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, SDirCloser>;

bool Alive(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

std::vector<std::string> NxrLockFileNames(const std::string& device) {
    std::vector<std::string> names;
    const auto add = [&names](const std::string& name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    };
    add("LCK.." + NameBelowDev(device));
    const std::string real = ResolvedPath(device);
    if (!real.empty()) {
        add("LCK.." + NameBelowDev(real));
        add("LCK.." + real.substr(real.rfind('/') + 1));
    }
    return names;
}

std::optional<long> NxrReadLockPid(const std::string& bytes) {
    // The HDB form is ten ASCII columns and a newline, others write the
    // number alone or with more lines after it; old UUCP wrote a binary int.
    const bool text = !bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return c == ' ' || c == '\n' || c == '\t' || c == '\r' ||
               (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F);
    });
    long pid = 0;
    if (text) {
        std::size_t i = bytes.find_first_not_of(" \t");
        bool digits = false;
        for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9' && pid < INT_MAX; ++i) {
            pid = pid * 10 + (bytes[i] - '0');
            digits = true;
        }
        if (!digits) {
            return std::nullopt;
        }
    } else if (bytes.size() == sizeof(std::int32_t)) {
        std::int32_t binary = 0;
        std::memcpy(&binary, bytes.data(), sizeof binary);
        pid = binary;
    }
    if (pid <= 0 || pid >= INT_MAX) {
        return std::nullopt;
    }
    return pid;
}

std::optional<SNxrPortHolder> NxrFindLockHolder(const std::string& device,
                                                const std::string& lockDirectory) {
    for (const std::string& name : NxrLockFileNames(device)) {
        const std::string path = lockDirectory + "/" + name;
        const auto bytes = ReadSmallFile(path);
        if (!bytes) {
            continue;
        }
        const auto pid = NxrReadLockPid(*bytes);
        if (pid && Alive(*pid)) {
            return SNxrPortHolder{*pid, NxrProcessName(*pid)};
        }
        if (pid) {
            ::unlink(
                path.c_str());  // its holder is gone; where we may not, it still refuses nothing
        }
    }
    return std::nullopt;
}

std::optional<SNxrPortHolder> NxrFindOpener(const std::string& device) {
    const std::string real = ResolvedPath(device);
    if (real.empty()) {
        return std::nullopt;
    }
    // A pseudo-terminal's slave is told by its index, the master's fd by the
    // "tty-index" its fdinfo shows.
    constexpr std::string_view kPts = "/dev/pts/";
    std::string ptyIndex;
    if (real.starts_with(kPts)) {
        ptyIndex = real.substr(kPts.size());
    }
    DirPtr proc(::opendir("/proc"));
    if (!proc) {
        return std::nullopt;
    }
    const long self = static_cast<long>(::getpid());
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) {
            continue;
        }
        const std::string base = std::string("/proc/") + entry->d_name;
        DirPtr dir(::opendir((base + "/fd").c_str()));
        if (!dir) {
            continue;
        }
        bool opener = false;
        bool master = false;
        while (const dirent* fd = ::readdir(dir.get())) {
            char target[PATH_MAX];
            const std::string link = base + "/fd/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            const std::string_view path(target, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (path == real) {
                opener = true;
            } else if (!ptyIndex.empty() && (path == "/dev/ptmx" || path == "/dev/pts/ptmx")) {
                // A master whose index is not shown (an old kernel) may be
                // this one's: it is given the benefit of the doubt.
                const auto info = ReadSmallFile(base + "/fdinfo/" + fd->d_name);
                const std::size_t at = info ? info->find("tty-index:") : std::string::npos;
                if (at == std::string::npos) {
                    master = true;
                } else {
                    std::istringstream in(info->substr(at + 10));
                    std::string index;
                    in >> index;
                    master = master || index == ptyIndex;
                }
            }
        }
        if (opener && !master) {
            return SNxrPortHolder{pid, NxrProcessName(pid)};
        }
    }
    return std::nullopt;
}

std::optional<SNxrPortHolder> NxrFindFlockHolder(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        return std::nullopt;
    }
    std::ifstream locks("/proc/locks");
    std::optional<SNxrPortHolder> found;
    // "1: FLOCK  ADVISORY  WRITE 8389 00:1b:3 0 EOF"; a waiter's line has
    // "->" after the number.
    for (std::string line; std::getline(locks, line);) {
        std::istringstream in(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        in >> number >> kind;
        if (kind == "->") {
            continue;
        }
        in >> mode >> access >> pid >> where;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (!in || kind != "FLOCK" ||
            std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3 ||
            major != ::major(st.st_dev) || minor != ::minor(st.st_dev) || inode != st.st_ino ||
            pid <= 0) {
            continue;
        }
        // An inode number can stand for a pseudo-terminal that is gone and a
        // new one alike: another program's lock is the likelier news.
        found = SNxrPortHolder{pid, NxrProcessName(pid)};
        if (pid != static_cast<long>(::getpid())) {
            break;
        }
    }
    return found;
}

CNxrPortClaim::~CNxrPortClaim() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<SNxrPortHolder> CNxrPortClaim::Claim(
    const std::string& device, const std::vector<std::string>& lockDirectories) {
    for (const std::string& folder : lockDirectories) {
        if (auto holder = NxrFindLockHolder(device, folder)) {
            return holder;
        }
    }
    const auto named = [&device]() {
        if (auto holder = NxrFindFlockHolder(device)) {
            return *holder;
        }
        return NxrFindOpener(device).value_or(SNxrPortHolder{});
    };
    // Without O_NONBLOCK the open would wait for the carrier.
    m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        if (errno == EBUSY) {
            return named();  // another opener made it exclusive (TIOCEXCL)
        }
        return std::nullopt;  // the open for use says what is wrong
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        ::close(m_fd);
        m_fd = -1;
        if (why == EWOULDBLOCK) {
            return named();
        }
        // A device that takes no flock() refuses no one for it.
    }
    // Programs that keep no lock at all are told by their open file. The
    // pty's master side is not one of them (see NxrFindOpener): else every
    // device simulator would refuse its own line.
    return NxrFindOpener(device);
}

bool CNxrPortClaim::HandOver(int fd) {
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
    }
    const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
    if (m_fd >= 0) {
        ::close(m_fd);  // the port is open for use, so this is no hang-up
        m_fd = -1;
    }
    return taken;
}

std::string NxrProcessName(long pid) {
    const auto comm = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm");
    if (!comm) {
        return {};
    }
    std::string name = *comm;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) {
        name.pop_back();
    }
    return name;
}

std::string NxrInUseText(const std::string& device, const SNxrPortHolder& holder) {
    if (holder.pid == static_cast<long>(::getpid())) {
        return device + " is already open in another console of this program";
    }
    if (holder.pid <= 0) {
        return device + " is in use by another program";
    }
    const std::string who = holder.name.empty() ? "another program" : holder.name;
    return device + " is in use by " + who + " (PID " + std::to_string(holder.pid) + ")";
}

std::string NxrPermissionText(const std::string& device) {
    // The group that may open it is the device's own (dialout on Debian,
    // uucp elsewhere).
    std::string groupName = "dialout";
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        if (const struct group* g = ::getgrgid(st.st_gid); g != nullptr && g->gr_gid != 0) {
            groupName = g->gr_name;
        }
    }
    return device + ": Permission denied: add yourself to the " + groupName + " group";
}

}  // namespace quillpad
