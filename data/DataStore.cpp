#include "data/DataStore.h"

#include <algorithm>

#include "data/BinaryLogWriter.h"
#include "platform/LocalTime.h"

namespace quillpad {

CDataStore::CDataStore(CMessageChannel& channel, IClock& clock)
    : CMessageTarget(channel), m_clock(clock) {
    m_startTime = m_clock.CalendarSeconds();
    m_startTick = m_clock.TickCount();
}

CDataStore::~CDataStore() {
    StopLiveLogging();
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
    char* out = m_arena.Reserve(length);
    std::copy(bytes.begin(), bytes.end(), out);
    return Commit(direction, ownerId, length);
}

SRecordRef CDataStore::Commit(std::uint32_t direction, std::uint32_t ownerId,
                              std::uint32_t length) {
    const std::uint32_t source = IsOwn(ownerId) ? kSourceOwn : kSourceOther;
    m_arena.Commit(m_clock.TickCount(), ownerId, direction, source, length);
    const SRecordRef ref{m_generation, static_cast<std::uint32_t>(m_arena.Count() - 1)};

    for (const MessageHandle view : m_views) {
        Channel().Post(view, UM_APPEND_RECORD, ref.sequence, ref.generation);
    }
    if (m_logging && !m_loggingPaused && !m_liveWriters.empty()) {
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
    return m_arena.At(index);
}

std::optional<SDataRecord> CDataStore::Find(SRecordRef ref) const {
    if (ref.generation != m_generation) {
        return std::nullopt;
    }
    return Record(ref.sequence);
}

std::optional<SRecordTime> CDataStore::RecordTime(std::size_t index) const {
    if (index >= m_arena.Count()) {
        return std::nullopt;
    }
    return TimeOfTick(m_arena.At(index).tick);
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
        Channel().Send(view, UM_APPEND_RECORD, i, generation);
    }
}

void CDataStore::Clear() {
    m_arena.Clear();
    ++m_generation;
    m_startTime = m_clock.CalendarSeconds();
    m_startTick = m_clock.TickCount();
}

void CDataStore::ClearData() {
    Clear();
    // A handler may register or unregister views; tell the ones listed now.
    const std::vector<MessageHandle> views = m_views;
    for (const MessageHandle view : views) {
        Channel().Send(view, UM_CLEAR_DATA);
    }
}

SBinaryLogLoad CDataStore::LoadLog(const std::string& path) {
    SBinaryLogLoad result;
    auto file = CFileByteSource::Open(path, result.error);
    if (!file) {
        return result;
    }
    return LoadLog(*file);
}

SBinaryLogLoad CDataStore::LoadLog(IByteSource& source) {
    SBinaryLogLoad result;
    CBinaryLogReader reader(source);
    if (!reader.ReadHeader(result)) {
        return result;  // refused: the store stays as it was
    }
    result.accepted = true;
    Clear();
    // The header check has made sure the start time converts.
    m_startTime = FromLocalSystemTime(result.header.startTime).value_or(0);
    m_startTick = result.header.startTick;
    reader.ReadRecords(m_arena, result);
    return result;
}

bool CDataStore::SaveBinaryLog(const std::string& path) const {
    auto writer =
        CBinaryLogWriter::Create(path, m_startTime, m_startTick, EBinaryLogFlush::AtClose);
    if (!writer) {
        return false;
    }
    for (std::size_t i = 0; i < m_arena.Count(); ++i) {
        writer->Write(m_arena.At(i));
    }
    return writer->Close();
}

void CDataStore::StartLiveLogging(std::vector<std::unique_ptr<ILiveLogWriter>> writers) {
    m_liveWriters = std::move(writers);
    std::erase(m_liveWriters, nullptr);
    m_logging = true;
    m_loggingPaused = false;
}

void CDataStore::StopLiveLogging() {
    m_liveWriters.clear();
    m_logging = false;
    m_loggingPaused = false;
}

std::unique_ptr<ILiveLogWriter> CDataStore::MakeLiveBinaryWriter(const std::string& path) const {
    return CBinaryLogWriter::Create(path, m_startTime, m_startTick, EBinaryLogFlush::EachRecord);
}

std::int64_t CDataStore::HandleMessage(SMessage& message) {
    switch (message.id) {
        case UM_FILL_VIEW:
            FillView(static_cast<MessageHandle>(message.lParam));
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
        default:
            return 0;
    }
}

}  // namespace quillpad
