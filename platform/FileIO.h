#pragma once
// Whole-file reads and crash-safe whole-file writes on plain byte strings.

#include <string>
#include <string_view>

namespace quillpad {

// Who may read a file or folder the program creates. What was typed at a
// device or received from it (history, logs, the registry store, the
// workspace) is the user's alone: new files 0600, new folders 0700. Shared
// ones leave it to the umask. Either way an existing file keeps its mode.
enum class EFileAccess { Shared, Private };

// Reads every byte of a regular file. False (with a reason in `error` when
// given) if it cannot be opened or read, or holds more than `maxBytes`;
// `bytes` is then left empty.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string* error = nullptr,
                   std::size_t maxBytes = std::string::npos);

// Replaces the file at `path` with `bytes` so that a full disk, an I/O error
// or a killed process leaves either the old file or the new one, each whole:
// the bytes go to a temporary file in the same folder, are flushed to the
// disk, and the temporary file is renamed over the old one. A symbolic link
// is followed, so the file it names is the one replaced. The new file keeps
// the old file's permissions. An existing file that this process may not
// write is refused, as an in-place write would be. A new file is created with
// `access`. False on any failure, and the old file is untouched.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr, EFileAccess access = EFileAccess::Shared);

}  // namespace quillpad
