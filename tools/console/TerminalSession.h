#pragma once
// The terminal form's session: the store, a stand-in for the view that writes
// what the device sends to stdout, the console's side of the connection with
// boxes and status on stderr, and the one path by which requests start,
// whether the command line or a prefix key made them.

#include <QElapsedTimer>

#include <termios.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "control/CQuillpadSettings.h"
#include "data/DataStore.h"
#include "platform/qt/CQtMessageChannel.h"
#include "session/CConnectionController.h"
#include "tools/console/ConsoleOptions.h"
#include "tools/console/ConsoleRequest.h"

namespace quillpad {

// A transfer's progress on stderr, in one line that rewrites itself.
class CProgressLine {
  public:
    void Start(const std::string& what, std::int32_t total);
    void Show(std::int32_t done, bool force = false);
    void Finish(std::int32_t done);
    // Ends the line, so that what follows starts on a new one.
    void End();
    void SetActive(bool active) { m_active = active; }

  private:
    bool m_active = false;
    bool m_open = false;
    std::string m_what;
    std::int32_t m_total = 0;
    std::size_t m_width = 0;
    QElapsedTimer m_shown;
};

// The console's side of the connection, which also tells the requests' ends
// and shows their progress.
class CScriptConsole final : public CConnectionController {
  public:
    using CConnectionController::CConnectionController;

    // Called with each request's id and result as it completes.
    std::function<void(std::uint32_t, bool)> completed;
    CProgressLine progress;

    std::int32_t OnRequestCompleted(std::uint32_t requestId, std::uint32_t code, bool success,
                                    std::int32_t extra,
                                    const std::optional<WideString>& userText) override;
    std::int32_t OnFileStart(std::uint32_t, const WideString& source, const WideString& target,
                             std::int32_t size, bool sending, const WideString& protocol) override;
    std::int32_t OnFileProgress(std::uint32_t, std::int32_t done, std::int32_t, std::int32_t,
                                std::int32_t) override;
    std::int32_t OnFileFinish(std::uint32_t, bool) override;
    // The wait for a lost link, told on stderr: the console stays up.
    std::int32_t OnLinkWaiting(std::int32_t state, std::string_view where) override;

  private:
    std::int32_t m_done = 0;
};

// Stands where the console view will: writes each incoming record.
class CStdoutView final : public CMessageTarget {
  public:
    CStdoutView(CMessageChannel& channel, const CDataStore& store)
        : CMessageTarget(channel), m_store(store) {}
    std::int64_t HandleMessage(SMessage& message) override;

  private:
    const CDataStore& m_store;
};

// Raw keys while it lives, the terminal's old mode afterwards.
class CRawTerminal {
  public:
    CRawTerminal();
    ~CRawTerminal();
    CRawTerminal(const CRawTerminal&) = delete;
    CRawTerminal& operator=(const CRawTerminal&) = delete;
    bool Active() const { return m_active; }

  private:
    termios m_old{};
    bool m_active = false;
};

// One request of the run and its end.
struct SRunningRequest {
    std::uint32_t code = 0;
    std::uint32_t requestId = 0;
    bool issued = false;
    bool done = false;
    bool success = false;

    bool Running() const { return issued && !done; }
};

class CTerminalSession {
  public:
    explicit CTerminalSession(const SConsoleOptions& options);

    CMessageChannel& Channel() { return m_channel; }
    CDataStore& Store() { return m_store; }
    CScriptConsole& Console() { return m_console; }
    // ASCII Send's pauses before any prompt: the command line's, else the settings'.
    SAsciiPacing Pacing() const { return m_pacing; }

    // Starts a request, filling in `into`; false with the session's reason
    // in `error` when it could not start.
    bool Start(SConsoleRequest request, SRunningRequest& into, std::string& error);

  private:
    const SConsoleOptions& m_options;
    CQtMessageChannel m_channel;
    CDataStore m_store;
    CStdoutView m_view;
    CQuillpadSettings m_settings;
    SAsciiPacing m_pacing;
    CScriptConsole m_console;
};

}  // namespace quillpad
