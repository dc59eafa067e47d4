#pragma once
// --script: a Lua script (control/CScriptRunner) on the terminal form's
// link. It starts when the device's console opens, reads what the device
// sends as records arrive, writes its print() lines to stderr, and marks the
// history with records of another source. The run's status is 0 when the
// script ends normally, 1 when it fails (its file and line on stderr) or the
// console never opens. Its transfers are the command line's requests, with
// its --xmodem-1k and ASCII pauses; what the device sends while one runs is
// the transfer's, not the script's.

#include <QElapsedTimer>

#include <memory>
#include <string>

#include "control/CScriptRunner.h"
#include "data/LogRequest.h"
#include "tools/console/TerminalSession.h"

namespace quillpad {

class CScriptDriver final : public CMessageTarget, private IScriptHost {
  public:
    CScriptDriver(const SConsoleOptions& options, CTerminalSession& session);
    ~CScriptDriver() override;
    // False with the reason on stderr when the file cannot be read or compiled.
    bool Loaded() const { return m_loaded; }

    // One turn of the pump: starts the script once the console is open and
    // keeps its time; false once it has ended, with ExitCode() set.
    bool Turn(std::int64_t elapsedMs);
    int ExitCode() const { return m_exitCode; }
    // A request has completed; the script's transfer is noted.
    void Completed(std::uint32_t requestId, bool success);
    // Typed keys wait while it runs, as for a keyed transfer.
    bool TransferRunning() const { return m_transfer.Running(); }

    std::int64_t HandleMessage(SMessage& message) override;

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

    CTerminalSession& m_session;
    CScriptRunner m_runner;
    std::unique_ptr<SLogRequest> m_log;  // the store reads it while logging
    std::string m_name;
    std::string m_arrived;  // since the last turn
    // The script's transfer, and the records that came while it ran: from
    // the first sequence up to the last (none past it while it runs).
    SRunningRequest m_transfer;
    EScriptTransfer m_transferKind = EScriptTransfer::XModemSend;
    std::string m_transferWhy;
    bool m_transferTold = true;
    std::uint32_t m_transferFrom = 0;
    std::uint32_t m_transferTo = 0;
    bool m_loaded = false;
    bool m_started = false;
    int m_exitCode = 0;
    std::uint64_t m_now = 0;
};

}  // namespace quillpad
