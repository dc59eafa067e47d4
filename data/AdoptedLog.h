#pragma once
// The records of a loaded log that the record arena took whole as its first
// ones: they stay in the log's file and are read from it as they are asked
// for. A lookup reads the window of kWindowBytes holding the record (and
// the rest of the records that start in it) into memory and checks every
// block of it against the hashes of the pass over the heads: a record is
// shown as that pass found it or not at all. Bytes that no longer match
// (another program cut or rewrote the file) end the log at the first record
// they touch, and that record and every later one read as empty until the
// owner takes them away (TakeCut).
//
// Lifetime of a record's `bytes`: until DropWindows, or a later lookup when
// more than a few windows are held (the arena trims them with its own).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "data/LoadedLog.h"
#include "data/SDataRecord.h"

namespace quillpad {

struct SBinaryLogLoad;

class CAdoptedLog {
  public:
    static constexpr std::size_t kWindowBytes = std::size_t{64} << 10;

    // `index` holds the offset of every `sparseStep`-th record; its pass
    // over the heads may be unfinished (IndexMore goes on with it).
    CAdoptedLog(std::unique_ptr<CLoadedLog> file, SBinaryLogIndex index, std::size_t sparseStep);

    // The records found, less those TakeCut dropped.
    std::size_t Count() const { return m_records; }
    bool Indexing() const { return !m_scan.complete; }
    // Goes on with the pass over at least `bytes` more of the file.
    void IndexMore(std::uint64_t bytes, SBinaryLogLoad& result);
    // Bytes of the file its records take.
    std::uint64_t RecordBytes() const { return m_scan.end - m_scan.first; }
    // Record `index` (< Count()); empty when lost from the file.
    SDataRecord At(std::size_t index) const;

    // Whether the file was found changed since the last TakeCut: records
    // from Cut() on are lost to it.
    bool Changed() const { return m_changed; }
    std::size_t Cut() const { return m_cut; }
    // Ends the log at its cut and stops the pass: how many records remain
    // readable. With `drop` the lost ones go from Count(); else they stay
    // (later records keep their numbers) and read as empty.
    std::size_t TakeCut(bool drop);

    const CLoadedLog& File() const { return *m_file; }
    // Reads on from a private copy in `folder`, so the file can be written
    // over. False, with the reason in `error`, when it cannot be made.
    bool MoveToCopy(const std::string& folder, std::string& error);

    std::size_t WindowCount() const { return m_windows.size(); }
    void DropWindows() const { m_windows.clear(); }
    // The index and hashes it holds in memory (windows apart).
    std::size_t MemoryBytes() const;

  private:
    struct SWindow {
        std::unique_ptr<char[]> bytes;
        std::uint64_t start = 0;  // file offsets
        std::uint64_t end = 0;    // of the bytes that matched
        bool cutShort = false;    // a block did not match: the file was cut there
    };
    // The window holding the group of records `group` (of the sparse step),
    // read and checked when not held.
    const SWindow* WindowOf(std::size_t group) const;
    std::uint64_t GroupStart(std::size_t group) const;
    std::uint64_t GroupEnd(std::size_t group) const;
    // Reads [start, end) of the file into `out`; returns where the bytes
    // that read whole and match their hashes end (a block boundary, or `end`).
    std::uint64_t ReadChecked(std::uint64_t start, std::uint64_t end, char* out) const;
    // The file's bytes are intact only before `intact`: the records from the
    // first that ends past it are lost.
    void CutAt(std::uint64_t intact) const;
    // After the pass found the file shorter: cuts where it now ends.
    void CutAtFileEnd() const;

    std::unique_ptr<CLoadedLog> m_file;
    SBinaryLogIndex m_scan;
    std::size_t m_step;
    std::size_t m_records;
    // Windows read since the last DropWindows, by their start / kWindowBytes.
    mutable std::unordered_map<std::uint64_t, SWindow> m_windows;
    // The first record found lost, and whether one was since the last TakeCut.
    mutable std::size_t m_cut = static_cast<std::size_t>(-1);
    mutable bool m_changed = false;
    // The last record found, so that a walk steps from record to record.
    mutable std::size_t m_cursorRecord = static_cast<std::size_t>(-1);
    mutable std::uint64_t m_cursorOffset = 0;
};

}  // namespace quillpad
