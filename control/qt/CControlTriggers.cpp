#include "control/qt/CControlTriggers.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>

#include "control/qt/CControlKeys.h"
#include "control/qt/CControlScript.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/ControlLogging.h"
#include "data/DataStore.h"
#include "input/Escapes.h"
#include "platform/qt/FileName.h"
#include "platform/qt/Latin1.h"

namespace quillpad {
namespace {

std::uint64_t SteadyMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// "F5" or "CTRL_F12": the key's number and whether Ctrl is held; 0 for a
// name that is neither.
int ParseKeyName(std::string_view name, bool& ctrl) {
    ctrl = name.starts_with("CTRL_");
    if (ctrl) {
        name.remove_prefix(5);
    }
    if (!name.starts_with("F") || name.size() < 2 || name.size() > 3) {
        return 0;
    }
    int n = 0;
    for (const char c : name.substr(1)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        n = n * 10 + (c - '0');
    }
    return name[1] != '0' && n >= 1 && n <= 12 ? n : 0;
}

}  // namespace

CControlTriggers::CControlTriggers(CQuillpad2Ctrl& control)
    : m_control(control), m_nowMs(&SteadyMs) {}

void CControlTriggers::Observe(const CDataStore& store) {
    m_store = &store;
    m_subscription = store.Subscribe(*this);
}

void CControlTriggers::OnStoreNotice(const SStoreNotice& notice) {
    for (std::size_t i = notice.liveFirst; i < notice.end; ++i) {
        const std::optional<SDataRecord> record = m_store->Record(i);
        // A mark is the console's own word: a trigger that marks must not
        // fire on its own mark.
        if (record && record->kind == kDataRecordKind && !IsMarkRecord(*record)) {
            OnData(record->direction, record->bytes);
        }
        m_store->TrimWindows();
    }
}

void CControlTriggers::Stop() {
    m_subscription.Reset();
    m_store = nullptr;
    m_list.clear();
    m_matcher.SetTriggers(m_list);
    m_due.clear();
}

QString CControlTriggers::Label(std::size_t index) const {
    const STrigger& t = m_list[index];
    return QStringLiteral("\"%1\"").arg(BytesToQString(t.name.empty() ? t.pattern : t.name));
}

void CControlTriggers::Apply() {
    m_list = m_control.Settings().m_triggers;
    m_matcher.SetTriggers(m_list);
    m_due.clear();
    const auto& errors = m_control.Settings().m_triggerErrors.empty()
                             ? m_matcher.Errors()
                             : m_control.Settings().m_triggerErrors;
    if (!errors.empty()) {
        m_control.ShowStatus(QString::fromLocal8Bit(errors.front().c_str()) +
                             (errors.size() > 1
                                  ? QStringLiteral(" (and %1 more)").arg(errors.size() - 1)
                                  : QString()));
    }
}

void CControlTriggers::EditTriggers() {
    std::vector<std::string> notes(m_list.size());
    for (std::size_t i = 0; i < m_list.size(); ++i) {
        if (m_matcher.Paused(i)) {
            notes[i] = "paused";
        } else if (m_matcher.Spent(i)) {
            notes[i] = "fired once";
        }
    }
    std::vector<STrigger> edited = m_control.Settings().m_triggers;
    if (!m_control.ControlUi().RunTriggersDialog(
            edited, notes, m_control.Settings().m_dataDirectory, &m_control)) {
        return;
    }
    m_control.Settings().m_triggers = std::move(edited);
    m_control.Settings().m_triggerErrors.clear();
    Apply();
}

void CControlTriggers::OnData(std::uint32_t direction, std::string_view bytes) {
    if (!m_matcher.Watches(direction)) {
        m_matcher.Feed(direction, bytes, 0, m_due);  // keeps the context only
        return;
    }
    const std::size_t before = m_due.size();
    m_matcher.Feed(direction, bytes, m_nowMs(), m_due);
    if (m_due.size() > before && !m_posted) {
        // Never inside the session's event: a send from here would re-enter it.
        m_posted = true;
        QMetaObject::invokeMethod(
            this, [this] { RunDue(); }, Qt::QueuedConnection);
    }
}

void CControlTriggers::RunDue() {
    m_posted = false;
    const std::vector<STriggerEvent> due = std::move(m_due);
    m_due.clear();
    QPointer<CControlTriggers> alive(this);
    for (const STriggerEvent& e : due) {
        if (!alive || e.trigger >= m_list.size()) {
            return;  // the list changed under an action (a dialog, a load)
        }
        if (e.kind == STriggerEvent::EKind::Paused) {
            m_control.ShowStatus(
                QStringLiteral("The trigger %1 fired more than %2 times in a second and is "
                               "paused; OK in Triggers... starts it again.")
                    .arg(Label(e.trigger))
                    .arg(CTriggerMatcher::kMaxFiresPerSecond));
            continue;
        }
        Run(m_list[e.trigger]);
    }
}

void CControlTriggers::Run(const STrigger& t) {
    ++m_actionsRun;
    const QString name = BytesToQString(t.name.empty() ? t.pattern : t.name);
    switch (t.action) {
        case ETriggerAction::Send:
            if (!m_control.SessionOpen() ||
                !m_control.SendBytes(ExpandEscapes(t.argument),
                                     CConnectionController::kSendTimeoutMs)) {
                m_control.ShowStatus(
                    QStringLiteral("The trigger \"%1\" could not send: the device session is not "
                                   "open.")
                        .arg(name));
            }
            break;
        case ETriggerAction::Macro: {
            bool ctrl = false;
            const int key = ParseKeyName(t.argument, ctrl);
            if (key == 0 || !m_control.Keys().DispatchFunctionKey(key, {ctrl, false, false})) {
                m_control.ShowStatus(
                    QStringLiteral("The trigger \"%1\": the key %2 has no macro in this key set.")
                        .arg(name, BytesToQString(t.argument)));
            }
            break;
        }
        case ETriggerAction::Mark:
            if (CDataStore* store = m_control.Store()) {
                store->AddMark(t.name.empty() ? t.pattern : t.name);
            }
            break;
        case ETriggerAction::StartLogging:
            if (m_control.Logging().StartLoggingQuietly(t.name)) {
                m_control.ShowStatus(
                    QStringLiteral("The trigger \"%1\" started logging.").arg(name));
            }
            break;
        case ETriggerAction::StopLogging:
            if (m_control.Logging().StopLogging()) {
                m_control.ShowStatus(
                    QStringLiteral("The trigger \"%1\" stopped logging.").arg(name));
            }
            break;
        case ETriggerAction::Beep:
            m_control.ControlUi().Beep();
            break;
        case ETriggerAction::Script:
            if (m_control.Script().Running()) {
                m_control.ShowStatus(
                    QStringLiteral("The trigger \"%1\" did not start its script: one is running.")
                        .arg(name));
            } else {
                m_control.Script().RunFile(t.argument);
            }
            break;
    }
}

}  // namespace quillpad
