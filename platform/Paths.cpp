#include "platform/Paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quillpad {
namespace {

std::string_view TrimTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && path.back() == kPathSeparator) {
        path.remove_suffix(1);
    }
    return path;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::string PathCombine(std::string_view folder, std::string_view name) {
    if (folder.empty() || (!name.empty() && name.front() == kPathSeparator)) {
        return std::string(name);
    }
    std::string out(folder);
    if (out.back() != kPathSeparator && !name.empty()) {
        out += kPathSeparator;
    }
    out += name;
    return out;
}

std::string PathFolder(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    if (pos == std::string_view::npos) {
        return {};
    }
    return pos == 0 ? std::string(1, kPathSeparator) : std::string(path.substr(0, pos));
}

std::string PathFileName(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

bool SameFolderIgnoringCase(std::string_view a, std::string_view b) {
    a = TrimTrailingSeparators(a);
    b = TrimTrailingSeparators(b);
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string WorkbayInstallPath() {
    if (std::string home = Env("WORKBAY_HOME"); !home.empty()) {
        return home;
    }
    if (std::string data = Env("XDG_DATA_HOME"); !data.empty()) {
        return PathCombine(data, "Workbay");
    }
    return PathCombine(PathCombine(Env("HOME"), ".local/share"), "Workbay");
}

bool EnsureFolder(const std::string& path, EFileAccess access) {
    std::error_code ec;
    if (access == EFileAccess::Shared) {
        std::filesystem::create_directories(path, ec);
        return std::filesystem::is_directory(path, ec);
    }
    // One level at a time, so that every folder made here is made private;
    // a folder another process makes meanwhile is taken as it is.
    const std::string_view whole = TrimTrailingSeparators(path);
    for (std::size_t end = whole.find(kPathSeparator, 1);;
         end = whole.find(kPathSeparator, end + 1)) {
        const std::string part(whole.substr(0, end));
        if (!part.empty() && !std::filesystem::is_directory(part, ec) &&
            ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (end == std::string_view::npos) {
            break;
        }
    }
    return std::filesystem::is_directory(path, ec);
}

}  // namespace quillpad
