#pragma once
// What a terminal run does once stdin has ended: runs the command line's one
// operation when the device's console is open and the typed keys have had
// their turn, or lingers (or waits for --until) and quits; and gives up when
// the device's console never opens.

#include <cstdint>
#include <memory>

#include "tools/console/ArrivalWatch.h"
#include "tools/console/TerminalSession.h"

namespace quillpad {

class CScriptedRun {
  public:
    // Made after the session, so that its watch sees a record after the view.
    CScriptedRun(const SConsoleOptions& options, CTerminalSession& session);

    // A request has completed; the operation's own is noted.
    void Completed(std::uint32_t requestId, bool success);

    // One turn of the pump, after the typed keys went to the device.
    struct STurn {
        bool inputEnded = false;
        bool keysWaiting = false;  // keys not yet taken by the device
        int quietTurns = 0;        // turns in a row with no key sent
        std::int64_t elapsedMs = 0;
    };
    void Turn(const STurn& turn);

    // 0, or 1 when the operation failed, the console never opened, the keys
    // were never taken or --until waited in vain.
    int ExitCode() const { return m_exitCode; }

  private:
    void Quit(int exitCode);

    const SConsoleOptions& m_options;
    CTerminalSession& m_session;
    std::unique_ptr<CArrivalWatch> m_watch;
    SRunningRequest m_operation;
    bool m_quitting = false;
    int m_exitCode = 0;
};

}  // namespace quillpad
