#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/Paths.h"

namespace quillpad {
namespace {

void SetError(std::string* error, const std::string& what, const std::string& path, int err) {
    if (error != nullptr) {
        *error = what + " " + path + ": " + std::strerror(err);
    }
}

class CFd {
  public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_fd; }
    // Closes now, so that a failing close (delayed write error) is seen.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file a path finally names: a symbolic link is replaced by its target,
// so that saving through a link updates the linked file instead of the link.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real) {
        return real.get();
    }
    // A dangling link: write to the place it points at.
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) {
        return path;
    }
    target.resize(static_cast<std::size_t>(n));
    return target.front() == kPathSeparator ? target : PathCombine(PathFolder(path), target);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string* error,
                   std::size_t maxBytes) {
    bytes.clear();
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        SetError(error, "cannot open", path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        // A folder, a pipe or a device such as /dev/zero is no configuration file.
        SetError(error, "not a regular file:", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        return false;
    }
    const auto tooLarge = [&] {
        if (error != nullptr) {
            *error = path + ": too large (more than " + std::to_string(maxBytes) + " bytes)";
        }
        return false;
    };
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        return tooLarge();
    }
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetError(error, "cannot read", path, errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        // The file may grow while it is read.
        if (data.size() + static_cast<std::size_t>(n) > maxBytes) {
            return tooLarge();
        }
        data.append(chunk, static_cast<std::size_t>(n));
    }
    bytes = std::move(data);
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         EFileAccess access) {
    if (path.empty()) {
        if (error != nullptr) {
            *error = "no file name";
        }
        return false;
    }
    const std::string target = ResolveTarget(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode)) {
            SetError(error, "cannot replace", target, EISDIR);
            return false;
        }
        if (::access(target.c_str(), W_OK) != 0) {
            SetError(error, "cannot write", target, errno);
            return false;
        }
    }

    std::string folder = PathFolder(target);
    if (folder.empty()) {
        folder.assign(1, '.');  // (assigning "." trips a false -Wrestrict in GCC 12 at -O3)
    }
    // Short enough that a name near the 255-byte limit still gets a temporary file.
    std::string hidden(1, '.');
    hidden.append(PathFileName(target).substr(0, 200)).append(".tmp");
    const std::string stem = PathCombine(folder, hidden);
    std::string temp;
    int raw = -1;
    for (unsigned attempt = 0; raw < 0 && attempt < 100; ++attempt) {
        temp = stem;
        temp.append(std::to_string(::getpid())).append(1, '-').append(std::to_string(attempt));
        // A shared file is created with 0666 so that the umask decides, as for
        // any new file.
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     access == EFileAccess::Private ? 0600 : 0666);
        if (raw < 0 && errno != EEXIST) {
            break;
        }
    }
    if (raw < 0) {
        SetError(error, "cannot create a temporary file for", target, errno);
        return false;
    }
    CFd fd(raw);
    auto fail = [&](const char* what) {
        const int err = errno;
        ::unlink(temp.c_str());
        SetError(error, what, target, err);
        return false;
    };
    if (exists) {
        ::fchmod(fd.Get(), old.st_mode & 07777);
        // Keeps the owner when allowed (root saving a user's file); harmless otherwise.
        if (::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
            ::fchmod(fd.Get(), old.st_mode & 0777);
        }
    }
    if (!WriteAll(fd.Get(), bytes)) {
        return fail("cannot write");
    }
    if (::fsync(fd.Get()) != 0) {
        return fail("cannot flush");
    }
    if (!fd.Close()) {
        return fail("cannot close");
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        return fail("cannot replace");
    }
    // The rename itself must reach the disk too.
    CFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return true;
}

}  // namespace quillpad
