#pragma once
// Ends each event-loop turn of the store: when the thread's event
// dispatcher wakes for a new turn and before it goes idle, the store hands
// every live file what the turn brought, one write each, and then tells its
// observers what arrived (CDataStore::EndTurn). So a record is never held
// past the turn that added it, a process killed after its turn loses none,
// and the hex pane, find, the filter and the triggers hear of it in the
// same turn whether or not the view paints. The history's spill (handing its writer thread what
// came in, collecting what it wrote) gets its share of the turn, taken first from what the thread's
// sliced work may hold in a turn (CTurnBudget); while the writer falls behind the session's drain
// takes in less and the link's own flow control holds the device back. Only a flood that outruns
// the disk by more than the store's slack waits for the writer.

#include <QObject>
#include <QTimer>

#include <functional>

namespace quillpad {

class CDataStore;

class CLogTurnFlush final : public QObject {
    Q_OBJECT
  public:
    // `store` is asked at every turn (it may be gone: null).
    explicit CLogTurnFlush(std::function<CDataStore*()> store, QObject* parent = nullptr);

  private:
    void Flush(bool turnStarts);

    std::function<CDataStore*()> m_store;
    QTimer m_anotherTurn;  // wakes the loop for the rest of the spill's write
};

}  // namespace quillpad
