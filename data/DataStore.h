#pragma once
// Stand-in for the data store while it is being finished elsewhere: the part
// of its interface the console view uses, over a plain vector. Replaced
// whole by the real store.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/SDataRecord.h"
#include "platform/Clock.h"
#include "platform/MessageChannel.h"

namespace quillpad {

inline SRecordRef AppendNoticeRef(const SMessage& message) {
    return SRecordRef{static_cast<std::uint32_t>(message.lParam),
                      static_cast<std::uint32_t>(message.wParam)};
}

class CDataStore final : public CMessageTarget {
  public:
    explicit CDataStore(CMessageChannel& channel, IClock& clock = DefaultClock());

    SRecordRef AddIncomingBytes(std::uint32_t ownerId, std::string_view bytes);
    SRecordRef AddOutgoingBytes(std::uint32_t ownerId, std::string_view bytes);

    std::size_t RecordCount() const { return m_records.size(); }
    std::optional<SDataRecord> Record(std::size_t index) const;
    std::optional<SDataRecord> Find(SRecordRef ref) const;
    std::uint32_t Generation() const { return m_generation; }

    std::int64_t StartTime() const { return m_startTime; }
    std::uint32_t StartTick() const { return m_startTick; }
    SRecordTime TimeOfTick(std::uint32_t tick) const {
        return RecordCalendarTime(m_startTime, m_startTick, tick);
    }

    void RegisterView(MessageHandle view) { m_views.push_back(view); }
    void UnregisterView(MessageHandle view) { std::erase(m_views, view); }
    const std::vector<MessageHandle>& Views() const { return m_views; }

    void FillView(MessageHandle view);
    void ClearData();

    std::int64_t HandleMessage(SMessage& message) override;

  private:
    struct SStored {
        SDataRecord head;
        std::string bytes;
    };
    SRecordRef Add(std::uint32_t direction, std::uint32_t ownerId, std::string_view bytes);

    IClock& m_clock;
    std::vector<SStored> m_records;
    std::vector<MessageHandle> m_views;
    std::int64_t m_startTime = 0;
    std::uint32_t m_startTick = 0;
    std::uint32_t m_generation = 1;
};

}  // namespace quillpad
