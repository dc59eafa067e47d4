#include "tools/console/TerminalSession.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "nxr/NxrCodes.h"
#include "nxr/NxrLib.h"
#include "session/qt/CQtSessionUi.h"

namespace quillpad {
namespace {

// Boxes become lines on stderr.
class CStderrUi final : public ISessionUi {
  public:
    void ShowStandardError(const INxrSession2* session, std::uint32_t requestId) override {
        std::fprintf(stderr, "\r\n[Error] %s\r\n",
                     NxrStandardErrorText(session, requestId).c_str());
    }
    void ShowMessage(std::string_view caption, std::string_view text, EMessageIcon) override {
        std::fprintf(stderr, "\r\n[%.*s] %.*s\r\n", static_cast<int>(caption.size()),
                     caption.data(), static_cast<int>(text.size()), text.data());
    }
};

// The host: reports what a console tells its window.
class CStderrHost final : public CNoHostEnvironment {
  public:
    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) override {
        std::fprintf(stderr, "\r\n[%s]\r\n", NxrStatusText(status).c_str());
        return 0;
    }
    std::int32_t IWBENVUpdateConnectionParams(WideString& params) override {
        std::fprintf(stderr, "\r\n[new connection: %s]\r\n", WideToBytes(params).c_str());
        return 0;
    }
};

SSessionServices StderrServices() {
    SSessionServices services;
    services.factory = &CreateNxrSession;
    services.ui = std::make_unique<CStderrUi>();
    services.deferred = std::make_unique<CQtDeferredCalls>();
    return services;
}

}  // namespace

void CProgressLine::Start(const std::string& what, std::int32_t total) {
    m_what = what;
    m_total = total;
    m_shown.invalidate();
    Show(0, true);
}

void CProgressLine::Show(std::int32_t done, bool force) {
    if (!m_active) {
        return;
    }
    if (!force && m_shown.isValid() && m_shown.elapsed() < 100) {
        return;
    }
    m_shown.start();
    std::string line = "[" + m_what + ": " + std::to_string(done);
    line += m_total > 0 ? " of " + std::to_string(m_total) + " bytes]" : " bytes]";
    const std::size_t width = line.size();
    line.resize(std::max(width, m_width), ' ');
    m_width = width;
    std::fprintf(stderr, "\r%s", line.c_str());
    m_open = true;
}

void CProgressLine::Finish(std::int32_t done) {
    Show(done, true);
    End();
}

void CProgressLine::End() {
    if (m_open) {
        std::fprintf(stderr, "\r\n");
    }
    m_open = false;
    m_width = 0;
}

std::int32_t CScriptConsole::OnRequestCompleted(std::uint32_t requestId, std::uint32_t code,
                                                bool success, std::int32_t extra,
                                                const std::optional<WideString>& userText) {
    progress.End();
    if (completed) {
        completed(requestId, success);
    }
    return CConnectionController::OnRequestCompleted(requestId, code, success, extra, userText);
}

std::int32_t CScriptConsole::OnFileStart(std::uint32_t, const WideString& source,
                                         const WideString& target, std::int32_t size, bool sending,
                                         const WideString& protocol) {
    const std::string file = WideToBytes(sending ? source : target);
    progress.Start(WideToBytes(protocol) + (sending ? " send " : " receive ") + file, size);
    return 0;
}

std::int32_t CScriptConsole::OnFileProgress(std::uint32_t, std::int32_t done, std::int32_t,
                                            std::int32_t, std::int32_t) {
    m_done = done;
    progress.Show(done);
    return 0;
}

std::int32_t CScriptConsole::OnFileFinish(std::uint32_t, bool) {
    progress.Finish(m_done);
    return 0;
}

std::int32_t CScriptConsole::OnLinkWaiting(std::int32_t state, std::string_view where) {
    progress.End();
    const char* format = nullptr;
    switch (static_cast<ENxrLinkWait>(state)) {
        case ENxrLinkWait::Waiting:
            format = "\r\n[waiting for %.*s to come back]\r\n";
            break;
        case ENxrLinkWait::Back:
            format = "\r\n[back on %.*s]\r\n";
            break;
        case ENxrLinkWait::Stopped:
            format = "\r\n[stopped waiting for %.*s]\r\n";
            break;
        case ENxrLinkWait::TimedOut:
            format = "\r\n[gave up waiting for %.*s]\r\n";
            break;
    }
    if (format != nullptr) {
        std::fprintf(stderr, format, static_cast<int>(where.size()), where.data());
    }
    return CConnectionController::OnLinkWaiting(state, where);
}

std::int64_t CStdoutView::HandleMessage(SMessage& message) {
    if (message.id == UM_APPEND_RECORD) {
        if (const auto record = m_store.Find(AppendNoticeRef(message));
            record && record->direction == 1) {
            std::fwrite(record->bytes.data(), 1, record->bytes.size(), stdout);
            std::fflush(stdout);
        }
    }
    return 0;
}

CRawTerminal::CRawTerminal() {
    if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &m_old) == 0) {
        termios raw = m_old;
        ::cfmakeraw(&raw);
        raw.c_oflag |= OPOST | ONLCR;  // our own messages still start on a new line
        m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
}

CRawTerminal::~CRawTerminal() {
    if (m_active) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &m_old);
    }
}

CTerminalSession::CTerminalSession(const SConsoleOptions& options)
    : m_options(options),
      m_store(m_channel),
      m_view(m_channel, m_store),
      m_console(m_channel, StderrServices()) {
    m_settings.LoadFromRegistry();
    m_pacing = {.charDelayMs = options.charDelayMs.value_or(m_settings.m_asciiCharDelayMs),
                .lineDelayMs = options.lineDelayMs.value_or(m_settings.m_asciiLineDelayMs)};
    // It shows nothing of the history, yet keeps it all: within the console's budget.
    m_store.SetHistoryBudget(std::size_t{m_settings.m_historyMemoryMB} << 20);
    m_store.RegisterView(m_view.Handle());
    m_console.SetDataStore(&m_store);
    m_console.SetOptions({.outgoingCRToCRLF = m_settings.m_outgoingCRToCRLF});
    m_console.SetHostEnvironment(std::make_shared<CStderrHost>());
}

bool CTerminalSession::Start(SConsoleRequest request, SRunningRequest& into, std::string& error) {
    request.use1K = m_options.use1K;
    into = SRunningRequest{};
    into.code = request.code;
    if (m_console.StartRequest(request.code, ConsoleRequestBlock(request), 1000, into.requestId) !=
        0) {
        error = m_console.Session() ? m_console.Session()->ErrorText(0) : m_console.FailureText();
        return false;
    }
    into.issued = true;
    return true;
}

}  // namespace quillpad
