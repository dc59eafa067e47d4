#include "nxr/qt/CNxrIoWorker.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "nxr/CNxrAbilityJob.h"
#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrRequestBlocks.h"

namespace quillpad {
namespace {

ENxrTransferKind TransferKind(std::uint32_t code) {
    switch (code) {
        case nxr_request::XModemSend:
            return ENxrTransferKind::XModemSend;
        case nxr_request::XModemReceive:
            return ENxrTransferKind::XModemReceive;
        case nxr_request::AsciiSend:
            return ENxrTransferKind::AsciiSend;
        default:
            return ENxrTransferKind::AsciiReceive;
    }
}

// How a running job is named where another cannot start beside it. Only
// abilities queue.
std::string RunningName(const SNxrJobOrder& order) {
    return order.queues ? "the ability \"" + order.name + "\"" : order.name;
}

}  // namespace

CNxrIoWorker::CNxrIoWorker(CNxrComSpec spec, NxrTransportFactory factory,
                           std::shared_ptr<CNxrInbox> inbox, std::function<void()> wake,
                           const IClock& clock, SNxrLinkWatchSetup watch)
    : m_spec(std::move(spec)),
      m_factory(std::move(factory)),
      m_inbox(std::move(inbox)),
      m_wake(std::move(wake)),
      m_clock(clock),
      m_jobs(clock, *this),
      m_watch(std::move(watch)),
      m_repeats(clock) {
    m_lookTimer.setSingleShot(true);
    QObject::connect(&m_lookTimer, &QTimer::timeout, this, [this] { Look(); });
    m_jobTimer.setSingleShot(true);
    QObject::connect(&m_jobTimer, &QTimer::timeout, this, [this] { m_jobs.TimerFired(); });
    m_lineTimer.setSingleShot(true);
    m_lineTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_lineTimer, &QTimer::timeout, this, [this] { RunLineScripts(); });
    // A 10 ms period needs the timer to the millisecond, not Qt's coarse 5 %.
    m_repeatTimer.setSingleShot(true);
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_repeatTimer, &QTimer::timeout, this, [this] { RunRepeats(); });
    m_linePoll.setInterval(kLinePollMs);
    QObject::connect(&m_linePoll, &QTimer::timeout, this, [this] { PollLines(); });
}

CNxrIoWorker::~CNxrIoWorker() = default;

ENxrConnectionStatus CNxrIoWorker::Status() const {
    return static_cast<ENxrConnectionStatus>(m_inbox->LinkStatus());
}

bool CNxrIoWorker::LinkUp() const {
    return Status() == ENxrConnectionStatus::Connected && m_transport;
}

void CNxrIoWorker::Push(NxrIoEvent event) {
    if (m_inbox->Push(std::move(event)) && m_wake) {
        m_wake();
    }
}

void CNxrIoWorker::PushError(std::string text) {
    Push(SNxrIoError{std::move(text)});
}

void CNxrIoWorker::SetStatus(ENxrConnectionStatus status, std::string reason) {
    if (m_inbox->SetLink(static_cast<std::uint16_t>(status), reason)) {
        Push(SNxrIoStatus{static_cast<std::uint16_t>(status), std::move(reason)});
    }
    // A link that is neither up nor coming up ends the periodic sends at
    // once, rather than at each one's next due time.
    if (status != ENxrConnectionStatus::Connected && status != ENxrConnectionStatus::Connecting &&
        m_repeats.AnyRunning()) {
        PushRepeatEnds(m_repeats.EndAll(ESendEnd::Failed));
        m_repeatTimer.stop();
    }
}

void CNxrIoWorker::Complete(std::uint32_t requestId, std::uint32_t code, bool success,
                            std::string text) {
    Push(SNxrIoCompleted{requestId, code, success, std::move(text)});
}

