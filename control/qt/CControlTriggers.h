#pragma once
// The console's triggers at work: the matcher (control/Triggers) sees every
// record of the console's link, of either direction, as the store tells of
// them at the end of the turn that brought them (not a loaded log's, nor
// the history's marks), and what fired is run after that, in order: send a text (the console's
// escapes), run a key set macro by its key name, mark the history with the
// trigger's name, start or stop logging (no dialog: the settings' folder and
// kinds), beep, or run a script. A paused trigger says so in the status bar.
//
// The list is the settings' (m_triggers); Apply takes it in afresh.

#include <QObject>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "control/Triggers.h"
#include "data/StoreNotice.h"

namespace quillpad {

class CDataStore;
class CQuillpad2Ctrl;

class CControlTriggers final : public QObject, private IStoreObserver {
    Q_OBJECT
  public:
    explicit CControlTriggers(CQuillpad2Ctrl& control);

    // The settings' list into the matcher (all triggers live again); the
    // first error of a trigger that cannot run goes to the status bar.
    void Apply();
    // The store whose records the triggers see, until Stop.
    void Observe(const CDataStore& store);
    // No trigger fires any more (the console's teardown).
    void Stop();
    // "Triggers...": the dialog on the settings' list; OK applies it.
    void EditTriggers();

    const CTriggerMatcher& Matcher() const { return m_matcher; }
    // The actions run so far, for the record of what happened.
    std::size_t ActionsRun() const { return m_actionsRun; }

    // Where the matcher's time comes from; tests move it.
    void SetClock(std::function<std::uint64_t()> nowMs) { m_nowMs = std::move(nowMs); }

  private:
    void OnStoreNotice(const SStoreNotice& notice) override;
    // One record's bytes of a direction (1 incoming, 2 outgoing).
    void OnData(std::uint32_t direction, std::string_view bytes);
    void RunDue();
    void Run(const STrigger& trigger);
    QString Label(std::size_t index) const;

    CQuillpad2Ctrl& m_control;
    CTriggerMatcher m_matcher;
    std::vector<STrigger> m_list;  // as the matcher has it
    std::vector<STriggerEvent> m_due;
    bool m_posted = false;
    std::size_t m_actionsRun = 0;
    std::function<std::uint64_t()> m_nowMs;
    const CDataStore* m_store = nullptr;
    CStoreSubscription m_subscription;
};

}  // namespace quillpad
