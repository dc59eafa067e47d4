#pragma once
// Ends each event-loop turn of the live logs: when the thread's event
// dispatcher wakes for a new turn and before it goes idle, the store hands
// every live file what the turn brought, one write each. So a record is never
// held past the turn that added it, and a process killed after its turn
// loses none. The history's spill file gets what a few milliseconds write
// (all a turn brings unless a flood outruns the disk), the rest at the next
// turns' ends: a flood that outruns the disk by more than the store's slack
// is written at once however long it takes.

#include <QObject>

#include <functional>

namespace quillpad {

class CDataStore;

class CLogTurnFlush final : public QObject {
    Q_OBJECT
  public:
    // `store` is asked at every turn (it may be gone: null).
    explicit CLogTurnFlush(std::function<CDataStore*()> store, QObject* parent = nullptr);

  private:
    void Flush();

    std::function<CDataStore*()> m_store;
};

}  // namespace quillpad
