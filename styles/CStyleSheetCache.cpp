#include "styles/CStyleSheetCache.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/Paths.h"
#include "styles/BuiltinSchemes.h"
#include "styles/CSchemeList.h"

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

// Why a sheet that reads as a document is still no whole style, "" when it
// is one: a write that stopped short leaves its last line without a line
// end, or a rule that applies a format without saying which (read as
// hidden, it would hide its bytes).
std::string CutShort(const CStyleScheme& scheme, const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    char last = '\n';
    if (in && in.tellg() > 0 && in.seekg(-1, std::ios::end) && in.get(last) && last != '\n') {
        return "it is cut short (its last line has no line end)";
    }
    for (std::size_t k = 0; k < scheme.RuleCount(); ++k) {
        if (!scheme.Rule(k).Format_ApplyFormat) {
            continue;
        }
        const std::string name = "Scheme1.Rule" + std::to_string(k + 1);
        for (std::size_t i = 0; i < scheme.SectionCount(); ++i) {
            const SIniSection* section = scheme.SectionAt(i);
            // No value holds a line end: "\n" stands for a missing key.
            if (section->Name() == name &&
                scheme.ReadString(section, "Format_CharacterFormat", "\n") == "\n") {
                return "it is cut short (rule " + std::to_string(k + 1) +
                       " applies a format without saying which)";
            }
        }
    }
    return {};
}

std::shared_ptr<CStyleScheme> Parse(const std::string& path, std::string& error) {
    auto scheme = std::make_shared<CStyleScheme>();
    if (!scheme->LoadFile(path, false, true)) {
        error = scheme->LastError();
        return nullptr;
    }
    // Anything reads as an INI document; a file with no scheme in it (binary
    // bytes, another program's text) would be an empty white style.
    if (!CStyleScheme::HoldsScheme(*scheme, 1)) {
        error = "it holds no style (no Scheme section)";
        return nullptr;
    }
    scheme->ReadScheme(*scheme, 1);
    error = CutShort(*scheme, path);
    if (!error.empty()) {
        return nullptr;
    }
    // A blank menu entry could be told from no other, and a built-in's name
    // would stand for two styles (and choosing by it would take the sheet);
    // the file name can be told apart.
    if (scheme->Name.empty() || IsBuiltinSchemeName(scheme->Name)) {
        scheme->Name = std::filesystem::path(path).filename().string();
    }
    return scheme;
}

}  // namespace

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

CStyleSheetCache::SScan CStyleSheetCache::Begin(const std::string& folder) {
    const std::uint64_t mark = m_watch.Mark(folder);
    if (mark == 0) {
        return {};
    }
    const std::lock_guard lock(m_mutex);
    const auto found = m_listings.find(folder);
    const bool holds = found != m_listings.end() && found->second.listedUnder == mark;
    return {mark, holds ? found->second.files : nullptr};
}

std::uint64_t CStyleSheetCache::Listed(const std::string& folder, std::uint64_t mark,
                                       const SSheetListing& listing) {
    if (mark == 0 || !m_watch.Watches(folder, listing.device, listing.inode)) {
        return 0;
    }
    // A change while listing has given the folder a new mark: the next Begin
    // lists it again.
    if (listing.onlyPlain) {
        const std::lock_guard lock(m_mutex);
        if (m_listings.size() >= kMaxListings && !m_listings.count(folder)) {
            m_listings.clear();
        }
        m_listings[folder] = {mark, listing.files};
    }
    return mark;
}

std::shared_ptr<const CStyleScheme> CStyleSheetCache::Share(const std::string& path,
                                                            std::uint64_t mark,
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

CStyleSheetCache& StyleSheetCache() {
    static CStyleSheetCache cache;
    return cache;
}

}  // namespace quillpad
