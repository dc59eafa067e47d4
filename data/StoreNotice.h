#pragma once
// What the store tells its observers once a turn (CDataStore::EndTurn):
// everything that changed since the last notice, in one summary. The hex
// pane, the find session, the filter and the triggers learn of records this
// way, whoever paints or not.
//
// The summary is made as it is given, so it names the store as it is then:
// a clear after records arrived leaves only the records after the clear in
// the range. An observer that clears or loads while it is being told ends
// the delivery of that notice; the others hear of the new history in the
// next one.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quillpad {

struct SStoreNotice {
    // The store's generation the range belongs to.
    std::uint32_t generation = 0;
    // The history was cleared or replaced: records before `first` are not
    // the ones an observer knew.
    bool cleared = false;
    // A binary log was loaded (or more of it read).
    bool loaded = false;
    // New records [first, end); those before `liveFirst` are a loaded log's,
    // the rest arrived live (the link's data, marks).
    std::size_t first = 0;
    std::size_t end = 0;
    std::size_t liveFirst = 0;
    // How many of the live ones are marks.
    std::size_t marks = 0;

    bool HasRecords() const { return end > first; }
};

class IStoreObserver {
  public:
    virtual void OnStoreNotice(const SStoreNotice& notice) = 0;

  protected:
    ~IStoreObserver() = default;
};

// An observer's place in a store's list for as long as both live; either
// may go first.
class CStoreSubscription {
  public:
    using List = std::vector<IStoreObserver*>;

    CStoreSubscription() = default;
    CStoreSubscription(const std::shared_ptr<List>& list, IStoreObserver& observer)
        : m_list(list), m_observer(&observer) {
        list->push_back(&observer);
    }
    ~CStoreSubscription() { Reset(); }
    CStoreSubscription(CStoreSubscription&& other) noexcept
        : m_list(std::move(other.m_list)), m_observer(other.m_observer) {
        other.m_observer = nullptr;
    }
    CStoreSubscription& operator=(CStoreSubscription&& other) noexcept {
        if (this != &other) {
            Reset();
            m_list = std::move(other.m_list);
            m_observer = other.m_observer;
            other.m_observer = nullptr;
        }
        return *this;
    }
    CStoreSubscription(const CStoreSubscription&) = delete;
    CStoreSubscription& operator=(const CStoreSubscription&) = delete;

    void Reset() {
        if (const auto list = m_list.lock(); list && m_observer != nullptr) {
            std::erase(*list, m_observer);
        }
        m_list.reset();
        m_observer = nullptr;
    }

  private:
    std::weak_ptr<List> m_list;
    IStoreObserver* m_observer = nullptr;
};

}  // namespace quillpad
