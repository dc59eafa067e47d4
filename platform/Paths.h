#pragma once
// Path helpers on plain byte strings, with the platform's separator.

#include <string>
#include <string_view>

#include "platform/FileIO.h"

namespace quillpad {

inline constexpr char kPathSeparator = '/';

// "a" + "b" -> "a/b"; no doubled separator; an absolute `name` wins.
std::string PathCombine(std::string_view folder, std::string_view name);
// Everything before the last separator ("" when there is none; "/" for "/x").
std::string PathFolder(std::string_view path);
// Everything after the last separator.
std::string PathFileName(std::string_view path);
// Same folder, ignoring ASCII case and trailing separators.
bool SameFolderIgnoringCase(std::string_view a, std::string_view b);

// The host's install path: $WORKBAY_HOME when set, else $XDG_DATA_HOME/Workbay,
// else ~/.local/share/Workbay.
std::string WorkbayInstallPath();

// Creates the folder and its parents; true when it exists afterwards. The
// folders it creates get `access`; existing ones are left as they are.
bool EnsureFolder(const std::string& path, EFileAccess access = EFileAccess::Shared);

}  // namespace quillpad
