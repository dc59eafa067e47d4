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
//
// Every write to the file and its sidecar is made by a thread of the file's
// own: a writev on a busy disk can sleep for tens of milliseconds (block
// allocation under the inode lock while writeback holds it), which the
// caller's event loop must never wait for. The caller queues pieces (views of
// bytes it keeps unchanged until the piece comes back) and collects the
// written ones later; only a wait asked for (Wait) waits for the disk.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/uio.h>

namespace quillpad {

// $XDG_CACHE_HOME/quillpad, else ~/.cache/quillpad.
std::string DefaultSpillFolder();

// Spill files in `folder` that no open console holds, oldest name first.
// One without a record (shorter than a header and a record's head: its
// console died before it spilled any) is removed with its sidecar instead,
// without a word, as is one left half made.
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
// then left where it was. A copy to another file system is on the disk
// before the orphan goes.
std::string KeepOrphanAsLog(const SOrphanSpill& orphan, const std::string& folder,
                            std::string& error);

// What the console says of an orphan it took (a mark in its history, so
// that nothing waits for an answer): where it is kept as a log, or why it
// could not be (`error`; it then stays in `spillFolder` and is taken at the
// next start). Names the link, when the file was last written and its size.
std::string RecoveryNotice(const SOrphanSpill& orphan, const std::string& kept,
                           const std::string& error, const std::string& spillFolder);
// A size in bytes as a person reads it: "512 bytes", "1.5 KB", "2.0 MB".
std::string ByteSizeText(std::uint64_t bytes);

// The sidecar of the spill file at `path`.
std::string SpillLinkPath(const std::string& path);
// Removes a spill file and its sidecar.
void RemoveSpillFile(const std::string& path);

class CSpillFile {
  public:
    // How the writer thread hands the disk a gathered write: writev, unless
    // a test stands in a disk that fails or waits.
    using WriteFunction = std::function<ssize_t(int fd, const iovec* iov, int count)>;

    // A piece of the file: what goes out, in turn, as views of `owned` and of
    // bytes the caller keeps unchanged until the piece is collected.
    struct SPiece {
        std::string owned;
        std::vector<std::string_view> views;
        std::size_t endRecord = 0;  // the caller's: what the piece completes
    };

    // A new, locked file in `folder` (created 0700 when missing); its header
    // for the time base is the first piece queued. Null, with the reason in
    // `error`, when it cannot be made.
    static std::unique_ptr<CSpillFile> Create(const std::string& folder, std::int64_t startTime,
                                              std::uint32_t startTick, std::string& error,
                                              WriteFunction write = {});
    // Drops what is queued, waits for the write in progress (a system call
    // cannot be called back), closes and removes the file and its sidecar.
    ~CSpillFile();
    CSpillFile(const CSpillFile&) = delete;
    CSpillFile& operator=(const CSpillFile&) = delete;

    const std::string& Path() const { return m_path; }
    // Names the console's link in the sidecar, replaced whole (in turn with
    // the pieces) so that a console killed meanwhile leaves the old name or
    // the new one; empty removes it. Best effort: a history without it only
    // says less.
    void SetLink(const std::string& link);
    // Where the next piece queued will start: the bytes queued so far,
    // header included.
    std::uint64_t Size() const { return m_size; }
    // Hands the writer thread a piece; it is appended after those before it.
    void Queue(std::unique_ptr<SPiece> piece);
    // Moves the pieces written since the last call, oldest first, to
    // `written`. False, with the reason in `error`, once a write failed:
    // nothing is written after it (those pieces stay queued, their bytes
    // must stay) and the file's tail past the last piece collected is
    // undefined. Never waits for the disk.
    bool Collect(std::vector<std::unique_ptr<SPiece>>& written, std::string& error);
    // Waits until everything queued is written or a write failed.
    void Wait();

    // `length` bytes at `offset` (within pieces collected), mapped read-only.
    // Stays valid until Unmap or the file's end.
    const char* Map(std::uint64_t offset, std::uint64_t length, std::string& error);
    static void Unmap(const char* mapped, std::uint64_t offset, std::uint64_t length);

  private:
    // A piece, or a new name for the sidecar.
    struct SJob {
        std::unique_ptr<SPiece> piece;
        std::optional<std::string> link;
        bool header = false;  // the file's own piece: never collected
    };

    CSpillFile(std::string path, int fd, WriteFunction write);
    void Push(SJob job);
    void Run();
    bool Append(const std::vector<std::string_view>& pieces, std::string& error);
    void WriteLink(const std::string& link) const;

    const std::string m_path;
    const int m_fd = -1;
    const WriteFunction m_write;
    std::uint64_t m_size = 0;     // the caller's
    std::vector<iovec> m_gather;  // the writer's, kept between appends

    std::mutex m_mutex;
    std::condition_variable m_wake;  // the writer's: a job queued, or stop
    std::condition_variable m_idle;  // Wait's: a job done, or a failure
    // Queued and not collected; the first m_done of them are done.
    std::deque<SJob> m_jobs;
    std::size_t m_done = 0;
    bool m_failed = false;
    std::string m_error;
    bool m_stop = false;
    std::thread m_thread;  // last: it starts once the rest is made
};

}  // namespace quillpad
