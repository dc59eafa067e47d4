#include "input/CKeySetMenu.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "input/CKeySet.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

// "*.keyset" as the Windows search matched it: the extension in any case.
bool HasKeySetExtension(std::string_view name) {
    const std::string_view extension = CKeySet::kExtension;
    if (name.size() <= extension.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

void CKeySetMenu::Rebuild(const std::string& dataDirectory) {
    m_dataDirectory = dataDirectory;
    m_names.clear();
    m_hidden = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dataDirectory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (HasKeySetExtension(name) && IsRegularFile(it->path().string())) {
            m_names.push_back(name);
        }
    }
    std::sort(m_names.begin(), m_names.end());
    if (m_names.size() > kMaxFiles) {
        m_hidden = m_names.size() - kMaxFiles;
        m_names.resize(kMaxFiles);
    }
}

std::vector<SKeySetMenuItem> CKeySetMenu::Items(const std::string& currentPath) const {
    std::vector<SKeySetMenuItem> items;
    if (m_names.empty()) {
        items.push_back({kNoFilesCommand, kNoFilesText, false, false});
        return items;
    }
    const std::string currentName = currentPath.empty() ? std::string() : PathFileName(currentPath);
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        SKeySetMenuItem item{static_cast<std::uint16_t>(kFirstCommand + i), m_names[i], true,
                             false};
        if (item.text == currentName) {
            std::error_code error;
            item.checked = std::filesystem::equivalent(
                currentPath, PathCombine(m_dataDirectory, m_names[i]), error);
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::optional<std::string> CKeySetMenu::FileForCommand(std::uint16_t command) const {
    if (command < kFirstCommand || command >= kFirstCommand + m_names.size()) {
        return std::nullopt;
    }
    std::string path = PathCombine(m_dataDirectory, m_names[command - kFirstCommand]);
    if (!IsRegularFile(path)) {
        return std::nullopt;
    }
    return path;
}

}  // namespace quillpad
