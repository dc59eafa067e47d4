#pragma once
// A binary console log mapped read-only, whole, and the index of its data
// records. Loading a log this way reads nothing into the heap: records keep
// pointing into the mapping, and only the offset of every few records is
// held, so a log of any size opens in the time one pass over its heads takes.
//
// The mapping lives as long as the object. Removing or renaming the file
// meanwhile does no harm (the mapping keeps it); cutting it short does: the
// store therefore never writes over a log it has mapped (see CDataStore).

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

class CBinaryLogMap {
  public:
    enum class EOpen { Mapped, NotMappable, Failed };
    // The file mapped whole. NotMappable for what has no fixed size (a
    // pipe, a device) or will not map: it is read as a stream instead.
    // Failed, with the reason in `error`, when it cannot be opened.
    static std::unique_ptr<CBinaryLogMap> Open(const std::string& path, std::string& error,
                                               EOpen& outcome);
    ~CBinaryLogMap();
    CBinaryLogMap(const CBinaryLogMap&) = delete;
    CBinaryLogMap& operator=(const CBinaryLogMap&) = delete;

    std::string_view Bytes() const { return {m_bytes, m_size}; }
    // Whether `path` names this very file (a save to it would cut it short).
    bool IsFile(const std::string& path) const;
    // A private copy of the file in `folder`, already removed from it (the
    // mapping keeps it until the end), so that the file itself can be
    // written over. Null, with the reason in `error`, when it cannot be made.
    std::unique_ptr<CBinaryLogMap> Copy(const std::string& folder, std::string& error) const;
    // Gives the pages read so far back to the page cache. Nothing becomes
    // invalid: a page read again comes back from the file.
    void DropPages() const;

  private:
    CBinaryLogMap(const char* bytes, std::size_t size, dev_t device, ino_t inode)
        : m_bytes(bytes), m_size(size), m_device(device), m_inode(inode) {}
    const char* m_bytes;
    std::size_t m_size;
    dev_t m_device;
    ino_t m_inode;
};

// Where the data records of a log in memory are: the offset of the first
// from the log's start, and that of every `step`-th from the first. A pass
// over the heads may go in parts: `scanned` is where it has got to.
struct SBinaryLogIndex {
    std::uint64_t first = 0;
    std::uint64_t end = 0;  // just past the last whole data record
    std::vector<std::uint64_t> sparse;
    std::size_t count = 0;
    std::uint64_t scanned = 0;
    bool complete = false;  // the pass has reached the log's end
};

// Reads and checks the header of `log` and starts a pass over its heads.
// False, with result.error set, when the header is refused.
bool BeginBinaryLogIndex(std::string_view log, SBinaryLogLoad& result, SBinaryLogIndex& index);
// Goes on with the pass over at least `bytes` more of the log (to the end
// at most), by the stream reader's rules: heads of another kind are skipped,
// a record cut short by the end is dropped and ends the log. `between` is
// called every so many bytes with the offset reached (the caller may drop
// the pages behind it). A pass over a large log this way holds nothing up
// for long: each part costs about what reading its bytes does.
void ContinueBinaryLogIndex(std::string_view log, std::size_t step, SBinaryLogLoad& result,
                            SBinaryLogIndex& index, std::uint64_t bytes,
                            const std::function<void(std::uint64_t)>& between = {});
// Both, over the whole log.
bool IndexBinaryLog(std::string_view log, std::size_t step, SBinaryLogLoad& result,
                    SBinaryLogIndex& index, const std::function<void(std::uint64_t)>& between = {});

}  // namespace quillpad
