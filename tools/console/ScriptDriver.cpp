#include "tools/console/ScriptDriver.h"

#include <QFile>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>

#include "control/CommandRules.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrLineScript.h"
#include "nxr/NxrRequestBlocks.h"

namespace quillpad {
namespace {

constexpr std::int64_t kOpenWaitMs = 10000;

}  // namespace

CScriptDriver::CScriptDriver(const SConsoleOptions& options, CTerminalSession& session)
    : CMessageTarget(session.Channel()), m_session(session), m_runner(*this) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(options.script));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quillpad-console: cannot read the script %s: %s\n",
                     options.script.c_str(), file.errorString().toLocal8Bit().constData());
        m_exitCode = 2;
        return;
    }
    const QByteArray source = file.readAll();
    m_name = options.script;
    // require() finds modules beside the script.
    const std::string folder = std::filesystem::path(m_name).parent_path().string();
    if (!m_runner.Load(std::string_view(source.constData(), std::size_t(source.size())), m_name,
                       options.scriptArgs, {folder.empty() ? "." : folder})) {
        std::fprintf(stderr, "quillpad-console: %s\n", m_runner.Error().c_str());
        m_exitCode = 2;
        return;
    }
    m_loaded = true;
    session.Store().RegisterView(Handle());
}

CScriptDriver::~CScriptDriver() {
    StopLog();  // the store must not keep reading the request
}

bool CScriptDriver::Turn(std::int64_t elapsedMs) {
    if (!m_loaded) {
        return false;
    }
    m_now = static_cast<std::uint64_t>(elapsedMs);
    CScriptConsole& console = m_session.Console();
    if (!m_started) {
        if (console.ConsoleOpen()) {
            m_started = true;
            m_runner.Start(m_now);
        } else if (elapsedMs > kOpenWaitMs) {
            std::fprintf(stderr, "quillpad-console: the device's console did not open\n");
            m_exitCode = 1;
            return false;
        } else {
            return true;
        }
    }
    // The transfer's end first: what came after it is the script's again.
    if (m_transfer.done && !m_transferTold) {
        m_transferTold = true;
        m_runner.TransferEnded(m_transfer.success,
                               ScriptTransferReason(m_transferKind, m_transferWhy), m_now);
    }
    // What came is fed here, not while the store tells of it: the script's
    // answer adds a record of its own.
    if (!m_arrived.empty()) {
        const std::string arrived = std::move(m_arrived);
        m_arrived.clear();
        m_runner.Received(arrived, m_now);
    }
    m_runner.Tick(m_now);
    // Calls the script made since: it runs on a thread of its own.
    m_runner.Settle(CScriptRunner::kStepLimit);
    if (m_log) {
        m_session.Store().FlushLiveLogs();
    }
    switch (m_runner.State()) {
        case EScriptState::Finished:
            m_exitCode = 0;
            return false;
        case EScriptState::Failed:
            std::fprintf(stderr, "quillpad-console: %s\n", m_runner.Error().c_str());
            m_exitCode = 1;
            return false;
        case EScriptState::Cancelled:
            m_exitCode = 1;
            return false;
        case EScriptState::Loaded:
        case EScriptState::Waiting:
            break;
    }
    return true;
}

std::int64_t CScriptDriver::HandleMessage(SMessage& message) {
    if (message.id != UM_APPEND_RECORD || !m_started) {
        return 0;
    }
    const SRecordRef ref = AppendNoticeRef(message);
    if (ref.sequence >= m_transferFrom && ref.sequence < m_transferTo) {
        return 0;  // the transfer's
    }
    const auto record = m_session.Store().Find(ref);
    if (record && record->direction == kDirectionIncoming) {
        m_arrived.append(record->bytes);
    }
    return 0;
}

bool CScriptDriver::Send(std::string_view bytes, std::string& error) {
    CScriptConsole& console = m_session.Console();
    if (console.SendBytes(bytes, CConnectionController::kSendTimeoutMs)) {
        return true;
    }
    error = console.Session() ? console.Session()->ErrorText(0) : console.FailureText();
    return false;
}

