#include "control/qt/CLogTurnFlush.h"

#include <QAbstractEventDispatcher>
#include <QThread>

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
    if (CDataStore* store = m_store()) {
        store->FlushLiveLogs();
    }
}

}  // namespace quillpad
