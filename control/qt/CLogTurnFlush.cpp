#include "control/qt/CLogTurnFlush.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include <chrono>
#include <cstdint>

#include "data/DataStore.h"
#include "platform/TurnBudget.h"

namespace quillpad {

CLogTurnFlush::CLogTurnFlush(std::function<CDataStore*()> store, QObject* parent)
    : QObject(parent), m_store(std::move(store)) {
    m_anotherTurn.setSingleShot(true);
    // Not at once: the loop must block to wake for a turn of its own.
    m_anotherTurn.setInterval(1);
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        // The turn must have begun when its share is asked for: whoever
        // comes first hooks the start, before its own work, for as long as
        // the thread's loop lives (a later console needs it too).
        if (ThreadTurnBudget().FirstHook()) {
            QObject::connect(dispatcher, &QAbstractEventDispatcher::awake,
                             [] { ThreadTurnBudget().BeginTurn(SteadyNowNs()); });
        }
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { Flush(true); });
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { Flush(false); });
    }
}

void CLogTurnFlush::Flush(bool turnStarts) {
    // The spill's share of a turn, beside the session's drain, the view's
    // index and the paint: the store collects what the spill file's writer
    // thread wrote and hands it more until then, never waiting for the disk.
    // As the loop goes idle it hands out one piece only. While a backlog is
    // left a turn is asked for, so the history reaches the disk without
    // waiting for the device's next bytes.
    constexpr std::int64_t kSpillWriteNs = 4'000'000;
    constexpr std::int64_t kCatchUpNs = 6'000'000;
    CDataStore* store = m_store();
    if (store == nullptr) {
        return;
    }
    const std::int64_t now = SteadyNowNs();
    const std::int64_t share =
        turnStarts
            ? ThreadTurnBudget().Grant(store->SpillBehind() ? kCatchUpNs : kSpillWriteNs, now)
            : 0;
    store->EndTurn(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(now + share)));
    if (!turnStarts) {
        store->DropWindows();  // nobody holds a record as the loop goes idle
        if (store->SpillBacklog() > 0) {
            m_anotherTurn.start();
        }
    } else if (store->SpillPastSlack()) {
        ThreadTurnBudget().StopIntake();
    } else if (store->SpillBehind()) {
        ThreadTurnBudget().Spend();
    }
}

}  // namespace quillpad
