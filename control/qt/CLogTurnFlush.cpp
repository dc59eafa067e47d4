#include "control/qt/CLogTurnFlush.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include <chrono>

#include "data/DataStore.h"

namespace quillpad {

CLogTurnFlush::CLogTurnFlush(std::function<CDataStore*()> store, QObject* parent)
    : QObject(parent), m_store(std::move(store)) {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &CLogTurnFlush::Flush);
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CLogTurnFlush::Flush);
    }
}

void CLogTurnFlush::Flush() {
    // The spill write's share of a turn, beside the session's drain and the
    // view's index (10 ms together) and the paint.
    constexpr auto kSpillWrite = std::chrono::milliseconds(3);
    if (CDataStore* store = m_store()) {
        store->FlushLiveLogs(std::chrono::steady_clock::now() + kSpillWrite);
    }
}

}  // namespace quillpad
