#include "platform/CRegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/FileIO.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// An flock on the hive's lock file, held for one call. The hive file itself
// cannot carry the lock: every write replaces it with a new file.
class CHiveLock {
  public:
    CHiveLock(const std::string& path, bool exclusive) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0 && !exclusive) {
            m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (m_fd < 0) {
            m_errno = errno;
            return;
        }
        while (::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                m_errno = errno;
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~CHiveLock() {
        if (m_fd >= 0) {
            ::close(m_fd);  // also frees the lock
        }
    }
    CHiveLock(const CHiveLock&) = delete;
    CHiveLock& operator=(const CHiveLock&) = delete;

    bool Held() const { return m_fd >= 0; }
    int Error() const { return m_errno; }

  private:
    int m_fd = -1;
    int m_errno = 0;
};

}  // namespace

CRegistryStore::CRegistryStore(std::string folder, std::string hiveName)
    : m_folder(std::move(folder)), m_hiveName(std::move(hiveName)) {
    m_file = PathCombine(m_folder, m_hiveName + ".hive");
    m_lockFile = PathCombine(m_folder, m_hiveName + ".lock");
}

CRegistryStore CRegistryStore::Open(ERegistryRoot root) {
    switch (root) {
        case ERegistryRoot::CurrentUser:
            break;
    }
    return CRegistryStore(DefaultFolder(), "HKEY_CURRENT_USER");
}

std::string CRegistryStore::DefaultFolder() {
    if (std::string home = Env("WORKBAY_HOME"); !home.empty()) {
        return PathCombine(home, "registry");
    }
    if (std::string config = Env("XDG_CONFIG_HOME"); !config.empty()) {
        return PathCombine(config, "Workbay/registry");
    }
    return PathCombine(Env("HOME"), ".config/Workbay/registry");
}

ERegistryStatus CRegistryStore::Load(CRegistryTree& tree) const {
    tree.Clear();
    struct stat st {};
    if (::stat(m_file.c_str(), &st) != 0 && errno == ENOENT) {
        return ERegistryStatus::Success;  // no file yet: an empty hive
    }
    std::string text;
    if (!ReadWholeFile(m_file, text, &m_error)) {
        return ERegistryStatus::IoError;
    }
    std::string why;
    if (tree.Parse(text, why) != ERegistryStatus::Success) {
        m_error = m_file + ", " + why;
        return ERegistryStatus::Corrupt;
    }
    return ERegistryStatus::Success;
}

ERegistryStatus CRegistryStore::Read(
    const std::function<void(const CRegistryTree&)>& reader) const {
    m_error.clear();
    struct stat st {};
    if (::stat(m_folder.c_str(), &st) != 0) {
        // Nothing was ever written here: an empty hive, and no folder is made.
        const CRegistryTree empty;
        reader(empty);
        return ERegistryStatus::Success;
    }
    // Without a lock (a read-only folder) the read still sees one whole file,
    // since writers replace it atomically.
    const CHiveLock lock(m_lockFile, false);
    CRegistryTree tree;
    const ERegistryStatus status = Load(tree);
    if (status == ERegistryStatus::Success) {
        reader(tree);
    }
    return status;
}

ERegistryStatus CRegistryStore::Update(const std::function<bool(CRegistryTree&)>& editor) {
    m_error.clear();
    if (!EnsureFolder(m_folder, EFileAccess::Private)) {
        m_error = "cannot create the folder " + m_folder;
        return ERegistryStatus::IoError;
    }
    const CHiveLock lock(m_lockFile, true);
    if (!lock.Held()) {
        m_error = "cannot lock " + m_lockFile + ": " + std::strerror(lock.Error());
        return ERegistryStatus::IoError;
    }
    CRegistryTree tree;
    if (const ERegistryStatus status = Load(tree); status != ERegistryStatus::Success) {
        return status;
    }
    if (!editor(tree)) {
        return ERegistryStatus::Success;
    }
    if (!WriteFileAtomically(m_file, tree.Serialize("Workbay registry: " + m_hiveName), &m_error,
                             EFileAccess::Private)) {
        return ERegistryStatus::IoError;
    }
    return ERegistryStatus::Success;
}

namespace {

// Runs one tree operation inside Read or Update and passes its status on;
// a failed edit writes nothing.
template <typename Op>
ERegistryStatus ReadOp(const CRegistryStore& store, Op op) {
    ERegistryStatus result = ERegistryStatus::Success;
    const ERegistryStatus status =
        store.Read([&](const CRegistryTree& tree) { result = op(tree); });
    return status == ERegistryStatus::Success ? result : status;
}

template <typename Op>
ERegistryStatus UpdateOp(CRegistryStore& store, Op op) {
    ERegistryStatus result = ERegistryStatus::Success;
    const ERegistryStatus status = store.Update([&](CRegistryTree& tree) {
        result = op(tree);
        return result == ERegistryStatus::Success;
    });
    return status == ERegistryStatus::Success ? result : status;
}

}  // namespace

ERegistryStatus CRegistryStore::CreateKey(std::string_view path) {
    return UpdateOp(*this, [&](CRegistryTree& t) { return t.CreateKey(path); });
}

bool CRegistryStore::KeyExists(std::string_view path) const {
    return ReadOp(*this, [&](const CRegistryTree& t) {
               return t.KeyExists(path) ? ERegistryStatus::Success : ERegistryStatus::NotFound;
           }) == ERegistryStatus::Success;
}

ERegistryStatus CRegistryStore::EnumKey(std::string_view path, std::size_t index,
                                        std::string& name) const {
    return ReadOp(*this, [&](const CRegistryTree& t) { return t.EnumKey(path, index, name); });
}

ERegistryStatus CRegistryStore::EnumValue(std::string_view path, std::size_t index,
                                          std::string& name, std::string& data) const {
    return ReadOp(*this,
                  [&](const CRegistryTree& t) { return t.EnumValue(path, index, name, data); });
}

ERegistryStatus CRegistryStore::QueryValue(std::string_view path, std::string_view name,
                                           std::string& data) const {
    return ReadOp(*this, [&](const CRegistryTree& t) { return t.QueryValue(path, name, data); });
}

ERegistryStatus CRegistryStore::SetValue(std::string_view path, std::string_view name,
                                         std::string_view data) {
    return UpdateOp(*this, [&](CRegistryTree& t) { return t.SetValue(path, name, data); });
}

ERegistryStatus CRegistryStore::DeleteValue(std::string_view path, std::string_view name) {
    return UpdateOp(*this, [&](CRegistryTree& t) { return t.DeleteValue(path, name); });
}

ERegistryStatus CRegistryStore::DeleteTree(std::string_view path) {
    return UpdateOp(*this, [&](CRegistryTree& t) { return t.DeleteTree(path); });
}

}  // namespace quillpad
