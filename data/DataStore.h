#pragma once
// The data store: owns every record of one console, its time base, the
// registered views, the owner ids that count as own and the live log writers.
//
// Views learn of records by reference, never by pointer:
//
//   UM_APPEND_RECORD   wParam = the record's sequence
//                      lParam = the store's generation when it was created
//
// (use AppendNoticeRef to read them). A view looks the record up with
// CDataStore::Find when it handles the notice; a clear or a load starts a new
// generation, so a notice still queued for a record they freed finds nothing
// and is skipped. Live records are posted; a replay (UM_FILL_VIEW) sends the
// same notice synchronously, and stops early when the view answers a notice
// with kAppendTookAll: a view that reads the store itself has then taken the
// whole history (a loaded log of millions of records is not replayed one
// notice at a time).
//
// Messages the store handles (every handler returns 0 unless said otherwise):
//
//   UM_FILL_VIEW        lParam = view handle     replays every record into that view
//   UM_REGISTER_VIEW    wParam = 1 add, 0 remove; lParam = view handle
//   UM_REGISTER_OWN_ID  wParam = 1 add, 0 remove; lParam = owner id
//   UM_CLEAR_DATA       clears, then sends UM_CLEAR_DATA to every view in order
//   UM_LOAD_LOG         payload = std::string path; returns 1 when accepted, else 0
//   UM_LOG_CHANGED      wParam = generation; posted by the store to itself
//   UM_GET_RECORD       wParam = index; returns the record's sequence, -1 when none
//   UM_GET_RECORD_TIME  wParam = index; payload = CPayload::Borrow(std::int64_t*)
//                       that receives the calendar seconds (sent only); returns the
//                       millisecond part (0 when none, and the seconds are then left
//                       alone)
//   UM_GET_START_TICK   returns startTick
//   UM_SET_LOGGING      wParam = 1 start, payload = CPayload::Make(const SLogRequest*)
//                       (the request stays the caller's until it stops logging);
//                       wParam = 0 stop. Returns the number of files that failed.
//   UM_SAVE_BUFFER      payload = const SLogRequest* (Make or Borrow); returns the
//                       number of files that failed
//   (UM_LOAD_LOG, UM_SET_LOGGING and UM_SAVE_BUFFER are LoadLog, StartLogging,
//   StopLogging and SaveBuffer for senders that hold only the handle; an owner
//   that holds the store calls those.)
//
// History budget: with SetHistoryBudget the store keeps at most about that
// much of its records in memory; the rest lives in a spill file under the
// given folder (a binary log, removed on clear, load and close) and is read
// back through memory maps, so lookups see no difference. The spill file's
// own thread writes it: FlushLiveLogs hands it what the turn brought and
// collects what it wrote, never waiting for the disk while given a deadline.
// The records of a loaded log
// stay in the log's own file and are not spilled again. A failed spill write is
// reported once to the spill failure handler, and the store then keeps
// everything in memory.
//
// Observers (Subscribe) are told once a turn what arrived: records, a
// clear, a load, marks (SStoreNotice, given by EndTurn). Nothing is told in
// a turn in which nothing changed.
//
// Live logging: the request's paused flag is read at every record. Writers
// gather what they write; FlushLiveLogs, called at the end of every
// event-loop turn, hands each live file its bytes in one write. Files that
// would not open or whose write failed are left out and handed to the
// failure handler (or kept for TakeLogFailures), once each.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/BinaryLogReader.h"
#include "data/ByteOffsetIndex.h"
#include "data/LiveLogWriter.h"
#include "data/LogRequest.h"
#include "data/RecordArena.h"
#include "data/SDataRecord.h"
#include "data/StoreNotice.h"
#include "data/TextLogWriter.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "platform/MessageChannel.h"
#include "platform/StampMode.h"

namespace quillpad {

// The record an append notice names.
inline SRecordRef AppendNoticeRef(const SMessage& message) {
    return SRecordRef{static_cast<std::uint32_t>(message.lParam),
                      static_cast<std::uint32_t>(message.wParam)};
}

class CDataStore final : public CMessageTarget {
  public:
    // The time base starts now, by `clock`.
    explicit CDataStore(CMessageChannel& channel, IClock& clock = DefaultClock());
    // Stops live logging (closing its files), then frees every record.
    ~CDataStore() override;