void CNxrIoWorker::HandleRequest(std::uint32_t requestId, std::uint32_t code,
                                 const ByteString& params) {
    const std::string where = m_spec.Describe();
    switch (code) {
        case nxr_request::Connect:
            if (Status() == ENxrConnectionStatus::Connected) {
                Complete(requestId, code, true, {});
                return;
            }
            m_connectWaiters.push_back(requestId);
            if (Status() != ENxrConnectionStatus::Connecting) {
                StartConnect();
            }
            return;
        case nxr_request::Reconnect:
            if (m_waiting) {
                EndWaiting(ENxrLinkWait::Stopped);
            }
            CloseTransport();
            // Quietly: Connecting follows at once.
            m_inbox->SetLink(static_cast<std::uint16_t>(ENxrConnectionStatus::NotConnected), {});
            m_connectWaiters.push_back(requestId);
            StartConnect();
            return;
        case nxr_request::Disconnect: {
            StopSharing();
            if (m_waiting) {
                EndWaiting(ENxrLinkWait::Stopped);
            }
            CloseTransport();
            auto waiters = std::move(m_connectWaiters);
            m_connectWaiters.clear();
            for (const auto id : waiters) {
                Complete(id, nxr_request::Connect, false,
                         "the connect to " + where + " was ended by a disconnect");
            }
            if (!m_held.empty()) {
                PushError(std::to_string(m_held.size()) + " bytes were not sent: disconnected");
                m_held.clear();
            }
            SetStatus(ENxrConnectionStatus::NotConnected, "disconnected on request");
            Complete(requestId, code, true, {});
            return;
        }
        case nxr_request::OpenConsole:
            if (Status() == ENxrConnectionStatus::Connected) {
                Complete(requestId, code, true, {});
            } else {
                Complete(requestId, code, false,
                         "cannot open the console: not connected to " + where);
            }
            return;
        case nxr_request::CloseConsole:
            Complete(requestId, code, true, {});
            return;
        case nxr_request::StopWaiting:
            if (m_waiting) {
                EndWaiting(ENxrLinkWait::Stopped);
            }
            Complete(requestId, code, true, {});
            return;
        case nxr_request::SendBreak:
            SendBreak(requestId, params);
            return;
        case nxr_request::ShareStart:
            StartSharing(requestId, params);
            return;
        case nxr_request::ShareStop:
            StopSharing();
            Complete(requestId, code, true, {});
            return;
        case nxr_request::LineScript:
            StartLineScript(requestId, params);
            return;
        case nxr_request::XModemSend:
        case nxr_request::XModemReceive:
        case nxr_request::AsciiSend:
        case nxr_request::AsciiReceive:
            StartTransfer(requestId, code, params);
            return;
        default:
            Complete(requestId, code, false, "unknown " + NxrRequestName(code));
            return;
    }
}

void CNxrIoWorker::StartConnect() {
    SetStatus(ENxrConnectionStatus::Connecting, {});
    std::unique_ptr<INxrTransport> transport = m_factory ? m_factory(m_spec) : nullptr;
    if (!transport) {
        ConnectFailed("no transport for " + m_spec.Describe());
        return;
    }
    m_transport = std::move(transport);
    m_transport->Open(*this);  // may report up or down before it returns
}

void CNxrIoWorker::TransportUp() {
    if (m_attempting) {
        AttemptUp();
        return;
    }
    if (Status() == ENxrConnectionStatus::Connecting) {
        Connected();
    }
}

void CNxrIoWorker::TransportGone(const std::string& reason) {
    m_gone = true;
    TransportDown(reason);
}

void CNxrIoWorker::TransportDown(const std::string& reason) {
    if (m_attempting) {
        AttemptFailed();
        return;
    }
    const ENxrConnectionStatus status = Status();
    if (status == ENxrConnectionStatus::Connected) {
        LinkLost(reason);
    } else if (status == ENxrConnectionStatus::Connecting) {
        ConnectFailed(reason);
    }
}

// Every byte from the device passes here. A running job sees them first:
// XModem and an ability take theirs, an ASCII receive keeps a copy of what the
// console shows.
void CNxrIoWorker::TransportReceived(std::string_view bytes) {
    if (m_share) {
        m_share->Broadcast(bytes);  // the link as it is, whatever a job takes
    }
    bytes.remove_prefix(m_jobs.Feed(bytes));
    if (!bytes.empty()) {
        Push(SNxrIoReceived{0, ByteString(bytes)});
    }
}

