#include "nxr/qt/CNxrIoWorker.h"

#include <algorithm>
#include <chrono>

#include "nxr/NxrParamBlock.h"

namespace quillpad {
namespace {

std::uint32_t NowMs() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

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

}  // namespace

CNxrIoWorker::CNxrIoWorker(CNxrComSpec spec, NxrTransportFactory factory,
                           std::shared_ptr<CNxrInbox> inbox, std::function<void()> wake)
    : m_spec(std::move(spec)),
      m_factory(std::move(factory)),
      m_inbox(std::move(inbox)),
      m_wake(std::move(wake)) {}

CNxrIoWorker::~CNxrIoWorker() = default;

void CNxrIoWorker::Push(SNxrIoEvent event) {
    if (m_inbox->Push(std::move(event)) && m_wake) {
        m_wake();
    }
}

void CNxrIoWorker::PushError(std::string text) {
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Error;
    event.text = std::move(text);
    Push(std::move(event));
}

void CNxrIoWorker::SetStatus(ENxrConnectionStatus status, std::string reason) {
    if (status == m_status) {
        return;
    }
    m_status = status;
    m_inbox->SetLink(static_cast<std::uint16_t>(status), reason);
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Status;
    event.status = static_cast<std::uint16_t>(status);
    event.text = std::move(reason);
    Push(std::move(event));
}

void CNxrIoWorker::Complete(std::uint32_t requestId, std::uint32_t code, bool success,
                            std::string text) {
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Completed;
    event.requestId = requestId;
    event.code = code;
    event.success = success;
    event.text = std::move(text);
    Push(std::move(event));
}

void CNxrIoWorker::HandleRequest(std::uint32_t requestId, std::uint32_t code,
                                 const ByteString& params) {
    const std::string where = m_spec.Describe();
    switch (code) {
        case nxr_request::Connect:
            if (m_status == ENxrConnectionStatus::Connected) {
                Complete(requestId, code, true, {});
                return;
            }
            m_connectWaiters.push_back(requestId);
            if (m_status != ENxrConnectionStatus::Connecting) {
                StartConnect();
            }
            return;
        case nxr_request::Reconnect:
            CloseTransport();
            m_status = ENxrConnectionStatus::NotConnected;  // quietly: Connecting follows at once
            m_connectWaiters.push_back(requestId);
            StartConnect();
            return;
        case nxr_request::Disconnect: {
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
            if (m_status == ENxrConnectionStatus::Connected) {
                Complete(requestId, code, true, {});
            } else {
                Complete(requestId, code, false,
                         "cannot open the console: not connected to " + where);
            }
            return;
        case nxr_request::CloseConsole:
            Complete(requestId, code, true, {});
            return;
        case nxr_request::SendBreak:
            SendBreak(requestId, params);
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
    if (m_status == ENxrConnectionStatus::Connecting) {
        Connected();
    }
}

void CNxrIoWorker::TransportDown(const std::string& reason) {
    if (m_status == ENxrConnectionStatus::Connected) {
        LinkLost(reason);
    } else if (m_status == ENxrConnectionStatus::Connecting) {
        ConnectFailed(reason);
    }
}

// Every byte from the device passes here. While XModem runs its protocol
// takes them; an ASCII receive keeps a copy of what the console shows.
void CNxrIoWorker::TransportReceived(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    if (m_ability) {
        const std::size_t used = m_ability->Feed(bytes, NowMs());
        PumpAbility();
        bytes.remove_prefix(std::min(used, bytes.size()));
        if (bytes.empty()) {
            return;
        }
    }
    if (m_job) {
        const bool owned = m_job->OwnsLink();
        const std::size_t used = m_job->Feed(bytes, NowMs());
        PumpTransfer();
        if (owned) {
            bytes.remove_prefix(std::min(used, bytes.size()));
            if (bytes.empty()) {
                return;
            }
        }
    }
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Received;
    event.bytes = ByteString(bytes);
    Push(std::move(event));
}

std::size_t CNxrIoWorker::ReceiveRoom() {
    const std::size_t queued = m_inbox->QueuedBytes();
    if (queued < kHighWater) {
        return kHighWater - queued;
    }
    m_paused = true;
    m_inbox->SetReaderPaused(true);
    // The owner may have emptied the queue between the look and the flag:
    // then nobody would ever wake this reader again.
    const std::size_t now = m_inbox->QueuedBytes();
    if (now < kLowWater) {
        m_paused = false;
        m_inbox->SetReaderPaused(false);
        return kHighWater - now;
    }
    return 0;
}

void CNxrIoWorker::Connected() {
    SetStatus(ENxrConnectionStatus::Connected, {});
    auto waiters = std::move(m_connectWaiters);
    m_connectWaiters.clear();
    for (const auto id : waiters) {
        Complete(id, nxr_request::Connect, true, {});
    }
    SNxrIoEvent up;
    up.kind = ENxrIoEventKind::LinkUp;
    up.success = true;
    Push(std::move(up));
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
    EndTransfer(why);
    EndAbilities("link lost: " + why);
    CloseTransport();
    SetStatus(ENxrConnectionStatus::LinkLost, "link lost: " + why);
}

void CNxrIoWorker::CloseTransport() {
    EndTransfer("the link was closed");
    EndAbilities("the link was closed");
    if (m_transport) {
        m_transport->Close();
        m_closed.push_back(std::move(m_transport));
        QMetaObject::invokeMethod(
            this, [this] { m_closed.clear(); }, Qt::QueuedConnection);
    }
    m_paused = false;
    m_inbox->SetReaderPaused(false);
}

void CNxrIoWorker::Resume() {
    if (!m_paused) {
        return;
    }
    m_paused = false;
    m_inbox->SetReaderPaused(false);
    if (m_transport) {
        m_transport->ResumeReading();
    }
}

void CNxrIoWorker::Write(ByteString bytes, std::uint32_t owner) {
    if (bytes.empty()) {
        return;
    }
    if (m_status == ENxrConnectionStatus::Connecting) {
        m_held += bytes;
        return;
    }
    if (m_status != ENxrConnectionStatus::Connected || !m_transport) {
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
        SNxrIoEvent event;
        event.kind = ENxrIoEventKind::Transmitted;
        event.requestId = owner;
        event.bytes = std::move(bytes);
        Push(std::move(event));
    }
    if (!result.error.empty()) {
        LinkLost(unsent == 0
                     ? result.error
                     : result.error + " (" + std::to_string(unsent) + " bytes were not sent)");
    }
}

void CNxrIoWorker::Shutdown() {
    CloseTransport();
    m_connectWaiters.clear();
    m_held.clear();
}

void CNxrIoWorker::SendBreak(std::uint32_t requestId, const ByteString& params) {
    const auto block = CNxrParamBlock::Decode(params, nullptr);
    const int ms = (block && block->IntegerAt(0)) ? *block->IntegerAt(0) : 500;
    if (m_status != ENxrConnectionStatus::Connected || !m_transport) {
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
    // Done when the line is back: a request sent meanwhile would go into it.
    QTimer::singleShot(
        ms, this, [this, requestId] { Complete(requestId, nxr_request::SendBreak, true, {}); });
}

void CNxrIoWorker::StartTransfer(std::uint32_t requestId, std::uint32_t code,
                                 const ByteString& params) {
    const std::string name = NxrRequestName(code);
    if (m_status != ENxrConnectionStatus::Connected || !m_transport) {
        Complete(requestId, code, false, name + ": not connected to " + m_spec.Describe());
        return;
    }
    if (m_job) {
        Complete(requestId, code, false,
                 name + ": " + NxrRequestName(m_jobCode) + " is still running");
        return;
    }
    if (m_ability) {
        Complete(requestId, code, false,
                 name + ": the ability \"" + m_ability->Command() + "\" is still running");
        return;
    }
    std::string error;
    const auto block = CNxrParamBlock::Decode(params, &error);
    const std::optional<std::string> path = block ? block->TextAt(0) : std::nullopt;
    if (!path) {
        Complete(requestId, code, false, name + ": the request carries no file name");
        return;
    }
    SNxrTransferOptions options;
    // A second value 1024 asks for XModem-1K.
    options.use1K = block->IntegerAt(1).value_or(128) == 1024;
    if (code == nxr_request::AsciiSend && !NxrReadAsciiPacing(*block, options.pacing, &error)) {
        Complete(requestId, code, false, name + ": " + error);
        return;
    }
    m_job = CNxrTransferJob::Start(TransferKind(code), *path, options, NowMs(), &error);
    if (!m_job) {
        Complete(requestId, code, false, name + ": " + error);
        return;
    }
    m_jobId = requestId;
    m_jobCode = code;
    if (!m_jobTimer) {
        m_jobTimer = DeadlineTimer([this] {
            if (m_job) {
                m_job->Tick(NowMs());
                PumpTransfer();
            }
        });
    }
    PumpTransfer();
}

// Made on the I/O thread, where it fires.
std::unique_ptr<QTimer> CNxrIoWorker::DeadlineTimer(std::function<void()> onTime) {
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &QTimer::timeout, this, std::move(onTime));
    return timer;
}

void CNxrIoWorker::PumpTransfer() {
    if (!m_job) {
        return;
    }
    const ByteString out = m_job->TakeOutput();
    if (!out.empty() && m_transport) {
        if (m_job->OwnsLink()) {
            // Protocol bytes: not console data, so no transmitted event.
            const SNxrWriteResult result = m_transport->Write(out);
            if (result.written < out.size()) {
                m_job->LinkLost(result.error.empty() ? "the link took only part of a block"
                                                     : result.error);
            }
        } else {
            Write(out);
        }
    }
    if (!m_job) {
        return;  // the write lost the link, which ended the transfer
    }
    for (SNxrTransferEvent& e : m_job->TakeEvents()) {
        SNxrIoEvent event;
        event.kind = ENxrIoEventKind::Transfer;
        event.requestId = m_jobId;
        event.transfer = std::move(e);
        Push(std::move(event));
    }
    if (m_job->Finished()) {
        const bool success = m_job->Succeeded();
        const std::string text =
            success ? std::string() : NxrRequestName(m_jobCode) + ": " + m_job->ErrorText();
        const std::uint32_t id = m_jobId;
        const std::uint32_t code = m_jobCode;
        m_job.reset();
        m_jobTimer->stop();
        Complete(id, code, success, text);
        return;
    }
    const auto wait = static_cast<std::int32_t>(m_job->NextDeadline() - NowMs());
    m_jobTimer->start(std::max(0, wait));
}

void CNxrIoWorker::CancelTransfer(std::uint32_t requestId) {
    if (m_job && requestId == m_jobId) {
        m_job->Cancel(NowMs());
        PumpTransfer();
    }
}

void CNxrIoWorker::EndTransfer(const std::string& why) {
    if (m_job) {
        m_job->LinkLost(why);
        auto transport = std::move(m_transport);  // nothing more goes out
        PumpTransfer();
        m_transport = std::move(transport);
    }
}

void CNxrIoWorker::FailAbility(std::uint32_t requestId, std::string text) {
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::AbilityCompleted;
    event.requestId = requestId;
    event.text = std::move(text);
    Push(std::move(event));
}

void CNxrIoWorker::RunAbility(std::uint32_t requestId, std::string command,
                              std::uint32_t timeoutMs) {
    if (m_status != ENxrConnectionStatus::Connected || !m_transport) {
        FailAbility(requestId, "cannot run the ability \"" + command + "\": not connected to " +
                                   m_spec.Describe());
        return;
    }
    if (m_job) {
        FailAbility(requestId, "cannot run the ability \"" + command +
                                   "\": " + NxrRequestName(m_jobCode) + " is still running");
        return;
    }
    m_abilityQueue.push_back({requestId, std::move(command), timeoutMs});
    if (!m_ability) {
        StartNextAbility();
    }
}

void CNxrIoWorker::StartNextAbility() {
    while (!m_ability && !m_abilityQueue.empty()) {
        SQueuedAbility next = std::move(m_abilityQueue.front());
        m_abilityQueue.pop_front();
        if (m_status != ENxrConnectionStatus::Connected || !m_transport) {
            FailAbility(next.requestId, "cannot run the ability \"" + next.command +
                                            "\": not connected to " + m_spec.Describe());
            continue;
        }
        m_ability =
            std::make_unique<CNxrAbilityJob>(std::move(next.command), next.timeoutMs, NowMs());
        m_abilityId = next.requestId;
        if (!m_abilityTimer) {
            m_abilityTimer = DeadlineTimer([this] {
                if (m_ability) {
                    m_ability->Tick(NowMs());
                    PumpAbility();
                }
            });
        }
        PumpAbility();
    }
}

void CNxrIoWorker::PumpAbility() {
    if (!m_ability) {
        return;
    }
    const std::uint32_t id = m_abilityId;
    ByteString out = m_ability->TakeOutput();
    if (!out.empty() && m_transport) {
        Write(std::move(out), id);  // may lose the link, which ends the ability
    }
    if (!m_ability) {
        return;
    }
    ByteString data = m_ability->TakeData();
    if (!data.empty()) {
        SNxrIoEvent event;
        event.kind = ENxrIoEventKind::Received;
        event.requestId = id;
        event.bytes = std::move(data);
        Push(std::move(event));
    }
    for (SNxrAbilityEvent& e : m_ability->TakeEvents()) {
        SNxrIoEvent event;
        event.kind = ENxrIoEventKind::Ability;
        event.requestId = id;
        event.ability = std::move(e);
        Push(std::move(event));
    }
    if (m_ability->Finished()) {
        SNxrIoEvent event;
        event.kind = ENxrIoEventKind::AbilityCompleted;
        event.requestId = id;
        event.success = m_ability->Succeeded();
        event.text = m_ability->ErrorText();
        event.bytes = m_ability->AnswerText();
        m_ability.reset();
        m_abilityTimer->stop();
        Push(std::move(event));
        StartNextAbility();
        return;
    }
    if (m_ability->Asking()) {
        m_abilityTimer->stop();  // the user takes the time they need
    } else {
        const auto wait = static_cast<std::int32_t>(m_ability->NextDeadline() - NowMs());
        m_abilityTimer->start(std::max(0, wait));
    }
}

void CNxrIoWorker::CancelAbility(std::uint32_t requestId) {
    if (m_ability && requestId == m_abilityId) {
        m_ability->Cancel();
        PumpAbility();
        return;
    }
    const auto it = std::find_if(m_abilityQueue.begin(), m_abilityQueue.end(),
                                 [&](const SQueuedAbility& a) { return a.requestId == requestId; });
    if (it != m_abilityQueue.end()) {
        const std::string command = it->command;
        m_abilityQueue.erase(it);
        FailAbility(requestId, "\"" + command + "\" was cancelled");
    }
}

void CNxrIoWorker::AnswerQuery(std::uint32_t requestId, std::optional<std::string> answer) {
    if (m_ability && requestId == m_abilityId) {
        m_ability->Answer(answer, NowMs());
        PumpAbility();
    }
}

void CNxrIoWorker::EndAbilities(const std::string& why) {
    auto queue = std::move(m_abilityQueue);
    m_abilityQueue.clear();
    if (m_ability) {
        m_ability->LinkLost(why);
        auto transport = std::move(m_transport);  // nothing more goes out
        PumpAbility();
        m_transport = std::move(transport);
    }
    for (const SQueuedAbility& a : queue) {
        FailAbility(a.requestId, "\"" + a.command + "\" was not run: " + why);
    }
}

}  // namespace quillpad