    // A session's data event: one character per byte, as the session delivers it.
    SRecordRef AddIncoming(std::uint32_t ownerId, std::u16string_view text);
    SRecordRef AddOutgoing(std::uint32_t ownerId, std::u16string_view text);
    // The same for data that is already bytes.
    SRecordRef AddIncomingBytes(std::uint32_t ownerId, std::string_view bytes);
    SRecordRef AddOutgoingBytes(std::uint32_t ownerId, std::string_view bytes);
    // A mark in the history (a lost link, a trigger, a script's note): an
    // outgoing-looking record of source "other", so a style can colour or
    // hide it and the binary log keeps it.
    SRecordRef AddMark(std::string_view text) { return AddOutgoingBytes(kMarkOwnerId, text); }
    // The clock that stamps the records (and a mark's own words).
    const IClock& Clock() const { return m_clock; }

    // Records. A returned SDataRecord borrows the store's bytes for as long
    // as SDataRecord.h says: until the next add or turn's end at least.
    std::size_t RecordCount() const { return m_arena.Count(); }
    std::optional<SDataRecord> Record(std::size_t index) const;
    // The record a notice or an earlier lookup named, if it still exists.
    std::optional<SDataRecord> Find(SRecordRef ref) const;
    std::uint32_t Generation() const { return m_generation; }
    // Bytes of consecutive records that lie together in memory, for scans
    // over the whole history (see CRecordArena::ResidentRun), and the point a
    // number of bytes on.
    CRecordArena::SRun ResidentRun(std::size_t index, std::uint32_t offset, std::uint32_t direction,
                                   std::size_t maxBytes) const {
        return m_arena.ResidentRun(index, offset, direction, maxBytes);
    }
    std::pair<std::size_t, std::uint32_t> Advance(std::size_t index, std::uint32_t offset,
                                                  std::uint64_t bytes) const {
        return m_arena.Advance(index, offset, bytes);
    }
    // A loop over the whole history that holds no record across steps calls
    // this between them, so windows mapped for spilled records do not pile up.
    void TrimWindows() const { m_arena.TrimWindows(); }
    // The same for every window (CRecordArena::DropWindows).
    void DropWindows() const { m_arena.DropWindows(); }

    // The history as one stream of bytes (all records, or own-source ones
    // only): the bytes before record `index`, the record holding byte
    // `offset` (RecordCount() past the end) and the stream's length. A
    // sparse index keeps these cheap over a history of any length.
    std::uint64_t BytesBefore(std::size_t index, bool allSources) const {
        return m_offsets.BytesBefore(*this, index, allSources);
    }
    std::size_t RecordAtByte(std::uint64_t offset, bool allSources) const {
        return m_offsets.RecordAt(*this, offset, allSources);
    }
    std::uint64_t TotalBytes(bool allSources) const { return m_offsets.Total(*this, allSources); }

    // Time base.
    std::int64_t StartTime() const { return m_startTime; }
    std::uint32_t StartTick() const { return m_startTick; }
    std::uint32_t NextSequence() const { return static_cast<std::uint32_t>(RecordCount()); }
    std::optional<SRecordTime> RecordTime(std::size_t index) const;
    SRecordTime TimeOfTick(std::uint32_t tick) const {
        return RecordCalendarTime(m_startTime, m_startTick, tick);
    }

    // Views and own ids; a handle or id may stand in its list more than once,
    // and removing takes out every entry equal to it.
    void RegisterView(MessageHandle view);
    void UnregisterView(MessageHandle view);
    const std::vector<MessageHandle>& Views() const { return m_views; }
    void RegisterOwnId(std::uint32_t ownerId);
    void UnregisterOwnId(std::uint32_t ownerId);
    const std::vector<std::uint32_t>& OwnIds() const { return m_ownIds; }
    // Owner id 0 is always own.
    bool IsOwn(std::uint32_t ownerId) const;
    // Tells `observer` of each turn's changes until the subscription goes.
    // Observing changes nothing of the history, so a holder of a const
    // store may observe it.
    [[nodiscard]] CStoreSubscription Subscribe(IStoreObserver& observer) const {
        return CStoreSubscription(m_observers, observer);
    }
    // The records before this index are a loaded log's, not the link's.
    std::size_t LogRecords() const { return m_logRecords; }

    // Sends UM_APPEND_RECORD for every record, first to last, to `view`,
    // until the view answers kAppendTookAll.
    void FillView(MessageHandle view);
    // Frees every record and resets the time base to now, then sends
    // UM_CLEAR_DATA to every registered view.
    void ClearData();

