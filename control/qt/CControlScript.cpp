#include "control/qt/CControlScript.h"

#include <QFileInfo>

#include <ctime>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "control/CommandRules.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/ControlLogging.h"
#include "control/qt/IControlUi.h"
#include "data/DataStore.h"
#include "data/LogRequest.h"
#include "nxr/NxrLineScript.h"
#include "platform/qt/FileName.h"
#include "platform/qt/Latin1.h"

namespace quillpad {
namespace {

// Bigger is no console script; reading it would only stall the console.
constexpr std::uintmax_t kMaxScriptBytes = 4u << 20;

}  // namespace

CControlScript::CControlScript(CQuillpad2Ctrl& control) : m_control(control) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (Running()) {
            m_runner->Tick(Now());
            AfterStep();
        }
    });
    m_clock.start();
}

CControlScript::~CControlScript() {
    m_transferId.reset();  // the control is going: nothing to cancel through it
    if (m_runner) {
        m_runner->Cancel();
    }
}

std::uint64_t CControlScript::Now() const {
    return static_cast<std::uint64_t>(m_clock.elapsed());
}

void CControlScript::ChooseAndRun() {
    if (Running()) {
        m_control.ShowStatus(QStringLiteral("A script is running: Cancel it in its window first."));
        return;
    }
    const auto path = m_control.ControlUi().ChooseFileToOpen(
        QStringLiteral("Lua scripts (*.lua);;All files (*)"), QStringLiteral("lua"),
        m_control.Settings().m_dataDirectory, &m_control);
    if (path) {
        RunFile(*path);
    }
}

bool CControlScript::RunFile(const std::string& path) {
    if (Running()) {
        m_control.ShowStatus(QStringLiteral("A script is running: Cancel it in its window first."));
        return false;
    }
    const std::string name = std::filesystem::path(path).filename().string();
    const QString shown = FileNameToQString(name);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) {
        m_control.ShowStatus(QStringLiteral("The script %1 cannot be read.").arg(shown));
        return false;
    }
    if (size > kMaxScriptBytes) {
        m_control.ShowStatus(QStringLiteral("The script %1 is too big to be a script.").arg(shown));
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    IScriptHost& host = *this;
    const CQuillpadSettings& settings = m_control.Settings();
    auto runner = std::make_unique<CScriptRunner>(host, settings.m_scriptMemoryMB);
    // require() finds modules beside the script and in the data folder's scripts.
    const std::vector<std::string> folders = {
        std::filesystem::path(path).parent_path().string(),
        (std::filesystem::path(settings.m_dataDirectory) / "scripts").string()};
    if (!runner->Load(text.str(), name, {}, folders)) {
        m_lastState = EScriptState::Failed;
        m_lastError = runner->Error();
        m_control.ShowStatus(QStringLiteral("The script failed: %1")
                                 .arg(QString::fromLocal8Bit(m_lastError.c_str())));
        return false;
    }
    // The script's thread asks for its calls to be served; they run here.
    runner->SetWake([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_runner) {
                    m_runner->Settle(CScriptRunner::kStepLimit);
                    AfterStep();
                }
            },
            Qt::QueuedConnection);
    });
    m_runner = std::move(runner);
    m_endTold = false;
    m_name = name;
    m_lastError.clear();
    m_control.OnTaskStart(kRequestId, u"Run Script", BytesToWide(name));
    m_control.ShowStatus(QStringLiteral("Running the script %1.").arg(shown));
    m_runner->Start(Now());
    AfterStep();
    return true;
}

void CControlScript::Cancel() {
    if (!Running()) {
        return;
    }
    m_runner->Cancel();
    AfterStep();
}

void CControlScript::OnDeviceData(std::string_view bytes) {
    if (!Running()) {
        return;
    }
    m_runner->Received(bytes, Now());
    AfterStep();
}

void CControlScript::AfterStep() {
    if (!m_runner) {
        return;
    }
    if (m_runner->Running()) {
        if (const auto deadline = m_runner->NextDeadline()) {
            const std::uint64_t now = Now();
            m_timer.start(static_cast<int>(std::min<std::uint64_t>(
                *deadline > now ? *deadline - now : 0, 24u * 3600u * 1000u)));
        } else {
            m_timer.stop();
        }
        return;
    }
    m_timer.stop();
    if (std::exchange(m_endTold, true)) {
        return;  // a wake that came after the end was told
    }
    m_lastState = m_runner->State();
    m_lastError = m_runner->Error();
    const QString shown = FileNameToQString(m_name);
    switch (m_lastState) {
        case EScriptState::Finished:
            m_control.ShowStatus(QStringLiteral("The script %1 has finished.").arg(shown));
            break;
        case EScriptState::Cancelled:
            m_control.ShowStatus(QStringLiteral("The script %1 was cancelled.").arg(shown));
            break;
        default:
            m_control.ShowStatus(QStringLiteral("The script failed: %1")
                                     .arg(QString::fromLocal8Bit(m_lastError.c_str())));
            break;
    }
    m_control.OnTaskComplete(kRequestId, m_lastState == EScriptState::Finished);
    // Not inside the runner's own call: it is let go once control is back here.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_runner && !m_runner->Running())
                m_runner.reset();
        },
        Qt::QueuedConnection);
}

