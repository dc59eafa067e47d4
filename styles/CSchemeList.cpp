#include "styles/CSchemeList.h"

#include <dirent.h>
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
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/Paths.h"
#include "styles/BuiltinSchemes.h"

namespace quillpad {
namespace {

bool HasStyleSheetExtension(std::string_view name) {
    const std::string_view extension = CSchemeList::kStyleSheetExtension;
    if (name.size() < extension.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

// A style sheet file of a folder; `plain` when the listing says it is a
// regular file rather than a link to one elsewhere.
struct SSheetFile {
    std::string name;
    bool plain = false;
};
using SheetFiles = std::vector<SSheetFile>;

// A folder's style sheet files as listed, and which folder it was.
struct SSheetListing {
    std::shared_ptr<const SheetFiles> files = std::make_shared<SheetFiles>();
    // No links or entries of unknown type: whether each is a file then
    // depends on more than this folder.
    bool onlyPlain = true;
    dev_t device = 0;
    ino_t inode = 0;
};

#ifdef __linux__
// File systems whose changes all pass through this machine's kernel, so an
// inotify watch misses none. Network and FUSE file systems are left out: a
// change made elsewhere raises no event here.
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

// The style sheet files of a folder, sorted by bytes so that the menu does
// not depend on the file system's order. A missing folder has none.
SSheetListing ListStyleSheets(const std::string& folder) {
    SSheetListing listed;
    // readdir rather than std::filesystem: the entry type comes for free.
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return listed;
    }
    struct stat self {};
    if (::fstat(::dirfd(dir.get()), &self) == 0) {
        listed.device = self.st_dev;
        listed.inode = self.st_ino;
    }
    SheetFiles files;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (!HasStyleSheetExtension(name)) {
            continue;
        }
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            listed.onlyPlain = false;
            struct stat st {};
            regular = ::stat(PathCombine(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) {
            files.push_back({std::string(name), entry->d_type == DT_REG});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const SSheetFile& a, const SSheetFile& b) { return a.name < b.name; });
    listed.files = std::make_shared<const SheetFiles>(std::move(files));
    return listed;
}

// Every console reads the same style sheets when it starts; a sheet that has
// not changed since (same size and modification time) is the one read
// before. Lists share it until one of them chooses it (see Own).
//
// Listing a folder of a hundred sheets and checking their times costs more
// in the kernel than the rest of a console's start. So on Linux each folder
// gets an inotify watch, and while the watch reports nothing in the folder,
// its last listing and the sheets checked since are taken as they are: the
// kernel queues the event before the write that caused it returns, so a
// sheet edited on disk is still read again by the next rescan. What no watch
// can vouch for is checked every time, as before: links (their target may
// live elsewhere), files with more than one name (a write through the other
// name is reported in the other folder), and folders on network file
// systems, moved, or no longer at their path.
class CStyleSheetCache {
  public:
    ~CStyleSheetCache() {
        if (m_inotify >= 0) {
            ::close(m_inotify);
        }
    }

    // What a rescan of a folder may count on: a mark that Share compares
    // with the one a sheet was last checked under (0 vouches for nothing),
    // and the folder's listing while it still holds.
    struct SScan {
        std::uint64_t mark = 0;
        std::shared_ptr<const SheetFiles> files;
    };

    SScan Begin(const std::string& path) {
        const std::lock_guard lock(m_mutex);
#ifdef __linux__
        TakeEvents();
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return {};
        }
        const auto found = m_folders.find(path);
        if (found != m_folders.end()) {
            SFolder& folder = found->second;
            if (folder.device == st.st_dev && folder.inode == st.st_ino) {
                return {folder.mark, folder.listedUnder == folder.mark ? folder.files : nullptr};
            }
            const int watch = folder.watch;
            m_folders.erase(found);
            DropUnlessShared(watch);
        }
        if (m_folders.size() >= kMaxFolders || !WatchSeesEveryChange(path) || !OpenInotify()) {
            return {};
        }
        const int watch = ::inotify_add_watch(m_inotify, path.c_str(), kWatchedEvents);
        if (watch < 0) {
            return {};
        }
        // The path may have been pointed elsewhere since its stat.
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
            DropUnlessShared(watch);
            return {};
        }
        const std::uint64_t mark = ++m_lastMark;
        m_folders[path] = {watch, st.st_dev, st.st_ino, mark, 0, nullptr};
        return {mark, nullptr};
#else
        (void)path;
        return {};
#endif
    }

