#pragma once
// The file a store's history goes to once it outgrows its memory budget.
//
// It is a binary console log like any other (header, then records), so a
// console that dies leaves a log that loads. The file is created private
// (0600) and holds an exclusive flock for as long as it is open: a file in
// the folder that nobody holds locked belongs to a console that closed
// without removing it, an orphan. Bytes are read back through read-only
// memory maps of page-aligned windows, never read into the heap.
//
// Beside it a small sidecar (same name, ".link") names the console's link,
// so that a recovery can say whose history it was; the log itself stays a
// plain binary log, and a file without a sidecar is still an orphan.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <sys/uio.h>

namespace quillpad {

// $XDG_CACHE_HOME/quillpad, else ~/.cache/quillpad.
std::string DefaultSpillFolder();

// Spill files in `folder` that no open console holds, oldest name first.
std::vector<std::string> FindOrphanSpillFiles(const std::string& folder);

// What a recovery tells of an orphan: its link (empty when its sidecar is
// missing), when it was last written (calendar seconds) and its size.
struct SOrphanSpill {
    std::string path;
    std::string link;
    std::int64_t lastWrite = 0;
    std::uint64_t bytes = 0;
};
// The orphans of `folder`, the one last written last.
std::vector<SOrphanSpill> DescribeOrphanSpillFiles(const std::string& folder);
// Moves an orphan into `folder` (made when missing) as a Workbay log named
// after when it was last written, never over another file, and drops its
// sidecar: the new path, or empty with the reason in `error`, the orphan
// then left where it was.
std::string KeepOrphanAsLog(const SOrphanSpill& orphan, const std::string& folder,
                            std::string& error);

// What the console asks about the orphans (none: ""): the one question,
// "Recover the history of a console that closed unexpectedly?" or its
// plural, then a line per orphan (its link, when it was last written and
// how big it is) and, for several, what Yes does with them: the newest is
// shown, the others are kept as logs in `keptFolder`.
std::string RecoveryQuestion(const std::vector<SOrphanSpill>& orphans,
                             const std::string& keptFolder);
// A size in bytes as a person reads it: "512 bytes", "1.5 KB", "2.0 MB".
std::string ByteSizeText(std::uint64_t bytes);

// The sidecar of the spill file at `path`.
std::string SpillLinkPath(const std::string& path);
// Removes a spill file and its sidecar.
void RemoveSpillFile(const std::string& path);

class CSpillFile {
  public:
    // A new, locked file in `folder` (created 0700 when missing) that starts
    // with a header for the time base; null, with the reason in `error`, when
    // it cannot be made.
    static std::unique_ptr<CSpillFile> Create(const std::string& folder, std::int64_t startTime,
                                              std::uint32_t startTick, std::string& error);
    // Unmaps, closes and removes the file and its sidecar.
    ~CSpillFile();
    CSpillFile(const CSpillFile&) = delete;
    CSpillFile& operator=(const CSpillFile&) = delete;

    const std::string& Path() const { return m_path; }
    // Names the console's link in the sidecar, replaced whole so that a
    // console killed meanwhile leaves the old name or the new one; empty
    // removes it. Best effort: a history without it only says less.
    void SetLink(const std::string& link);
    // Bytes written so far, header included.
    std::uint64_t Size() const { return m_size; }
    // Appends every byte or fails with the reason in `error`; after a
    // failure the file's tail past Size() is undefined.
    bool Append(std::string_view bytes, std::string& error);
    // The same for pieces written one after another in one call, so records
    // go from where they lie without being copied together first.
    bool Append(std::span<const std::string_view> pieces, std::string& error);

    // `length` bytes at `offset` (< Size()), mapped read-only. Stays valid
    // until Unmap or the file's end.
    const char* Map(std::uint64_t offset, std::uint64_t length, std::string& error);
    static void Unmap(const char* mapped, std::uint64_t offset, std::uint64_t length);

  private:
    CSpillFile(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    std::string m_path;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::vector<iovec> m_gather;  // kept between appends
};

}  // namespace quillpad