std::size_t CNxrIoWorker::ReceiveRoom() {
    return m_inbox->ReaderRoom();
}

void CNxrIoWorker::Connected() {
    m_gone = false;
    if (m_spec.Kind() == ENxrConnectionKind::Serial && m_spec.Reconnects()) {
        // Known now, while it is there: once it is gone it cannot be asked.
        m_identity = NxrIdentifyPort(
            m_spec.m_device, m_watch.ports ? m_watch.ports->Ports() : std::vector<SNxrPortInfo>());
    }
    SetStatus(ENxrConnectionStatus::Connected, {});
    auto waiters = std::move(m_connectWaiters);
    m_connectWaiters.clear();
    for (const auto id : waiters) {
        Complete(id, nxr_request::Connect, true, {});
    }
    Push(SNxrIoLinkUp{});
    // Only a link that tells its lines is asked again.
    PollLines();
    if (m_lines) {
        m_linePoll.start();
    }
    if (!m_held.empty()) {
        ByteString held = std::move(m_held);
        m_held.clear();
        Write(std::move(held));
    }
}

void CNxrIoWorker::ConnectFailed(const std::string& why) {
    CloseTransport();
    auto waiters = std::move(m_connectWaiters);
    m_connectWaiters.clear();
    std::string text = why;
    if (!m_held.empty()) {
        text += " (" + std::to_string(m_held.size()) + " bytes were not sent)";
        m_held.clear();
    }
    // The status first, so that a completion handler already sees it.
    SetStatus(ENxrConnectionStatus::NotConnected, text);
    for (const auto id : waiters) {
        Complete(id, nxr_request::Connect, false, why);
    }
}

void CNxrIoWorker::LinkLost(const std::string& why) {
    EndJobs(why, true);
    CloseTransport();
    SetStatus(ENxrConnectionStatus::LinkLost, "link lost: " + why);
    const bool serial = m_spec.Kind() == ENxrConnectionKind::Serial;
    // A serial line that failed while its device stayed is not waited for:
    // it would fail again.
    if (m_spec.Reconnects() && (!serial || m_gone) &&
        m_spec.Kind() != ENxrConnectionKind::Simulated) {
        StartWaiting();
    }
}

std::uint32_t CNxrIoWorker::WaitedMs() const {
    return TickSpan(m_waitStart, m_clock.TickCount());
}

void CNxrIoWorker::SetWaitLimit(std::uint32_t ms) {
    m_watch.waitLimitMs = ms;
    if (m_waiting && !m_attempting) {
        ScheduleLook(0);  // a shorter limit may be over already
    }
}

void CNxrIoWorker::StartWaiting() {
    m_waiting = true;
    m_attempting = false;
    m_tries = 0;
    m_waitStart = m_clock.TickCount();
    if (!m_identity) {
        m_identity = NxrIdentifyPort(m_spec.m_device, {});
    }
    const bool serial = m_spec.Kind() == ENxrConnectionKind::Serial;
    Push(SNxrIoWaiting{static_cast<std::int32_t>(ENxrLinkWait::Waiting),
                       serial ? m_identity->Describe() : m_spec.Describe()});
    ScheduleLook(serial ? m_watch.policy.pollMs : NxrRetryDelay(m_watch.policy, m_tries++));
}

void CNxrIoWorker::ScheduleLook(std::uint32_t delayMs) {
    const std::uint32_t next = NxrNextLook(delayMs, WaitedMs(), m_watch.waitLimitMs);
    m_lookTimer.start(static_cast<int>(std::min<std::uint32_t>(next, 0x7FFFFFFFu)));
}

