#include "styles/CSchemeList.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

#include "platform/Paths.h"
#include "styles/BuiltinSchemes.h"
#include "styles/CStyleSheetCache.h"

namespace quillpad {
namespace {

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
    m_origin.clear();
    m_skipped.clear();
    m_current.reset();
    m_previousName.clear();
    // Shared, never changed: a list copies one when it chooses it (Own).
    for (auto& scheme : BuiltinPrototypes(showAllSources ? EBuiltinSet::A : EBuiltinSet::B)) {
        m_origin.push_back(scheme);
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
            m_origin.push_back(m_schemes.back());
        } else {
            m_skipped.push_back({path, error});
        }
    }
    AssignMenuCommands();
}

bool CSchemeList::Refresh(const std::string& dataDirectory, bool showAllSources) {
    const auto before = m_schemes;
    const auto wasShared = m_shared;
    const auto origins = m_origin;
    const std::shared_ptr<CStyleScheme> current = m_current;
    const std::string previous = m_previousName;
    Rescan(dataDirectory, showAllSources);
    const auto find = [this](const auto& matches) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < m_schemes.size(); ++i) {
            if (m_shared[i] && matches(i)) {
                return i;
            }
        }
        return std::nullopt;
    };
    const auto put = [this](std::size_t at, std::shared_ptr<CStyleScheme> own) {
        m_schemes[at] = std::move(own);
        m_shared[at] = false;
    };
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (wasShared[i]) {
            continue;
        }
        const std::shared_ptr<CStyleScheme>& own = before[i];
        // Unchanged on disk: the own copy stays, edits and all.
        const auto unchanged = find(
            [&](std::size_t j) { return origins[i] != nullptr && m_schemes[j] == origins[i]; });
        if (unchanged) {
            put(*unchanged, own);
            continue;
        }
        const bool builtIn = own->IsBuiltIn();
        const std::string path = own->GetPath();
        const std::shared_ptr<CStyleScheme> listed = builtIn ? nullptr : FindByPath(path);
        const auto sameFile = find([&](std::size_t j) {
            return builtIn ? m_schemes[j]->IsBuiltIn() && m_schemes[j]->Name == own->Name
                           : listed != nullptr && m_schemes[j] == listed;
        });
        if (own == current) {
            // Whatever its file holds now, the style in use stays in use.
            if (sameFile) {
                m_origin[*sameFile] = m_schemes[*sameFile];
                put(*sameFile, own);
            } else {
                Append(own);
            }
            continue;
        }
        std::error_code error;
        if (!sameFile && !builtIn && origins[i] == nullptr &&
            std::filesystem::is_regular_file(path, error)) {
            Append(own);  // a sheet of another folder, opened in the style editor
        }
    }
    if (current && !Contains(current.get())) {
        Append(current);
    }
    m_current = current;
    m_previousName = previous;
    AssignMenuCommands();
    return m_schemes != before;
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
        m_origin.push_back(nullptr);
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
    m_origin[static_cast<std::size_t>(it - m_schemes.begin())] = nullptr;
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