void CScriptDriver::Mark(std::string_view text) {
    m_session.Store().AddMark(text);
}

void CScriptDriver::Print(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

bool CScriptDriver::Break(int ms, std::string& error) {
    CScriptConsole& console = m_session.Console();
    std::uint32_t id = 0;
    if (console.StartRequest(nxr_request::SendBreak, NxrBreakBlock(ms).Encode(),
                             CConnectionController::kSendTimeoutMs, id) == 0) {
        return true;
    }
    error = console.Session() ? console.Session()->ErrorText(0) : console.FailureText();
    return false;
}

bool CScriptDriver::SetLine(EScriptLine line, bool on, std::string& error) {
    CScriptConsole& console = m_session.Console();
    // The console window's rule for its DTR and RTS commands.
    SCommandContext context;
    context.connectionKind = console.ConnectionSpec().m_nConnectionKind;
    context.modemLines = console.ModemLines();
    const cmd::CommandId id = line == EScriptLine::Dtr ? cmd::LineDtr : cmd::LineRts;
    if (!console.Session() || !CommandState(id, context).enabled) {
        return IScriptHost::SetLine(line, on, error);
    }
    if (console.PlayLineScript({NxrSetLine(
            line == EScriptLine::Dtr ? ENxrLineStep::Dtr : ENxrLineStep::Rts, on)}) == 0) {
        return true;
    }
    error = console.Session()->ErrorText(0);
    return false;
}

bool CScriptDriver::StartLog(const SScriptLog& log, std::string& error) {
    if (m_log) {
        error = "the console is logging already";
        return false;
    }
    // The terminal form has no log folder: the files go to the current one
    // unless the script names them. The kinds default to a binary log.
    const SLogPaths paths =
        BuildLogPaths(".", log.name, static_cast<std::int64_t>(std::time(nullptr)));
    auto request = std::make_unique<SLogRequest>();
    request->quickName = log.name;
    request->plainEnabled = log.plain;
    request->formattedEnabled = log.formatted;
    request->binaryEnabled = log.kindsGiven ? log.binary : true;
    request->plainPath = log.plainPath.empty() ? paths.plain : log.plainPath;
    request->formattedPath = log.formattedPath.empty() ? paths.formatted : log.formattedPath;
    request->binaryPath = log.binaryPath.empty() ? paths.binary : log.binaryPath;
    request->insertTimestamps = log.timestamps.value_or(true);
    m_log = std::move(request);
    if (m_session.Store().StartLogging(*m_log) != 0) {
        m_session.Store().StopLogging();
        m_log.reset();
        error = "a log file would not open";
        return false;
    }
    return true;
}

bool CScriptDriver::StartTransfer(EScriptTransfer kind, const std::string& path,
                                  std::string& error) {
    SConsoleRequest request;
    request.code = ScriptTransferRequest(kind);
    request.path = path;
    request.pacing = m_session.Pacing();
    if (!m_session.Start(request, m_transfer, error)) {
        error = ScriptTransferReason(kind, error);
        return false;
    }
    m_transferKind = kind;
    m_transferWhy.clear();
    m_transferTold = false;
    m_transferFrom = m_session.Store().NextSequence();
    m_transferTo = std::numeric_limits<std::uint32_t>::max();
    return true;
}

void CScriptDriver::CancelTransfer() {
    if (m_transfer.Running()) {
        m_session.Console().CancelRequest(m_transfer.requestId);
    }
    m_transferTold = true;
}

void CScriptDriver::Completed(std::uint32_t requestId, bool success) {
    if (!m_transfer.Running() || requestId != m_transfer.requestId) {
        return;
    }
    m_transfer.done = true;
    m_transfer.success = success;
    const INxrSession2* session = m_session.Console().Session();
    m_transferWhy = success || session == nullptr ? std::string() : session->ErrorText(requestId);
    m_transferTo = m_session.Store().NextSequence();
}

bool CScriptDriver::StopLog() {
    if (!m_log) {
        return false;
    }
    m_session.Store().StopLogging();
    m_log.reset();
    return true;
}

}  // namespace quillpad
