// The console's history beyond memory: the budget, the spill file's one
// warning, the warning for a reviewed log changed on disk, and the spill
// files of dead consoles kept as logs.

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
                RecoverOrphans();
            }
        });
    }
}

void CControlLogging::RecoverOrphans() {
    CDataStore* store = m_control.Store();
    if (store == nullptr) {
        return;
    }
    // Asked again now: another console may have taken them meanwhile. Each
    // goes into the log folder whole before its spill file does, so a second
    // crash, or a failure here, loses nothing; one that cannot be kept stays
    // where it is for the next start.
    const std::string spillFolder = DefaultSpillFolder();
    const auto orphans = DescribeOrphanSpillFiles(spillFolder);
    int kept = 0;
    for (const SOrphanSpill& orphan : orphans) {
        std::string error;
        const std::string log = KeepOrphanAsLog(orphan, m_control.Settings().m_logFolder, error);
        kept += log.empty() ? 0 : 1;
        store->AddMark(RecoveryNotice(orphan, log, error, spillFolder));
    }
    if (kept > 0) {
        m_control.ShowStatus(
            kept == 1 ? QStringLiteral("Kept a lost console's history as a log")
                      : QStringLiteral("Kept %1 lost consoles' histories as logs").arg(kept));
    }
}

}  // namespace quillpad
