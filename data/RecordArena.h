#pragma once
// Compact storage for an unbounded history of records.
//
// Records are kept in segments: a byte block that never moves plus the
// 12-byte heads of its records (tick, an index into a small table of
// distinct (ownerId, direction, source) triples, and the offset of the
// bytes in the block). `kind` is always 1 and `sequence` is the index, so
// neither is stored. A record that does not fit the rest of the current block
// starts a new one (a large record gets a block of its own size). Blocks
// start at 4 KiB and double up to 1 MiB, so a quiet console holds little.
// Blocks of 64 KiB and more are whole pages from the system (AllocatePages),
// so the memory of a segment that spills goes back to it at once.
//
// With a spill target, every record not yet written goes to a spill file (a
// binary log, see CSpillFile) in pieces that the file's writer thread
// appends: sealing a block and FlushSpill hand them out, and FlushSpill
// collects what was written. Segments leave memory, oldest first, while the
// arena holds more than its budget, once all of them is written and
// collected; until then a record in flight is read from memory. A segment on
// disk keeps only where it starts in the file and the offset of every
// kSparseStep-th record; a lookup maps the segment's window and walks the few
// heads in between. An event loop's turns collect, hand out and hold back the
// intake while the writer falls behind (SpillBehind, SpillPastSlack); a block
// sealed past the budget and twice the slack waits for the writer, so a
// single long turn (a load) stays within them too. A failed write stops the
// spilling for good (until Clear) and everything from then on stays in memory.
//
// A loaded log can be taken whole as the first records (AdoptLog): they
// stay in its file, read and checked there by CAdoptedLog, and are never
// written to the spill file (they are on disk already).
//
// Lifetime of a record's `bytes`: until the next Reserve, Append or
// FlushSpill (which may drop its segment or unmap its window), TrimWindows,
// DropWindows, SetSpillTarget or Clear; lookups never end it.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/AdoptedLog.h"
#include "data/LoadedLog.h"
#include "data/SDataRecord.h"
#include "data/SpillFile.h"
#include "platform/Memory.h"

namespace quillpad {

struct SSpillTarget {
    std::string folder;
    // Memory for records the arena keeps before segments go to disk.
    std::size_t budgetBytes = 0;
    // The header's time base.
    std::int64_t startTime = 0;
    std::uint32_t startTick = 0;
    // The console's link, for the file's sidecar; a change is no new file.
    std::string link;
    // The file's gathered write (empty: writev), for a test's failing disk.
    CSpillFile::WriteFunction write;
};

class CRecordArena {
  public:
    static constexpr std::size_t kFirstBlockBytes = std::size_t{1} << 12;
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    static constexpr std::size_t kSparseStep = 32;
    // Records are written to the spill file in pieces of about this size (a
    // piece ends after the record that reaches it), one gathered write each.
    static constexpr std::size_t kWritePieceBytes = std::size_t{256} << 10;
    // Pieces handed to the writer and not yet collected, at most: their
    // heads are encoded as they are handed out.
    static constexpr std::size_t kPiecesInFlight = 64;

    CRecordArena() = default;
    ~CRecordArena();
    CRecordArena(const CRecordArena&) = delete;
    CRecordArena& operator=(const CRecordArena&) = delete;

    // Records lost from an adopted log leave the count at once when they
    // were its last.
    std::size_t Count() const {
        return LogChanged() && m_blocks.size() == m_logBlocks ? std::min(m_count, LogCut())
                                                              : m_count;
    }
    // Record `index` (< Count()) with sequence = index.
    SDataRecord At(std::size_t index) const;
    // The bytes of records from (`index`, `offset`) on that lie back to back
    // in memory, in one segment, all of `direction` (0: any), at most
    // `maxBytes` of them, and the point just after them. Empty when the
    // record is on disk or in an adopted log, or is not of `direction`:
    // such records are read one at a time. A scan reads a segment in one
    // piece this way instead of a lookup a record; the bytes live as long
    // as a record's.
    struct SRun {
        std::string_view bytes;
        std::size_t before = 0;  // bytes of the same segment just before them
        std::size_t endRecord = 0;
        std::uint32_t endOffset = 0;
    };
    SRun ResidentRun(std::size_t index, std::uint32_t offset, std::uint32_t direction,
                     std::size_t maxBytes) const;
    // The record and offset `bytes` on from (`index`, `offset`), where every
    // byte in between is one of the history's (a run's bytes, say); past the
    // last record, Count() and 0.
    std::pair<std::size_t, std::uint32_t> Advance(std::size_t index, std::uint32_t offset,
                                                  std::uint64_t bytes) const;

