#include "tools/console/TerminalRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "nxr/NxrCodes.h"
#include "tools/console/PrefixKeys.h"
#include "tools/console/ScriptDriver.h"
#include "tools/console/ScriptedRun.h"
#include "tools/console/TerminalSession.h"

namespace quillpad {
namespace {

void Say(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// What the prefix keys do: keys wait in `pending` until the device's console
// is open, so none is lost to a link that is still coming up, and while a
// keyed transfer runs; one keyed request at a time.
class CKeyActions final : public IConsoleKeyActions {
  public:
    explicit CKeyActions(CTerminalSession& session) : m_session(session) {}

    std::string pending;
    SRunningRequest keyed;

    void Type(char key) override { pending.push_back(key == '\n' ? '\r' : key); }
    void Quit() override { QCoreApplication::quit(); }
    void Request(const SConsoleRequest& request) override {
        if (keyed.Running()) {
            Say("\r\n[" + NxrRequestName(keyed.code) + " is still running]\r\n");
            return;
        }
        std::string error;
        if (!m_session.Start(request, keyed, error)) {
            Say("\r\n[Error] " + error + "\r\n");
        }
    }
    void CancelRequest() override {
        if (keyed.Running()) {
            m_session.Console().CancelRequest(keyed.requestId);
        } else {
            Say("\r\n[no transfer is running]\r\n");
        }
    }
    void StopWaiting() override {
        CScriptConsole& console = m_session.Console();
        if (!console.WaitingForLink()) {
            Say("\r\n[not waiting for the link]\r\n");
        } else if (console.StopWaiting() != 0) {
            Say("\r\n[Error] " + console.Session()->ErrorText(0) + "\r\n");
        }
        // The session says "[stopped waiting for ...]" when the wait ends.
    }
    bool FileExists(const std::string& path) override {
        std::error_code ec;
        return std::filesystem::exists(path, ec);
    }
    void Say(std::string_view text) override { quillpad::Say(text); }

    void Completed(std::uint32_t requestId, bool success) {
        if (keyed.Running() && requestId == keyed.requestId) {
            keyed.done = true;
            Say("\r\n[" + NxrRequestName(keyed.code) + (success ? " done" : " failed") + "]\r\n");
        }
    }

  private:
    CTerminalSession& m_session;
};

}  // namespace

int RunTerminal(const SConsoleOptions& options) {
    CTerminalSession session(options);
    CScriptedRun script(options, session);
    std::unique_ptr<CScriptDriver> lua;
    if (!options.script.empty()) {
        lua = std::make_unique<CScriptDriver>(options, session);
        if (!lua->Loaded()) {
            return lua->ExitCode();
        }
    }
    CScriptConsole& console = session.Console();
    if (!console.Usable()) {
        std::fprintf(stderr, "quillpad-console: %s\n", console.FailureText().c_str());
        return 1;
    }

    CRawTerminal terminal;
    console.progress.SetActive(::isatty(STDERR_FILENO) != 0);
    if (terminal.Active()) {
        std::fprintf(stderr, "[%s: Ctrl-] q quits, Ctrl-] ? lists the keys]\r\n",
                     options.spec.c_str());
    }
    CKeyActions actions(session);
    CPrefixKeys keys(actions, session.Pacing());
    console.completed = [&](std::uint32_t id, bool success) {
        script.Completed(id, success);
        actions.Completed(id, success);
        if (lua) {
            lua->Completed(id, success);
        }
    };

    bool inputEnded = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            inputEnded = true;
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (terminal.Active()) {
                keys.Feed(buffer[i]);
            } else {
                actions.Type(buffer[i]);
            }
        }
    });

    QElapsedTimer since;
    since.start();
    QTimer pump;
    pump.setInterval(10);
    int quietTurns = 0;
    bool scriptEnded = false;
    QObject::connect(&pump, &QTimer::timeout, [&] {
        if (console.ConsoleOpen() && !actions.keyed.Running() && !(lua && lua->TransferRunning())) {
            for (const char c : actions.pending) {
                session.Channel().Post(console.Handle(), UM_SEND_CHAR, 0,
                                       static_cast<unsigned char>(c));
            }
            quietTurns = actions.pending.empty() ? quietTurns + 1 : 0;
            actions.pending.clear();
        }
        if (lua && !scriptEnded && !lua->Turn(since.elapsed())) {
            scriptEnded = true;
            // The device's last words (a report, a prompt) still come out.
            QTimer::singleShot(200, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
        }
        // A script's run ends with the script, not with stdin.
        script.Turn({.inputEnded = inputEnded && !lua,
                     .keysWaiting = !actions.pending.empty(),
                     .quietTurns = quietTurns,
                     .elapsedMs = since.elapsed()});
    });
    pump.start();
    console.SetConnectionParameters(BytesToWide(options.spec));
    const int result = QCoreApplication::exec();
    console.Shutdown();
    if (lua) {
        return result != 0 ? result : lua->ExitCode();
    }
    return result != 0 ? result : script.ExitCode();
}

}  // namespace quillpad
