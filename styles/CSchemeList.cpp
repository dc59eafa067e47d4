#include "styles/CSchemeList.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
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

}  // namespace

void CSchemeList::Rescan(const std::string& dataDirectory, bool showAllSources) {
    m_schemes.clear();
    m_skipped.clear();
    m_current.reset();
    m_previousName.clear();
    for (auto& scheme : MakeBuiltinSchemes(showAllSources ? EBuiltinSet::A : EBuiltinSet::B)) {
        m_schemes.push_back(std::move(scheme));
    }
    for (const std::string& name : StyleSheetNames(dataDirectory)) {
        auto scheme = std::make_shared<CStyleScheme>();
        const std::string path = PathCombine(dataDirectory, name);
        if (scheme->Load(path, false)) {
            m_schemes.push_back(std::move(scheme));
        } else {
            m_skipped.push_back({path, scheme->LastError()});
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

void CSchemeList::MakeCurrent(std::shared_ptr<CStyleScheme> scheme) {
    m_current = std::move(scheme);
}

}  // namespace quillpad