void CNxrIoWorker::Look() {
    if (!m_waiting || m_attempting) {
        return;
    }
    if (NxrWaitOver(WaitedMs(), m_watch.waitLimitMs)) {
        EndWaiting(ENxrLinkWait::TimedOut);
        return;
    }
    CNxrComSpec spec = m_spec;
    if (m_spec.Kind() == ENxrConnectionKind::Serial) {
        const auto path = NxrFindReturnedPort(
            *m_identity, m_watch.ports ? m_watch.ports->Ports() : std::vector<SNxrPortInfo>());
        const std::string text = path ? m_spec.TextWithDevice(*path) : std::string();
        if (text.empty() || !spec.Parse(text)) {
            ScheduleLook(m_watch.policy.pollMs);
            return;
        }
    }
    std::unique_ptr<INxrTransport> transport = m_factory ? m_factory(spec) : nullptr;
    if (!transport) {
        EndWaiting(ENxrLinkWait::Stopped);
        return;
    }
    m_attemptSpec = std::move(spec);
    m_attempting = true;
    m_transport = std::move(transport);
    m_transport->Open(*this);  // may report up or down before it returns
}

void CNxrIoWorker::AttemptUp() {
    m_attempting = false;
    m_waiting = false;
    m_lookTimer.stop();
    const bool renamed = m_attemptSpec.Text() != m_spec.Text();
    m_spec = m_attemptSpec;
    if (renamed) {
        Push(SNxrIoParamsChanged{m_spec.Text()});
    }
    Push(SNxrIoWaiting{static_cast<std::int32_t>(ENxrLinkWait::Back), m_spec.Describe()});
    Connected();
}

void CNxrIoWorker::AttemptFailed() {
    m_attempting = false;
    if (m_transport) {
        m_transport->Close();
        m_closed.push_back(std::move(m_transport));
        QMetaObject::invokeMethod(
            this, [this] { m_closed.clear(); }, Qt::QueuedConnection);
    }
    m_inbox->ReaderGone();
    // A device that is back but not open yet (its permissions still being
    // set) is tried at the next look, as one that is not back.
    ScheduleLook(m_spec.Kind() == ENxrConnectionKind::Serial
                     ? m_watch.policy.pollMs
                     : NxrRetryDelay(m_watch.policy, m_tries++));
}

void CNxrIoWorker::EndWaiting(ENxrLinkWait state) {
    if (!m_waiting) {
        return;
    }
    m_waiting = false;
    m_lookTimer.stop();
    if (m_attempting) {
        m_attempting = false;
        if (m_transport) {
            m_transport->Close();
            m_closed.push_back(std::move(m_transport));
            QMetaObject::invokeMethod(
                this, [this] { m_closed.clear(); }, Qt::QueuedConnection);
        }
    }
    const std::string where = m_spec.Kind() == ENxrConnectionKind::Serial && m_identity
                                  ? m_identity->Describe()
                                  : m_spec.Describe();
    if (state == ENxrLinkWait::TimedOut) {
        const std::uint32_t limit = m_watch.waitLimitMs;
        PushError("stopped waiting for " + where + " after " +
                  (limit % 1000 == 0 ? std::to_string(limit / 1000) + " s"
                                     : std::to_string(limit) + " ms"));
    }
    Push(SNxrIoWaiting{static_cast<std::int32_t>(state), where});
}

void CNxrIoWorker::CloseTransport() {
    EndJobs("the link was closed", false);
    EndLineScripts("the link was closed");
    m_linePoll.stop();
    if (m_lines) {
        m_lines.reset();
        Push(SNxrIoLines{nxr_line::kNone});
    }
    if (m_transport) {
        m_transport->Close();
        m_closed.push_back(std::move(m_transport));
        QMetaObject::invokeMethod(
            this, [this] { m_closed.clear(); }, Qt::QueuedConnection);
    }
    m_inbox->ReaderGone();
}

void CNxrIoWorker::Resume() {
    if (m_transport) {
        m_transport->ResumeReading();
    }
}