    // Room for `length` contiguous bytes of the next record. Valid until the
    // next call of Reserve, Commit, Abandon or Clear.
    char* Reserve(std::uint32_t length);
    // Makes the reserved bytes (all `length` of them) the next record.
    void Commit(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                std::uint32_t source, std::uint32_t length);
    // Gives back a reservation that will not be committed.
    void Abandon();
    void Append(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                std::uint32_t source, std::string_view bytes);

    // Frees every record and every block, and removes the spill file; the
    // spill target stays and a new file starts with the next spill.
    void Clear();

    // Makes the records `index` finds in `log` the first ones; the arena
    // must be empty. They count for nothing against the budget. The pass
    // over the log's heads may be unfinished (it found a record at least):
    // IndexMoreOfLog goes on with it, and each record it finds counts at
    // once. Nothing may be appended while it is unfinished.
    void AdoptLog(std::unique_ptr<CLoadedLog> log, SBinaryLogIndex index);
    bool IndexingLog() const { return m_log != nullptr && m_log->Indexing(); }
    // Goes on with the adopted log's pass over at least `bytes` more of it.
    void IndexMoreOfLog(std::uint64_t bytes, SBinaryLogLoad& result);
    // The adopted log, null when there is none.
    const CLoadedLog* AdoptedLog() const { return m_log ? &m_log->File() : nullptr; }
    // Moves the adopted log's records to a private copy in `folder`, so the
    // log file can be written over. False, with the reason in `error`, when
    // the copy cannot be made.
    bool CopyAdoptedLog(const std::string& folder, std::string& error);
    // Whether the adopted log's file was found changed since the last
    // TakeLogCut: records from LogCut() on are lost to it.
    bool LogChanged() const { return m_log != nullptr && m_log->Changed(); }
    std::size_t LogCut() const { return m_log ? m_log->Cut() : static_cast<std::size_t>(-1); }
    // Ends the adopted log at its cut: the records lost go (or, with records
    // added after the log, stay as empty ones) and the pass over its heads
    // stops. Returns how many records remain readable.
    std::size_t TakeLogCut();

    // Spilling. The target's folder empty means none.
    void SetSpillTarget(SSpillTarget target);
    const SSpillTarget& SpillTarget() const { return m_target; }
    // Collects what the writer has written, hands it what is not yet in the
    // spill file, then drops written segments while over budget. With
    // `deadline` (a turn's share of the event loop) it never waits for the
    // disk, and stops handing out there, after at least one piece; the rest
    // goes at the next call. Without, it waits until every record is
    // written. False on the call that learnt of a failed write (a block
    // sealed may learn of it first: SpillFailed tells from then on).
    bool FlushSpill(std::optional<std::chrono::steady_clock::time_point> deadline = {});
    // What is not yet written and collected, in bytes as held (0 while the
    // arena does not spill): pieces in flight count until collected.
    std::size_t SpillBacklog() const;
    // The backlog is more than half the slack: the writer falls behind what
    // comes in. Past the whole slack, the intake must wait.
    bool SpillBehind() const;
    bool SpillPastSlack() const;
    // Records not yet written and collected, in bytes as they are held.
    std::size_t UnwrittenBytes() const;
    bool SpillFailed() const { return m_spillFailed; }
    const std::string& SpillError() const { return m_spillError; }
    // The spill file's path, empty while there is none.
    std::string SpillPath() const { return m_spill ? m_spill->Path() : std::string(); }
    // Unmaps the windows of lookups so far when there are many; a loop
    // over the whole history that holds no record across steps calls it
    // between them. Ends the lifetime of records read from disk.
    void TrimWindows() const;
    // Unmaps every window of lookups so far, for a loop going idle: kept
    // windows hold the spill file's pages resident. Ends the lifetime of
    // records read from disk.
    void DropWindows() const { UnmapWindows(); }
    std::size_t SpilledSegments() const { return m_firstResident; }
    // Blocks of kBlockBytes that took fresh pages from the system.
    std::size_t FreshBlocks() const { return m_freshBlocks; }
    std::size_t WrittenRecords() const { return m_written; }

    // Bytes held in memory for data, heads and the index of spilled
    // segments (capacity, not just what is used).
    std::size_t ReservedBytes() const;

