#pragma once
// The command history kept between sessions: the newest entries, one per
// line, with every byte that is not printable ASCII (CR, LF, TAB, 8-bit
// bytes) and the backslash written as "\xNN", so any entry survives the
// round trip. The file is replaced atomically, so a crash leaves the old
// history or the new one.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Bytes.h"

namespace quillpad {

inline constexpr const char* kHistoryFileName = "Command History.txt";
inline constexpr std::size_t kKeptHistoryEntries = 1000;

struct SHistoryFile {
    bool ok = true;  // false: the file exists but is not a history; `entries` is empty
    std::vector<ByteString> entries;  // oldest first
    std::string error;
};

// A missing file is an empty history, not an error.
SHistoryFile ReadHistoryFile(const std::string& path);
// Writes the newest kKeptHistoryEntries of `entries`.
bool WriteHistoryFile(const std::string& path, const std::vector<ByteString>& entries,
                      std::string* error = nullptr);

// The file's text, and back (exposed for tests and the fuzzer).
std::string FormatHistory(const std::vector<ByteString>& entries);
SHistoryFile ParseHistory(std::string_view text);

}  // namespace quillpad