void CNxrIoWorker::Write(ByteString bytes, std::uint32_t owner) {
    if (bytes.empty()) {
        return;
    }
    if (Status() == ENxrConnectionStatus::Connecting) {
        m_held += bytes;
        return;
    }
    if (!LinkUp()) {
        PushError(std::to_string(bytes.size()) + " bytes were not sent: not connected to " +
                  m_spec.Describe());
        return;
    }
    SNxrWriteResult result = m_transport->Write(bytes);
    result.written = std::min(result.written, bytes.size());
    if (result.written < bytes.size() && result.error.empty()) {
        result.error = "the link took " + std::to_string(result.written) + " of " +
                       std::to_string(bytes.size()) + " bytes";
    }
    const std::size_t unsent = bytes.size() - result.written;
    // Only what the link took is reported as sent: the outgoing record and
    // the log must never claim bytes that did not leave.
    if (result.written > 0) {
        bytes.resize(result.written);
        Push(SNxrIoTransmitted{owner, std::move(bytes)});
    }
    if (!result.error.empty()) {
        LinkLost(unsent == 0
                     ? result.error
                     : result.error + " (" + std::to_string(unsent) + " bytes were not sent)");
    }
}

void CNxrIoWorker::Shutdown() {
    // First, so that their ends are queued even if the close hangs.
    PushRepeatEnds(m_repeats.EndAll(ESendEnd::Failed));
    m_repeatTimer.stop();
    StopSharing();
    m_waiting = false;
    m_attempting = false;
    m_lookTimer.stop();
    CloseTransport();
    m_connectWaiters.clear();
    m_held.clear();
}

void CNxrIoWorker::SendBreak(std::uint32_t requestId, const ByteString& params) {
    const auto block = CNxrParamBlock::Decode(params, nullptr);
    const std::int32_t ms = block ? NxrReadBreakMs(*block) : kNxrDefaultBreakMs;
    if (!LinkUp()) {
        Complete(requestId, nxr_request::SendBreak, false,
                 "cannot send a break: not connected to " + m_spec.Describe());
        return;
    }
    if (ms < 0 || ms > 10000) {
        Complete(requestId, nxr_request::SendBreak, false,
                 "a break of " + std::to_string(ms) + " ms is out of range (0 to 10000)");
        return;
    }
    const std::string error = m_transport->Break(ms);
    if (!error.empty()) {
        Complete(requestId, nxr_request::SendBreak, false, error);
        return;
    }
    if (m_share) {
        m_share->HoldFor(ms);  // what clients send would go into the break
    }
    // Done when the line is back: a request sent meanwhile would go into it.
    QTimer::singleShot(
        ms, this, [this, requestId] { Complete(requestId, nxr_request::SendBreak, true, {}); });
}

void CNxrIoWorker::StartLineScript(std::uint32_t requestId, const ByteString& params) {
    std::string error;
    const auto block = CNxrParamBlock::Decode(params, &error);
    auto steps = block ? NxrReadLineScript(*block, &error) : std::nullopt;
    if (!steps) {
        Complete(requestId, nxr_request::LineScript, false, "line sequence: " + error);
        return;
    }
    if (!LinkUp()) {
        Complete(requestId, nxr_request::LineScript, false,
                 "line sequence: not connected to " + m_spec.Describe());
        return;
    }
    m_lineScripts.push_back({requestId, std::move(*steps), 0});
    if (m_lineScripts.size() == 1 && !m_lineTimer.isActive()) {
        RunLineScripts();
    }
}

void CNxrIoWorker::RunLineScripts() {
    while (!m_lineScripts.empty()) {
        SLineScript& script = m_lineScripts.front();
        if (script.next == script.steps.size()) {
            const std::uint32_t id = script.requestId;
            m_lineScripts.pop_front();
            Complete(id, nxr_request::LineScript, true, {});
            continue;
        }
        const SNxrLineStep step = script.steps[script.next++];
        std::string error;
        switch (step.kind) {
            case ENxrLineStep::Wait:
                m_lineTimer.start(step.value);
                return;
            case ENxrLineStep::Send:
                Write(step.bytes);  // may lose the link, which ends the scripts
                break;
            case ENxrLineStep::Dtr:
            case ENxrLineStep::Rts:
                error = m_transport
                            ? m_transport->SetLine(
                                  step.kind == ENxrLineStep::Dtr ? nxr_line::Dtr : nxr_line::Rts,
                                  step.value != 0)
                            : "not connected to " + m_spec.Describe();
                PollLines();  // the menu's checks follow at once
                break;
        }
        if (!error.empty() && !m_lineScripts.empty()) {
            const std::uint32_t id = m_lineScripts.front().requestId;
            m_lineScripts.pop_front();
            Complete(id, nxr_request::LineScript, false, error);
        }
    }
}