    // Keeps a listing made after Begin for the next scans. The mark the
    // listing's sheets may be checked under: 0 when it is not of the folder
    // the watch is on.
    std::uint64_t Listed(const std::string& path, std::uint64_t mark,
                         const SSheetListing& listing) {
        if (mark == 0) {
            return 0;
        }
        const std::lock_guard lock(m_mutex);
        const auto found = m_folders.find(path);
        if (found == m_folders.end() || found->second.device != listing.device ||
            found->second.inode != listing.inode) {
            return 0;
        }
        // A change while listing has raised an event: the next Begin sees it.
        if (listing.onlyPlain) {
            found->second.files = listing.files;
            found->second.listedUnder = mark;
        }
        return mark;
    }

    std::shared_ptr<const CStyleScheme> Share(const std::string& path, std::uint64_t mark,
                                              std::string& error) {
        if (mark != 0) {
            const std::lock_guard lock(m_mutex);
            const auto found = m_sheets.find(path);
            if (found != m_sheets.end() && found->second.mark == mark) {
                return found->second.scheme;
            }
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            return Parse(path, error);  // says why
        }
        const SStamp stamp{
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
        const std::uint64_t checkedUnder = st.st_nlink == 1 ? mark : 0;
        {
            const std::lock_guard lock(m_mutex);
            const auto found = m_sheets.find(path);
            if (found != m_sheets.end() && found->second.stamp == stamp) {
                found->second.mark = checkedUnder;
                return found->second.scheme;
            }
        }
        std::shared_ptr<const CStyleScheme> scheme = Parse(path, error);
        if (scheme) {
            const std::lock_guard lock(m_mutex);
            if (m_sheets.size() >= kMaxSheets) {
                m_sheets.clear();
            }
            m_sheets[path] = {stamp, scheme, checkedUnder};
        }
        return scheme;
    }

  private:
    static constexpr std::size_t kMaxSheets = 1000;
    static constexpr std::size_t kMaxFolders = 64;
    struct SStamp {
        std::int64_t size;
        std::int64_t modified;
        bool operator==(const SStamp&) const = default;
    };
    struct SSheet {
        SStamp stamp;
        std::shared_ptr<const CStyleScheme> scheme;
        std::uint64_t mark = 0;  // the folder's mark when last checked
    };
    struct SFolder {
        int watch;
        dev_t device;
        ino_t inode;
        std::uint64_t mark;         // new whenever the watch reports a change
        std::uint64_t listedUnder;  // the mark when `files` was listed
        std::shared_ptr<const SheetFiles> files;
    };

    static std::shared_ptr<CStyleScheme> Parse(const std::string& path, std::string& error) {
        auto scheme = std::make_shared<CStyleScheme>();
        if (!scheme->Load(path, false)) {
            error = scheme->LastError();
            return nullptr;
        }
        return scheme;
    }

#ifdef __linux__
    static constexpr std::uint32_t kWatchedEvents =
        IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
        IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

    bool OpenInotify() {
        if (m_inotify < 0 && !m_inotifyFailed) {
            m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            m_inotifyFailed = m_inotify < 0;
        }
        return m_inotify >= 0;
    }

    // Two spellings of one folder share the kernel's watch.
    void DropUnlessShared(int watch) {
        const bool shared = std::any_of(m_folders.begin(), m_folders.end(),
                                        [watch](const auto& f) { return f.second.watch == watch; });
        if (!shared) {
            ::inotify_rm_watch(m_inotify, watch);
        }
    }

    // Any report about a folder, even a change of a file that is no style
    // sheet, has its sheets checked once more: cheaper than being clever.
    void TakeEvents() {
        if (m_inotify < 0) {
            return;
        }
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(m_inotify, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    // Events may be lost: trust nothing checked before.
                    for (auto& folder : m_folders) {
                        folder.second.mark = ++m_lastMark;
                    }
                }
                return;
            }
            for (ssize_t at = 0; at < got;) {
                inotify_event event;
                std::memcpy(&event, buffer + at, sizeof event);
                at += static_cast<ssize_t>(sizeof event + event.len);
                for (auto it = m_folders.begin(); it != m_folders.end();) {
                    if (event.mask & IN_Q_OVERFLOW) {
                        (it++)->second.mark = ++m_lastMark;
                    } else if (it->second.watch != event.wd) {
                        ++it;
                    } else if (event.mask & IN_IGNORED) {
                        it = m_folders.erase(it);  // the kernel dropped the watch
                    } else {
                        (it++)->second.mark = ++m_lastMark;
                    }
                }
            }
        }
    }
#endif