    // Replaces all records and the time base with a binary log's. A refused
    // file leaves the store (and what its views show) as it was; an accepted
    // one sends UM_CLEAR_DATA to every registered view, and the caller asks
    // for a replay. A regular file is not read in: its records stay in the
    // file (they count nothing against the budget), read where they lie when
    // looked up, and only one pass over its heads is made. Saving or logging
    // to that same file later first moves them to a private copy in the
    // spill folder. A pipe or a device is read as a stream. Another program
    // that cuts or rewrites the file ends the log at the first record it
    // touched (see SetLoadedLogChangeHandler).
    SBinaryLogLoad LoadLog(const std::string& path);
    SBinaryLogLoad LoadLog(IByteSource& source);
    // The same for a console, which shows the log at once however large it
    // is: a file's heads are read in parts, the first now and the
    // others one a turn (UM_LOAD_MORE posted to the store itself); the
    // records of each part count at once and the registered views are told
    // of them as of records arriving. What needs every record (saving,
    // logging, appending) reads the rest first. The result's counts are
    // those of the first part.
    SBinaryLogLoad LoadLogInParts(const std::string& path);
    // Whether a log loaded in parts has heads left to read, and reads them.
    bool LoadingLog() const { return m_arena.IndexingLog(); }
    void FinishLoadingLog();
    // Bytes of the log each part reads (a test may make it small).
    void SetLoadPartBytes(std::uint64_t bytes) { m_loadPartBytes = bytes; }
    // Save Buffer, binary kind: the header, then every record. False when the
    // file cannot be created or a write failed.
    bool SaveBinaryLog(const std::string& path);
    // Save Buffer: every record into the files the request selects, in the
    // order plain, binary, formatted; the paused flag plays no part. The
    // formatted file renders through the first registered view. Returns how
    // many files failed (they go to the failure handler).
    std::size_t SaveBuffer(const SLogRequest& request);
    // How the formatted log renders a record: as the console shows it (the
    // console's view sets it, and takes it back before it goes). Without
    // one, records render empty. Live writers call through the store, so a
    // change reaches them too.
    void SetTextRenderer(TextRenderer renderer) { m_textRenderer = std::move(renderer); }

    // Live logging. Opens the selected files in the order plain, formatted,
    // binary; logging counts as active even when none would open. Returns how
    // many files failed to open. The request is held, not copied (its paused
    // flag is read live): it must outlive the logging.
    std::size_t StartLogging(const SLogRequest& request);
    // Flushes and closes every live file, forgets the request.
    void StopLogging();
    bool IsLogging() const { return m_logRequest != nullptr; }
    bool IsLoggingPaused() const { return m_logRequest != nullptr && m_logRequest->paused; }
    const SLogRequest* LogRequest() const { return m_logRequest; }
    // The kinds being written now, in opening order.
    std::vector<ELogKind> LiveLogKinds() const;
    // The end of an event-loop turn: every live file gets what the turn
    // brought in one write. A file whose write fails is closed and reported.
    // With `spillDeadline` the spill file's writer is handed what can be by
    // then and nothing waits for the disk (see CRecordArena::FlushSpill);
    // without, it returns once every record is written.
    void FlushLiveLogs(std::optional<std::chrono::steady_clock::time_point> spillDeadline = {});
    // The end of an event-loop turn: the live logs and the spill as
    // FlushLiveLogs, then the turn's notice to every observer.
    void EndTurn(std::optional<std::chrono::steady_clock::time_point> spillDeadline = {});
    // What the spill file still has to get, and whether its writes fall
    // behind what comes in (CRecordArena::SpillBacklog, SpillBehind,
    // SpillPastSlack).
    std::size_t SpillBacklog() const { return m_arena.SpillBacklog(); }
    bool SpillBehind() const { return m_arena.SpillBehind(); }
    bool SpillPastSlack() const { return m_arena.SpillPastSlack(); }
    bool HasPendingLogData() const;

    // Where failed log files are reported; without a handler they wait for
    // TakeLogFailures.
    using LogFailureHandler = std::function<void(std::vector<SLogFileFailure>)>;
    void SetLogFailureHandler(LogFailureHandler handler) { m_onLogFailure = std::move(handler); }
    std::vector<SLogFileFailure> TakeLogFailures() { return std::exchange(m_logFailures, {}); }

    // The show-all-sources switch, as the text logs read it when made.
    void SetShowAllSources(bool on) { m_showAllSources = on; }
    // The console's line stamps, which the text logs write too: the live ones
    // from their next line, later ones from their start.
    void SetStampMode(EStampMode mode);
    EStampMode StampMode() const { return m_stampMode; }

    // Memory held for records (capacity, not just what is used).
    std::size_t ReservedBytes() const { return m_arena.ReservedBytes(); }
    // Memory of the running byte sums kept beside the records.
    std::size_t OffsetIndexBytes() const { return m_offsets.ReservedBytes(); }

