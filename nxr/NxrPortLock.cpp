#include "nxr/NxrPortLock.h"

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

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
        const std::string fds = std::string("/proc/") + entry->d_name + "/fd";
        DirPtr dir(::opendir(fds.c_str()));
        if (!dir) {
            continue;
        }
        while (const dirent* fd = ::readdir(dir.get())) {
            char target[PATH_MAX];
            const std::string link = fds + "/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == real) {
                return SNxrPortHolder{pid, NxrProcessName(pid)};
            }
        }
    }
    return std::nullopt;
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
