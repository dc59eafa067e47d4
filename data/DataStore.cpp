#include "data/DataStore.h"

#include <algorithm>
#include <limits>

#include "data/BinaryLogWriter.h"
#include "data/LoadedLog.h"
#include "data/TextLogWriter.h"
#include "platform/LocalTime.h"

namespace quillpad {

CDataStore::CDataStore(CMessageChannel& channel, IClock& clock)
    : CMessageTarget(channel), m_clock(clock) {
    m_startTime = m_clock.CalendarSeconds();
    m_startTick = m_clock.TickCount();
}

CDataStore::~CDataStore() {
    // The spill file goes with the store: nothing queued for it is waited for.
    m_arena.Clear();
    StopLogging();
    Clear();
}

SRecordRef CDataStore::AddIncoming(std::uint32_t ownerId, std::u16string_view text) {
    return Add(kDirectionIncoming, ownerId, text);
}

SRecordRef CDataStore::AddOutgoing(std::uint32_t ownerId, std::u16string_view text) {
    return Add(kDirectionOutgoing, ownerId, text);
}

SRecordRef CDataStore::AddIncomingBytes(std::uint32_t ownerId, std::string_view bytes) {
    return Add(kDirectionIncoming, ownerId, bytes);
}

SRecordRef CDataStore::AddOutgoingBytes(std::uint32_t ownerId, std::string_view bytes) {
    return Add(kDirectionOutgoing, ownerId, bytes);
}

SRecordRef CDataStore::Add(std::uint32_t direction, std::uint32_t ownerId,
                           std::u16string_view text) {
    const auto length = static_cast<std::uint32_t>(text.size());
    FinishLoadingLog();  // nothing goes after a log still being read
    char* out = m_arena.Reserve(length);
    // One character per byte; a character above 0xFF has no byte in the
    // single-byte code page and becomes '?', as WideToBytes does.
    for (std::uint32_t i = 0; i < length; ++i) {
        const char16_t c = text[i];
        out[i] = c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return Commit(direction, ownerId, length);
}

SRecordRef CDataStore::Add(std::uint32_t direction, std::uint32_t ownerId, std::string_view bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    FinishLoadingLog();  // nothing goes after a log still being read
    char* out = m_arena.Reserve(length);
    std::copy(bytes.begin(), bytes.end(), out);
    return Commit(direction, ownerId, length);
}

SRecordRef CDataStore::Commit(std::uint32_t direction, std::uint32_t ownerId,
                              std::uint32_t length) {
    const std::uint32_t source = IsOwn(ownerId) ? kSourceOwn : kSourceOther;
    m_arena.Commit(m_clock.TickCount(), ownerId, direction, source, length);
    m_offsets.Add(m_arena.Count() - 1, length, source == kSourceOwn);
    const SRecordRef ref{m_generation, static_cast<std::uint32_t>(m_arena.Count() - 1)};

    for (const MessageHandle view : m_views) {
        Channel().Post(view, UM_APPEND_RECORD, ref.sequence, ref.generation);
    }
    NoteRecords(ref.sequence);
    if (ownerId == kMarkOwnerId) {
        ++m_pending.marks;
    }
    if (m_logRequest != nullptr && !m_logRequest->paused && !m_liveWriters.empty()) {
        const SDataRecord record = m_arena.At(ref.sequence);
        for (const auto& writer : m_liveWriters) {
            writer->Write(record);
        }
    }
    return ref;
}

std::optional<SDataRecord> CDataStore::Record(std::size_t index) const {
    if (index >= m_arena.Count()) {
        return std::nullopt;
    }
    const SDataRecord record = m_arena.At(index);
    if (m_arena.LogChanged()) {
        NoteLogChange();
        if (index >= m_arena.Count()) {
            return std::nullopt;  // the log was found cut before it
        }
    }
    return record;
}

std::optional<SDataRecord> CDataStore::Find(SRecordRef ref) const {
    if (ref.generation != m_generation) {
        return std::nullopt;
    }
    return Record(ref.sequence);
}

std::optional<SRecordTime> CDataStore::RecordTime(std::size_t index) const {
    const auto record = Record(index);
    if (!record) {
        return std::nullopt;
    }
    return TimeOfTick(record->tick);
}

void CDataStore::RegisterView(MessageHandle view) {
    m_views.push_back(view);
}

void CDataStore::UnregisterView(MessageHandle view) {
    std::erase(m_views, view);
}

void CDataStore::RegisterOwnId(std::uint32_t ownerId) {
    m_ownIds.push_back(ownerId);
}

void CDataStore::UnregisterOwnId(std::uint32_t ownerId) {
    std::erase(m_ownIds, ownerId);
}

bool CDataStore::IsOwn(std::uint32_t ownerId) const {
    return ownerId == 0 || std::find(m_ownIds.begin(), m_ownIds.end(), ownerId) != m_ownIds.end();
}

void CDataStore::FillView(MessageHandle view) {
    const std::uint32_t generation = m_generation;
    const std::size_t count = m_arena.Count();
    for (std::size_t i = 0; i < count; ++i) {
        // The view may clear or load from its handler, or go away.
        if (generation != m_generation || !Channel().IsAlive(view)) {
            return;
        }
        if (Channel().Send(view, UM_APPEND_RECORD, i, generation) == kAppendTookAll) {
            return;
        }
    }
}

void CDataStore::NoteRecords(std::size_t first) {
    if (!m_pending.any) {
        m_pending.any = true;
        m_pending.first = first;
    }
}

void CDataStore::NoteNewHistory(bool loaded) {
    // What came before is gone: the notice names only what follows.
    m_pending = SPendingNotice{true, true, loaded, 0, 0};
}

void CDataStore::DeliverNotice() {
    if (!m_pending.any) {
        return;
    }
    const SStoreNotice notice{m_generation,     m_pending.cleared,
                              m_pending.loaded, m_pending.first,
                              RecordCount(),    std::max(m_pending.first, m_logRecords),
                              m_pending.marks};
    m_pending = {};
    // An observer may subscribe or go while it is told: those listed now
    // are told, unless they have gone by their turn.
    const CStoreSubscription::List observers = *m_observers;
    for (IStoreObserver* observer : observers) {
        if (m_generation != notice.generation) {
            return;  // cleared or loaded meanwhile: the next notice says so
        }
        if (std::find(m_observers->begin(), m_observers->end(), observer) != m_observers->end()) {
            observer->OnStoreNotice(notice);
        }
    }
}

void CDataStore::EndTurn(std::optional<std::chrono::steady_clock::time_point> spillDeadline) {
    FlushLiveLogs(spillDeadline);
    DeliverNotice();
}

void CDataStore::Clear() {
    m_arena.Clear();
    m_offsets.Reset();
    m_logRecords = 0;
    NoteNewHistory(false);
    ++m_generation;
    m_startTime = m_clock.CalendarSeconds();
    m_startTick = m_clock.TickCount();
    m_spillFailureReported = false;
    m_logChangePosted = false;
    UpdateSpillTarget();
}

void CDataStore::SetHistoryBudget(std::size_t budgetBytes, std::string folder) {
    m_historyBudget = budgetBytes;
    m_spillFolder = folder.empty() ? DefaultSpillFolder() : std::move(folder);
    UpdateSpillTarget();
    m_arena.FlushSpill();
    ReportSpillFailure();
}

void CDataStore::SetHistoryLink(std::string link) {
    m_historyLink = std::move(link);
    UpdateSpillTarget();
}

void CDataStore::SetSpillWrite(CSpillFile::WriteFunction write) {
    m_spillWrite = std::move(write);
    UpdateSpillTarget();
}

void CDataStore::UpdateSpillTarget() {
    SSpillTarget target;
    if (m_historyBudget != 0) {
        target.folder = m_spillFolder;
        target.write = m_spillWrite;
        target.budgetBytes = m_historyBudget;
        target.startTime = m_startTime;
        target.startTick = m_startTick;
        target.link = m_historyLink;
    }
    m_arena.SetSpillTarget(std::move(target));
}

void CDataStore::ReportSpillFailure() {
    if (m_arena.SpillFailed() && !m_spillFailureReported) {
        m_spillFailureReported = true;
        if (m_onSpillFailure) {
            m_onSpillFailure(m_arena.SpillError());
        }
    }
}

void CDataStore::ClearData() {
    Clear();
    TellViewsCleared();
}

void CDataStore::TellViewsCleared() {
    // A handler may register or unregister views; tell the ones listed now.
    const std::vector<MessageHandle> views = m_views;
    for (const MessageHandle view : views) {
        Channel().Send(view, UM_CLEAR_DATA);
    }
}

SBinaryLogLoad CDataStore::LoadLog(const std::string& path) {
    return LoadMappedLog(path, false);
}

SBinaryLogLoad CDataStore::LoadLogInParts(const std::string& path) {
    return LoadMappedLog(path, true);
}

SBinaryLogLoad CDataStore::LoadMappedLog(const std::string& path, bool inParts) {
    SBinaryLogLoad result;
    CLoadedLog::EOpen outcome = CLoadedLog::EOpen::Failed;
    auto log = CLoadedLog::Open(path, result.error, outcome);
    if (outcome == CLoadedLog::EOpen::Failed) {
        return result;
    }
    if (!log) {
        auto file = CFileByteSource::Open(path, result.error);
        if (!file) {
            return result;
        }
        return LoadLog(*file);
    }
    SBinaryLogIndex index;
    const SLogSource source = LogSourceOf(*log);
    if (!BeginBinaryLogIndex(source, result, index)) {
        return result;  // refused: the store stays as it was
    }
    // In parts, the first part holds one record at least, so that the log
    // is adopted with somewhere to start.
    do {
        ContinueBinaryLogIndex(source, CRecordArena::kSparseStep, result, index,
                               inParts ? m_loadPartBytes : log->Size());
    } while (!index.complete && index.count == 0);
    result.accepted = true;
    Clear();
    TellViewsCleared();
    m_startTime = FromLocalSystemTime(result.header.startTime).value_or(0);
    m_startTick = result.header.startTick;
    m_arena.AdoptLog(std::move(log), std::move(index));
    m_logRecords = m_arena.Count();
    NoteNewHistory(true);
    UpdateSpillTarget();
    if (m_arena.IndexingLog()) {
        Channel().Post(Handle(), UM_LOAD_MORE, m_generation);
    }
    NoteLogChange();
    return result;
}

void CDataStore::LoadMore(std::uint64_t bytes) {
    if (!m_arena.IndexingLog()) {
        return;
    }
    const std::size_t before = m_arena.Count();
    SBinaryLogLoad ignored;
    m_arena.IndexMoreOfLog(bytes, ignored);
    NoteLogChange();
    if (m_arena.IndexingLog()) {
        Channel().Post(Handle(), UM_LOAD_MORE, m_generation);
    }
    if (m_arena.Count() == before) {
        return;
    }
    m_logRecords = m_arena.Count();
    NoteRecords(before);
    m_pending.loaded = true;
    // One notice for the part: a view reads whatever the store holds.
    const SRecordRef ref{m_generation, static_cast<std::uint32_t>(m_arena.Count() - 1)};
    for (const MessageHandle view : m_views) {
        Channel().Post(view, UM_APPEND_RECORD, ref.sequence, ref.generation);
    }
}

void CDataStore::NoteLogChange() const {
    if (m_arena.LogChanged() && !m_logChangePosted) {
        m_logChangePosted = true;
        Channel().Post(Handle(), UM_LOG_CHANGED, m_generation);
    }
}

void CDataStore::TakeLogChange() {
    m_logChangePosted = false;
    if (!m_arena.LogChanged()) {
        return;
    }
    const std::size_t shown = m_arena.TakeLogCut();
    m_offsets.Reset();
    // Views drop what they drew of the lost records and read the store again;
    // notices still queued name records that may be gone. The turn's notice
    // tells the observers to start again from what is left.
    ++m_generation;
    m_logRecords = std::min(m_logRecords, m_arena.Count());
    NoteNewHistory(true);
    const std::vector<MessageHandle> views = m_views;
    for (const MessageHandle view : views) {
        Channel().Send(view, UM_CLEAR_DATA);
        FillView(view);
    }
    if (m_onLogChange) {
        m_onLogChange(LoadedLogChangedText(shown));
    }
}

std::string LoadedLogChangedText(std::size_t shown) {
    return "the log file changed on disk; " + std::to_string(shown) + " records shown";
}

void CDataStore::FinishLoadingLog() {
    LoadMore(std::numeric_limits<std::uint64_t>::max());
}

SBinaryLogLoad CDataStore::LoadLog(IByteSource& source) {
    SBinaryLogLoad result;
    CBinaryLogReader reader(source);
    if (!reader.ReadHeader(result)) {
        return result;  // refused: the store stays as it was
    }
    result.accepted = true;
    Clear();
    TellViewsCleared();
    // The header check has made sure the start time converts.
    m_startTime = FromLocalSystemTime(result.header.startTime).value_or(0);
    m_startTick = result.header.startTick;
    UpdateSpillTarget();
    reader.ReadRecords(m_arena, result);
    m_logRecords = m_arena.Count();
    NoteNewHistory(true);
    m_arena.FlushSpill();
    ReportSpillFailure();
    return result;
}

bool CDataStore::ReleaseLoadedFile(const std::string& path, std::string& error) {
    const CLoadedLog* log = m_arena.AdoptedLog();
    if (log == nullptr || !log->IsFile(path)) {
        return true;
    }
    // Truncating the file would take the loaded records with it: they move
    // to a private copy first.
    return m_arena.CopyAdoptedLog(m_spillFolder.empty() ? DefaultSpillFolder() : m_spillFolder,
                                  error);
}

bool CDataStore::SaveBinaryLog(const std::string& path) {
    FinishLoadingLog();  // every record, not those read so far
    std::string error;
    if (!ReleaseLoadedFile(path, error)) {
        return false;
    }
    auto writer =
        CBinaryLogWriter::Create(path, m_startTime, m_startTick, EBinaryLogFlush::AtClose);
    if (!writer) {
        return false;
    }
    for (std::size_t i = 0; i < m_arena.Count(); ++i) {
        const SDataRecord record = m_arena.At(i);
        if (i >= m_arena.Count()) {
            break;  // the loaded log was found cut: it ends before this record
        }
        writer->Write(record);
        m_arena.TrimWindows();
    }
    NoteLogChange();
    return writer->Close();
}

std::unique_ptr<ILiveLogWriter> CDataStore::OpenLogWriter(const SLogRequest& request, ELogKind kind,
                                                          bool live) {
    const std::string& path = LogKindPath(request, kind);
    std::string error;
    std::unique_ptr<ILiveLogWriter> writer;
    if (!ReleaseLoadedFile(path, error)) {
        // Not written: the file stays the loaded log it is.
    } else if (kind == ELogKind::Binary) {
        writer = CBinaryLogWriter::Create(
            path, m_startTime, m_startTick,
            live ? EBinaryLogFlush::EachTurn : EBinaryLogFlush::AtClose, &error);
    } else if (auto file = CLogFile::Create(path, error)) {
        if (!live) {
            file->SetFlushThreshold(std::size_t{1} << 20);
        }
        TextRenderer renderer;
        if (kind == ELogKind::Formatted) {
            renderer = [this](const SDataRecord& record, std::string& text) {
                text.clear();
                return m_textRenderer ? m_textRenderer(record, text) : SRenderTextStamps{};
            };
        }
        writer = std::make_unique<CTextLogWriter>(
            kind, std::move(file), request.insertTimestamps, m_showAllSources,
            STimeBaseRef{m_startTime, m_startTick}, renderer, m_stampMode);
    }
    if (!writer) {
        m_logFailures.push_back(SLogFileFailure{kind, path, error, false});
    }
    return writer;
}

void CDataStore::ReportLogFailures() {
    if (m_onLogFailure && !m_logFailures.empty()) {
        m_onLogFailure(TakeLogFailures());
    }
}

std::size_t CDataStore::StartLogging(const SLogRequest& request) {
    StopLogging();
    const std::size_t before = m_logFailures.size();
    for (const ELogKind kind : {ELogKind::Plain, ELogKind::Formatted, ELogKind::Binary}) {
        if (LogKindEnabled(request, kind)) {
            if (auto writer = OpenLogWriter(request, kind, true)) {
                m_liveWriters.push_back(std::move(writer));
            }
        }
    }
    m_logRequest = &request;
    // The header goes out now, as it would have unbuffered.
    FlushLiveLogs();
    const std::size_t failed = m_logFailures.size() - before;
    ReportLogFailures();
    return failed;
}

void CDataStore::SetStampMode(EStampMode mode) {
    m_stampMode = mode;
    for (auto& writer : m_liveWriters) {
        writer->SetStampMode(mode);
    }
}

void CDataStore::StopLogging() {
    FlushLiveLogs();
    for (auto& writer : m_liveWriters) {
        if (!writer->File().Close()) {
            m_logFailures.push_back(SLogFileFailure{writer->Kind(), writer->File().Path(),
                                                    writer->File().Error().value_or(""), true});
        }
    }
    m_liveWriters.clear();
    m_logRequest = nullptr;
    ReportLogFailures();
}

std::vector<ELogKind> CDataStore::LiveLogKinds() const {
    std::vector<ELogKind> kinds;
    for (const auto& writer : m_liveWriters) {
        kinds.push_back(writer->Kind());
    }
    return kinds;
}

bool CDataStore::HasPendingLogData() const {
    return std::ranges::any_of(m_liveWriters, [](const auto& w) { return w->File().HasPending(); });
}

void CDataStore::FlushLiveLogs(std::optional<std::chrono::steady_clock::time_point> spillDeadline) {
    // A turn's end: nobody holds a record, so the windows of its lookups may go.
    m_arena.TrimWindows();
    NoteLogChange();
    m_arena.FlushSpill(spillDeadline);
    ReportSpillFailure();
    if (m_liveWriters.empty()) {
        return;
    }
    const std::size_t before = m_logFailures.size();
    std::erase_if(m_liveWriters, [this](const std::unique_ptr<ILiveLogWriter>& writer) {
        CLogFile& file = writer->File();
        if (file.Flush()) {
            return false;
        }
        m_logFailures.push_back(
            SLogFileFailure{writer->Kind(), file.Path(), file.Error().value_or(""), true});
        return true;
    });
    if (m_logFailures.size() != before) {
        ReportLogFailures();
    }
}

std::size_t CDataStore::SaveBuffer(const SLogRequest& request) {
    FinishLoadingLog();  // every record, not those read so far
    const std::size_t before = m_logFailures.size();
    for (const ELogKind kind : {ELogKind::Plain, ELogKind::Binary, ELogKind::Formatted}) {
        if (!LogKindEnabled(request, kind)) {
            continue;
        }
        auto writer = OpenLogWriter(request, kind, false);
        if (!writer) {
            continue;
        }
        for (std::size_t i = 0; i < m_arena.Count() && writer->File().IsOpen(); ++i) {
            const SDataRecord record = m_arena.At(i);
            if (i >= m_arena.Count()) {
                break;  // the loaded log was found cut: it ends before this record
            }
            writer->Write(record);
            m_arena.TrimWindows();
        }
        NoteLogChange();
        if (!writer->File().Close()) {
            m_logFailures.push_back(SLogFileFailure{kind, writer->File().Path(),
                                                    writer->File().Error().value_or(""), true});
        }
    }
    const std::size_t failed = m_logFailures.size() - before;
    ReportLogFailures();
    return failed;
}

std::int64_t CDataStore::HandleMessage(SMessage& message) {
    switch (message.id) {
        case UM_FILL_VIEW:
            FillView(static_cast<MessageHandle>(message.lParam));
            return 0;
        case UM_LOAD_MORE:
            if (static_cast<std::uint32_t>(message.wParam) == m_generation) {
                LoadMore(m_loadPartBytes);
            }
            return 0;
        case UM_LOG_CHANGED:
            if (static_cast<std::uint32_t>(message.wParam) == m_generation) {
                TakeLogChange();
            }
            return 0;
        case UM_REGISTER_VIEW:
            if (message.wParam == 1) {
                RegisterView(static_cast<MessageHandle>(message.lParam));
            } else if (message.wParam == 0) {
                UnregisterView(static_cast<MessageHandle>(message.lParam));
            }
            return 0;
        case UM_REGISTER_OWN_ID:
            if (message.wParam == 1) {
                RegisterOwnId(static_cast<std::uint32_t>(message.lParam));
            } else if (message.wParam == 0) {
                UnregisterOwnId(static_cast<std::uint32_t>(message.lParam));
            }
            return 0;
        case UM_CLEAR_DATA:
            ClearData();
            return 0;
        case UM_LOAD_LOG: {
            const auto* path = message.payload.Get<std::string>();
            return path != nullptr && LoadLog(*path).accepted ? 1 : 0;
        }
        case UM_GET_RECORD: {
            const auto record = Record(message.wParam);
            return record ? static_cast<std::int64_t>(record->sequence) : -1;
        }
        case UM_GET_RECORD_TIME: {
            const auto time = RecordTime(message.wParam);
            if (!time) {
                return 0;
            }
            // Only a lent pointer: one in an owned payload may have outlived its frame.
            if (auto* out = message.payload.Get<std::int64_t*>();
                out != nullptr && *out != nullptr && message.payload.Borrowed()) {
                **out = time->seconds;
            }
            return time->milliseconds;
        }
        case UM_GET_START_TICK:
            return m_startTick;
        case UM_SET_LOGGING:
            if (message.wParam == 0) {
                StopLogging();
                return 0;
            }
            if (const auto* request = message.payload.Get<const SLogRequest*>();
                request != nullptr && *request != nullptr) {
                return static_cast<std::int64_t>(StartLogging(**request));
            }
            return 0;
        case UM_SAVE_BUFFER:
            if (const auto* request = message.payload.Get<const SLogRequest*>();
                request != nullptr && *request != nullptr) {
                return static_cast<std::int64_t>(SaveBuffer(**request));
            }
            return 0;
        default:
            return 0;
    }
}

}  // namespace quillpad