    std::mutex m_mutex;
    std::map<std::string, SSheet> m_sheets;
    std::map<std::string, SFolder> m_folders;
    std::uint64_t m_lastMark = 0;
    int m_inotify = -1;
    bool m_inotifyFailed = false;
};

CStyleSheetCache& StyleSheetCache() {
    static CStyleSheetCache cache;
    return cache;
}

// The built-in schemes are read from their texts once per process and
// shared like the style sheets.
std::vector<std::shared_ptr<CStyleScheme>> BuiltinPrototypes(EBuiltinSet set) {
    static std::mutex mutex;
    static std::map<EBuiltinSet, std::vector<std::shared_ptr<CStyleScheme>>> prototypes;
    const std::lock_guard lock(mutex);
    auto& made = prototypes[set];
    if (made.empty()) {
        made = MakeBuiltinSchemes(set);
    }
    return made;
}

}  // namespace

void CSchemeList::Rescan(const std::string& dataDirectory, bool showAllSources) {
    m_schemes.clear();
    m_shared.clear();
    m_skipped.clear();
    m_current.reset();
    m_previousName.clear();
    // Shared, never changed: a list copies one when it chooses it (Own).
    for (auto& scheme : BuiltinPrototypes(showAllSources ? EBuiltinSet::A : EBuiltinSet::B)) {
        m_schemes.push_back(std::move(scheme));
        m_shared.push_back(true);
    }
    auto [mark, files] = StyleSheetCache().Begin(dataDirectory);
    if (!files) {
        const SSheetListing listing = ListStyleSheets(dataDirectory);
        mark = StyleSheetCache().Listed(dataDirectory, mark, listing);
        files = listing.files;
    }
    for (const SSheetFile& file : *files) {
        const std::string path = PathCombine(dataDirectory, file.name);
        std::string error;
        if (auto scheme = StyleSheetCache().Share(path, file.plain ? mark : 0, error)) {
            m_schemes.push_back(std::const_pointer_cast<CStyleScheme>(std::move(scheme)));
            m_shared.push_back(true);
        } else {
            m_skipped.push_back({path, error});
        }
    }
    AssignMenuCommands();
}

std::uint16_t CSchemeList::CommandAt(std::size_t index) {
    return index < kMaxMenuEntries ? static_cast<std::uint16_t>(kFirstMenuCommand + index) : 0;
}

void CSchemeList::AssignMenuCommands() {
    for (std::size_t i = 0; i < m_schemes.size(); ++i) {
        if (!m_shared[i]) {
            m_schemes[i]->MenuCommand = CommandAt(i);
        }
    }
}

const std::shared_ptr<CStyleScheme>& CSchemeList::Own(std::size_t index) {
    if (m_shared[index]) {
        m_schemes[index] = m_schemes[index]->Clone();
        m_shared[index] = false;
        m_schemes[index]->MenuCommand = CommandAt(index);
    }
    return m_schemes[index];
}

std::vector<SSchemeMenuEntry> CSchemeList::MenuEntries() const {
    std::vector<SSchemeMenuEntry> entries;
    const std::size_t count = std::min(m_schemes.size(), kMaxMenuEntries);
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries.push_back({CommandAt(i), m_schemes[i]->Name});
    }
    return entries;
}

