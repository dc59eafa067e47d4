#include "tools/console/ScriptedRun.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace quillpad {
namespace {

constexpr std::int64_t kOpenWaitMs = 10000;
// After the last typed key, before the operation starts: the device has had its turn.
constexpr int kQuietTurnsBeforeOperation = 20;

}  // namespace

CScriptedRun::CScriptedRun(const SConsoleOptions& options, CTerminalSession& session)
    : m_options(options), m_session(session) {
    if (!options.until.empty()) {
        m_watch = std::make_unique<CArrivalWatch>(session.Channel(), session.Store(), options.until,
                                                  [this] {
                                                      if (m_quitting) {
                                                          QCoreApplication::quit();
                                                      }
                                                  });
        session.Store().RegisterView(m_watch->Handle());
    }
}

void CScriptedRun::Completed(std::uint32_t requestId, bool success) {
    if (m_operation.issued && requestId == m_operation.requestId) {
        m_operation.done = true;
        m_operation.success = success;
    }
}

void CScriptedRun::Quit(int exitCode) {
    m_exitCode = exitCode;
    m_quitting = true;
    QCoreApplication::quit();
}

void CScriptedRun::Turn(const STurn& turn) {
    CScriptConsole& console = m_session.Console();
    if (m_options.operation != 0 && !m_quitting) {
        if (m_operation.done) {
            m_exitCode = m_operation.success ? 0 : 1;
            m_quitting = true;
            // The device's last words (a report, a prompt) still come out.
            QTimer::singleShot(200, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
        } else if (!m_operation.issued && turn.inputEnded && console.ConsoleOpen() &&
                   turn.quietTurns >= kQuietTurnsBeforeOperation) {
            SConsoleRequest request;
            request.code = m_options.operation;
            request.path = m_options.file;
            request.pacing = m_session.Pacing();
            std::string error;
            if (!m_session.Start(request, m_operation, error)) {
                std::fprintf(stderr, "quillpad-console: %s\n", error.c_str());
                m_operation.issued = true;
                Quit(1);
            }
        } else if (!m_operation.issued && !console.ConsoleOpen() &&
                   (turn.elapsedMs > kOpenWaitMs ||
                    (turn.elapsedMs > 2000 && console.ConnectionHandle() == 0))) {
            std::fprintf(stderr, "quillpad-console: the device's console did not open\n");
            Quit(1);
        }
        return;
    }
    if (!turn.inputEnded || m_quitting) {
        return;
    }
    if (!turn.keysWaiting) {
        m_quitting = true;
        if (m_watch && m_watch->Arrived()) {
            QCoreApplication::quit();
            return;
        }
        QTimer::singleShot(
            static_cast<int>(m_options.lingerMs), QCoreApplication::instance(), [this] {
                if (m_watch && !m_watch->Arrived()) {
                    std::fprintf(stderr, "quillpad-console: \"%s\" did not arrive in %u ms\n",
                                 m_options.until.c_str(), m_options.lingerMs);
                    m_exitCode = 1;
                }
                QCoreApplication::quit();
            });
    } else if (console.ConnectionHandle() == 0 || turn.elapsedMs > kOpenWaitMs) {
        Quit(1);  // the device never took the keys
    }
}

}  // namespace quillpad
