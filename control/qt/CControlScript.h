#pragma once
// "Run Script...": a Lua script (control/CScriptRunner) on the console's
// link. The script runs on its own thread; what it asks of the console
// (send, mark, print, logs, transfers) is done here, on the loop, when the
// runner wakes it. What the device sends reaches the script as it comes; its
// waits end on a timer; its print() goes to the status bar and the task
// window, whose Cancel stops it at once (UM_CANCEL_REQUEST with kRequestId).
// A failure names the file and line in the status bar.
// One script runs at a time.
//
// Its transfers are the menu's requests (CQuillpad2Ctrl::StartTransfer),
// shown in the file progress window as theirs are; their end goes to the
// script rather than to an error box, also after the script was cancelled.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "control/CScriptRunner.h"

namespace quillpad {

class CQuillpad2Ctrl;

class CControlScript final : public QObject, private IScriptHost {
    Q_OBJECT
  public:
    // The task window's id for the script (no session request has it).
    static constexpr std::uint32_t kRequestId = 0x5C810000u;

    explicit CControlScript(CQuillpad2Ctrl& control);
    ~CControlScript() override;

    // Asks for a .lua file (through the control's chooser) and runs it.
    void ChooseAndRun();
    // Reads and starts the file; false with the reason in the status bar
    // when it cannot be read or compiled, or a script is running.
    bool RunFile(const std::string& path);
    void Cancel();
    // Until its end is told (the status bar, LastState).
    bool Running() const { return m_runner && !m_endTold; }
    // The last script's end: its state and error.
    EScriptState LastState() const { return m_lastState; }
    const std::string& LastError() const { return m_lastError; }

    void OnDeviceData(std::string_view bytes);
    // A request has completed: true when it was a transfer of a script's,
    // whose end is then the script's.
    bool OnRequestCompleted(std::uint32_t requestId, bool success);
    // The session is not connected: a transfer still running ended with it,
    // untold (a closed session completes nothing).
    void OnSessionClosed();

  private:
    bool Send(std::string_view bytes, std::string& error) override;
    void Mark(std::string_view text) override;
    void Print(std::string_view text) override;
    bool Break(int ms, std::string& error) override;
    bool SetLine(EScriptLine line, bool on, std::string& error) override;
    bool StartLog(const SScriptLog& log, std::string& error) override;
    bool StopLog() override;
    bool StartTransfer(EScriptTransfer kind, const std::string& path, std::string& error) override;
    void CancelTransfer() override;

    std::uint64_t Now() const;
    // Resumes the script that waits for its transfer.
    void TransferEnded(bool success, const std::string& why);
    // After each step: the next timer, or the end's report.
    void AfterStep();

    CQuillpad2Ctrl& m_control;
    std::unique_ptr<CScriptRunner> m_runner;
    std::string m_name;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_endTold = false;  // the running script's end is in the status bar
    // The transfer the script waits for, and every script transfer whose
    // end has not come yet.
    std::optional<std::uint32_t> m_transferId;
    EScriptTransfer m_transferKind = EScriptTransfer::XModemSend;
    std::set<std::uint32_t> m_transfers;
    EScriptState m_lastState = EScriptState::Loaded;
    std::string m_lastError;
};

}  // namespace quillpad
