#pragma once
// A binary console log loaded for review, and the index of its data records.
//
// The file is read where it lies, with pread into the store's own memory,
// never mapped: another program may shorten it, rewrite it or delete it while
// it is reviewed. A mapping faults (SIGBUS, the end of the process) on a page
// past a new end and shows whatever was written over the old bytes; a read
// only comes back short. A private copy at load would cost a second a
// gigabyte before the first screen; reads cost a copy of what is looked at.
// The pass over the heads keeps a hash of every kCheckBlockBytes of the file,
// and every later read is checked against them, so a record is never shown
// other than as the pass found it (see CRecordArena). Deleting or renaming
// the file does no harm: the descriptor kept open still reads it.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillpad {

struct SBinaryLogLoad;

class CLoadedLog {
  public:
    enum class EOpen { Opened, NotRegular, Failed };
    // The file opened for reading. NotRegular for what has no fixed size (a
    // pipe, a device) or is empty: it is read as a stream instead. Failed,
    // with the reason in `error`, when it cannot be opened.
    static std::unique_ptr<CLoadedLog> Open(const std::string& path, std::string& error,
                                            EOpen& outcome);
    ~CLoadedLog();
    CLoadedLog(const CLoadedLog&) = delete;
    CLoadedLog& operator=(const CLoadedLog&) = delete;

    // The size when opened: what the index may cover.
    std::uint64_t Size() const { return m_size; }
    // Its size now, which another program may have cut.
    std::uint64_t CurrentSize() const;
    // Up to `size` bytes from `offset`; fewer only where the file now ends.
    std::size_t ReadAt(std::uint64_t offset, char* out, std::size_t size) const;
    // Whether `path` names this very file (a save to it would cut it short).
    bool IsFile(const std::string& path) const;
    // A private copy of the file in `folder`, already removed from it (the
    // descriptor keeps it until the end), so that the file itself can be
    // written over. Null, with the reason in `error`, when it cannot be made.
    std::unique_ptr<CLoadedLog> Copy(const std::string& folder, std::string& error) const;

  private:
    CLoadedLog(int fd, std::uint64_t size, dev_t device, ino_t inode)
        : m_fd(fd), m_size(size), m_device(device), m_inode(inode) {}
    int m_fd;
    std::uint64_t m_size;
    dev_t m_device;
    ino_t m_inode;
};

// The bytes a pass over a log reads: the size it holds, and a read at an offset.
struct SLogSource {
    std::uint64_t size = 0;
    std::function<std::size_t(std::uint64_t offset, char* out, std::size_t size)> readAt;
};
SLogSource LogSourceOf(const CLoadedLog& log);
// A log in memory (the fuzzer's); `bytes` must outlive the source.
SLogSource LogSourceOf(std::string_view bytes);

// The unit the bytes of a loaded log are checked in.
inline constexpr std::size_t kCheckBlockBytes = std::size_t{4} << 10;
// The hash a block is checked by. Not a cryptographic one: it catches a
// rewrite, not an attack.
std::uint64_t CheckHash(const char* bytes, std::size_t size);

// Where the data records of a log are: the offset of the first from the
// log's start, and that of every `step`-th from the first. A pass over the
// heads may go in parts: `scanned` is where it has got to.
struct SBinaryLogIndex {
    std::uint64_t first = 0;
    std::uint64_t end = 0;  // just past the last whole data record
    std::vector<std::uint64_t> sparse;
    std::size_t count = 0;
    std::uint64_t scanned = 0;
    bool complete = false;  // the pass has reached the log's end
    // The hash of every kCheckBlockBytes from the log's start (the last one
    // up to its size); they cover `end` at least.
    std::vector<std::uint64_t> hashes;
    // The log came back shorter than its size: another program cut it.
    bool cut = false;
};

// Reads and checks the header of `log` and starts a pass over its heads.
// False, with result.error set, when the header is refused.
bool BeginBinaryLogIndex(const SLogSource& log, SBinaryLogLoad& result, SBinaryLogIndex& index);
// Goes on with the pass over at least `bytes` more of the log (to the end
// at most), by the stream reader's rules: heads of another kind are skipped,
// a record cut short by the end is dropped and ends the log. A pass over a
// large log this way holds nothing up for long: each part costs about what
// reading its bytes does.
void ContinueBinaryLogIndex(const SLogSource& log, std::size_t step, SBinaryLogLoad& result,
                            SBinaryLogIndex& index, std::uint64_t bytes);
// Both, over the whole log.
bool IndexBinaryLog(const SLogSource& log, std::size_t step, SBinaryLogLoad& result,
                    SBinaryLogIndex& index);
inline bool IndexBinaryLog(std::string_view log, std::size_t step, SBinaryLogLoad& result,
                           SBinaryLogIndex& index) {
    return IndexBinaryLog(LogSourceOf(log), step, result, index);
}

}  // namespace quillpad
