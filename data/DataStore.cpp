#include "data/DataStore.h"

namespace quillpad {

CDataStore::CDataStore(CMessageChannel& channel, IClock& clock)
    : CMessageTarget(channel), m_clock(clock) {
    m_startTime = m_clock.CalendarSeconds();
    m_startTick = m_clock.TickCount();
}

SRecordRef CDataStore::AddIncomingBytes(std::uint32_t ownerId, std::string_view bytes) {
    return Add(kDirectionIncoming, ownerId, bytes);
}

SRecordRef CDataStore::AddOutgoingBytes(std::uint32_t ownerId, std::string_view bytes) {
    return Add(kDirectionOutgoing, ownerId, bytes);
}

SRecordRef CDataStore::Add(std::uint32_t direction, std::uint32_t ownerId, std::string_view bytes) {
    SStored stored;
    stored.head.sequence = static_cast<std::uint32_t>(m_records.size());
    stored.head.tick = m_clock.TickCount();
    stored.head.ownerId = ownerId;
    stored.head.direction = direction;
    stored.head.source = ownerId == 0 ? kSourceOwn : kSourceOther;
    stored.bytes = std::string(bytes);
    m_records.push_back(std::move(stored));
    const SRecordRef ref{m_generation, static_cast<std::uint32_t>(m_records.size() - 1)};
    for (const MessageHandle view : m_views) {
        Channel().Post(view, UM_APPEND_RECORD, ref.sequence, ref.generation);
    }
    return ref;
}

std::optional<SDataRecord> CDataStore::Record(std::size_t index) const {
    if (index >= m_records.size()) {
        return std::nullopt;
    }
    SDataRecord r = m_records[index].head;
    r.bytes = m_records[index].bytes;
    r.length = static_cast<std::uint32_t>(r.bytes.size());
    return r;
}

std::optional<SDataRecord> CDataStore::Find(SRecordRef ref) const {
    if (ref.generation != m_generation) {
        return std::nullopt;
    }
    return Record(ref.sequence);
}

void CDataStore::FillView(MessageHandle view) {
    const std::uint32_t generation = m_generation;
    const std::size_t count = m_records.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (generation != m_generation || !Channel().IsAlive(view)) {
            return;
        }
        Channel().Send(view, UM_APPEND_RECORD, i, generation);
    }
}

void CDataStore::ClearData() {
    m_records.clear();
    ++m_generation;
    m_startTime = m_clock.CalendarSeconds();
    m_startTick = m_clock.TickCount();
    const std::vector<MessageHandle> views = m_views;
    for (const MessageHandle view : views) {
        Channel().Send(view, UM_CLEAR_DATA);
    }
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
        case UM_CLEAR_DATA:
            ClearData();
            return 0;
        case UM_GET_START_TICK:
            return m_startTick;
        default:
            return 0;
    }
}

}  // namespace quillpad