void CNxrIoWorker::EndLineScripts(const std::string& why) {
    m_lineTimer.stop();
    auto scripts = std::move(m_lineScripts);
    m_lineScripts.clear();
    for (const SLineScript& script : scripts) {
        Complete(script.requestId, nxr_request::LineScript, false, "line sequence: " + why);
    }
}

void CNxrIoWorker::PollLines() {
    const std::optional<std::uint32_t> lines = m_transport ? m_transport->Lines() : std::nullopt;
    if (lines == m_lines) {
        return;
    }
    m_lines = lines;
    Push(SNxrIoLines{lines ? static_cast<std::int32_t>(*lines) : nxr_line::kNone});
    if (!lines) {
        m_linePoll.stop();
    }
}

void CNxrIoWorker::StartTransfer(std::uint32_t requestId, std::uint32_t code,
                                 const ByteString& params) {
    const std::string name = NxrRequestName(code);
    if (!LinkUp()) {
        Complete(requestId, code, false, name + ": not connected to " + m_spec.Describe());
        return;
    }
    if (const SNxrJobOrder* running = m_jobs.Running()) {
        Complete(requestId, code, false, name + ": " + RunningName(*running) + " is still running");
        return;
    }
    std::string error;
    const auto block = CNxrParamBlock::Decode(params, &error);
    const std::optional<std::string> path = block ? NxrReadTransferPath(*block) : std::nullopt;
    if (!path) {
        Complete(requestId, code, false, name + ": the request carries no file name");
        return;
    }
    SNxrTransferOptions options;
    options.use1K = NxrReadXModem1K(*block);
    if (code == nxr_request::AsciiSend && !NxrReadAsciiPacing(*block, options.pacing, &error)) {
        Complete(requestId, code, false, name + ": " + error);
        return;
    }
    SNxrJobOrder order;
    order.id = requestId;
    order.name = name;
    order.start = [this, requestId, code, path = *path,
                   options](std::uint32_t nowMs) -> std::unique_ptr<INxrJob> {
        std::string why;
        auto job = CNxrTransferJob::Start(TransferKind(code), path, options, nowMs, &why);
        if (!job) {
            Complete(requestId, code, false, NxrRequestName(code) + ": " + why);
        }
        return job;
    };
    order.finished = [this, requestId, code](INxrJob& job) {
        Complete(requestId, code, job.Succeeded(),
                 job.Succeeded() ? std::string() : NxrRequestName(code) + ": " + job.ErrorText());
    };
    m_jobs.Run(std::move(order));  // the runner is idle: it starts at once
}

std::string CNxrIoWorker::SendForJob(std::uint32_t jobId, ENxrJobOutput kind, ByteString bytes) {
    if (!m_transport) {
        return {};
    }
    switch (kind) {
        case ENxrJobOutput::Protocol: {
            // Not console data, so no transmitted event; a block cut short
            // fails the job, not the link.
            const SNxrWriteResult result = m_transport->Write(bytes);
            if (result.written < bytes.size()) {
                return result.error.empty() ? "the link took only part of a block" : result.error;
            }
            return {};
        }
        case ENxrJobOutput::Console:
            Write(std::move(bytes));
            return {};
        case ENxrJobOutput::Own:
            Write(std::move(bytes), jobId);  // may lose the link, which ends the job
            return {};
    }
    return {};
}

