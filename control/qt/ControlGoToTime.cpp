// "Go to Time...": the first record at or after a typed time, shown at the
// top of the view.

#include <string>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
#include "data/DataStore.h"
#include "data/TimeLookup.h"
#include "session/ISessionUi.h"
#include "view/CDisplayDocument.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

constexpr const char* kCaption = "Go to Time";

}  // namespace

void CQuillpad2Ctrl::GoToTime() {
    if (!m_store || !m_view) {
        return;
    }
    const std::optional<std::string> text = m_ui->AskGoToTime(m_lastGoToTime, this);
    if (!text) {
        return;
    }
    m_lastGoToTime = *text;
    const auto tell = [this](std::string message, EMessageIcon icon) {
        channel.Post(Handle(), UM_SHOW_MESSAGE, 0, 0,
                     CPayload::Make(SMessageBox{kCaption, std::move(message), icon}));
    };
    const STimeParse parsed = ParseTimeTarget(*text);
    if (!parsed.target) {
        tell(parsed.error, EMessageIcon::Warning);
        return;
    }
    if (m_store->RecordCount() == 0) {
        tell("There is no data yet.", EMessageIcon::Information);
        return;
    }
    const STimeLookup found = FindRecordAtTime(*m_store, *parsed.target);
    if (!found.moment) {
        tell("The history's times cannot be read as local times.", EMessageIcon::Warning);
        return;
    }
    if (!found.record) {
        tell("No data at or after " +
                 DescribeMoment(*found.moment, m_store->RecordTime(0)->seconds) + ".",
             EMessageIcon::Information);
        return;
    }
    // The position must be the whole text's: once the view has indexed it.
    // A record that draws nothing (a hidden source) lands where it would be.
    CConsoleView* view = m_view.get();
    view->WhenIndexed([view, record = *found.record] {
        view->ScrollToPosition(view->PositionOfRecord(record).value_or(view->TextSize()));
    });
}

}  // namespace quillpad
