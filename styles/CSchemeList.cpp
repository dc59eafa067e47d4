#include "styles/CSchemeList.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
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

// Names of the style sheet files in a folder, sorted by bytes so that the
// menu does not depend on the file system's order. A missing folder has none.
std::vector<std::string> StyleSheetNames(const std::string& folder) {
    std::vector<std::string> names;
    // readdir rather than std::filesystem: a folder of a hundred sheets is
    // listed at every console's start, and the entry type comes for free.
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (!HasStyleSheetExtension(name)) {
            continue;
        }
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            regular = ::stat(PathCombine(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) {
            names.emplace_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every console reads the same style sheets when it starts; a sheet that has
// not changed since (same size and modification time) is copied from the one
// read before instead of parsed again. Each list gets its own copy, since a
// list's schemes are edited in place.
class CStyleSheetCache {
  public:
    std::shared_ptr<CStyleScheme> Load(const std::string& path, std::string& error) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            return Parse(path, error);  // says why
        }
        const SStamp stamp{
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
        {
            const std::lock_guard lock(m_mutex);
            const auto found = m_sheets.find(path);
            if (found != m_sheets.end() && found->second.stamp == stamp) {
                return found->second.scheme->Clone();
            }
        }
        auto scheme = Parse(path, error);
        if (scheme) {
            const std::lock_guard lock(m_mutex);
            if (m_sheets.size() >= kMaxSheets) {
                m_sheets.clear();
            }
            m_sheets[path] = {stamp, scheme->Clone()};
        }
        return scheme;
    }

  private:
    static constexpr std::size_t kMaxSheets = 1000;
    struct SStamp {
        std::int64_t size;
        std::int64_t modified;
        bool operator==(const SStamp&) const = default;
    };
    struct SSheet {
        SStamp stamp;
        std::shared_ptr<const CStyleScheme> scheme;
    };

    static std::shared_ptr<CStyleScheme> Parse(const std::string& path, std::string& error) {
        auto scheme = std::make_shared<CStyleScheme>();
        if (!scheme->Load(path, false)) {
            error = scheme->LastError();
            return nullptr;
        }
        return scheme;
    }

    std::mutex m_mutex;
    std::map<std::string, SSheet> m_sheets;
};

CStyleSheetCache& StyleSheetCache() {
    static CStyleSheetCache cache;
    return cache;
}

// The built-in schemes are read from their texts once per process; each
// list gets copies.
std::vector<std::shared_ptr<CStyleScheme>> BuiltinCopies(EBuiltinSet set) {
    static std::mutex mutex;
    static std::map<EBuiltinSet, std::vector<std::shared_ptr<CStyleScheme>>> prototypes;
    const std::lock_guard lock(mutex);
    auto& made = prototypes[set];
    if (made.empty()) {
        made = MakeBuiltinSchemes(set);
    }
    std::vector<std::shared_ptr<CStyleScheme>> copies;
    copies.reserve(made.size());
    for (const auto& scheme : made) {
        copies.push_back(scheme->Clone());
    }
    return copies;
}

}  // namespace

void CSchemeList::Rescan(const std::string& dataDirectory, bool showAllSources) {
    m_schemes.clear();
    m_skipped.clear();
    m_current.reset();
    m_previousName.clear();
    for (auto& scheme : BuiltinCopies(showAllSources ? EBuiltinSet::A : EBuiltinSet::B)) {
        m_schemes.push_back(std::move(scheme));
    }
    for (const std::string& name : StyleSheetNames(dataDirectory)) {
        const std::string path = PathCombine(dataDirectory, name);
        std::string error;
        if (auto scheme = StyleSheetCache().Load(path, error)) {
            m_schemes.push_back(std::move(scheme));
        } else {
            m_skipped.push_back({path, error});
        }
    }
    AssignMenuCommands();
}

void CSchemeList::AssignMenuCommands() {
    for (std::size_t i = 0; i < m_schemes.size(); ++i) {
        m_schemes[i]->MenuCommand =
            i < kMaxMenuEntries ? static_cast<std::uint16_t>(kFirstMenuCommand + i) : 0;
    }
}

std::vector<SSchemeMenuEntry> CSchemeList::MenuEntries() const {
    std::vector<SSchemeMenuEntry> entries;
    const std::size_t count = std::min(m_schemes.size(), kMaxMenuEntries);
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries.push_back({m_schemes[i]->MenuCommand, m_schemes[i]->Name});
    }
    return entries;
}

std::size_t CSchemeList::HiddenCount() const {
    return m_schemes.size() > kMaxMenuEntries ? m_schemes.size() - kMaxMenuEntries : 0;
}

std::uint16_t CSchemeList::CheckedCommand() const {
    return m_current ? m_current->MenuCommand : 0;
}

bool CSchemeList::SelectByName(const std::string& name) {
    bool found = false;
    for (const auto& scheme : m_schemes) {
        if (scheme->Name == name) {
            m_current = scheme;
            found = true;
        }
    }
    return found;
}

bool CSchemeList::SelectByCommand(std::uint16_t command) {
    // Schemes beyond the menu carry 0; no command may reach them.
    if (command == 0) {
        return false;
    }
    for (const auto& scheme : m_schemes) {
        if (scheme->MenuCommand == command) {
            return SelectByName(scheme->Name);
        }
    }
    return false;
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
    AssignMenuCommands();
    return true;
}

void CSchemeList::MakeCurrent(std::shared_ptr<CStyleScheme> scheme) {
    m_current = std::move(scheme);
}

}  // namespace quillpad