void CNxrIoWorker::JobEvent(std::uint32_t jobId, NxrJobEvent event) {
    struct SToInbox {
        std::uint32_t id;
        NxrIoEvent operator()(SNxrJobData& data) const {
            return SNxrIoReceived{id, std::move(data.bytes)};
        }
        NxrIoEvent operator()(SNxrTransferEvent& e) const {
            return SNxrIoTransfer{id, std::move(e)};
        }
        NxrIoEvent operator()(SNxrAbilityEvent& e) const { return SNxrIoAbility{id, std::move(e)}; }
    };
    Push(std::visit(SToInbox{jobId}, event));
}

void CNxrIoWorker::ArmTimer(std::optional<std::uint32_t> delayMs) {
    if (delayMs) {
        m_jobTimer.start(static_cast<int>(std::min<std::uint32_t>(*delayMs, 0x7FFFFFFFu)));
    } else {
        m_jobTimer.stop();
    }
}

void CNxrIoWorker::CancelTransfer(std::uint32_t requestId) {
    m_jobs.Cancel(requestId);
}

void CNxrIoWorker::FailAbility(std::uint32_t requestId, std::string text) {
    Push(SNxrIoAbilityCompleted{requestId, false, std::move(text), {}});
}

void CNxrIoWorker::RunAbility(std::uint32_t requestId, std::string command,
                              std::uint32_t timeoutMs) {
    const std::string cannot = "cannot run the ability \"" + command + "\": ";
    if (!LinkUp()) {
        FailAbility(requestId, cannot + "not connected to " + m_spec.Describe());
        return;
    }
    if (const SNxrJobOrder* running = m_jobs.Running(); running && !running->queues) {
        FailAbility(requestId, cannot + RunningName(*running) + " is still running");
        return;
    }
    SNxrJobOrder order;
    order.id = requestId;
    order.name = command;
    order.queues = true;
    order.start = [this, requestId, cannot, command,
                   timeoutMs](std::uint32_t nowMs) -> std::unique_ptr<INxrJob> {
        if (!LinkUp()) {
            FailAbility(requestId, cannot + "not connected to " + m_spec.Describe());
            return nullptr;
        }
        return std::make_unique<CNxrAbilityJob>(command, timeoutMs, nowMs);
    };
    order.finished = [this, requestId](INxrJob& job) {
        Push(SNxrIoAbilityCompleted{requestId, job.Succeeded(), job.ErrorText(), job.Result()});
    };
    m_jobs.Run(std::move(order));
}

void CNxrIoWorker::CancelAbility(std::uint32_t requestId) {
    if (m_jobs.Cancel(requestId)) {
        return;
    }
    if (const auto order = m_jobs.Unqueue(requestId)) {
        FailAbility(requestId, "\"" + order->name + "\" was cancelled");
    }
}

void CNxrIoWorker::AnswerQuery(std::uint32_t requestId, std::optional<std::string> answer) {
    m_jobs.Answer(requestId, answer);
}

void CNxrIoWorker::EndJobs(const std::string& why, bool lost) {
    // A transfer's own words say that the link went down; an ability's do not.
    const std::string told = lost ? "link lost: " + why : why;
    const SNxrJobOrder* running = m_jobs.Running();
    const bool ability = running != nullptr && running->queues;
    // Only abilities wait in the queue.
    for (const SNxrJobOrder& order : m_jobs.LinkLost(ability ? told : why)) {
        FailAbility(order.id, "\"" + order.name + "\" was not run: " + told);
    }
}

void CNxrIoWorker::StartRepeat(std::uint32_t id, ByteString bytes, std::uint32_t periodMs,
                               std::uint32_t count) {
    const ENxrConnectionStatus status = Status();
    if (status != ENxrConnectionStatus::Connected && status != ENxrConnectionStatus::Connecting) {
        // The link went between the owner's check and this.
        Push(SNxrIoRepeat{id, 0, ESendEnd::Failed});
        return;
    }
    if (const auto stopped = m_repeats.Stop(id)) {
        PushRepeatEnds({*stopped});
    }
    m_repeats.Start(id, std::move(bytes), periodMs, count);
    RunRepeats();  // the first goes at once
}

