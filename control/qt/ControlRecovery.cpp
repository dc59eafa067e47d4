// The console's history beyond memory: the budget, the spill file's one
// warning, the warning for a reviewed log changed on disk, and the offer to
// recover a dead console's spill file.

#include <QPointer>
#include <QTimer>

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
    // A reviewed log that another program cut or rewrote: said the same way.
    store.SetLoadedLogChangeHandler([control](const std::string& message) {
        QTimer::singleShot(0, control.data(), [control, message] {
            if (control) {
                control->Ui().ShowMessage("Warning", message, EMessageIcon::Warning);
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
    // Asked again now: another console may have taken them meanwhile.
    const auto orphans = DescribeOrphanSpillFiles(DefaultSpillFolder());
    if (orphans.empty()) {
        return;
    }
    // All at once, so that no start asks again about what is left.
    const std::string& folder = m_control.Settings().m_logFolder;
    if (!m_ui.AskYesNo(RecoveryQuestion(orphans, folder), &m_control)) {
        for (const SOrphanSpill& orphan : orphans) {
            RemoveSpillFile(orphan.path);
        }
        return;
    }
    // One console shows one history: the newest; the others become logs.
    std::string failures;
    for (std::size_t i = 0; i + 1 < orphans.size(); ++i) {
        std::string error;
        if (KeepOrphanAsLog(orphans[i], folder, error).empty()) {
            failures += "\n" + error;
        }
    }
    LoadLogFile(orphans.back().path);
    RemoveSpillFile(orphans.back().path);
    if (!failures.empty()) {
        // Left in the cache folder, they are offered again at the next start.
        QPointer<CQuillpad2Ctrl> control(&m_control);
        QTimer::singleShot(0, control.data(), [control, failures] {
            if (control) {
                control->Ui().ShowMessage("Warning", std::string(kRecoverKeepFailedText) + failures,
                                          EMessageIcon::Warning);
            }
        });
    }
}

}  // namespace quillpad