    // Keeps at most `budgetBytes` of records in memory, the rest in a spill
    // file in `folder` (DefaultSpillFolder() when empty); 0 means no limit
    // and no spill file.
    void SetHistoryBudget(std::size_t budgetBytes, std::string folder = {});
    std::size_t HistoryBudget() const { return m_historyBudget; }
    // The spill file, empty while there is none.
    std::string SpillPath() const { return m_arena.SpillPath(); }
    // The link the history comes from, kept beside the spill file so that
    // a recovery can name it.
    void SetHistoryLink(std::string link);
    // Told once, with the reason, when a spill write fails.
    using SpillFailureHandler = std::function<void(const std::string& error)>;
    void SetSpillFailureHandler(SpillFailureHandler handler) {
        m_onSpillFailure = std::move(handler);
    }
    bool SpillFailed() const { return m_arena.SpillFailed(); }
    // Told, with the words for the user, when the loaded log's file was
    // found changed on disk (cut short or written over) as the store read
    // it: by then the records lost are gone and the views refilled. Each
    // new loss is told again.
    using LoadedLogChangeHandler = std::function<void(const std::string& message)>;
    void SetLoadedLogChangeHandler(LoadedLogChangeHandler handler) {
        m_onLogChange = std::move(handler);
    }
    // The spill file's gathered write, for a test's failing or slow disk
    // (empty: writev); for files made from now on.
    void SetSpillWrite(CSpillFile::WriteFunction write);

    std::int64_t HandleMessage(SMessage& message) override;

  private:
    SRecordRef Add(std::uint32_t direction, std::uint32_t ownerId, std::u16string_view text);
    SRecordRef Add(std::uint32_t direction, std::uint32_t ownerId, std::string_view bytes);
    SRecordRef Commit(std::uint32_t direction, std::uint32_t ownerId, std::uint32_t length);
    // Frees the records, resets the time base to now; tells nobody.
    void Clear();
    void TellViewsCleared();
    SBinaryLogLoad LoadMappedLog(const std::string& path, bool inParts);
    // One more part of a log loaded in parts, then the views are told.
    void LoadMore(std::uint64_t bytes);
    // Before `path` is written: when it is the loaded log, its records move
    // to a private copy. False, with the reason, when they cannot.
    bool ReleaseLoadedFile(const std::string& path, std::string& error);
    // The writer of one kind for a request, or null with the failure noted.
    std::unique_ptr<ILiveLogWriter> OpenLogWriter(const SLogRequest& request, ELogKind kind,
                                                  bool live);
    void ReportLogFailures();
    // Points the arena's spill file at the current time base and budget.
    void UpdateSpillTarget();
    void ReportSpillFailure();
    // A loaded log found changed is taken in by a message to the store
    // itself, never inside the lookup that found it.
    void NoteLogChange() const;
    void TakeLogChange();
    // What the turn's notice will say.
    void NoteRecords(std::size_t first);
    void NoteNewHistory(bool loaded);
    void DeliverNotice();

    IClock& m_clock;
    CRecordArena m_arena;
    // Counted as records come; a loaded log's when first asked.
    mutable CByteOffsetIndex m_offsets;
    std::vector<MessageHandle> m_views;
    std::vector<std::uint32_t> m_ownIds;
    std::int64_t m_startTime = 0;
    std::uint32_t m_startTick = 0;
    std::uint32_t m_generation = 1;
    std::vector<std::unique_ptr<ILiveLogWriter>> m_liveWriters;
    const SLogRequest* m_logRequest = nullptr;
    bool m_showAllSources = false;
    // About 5 ms of a pass over heads on a slow machine.
    std::uint64_t m_loadPartBytes = std::uint64_t{16} << 20;
    EStampMode m_stampMode = EStampMode::Off;
    std::vector<SLogFileFailure> m_logFailures;
    LogFailureHandler m_onLogFailure;
    std::size_t m_historyBudget = 0;
    std::string m_historyLink;
    std::string m_spillFolder;
    SpillFailureHandler m_onSpillFailure;
    bool m_spillFailureReported = false;
    CSpillFile::WriteFunction m_spillWrite;
    LoadedLogChangeHandler m_onLogChange;
    mutable bool m_logChangePosted = false;
    TextRenderer m_textRenderer;
    std::size_t m_logRecords = 0;
    // Changes since the last notice.
    struct SPendingNotice {
        bool any = false;
        bool cleared = false;
        bool loaded = false;
        std::size_t first = 0;
        std::size_t marks = 0;
    };
    SPendingNotice m_pending;
    std::shared_ptr<CStoreSubscription::List> m_observers =
        std::make_shared<CStoreSubscription::List>();
};

// What the user is told when a loaded log changed on disk.
std::string LoadedLogChangedText(std::size_t shown);

}  // namespace quillpad