void CNxrIoWorker::StopRepeat(std::uint32_t id) {
    if (const auto stopped = m_repeats.Stop(id)) {
        PushRepeatEnds({*stopped});
    }
    ArmRepeats(true);
}

void CNxrIoWorker::PushRepeatEnds(const std::vector<SSendEnded>& ended) {
    for (const SSendEnded& end : ended) {
        Push(SNxrIoRepeat{end.id, end.sent, end.how});
    }
}

void CNxrIoWorker::RunRepeats() {
    std::optional<std::uint32_t> delay = m_repeats.NextDelay();
    bool early = true;
    if (delay == 1u) {
        // The timer is armed a millisecond short (below): the tick it waits
        // for has begun some way into its millisecond already, so a timer
        // of whole milliseconds would fire up to one late. The rest is
        // slept here, to the start of the due millisecond: less than a
        // millisecond, and the kernel keeps what arrives meanwhile.
        const auto now = std::chrono::steady_clock::now();
        std::this_thread::sleep_until(std::chrono::time_point_cast<std::chrono::milliseconds>(now) +
                                      std::chrono::milliseconds(1));
        delay = m_repeats.NextDelay();
        // Still not due: the clock is not the steady one (a test's); wait
        // whole milliseconds for it rather than sleep again and again.
        early = delay != 1u;
    }
    if (delay == 0u) {
        const auto send = [this](std::string_view bytes) {
            const auto usable = [this] {
                const ENxrConnectionStatus status = Status();
                return status == ENxrConnectionStatus::Connected ||
                       status == ENxrConnectionStatus::Connecting;
            };
            if (!usable()) {
                return false;
            }
            // A copy: a link lost in the write ends every repeat, and with
            // them the bytes this view looks at.
            Write(ByteString(bytes));
            return usable();
        };
        PushRepeatEnds(m_repeats.Poll(send));
        for (const SSendProgress& progress : m_repeats.TakeProgress(kRepeatReportGapMs)) {
            Push(SNxrIoRepeat{progress.id, progress.sent, std::nullopt});
        }
    }
    ArmRepeats(early);
}

void CNxrIoWorker::ArmRepeats(bool early) {
    const std::optional<std::uint32_t> delay = m_repeats.NextDelay();
    if (!delay) {
        m_repeatTimer.stop();
        return;
    }
    const std::uint32_t ms = early && *delay > 0 ? *delay - 1 : *delay;
    m_repeatTimer.start(static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFFu)));
}

void CNxrIoWorker::StartSharing(std::uint32_t requestId, const ByteString& params) {
    std::string error;
    const auto block = CNxrParamBlock::Decode(params, &error);
    SNxrShareSetup setup;
    if (!block || !NxrReadShare(*block, setup.port, setup.telnet, setup.anyInterface, &error)) {
        Complete(requestId, nxr_request::ShareStart, false, "share link: " + error);
        return;
    }
    StopSharing();
    auto share = std::make_unique<CNxrShareServer>(
        [this](ByteString bytes) { Write(std::move(bytes), kNxrShareOwnerId); },
        [this](int ms) {
            return LinkUp() ? m_transport->Break(ms) : "not connected to " + m_spec.Describe();
        },
        [this](int clients, const std::string& note) {
            Push(SNxrIoShare{m_share ? m_share->Port() : 0, clients, note});
        });
    error = share->Start(setup);
    if (!error.empty()) {
        Complete(requestId, nxr_request::ShareStart, false, error);
        return;
    }
    m_share = std::move(share);
    // The port first, so that the completion's handler can already name it.
    Push(SNxrIoShare{m_share->Port(), 0, {}});
    Complete(requestId, nxr_request::ShareStart, true, {});
}

void CNxrIoWorker::StopSharing() {
    if (!m_share) {
        return;
    }
    std::unique_ptr<CNxrShareServer> share = std::move(m_share);
    share->Stop();  // tells its clients' end while m_share is gone: port 0
    Push(SNxrIoShare{0, 0, {}});
    // A stop may come from inside a client's own signal.
    share.release()->deleteLater();
}

}  // namespace quillpad