  private:
    struct SPackedHead {
        std::uint32_t tick;
        std::uint32_t attributes;
        std::uint32_t offset;
    };
    struct SAttributes {
        std::uint32_t ownerId;
        std::uint32_t direction;
        std::uint32_t source;
        bool operator==(const SAttributes&) const = default;
    };
    struct SAttributesHash {
        std::size_t operator()(const SAttributes& a) const noexcept;
    };
    struct SBlock {
        // In memory: data and heads. On disk, and in the adopted log: both empty.
        PageBuffer data;
        std::vector<SPackedHead> heads;
        std::uint32_t capacity = 0;
        std::uint32_t used = 0;
        std::size_t firstRecord = 0;
        // Where the segment lies in the spill file, once written.
        std::uint64_t fileOffset = 0;
        std::uint64_t fileBytes = 0;
        // Offset from fileOffset of records 0, kSparseStep, 2 * kSparseStep...
        std::vector<std::uint64_t> sparse;
    };
    struct SWindow {
        const char* bytes = nullptr;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };

    std::uint32_t AttributeIndex(const SAttributes& attributes);
    std::size_t BlockOf(std::size_t index) const;
    std::size_t BlockEnd(std::size_t b) const {
        return b + 1 < m_blocks.size() ? m_blocks[b + 1].firstRecord : m_count;
    }
    SDataRecord SpilledAt(std::size_t b, std::size_t index) const;
    // The offset (from the segment's start) of its record `local`, found in
    // `window`, which holds the segment's bytes from offset `from`.
    std::uint64_t OffsetOf(std::size_t b, const char* window, std::uint64_t from,
                           std::size_t local) const;
    const char* Window(std::size_t b) const;
    void UnmapWindows() const;
    // The adopted log's records (its own count) are the arena's first ones.
    void NoteLogRecords(std::size_t records);
    // Hands the writer pieces of what is not yet handed out, up to
    // kPiecesInFlight, stopping at `deadline` after one; makes the file
    // first. False when it cannot be made.
    bool QueuePending(std::optional<std::chrono::steady_clock::time_point> deadline);
    // Takes back the pieces written so far. False when a write failed.
    bool CollectWritten();
    // Both, never waiting, as a block is sealed; the spilling stops on a
    // failure, which the next FlushSpill reports.
    void SpillStep();
    void StopSpilling();
    // What the arena may hold past its budget while the spill file catches up.
    std::size_t SpillSlack() const;
    void DropOverBudget();
    // A new block at the budget takes the pages of the oldest one on disk,
    // when there is no spare: fresh pages from the system cost a fault each
    // on first touch, and pages given back an unmap, both within a turn (on
    // a virtual machine 2 to 3 ms a block each).
    void RecycleWrittenBlock();
    // The oldest block in memory leaves it (it is on disk), its pages kept
    // as a spare or given back.
    void DropFirstResident(bool keepAsSpare);
    std::size_t ResidentBytes(const SBlock& block) const;

    std::vector<SBlock> m_blocks;
    std::vector<SAttributes> m_attributes;
    std::unordered_map<SAttributes, std::uint32_t, SAttributesHash> m_attributeIndex;
    std::uint32_t m_lastAttribute = 0;
    std::size_t m_count = 0;

    SSpillTarget m_target;
    std::unique_ptr<CSpillFile> m_spill;
    bool m_spillFailed = false;
    std::string m_spillError;
    std::size_t m_written = 0;        // records in the spill file, collected
    std::size_t m_queued = 0;         // records handed to the writer
    std::size_t m_piecesOut = 0;      // pieces handed out, not collected
    std::size_t m_firstResident = 0;  // blocks before it are on disk only
    // The sparse indexes of the blocks from the adopted log's to m_firstResident.
    std::size_t m_spilledSparseBytes = 0;
    std::vector<PageBuffer> m_spareBlocks;  // of kBlockBytes, for the next blocks
    std::size_t m_freshBlocks = 0;
    // Pieces collected, for the next ones: their room for heads and views.
    std::vector<std::unique_ptr<CSpillFile::SPiece>> m_freePieces;
    // Windows mapped by lookups since the last append; a lookup does not
    // unmap, so every record it lent stays readable until then.
    mutable std::unordered_map<std::size_t, SWindow> m_windows;
    // The last record found on disk, so that a walk through the history
    // steps from record to record instead of from the sparse index.
    struct SCursor {
        std::size_t block = static_cast<std::size_t>(-1);
        std::size_t local = 0;
        std::uint64_t offset = 0;
    };
    mutable SCursor m_cursor;

    std::unique_ptr<CAdoptedLog> m_log;
    std::size_t m_logBlocks = 0;   // blocks before it are the adopted log's
    std::size_t m_logRecords = 0;  // records in them
};

}  // namespace quillpad