bool CControlScript::Send(std::string_view bytes, std::string& error) {
    if (!m_control.SessionOpen()) {
        error = "the device session is not open";
        return false;
    }
    if (!m_control.SendBytes(bytes, CConnectionController::kSendTimeoutMs)) {
        error = "the device session did not take the bytes";
        return false;
    }
    return true;
}

void CControlScript::Mark(std::string_view text) {
    if (CDataStore* store = m_control.Store()) {
        store->AddMark(text);
    }
}

void CControlScript::Print(std::string_view text) {
    const QString line = BytesToQString(text);
    m_control.ShowStatus(line);
    m_control.OnTaskProgress(kRequestId, -1, BytesToWide(text), 0);
}

bool CControlScript::Break(int ms, std::string& error) {
    if (!m_control.SessionOpen() ||
        !CommandState(cmd::SendBreak, m_control.CommandContext()).enabled) {
        error = "this link cannot send a break";
        return false;
    }
    m_control.SendBreak(ms);
    return true;
}

bool CControlScript::SetLine(EScriptLine line, bool on, std::string& error) {
    // The Communications menu's rule: only a link that tells its lines sets them.
    const cmd::CommandId id = line == EScriptLine::Dtr ? cmd::LineDtr : cmd::LineRts;
    if (!m_control.SessionOpen() || !CommandState(id, m_control.CommandContext()).enabled) {
        return IScriptHost::SetLine(line, on, error);
    }
    m_control.PlayLineScript(
        {NxrSetLine(line == EScriptLine::Dtr ? ENxrLineStep::Dtr : ENxrLineStep::Rts, on)});
    return true;
}

bool CControlScript::StartLog(const SScriptLog& log, std::string& error) {
    const CQuillpadSettings& settings = m_control.Settings();
    const SLogPaths paths = BuildLogPaths(settings.m_logFolder, log.name,
                                          static_cast<std::int64_t>(std::time(nullptr)));
    // A relative name is in the log folder, as the dialog's names are.
    const auto place = [&](const std::string& given, const std::string& named) {
        if (given.empty()) {
            return named;
        }
        const std::filesystem::path path(given);
        return path.is_absolute() ? given
                                  : (std::filesystem::path(settings.m_logFolder) / path).string();
    };
    SLogRequest request;
    request.quickName = log.name;
    request.plainEnabled = log.kindsGiven ? log.plain : settings.m_logAsPlainText;
    request.formattedEnabled = log.kindsGiven ? log.formatted : settings.m_logAsFormattedText;
    request.binaryEnabled = log.kindsGiven ? log.binary : settings.m_logAsBinaryLog;
    request.plainPath = place(log.plainPath, paths.plain);
    request.formattedPath = place(log.formattedPath, paths.formatted);
    request.binaryPath = place(log.binaryPath, paths.binary);
    request.insertTimestamps = log.timestamps.value_or(settings.m_insertTimestampsInText);
    return m_control.Logging().StartLoggingWith(request, error);
}

bool CControlScript::StopLog() {
    return m_control.Logging().StopLogging();
}

bool CControlScript::StartTransfer(EScriptTransfer kind, const std::string& path,
                                   std::string& error) {
    if (!m_control.SessionOpen()) {
        error = "the device session is not open";
        return false;
    }
    const cmd::CommandId id = kind == EScriptTransfer::XModemSend      ? cmd::XModemSend
                              : kind == EScriptTransfer::XModemReceive ? cmd::XModemReceive
                                                                       : cmd::AsciiSend;
    std::uint32_t requestId = 0;
    if (m_control.StartTransfer(id, path, requestId) != 0) {
        const INxrSession2* session = m_control.Session();
        error = session != nullptr ? session->ErrorText(requestId) : std::string();
        if (error.empty() && session != nullptr) {
            error = session->ErrorText(0);
        }
        error = error.empty() ? "the device session did not start it"
                              : ScriptTransferReason(kind, error);
        return false;
    }
    m_transferId = requestId;
    m_transferKind = kind;
    m_transfers.insert(requestId);
    return true;
}

void CControlScript::CancelTransfer() {
    if (m_transferId) {
        m_control.CancelRequest(*m_transferId);
        m_transferId.reset();
    }
}

bool CControlScript::OnRequestCompleted(std::uint32_t requestId, bool success) {
    if (m_transfers.erase(requestId) == 0) {
        return false;
    }
    if (m_transferId != requestId) {
        return true;  // its script was cancelled
    }
    m_transferId.reset();
    const INxrSession2* session = m_control.Session();
    const std::string why =
        success || session == nullptr ? std::string() : session->ErrorText(requestId);
    TransferEnded(success, ScriptTransferReason(m_transferKind, why));
    return true;
}

void CControlScript::OnSessionClosed() {
    // A transfer ends before the link's status says so; what is left was dropped.
    m_transfers.clear();
    if (m_transferId) {
        m_transferId.reset();
        TransferEnded(false, "the device session was closed");
    }
}

void CControlScript::TransferEnded(bool success, const std::string& why) {
    if (!m_runner) {
        return;
    }
    m_runner->TransferEnded(success, why, Now());
    AfterStep();
}

}  // namespace quillpad