std::size_t CSchemeList::HiddenCount() const {
    return m_schemes.size() > kMaxMenuEntries ? m_schemes.size() - kMaxMenuEntries : 0;
}

std::uint16_t CSchemeList::CheckedCommand() const {
    for (std::size_t i = 0; i < m_schemes.size() && m_current; ++i) {
        if (m_schemes[i] == m_current) {
            return CommandAt(i);
        }
    }
    return 0;
}

std::uint16_t CSchemeList::CommandOf(const CStyleScheme* scheme) const {
    for (std::size_t i = 0; i < m_schemes.size(); ++i) {
        if (m_schemes[i].get() == scheme) {
            return CommandAt(i);
        }
    }
    return 0;
}

bool CSchemeList::SelectByName(const std::string& name) {
    // Every scheme of the name in turn: the last one wins.
    std::optional<std::size_t> last;
    for (std::size_t i = 0; i < m_schemes.size(); ++i) {
        if (m_schemes[i]->Name == name) {
            last = i;
        }
    }
    if (!last) {
        return false;
    }
    m_current = Own(*last);
    return true;
}

bool CSchemeList::SelectByCommand(std::uint16_t command) {
    // Schemes beyond the menu have no command; 0 may reach none of them.
    if (command < kFirstMenuCommand) {
        return false;
    }
    const std::size_t index = command - kFirstMenuCommand;
    if (index >= std::min(m_schemes.size(), kMaxMenuEntries)) {
        return false;
    }
    return SelectByName(m_schemes[index]->Name);
}

bool CSchemeList::ToggleHexMode() {
    if (!m_previousName.empty()) {
        const std::string name = std::move(m_previousName);
        m_previousName.clear();
        return SelectByName(name);
    }
    if (!m_current) {
        return SelectByName(kNormalName);
    }
    if (m_current->Name != kHexModeName) {
        m_previousName = m_current->Name;
        return SelectByName(kHexModeName);
    }
    return SelectByName(kNormalName);
}

bool CSchemeList::Append(std::shared_ptr<CStyleScheme> scheme) {
    const bool added = scheme && !Contains(scheme.get());
    if (added) {
        m_schemes.push_back(std::move(scheme));
        m_shared.push_back(false);
    }
    AssignMenuCommands();
    return added;
}

bool CSchemeList::Contains(const CStyleScheme* scheme) const {
    return std::any_of(m_schemes.begin(), m_schemes.end(),
                       [scheme](const auto& listed) { return listed.get() == scheme; });
}

std::shared_ptr<CStyleScheme> CSchemeList::FindByPath(const std::string& path) const {
    if (path.empty()) {
        return nullptr;  // built-in schemes have no file
    }
    const auto resolved = [](const std::string& p) {
        std::error_code error;
        const auto canonical = std::filesystem::weakly_canonical(p, error);
        return error ? std::filesystem::path(p).lexically_normal() : canonical;
    };
    const auto wanted = resolved(path);
    for (const auto& scheme : m_schemes) {
        if (!scheme->GetPath().empty() && resolved(scheme->GetPath()) == wanted) {
            return scheme;
        }
    }
    return nullptr;
}

bool CSchemeList::Replace(const CStyleScheme* listed, std::shared_ptr<CStyleScheme> with) {
    const auto it = std::find_if(m_schemes.begin(), m_schemes.end(),
                                 [listed](const auto& scheme) { return scheme.get() == listed; });
    if (it == m_schemes.end() || !with) {
        return false;
    }
    if (m_current.get() == listed) {
        m_current = with;
    }
    *it = std::move(with);
    m_shared[static_cast<std::size_t>(it - m_schemes.begin())] = false;
    AssignMenuCommands();
    return true;
}

void CSchemeList::MakeCurrent(std::shared_ptr<CStyleScheme> scheme) {
    for (std::size_t i = 0; i < m_schemes.size(); ++i) {
        if (m_schemes[i] == scheme) {
            m_current = Own(i);  // a listed scheme becomes the list's own
            return;
        }
    }
    m_current = std::move(scheme);
}

}  // namespace quillpad
