// The console's history beyond memory: the budget, the spill file's one
// warning, and the offer to recover a dead console's spill file.

#include <QPointer>
#include <QTimer>

#include <cstdio>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/ControlLogging.h"
#include "control/qt/IControlUi.h"
#include "data/DataStore.h"
#include "data/SpillFile.h"

namespace quillpad {

void CControlLogging::AttachHistory(CDataStore& store) {
    QPointer<CQuillpad2Ctrl> control(&m_control);
    // The store reports from inside a turn's end: the box is shown from the event loop.
    store.SetSpillFailureHandler([control](const std::string&) {
        QTimer::singleShot(0, control.data(), [control] {
            if (control) {
                control->Ui().ShowMessage("Warning", kSpillFailedText, EMessageIcon::Warning);
            }
        });
    });
    store.SetHistoryBudget(std::size_t{m_control.Settings().m_historyMemoryMB} << 20);
    if (!FindOrphanSpillFiles(DefaultSpillFolder()).empty()) {
        QTimer::singleShot(0, control.data(), [this, control] {
            if (control) {
                OfferRecovery();
            }
        });
    }
}

void CControlLogging::OfferRecovery() {
    // Asked again now: another console may have taken it meanwhile.
    const auto orphans = FindOrphanSpillFiles(DefaultSpillFolder());
    if (orphans.empty()) {
        return;
    }
    // One file at a time; any others are offered at a later start.
    const std::string& orphan = orphans.back();
    if (m_ui.AskYesNo(kRecoverQuestion, &m_control)) {
        LoadLogFile(orphan);
    }
    std::remove(orphan.c_str());
}

}  // namespace quillpad
