#pragma once
// Tells once the device has sent a text, in one record or across several
// (--until, in both forms of the tool).

#include <functional>
#include <string>

#include "data/DataStore.h"
#include "platform/MessageChannel.h"

namespace quillpad {

class CArrivalWatch final : public CMessageTarget {
  public:
    CArrivalWatch(CMessageChannel& channel, const CDataStore& store, std::string text,
                  std::function<void()> arrived)
        : CMessageTarget(channel),
          m_store(store),
          m_text(std::move(text)),
          m_arrived(std::move(arrived)) {}
    bool Arrived() const { return m_seen; }
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id != UM_APPEND_RECORD || m_seen) {
            return 0;
        }
        const auto record = m_store.Find(AppendNoticeRef(message));
        if (!record || record->direction != 1) {
            return 0;
        }
        m_tail.append(record->bytes.data(), record->bytes.size());
        if (m_tail.find(m_text) != std::string::npos) {
            m_seen = true;
            m_arrived();
        } else if (m_tail.size() >= m_text.size()) {
            m_tail.erase(0, m_tail.size() - m_text.size() + 1);
        }
        return 0;
    }

  private:
    const CDataStore& m_store;
    std::string m_text;
    std::function<void()> m_arrived;
    std::string m_tail;
    bool m_seen = false;
};

}  // namespace quillpad
