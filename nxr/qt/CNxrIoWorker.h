#pragma once
// The I/O side of a session: lives on the session's I/O thread and keeps the
// link's bookkeeping (status, connect requests, data held while connecting,
// back-pressure). The link itself is a transport (INxrTransport) made by the
// factory the session chose for its spec; whatever the transport reports goes
// into the inbox at once, so nothing waits on the thread that owns the session.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nxr/CNxrAbilityJob.h"
#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrInbox.h"
#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrCodes.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "nxr/qt/INxrTransport.h"

namespace quillpad {

class CNxrIoWorker final : public QObject, private INxrTransportEvents {
    Q_OBJECT
  public:
    // Reading pauses above this many queued bytes (a socket's peer then
    // waits: TCP loses nothing) and resumes below the low mark. Serial links
    // are never paused, because a serial line would drop what is not read.
    static constexpr std::size_t kHighWater = 32u << 20;
    static constexpr std::size_t kLowWater = 8u << 20;

    CNxrIoWorker(CNxrComSpec spec, NxrTransportFactory factory, std::shared_ptr<CNxrInbox> inbox,
                 std::function<void()> wake);
    ~CNxrIoWorker() override;

    // Everything below runs on the I/O thread.
    void HandleRequest(std::uint32_t requestId, std::uint32_t code, const ByteString& params);
    // Ends the running transfer `requestId`; it completes as it ends.
    void CancelTransfer(std::uint32_t requestId);
    // `owner` is the ability the bytes belong to, 0 for the console's own.
    void Write(ByteString bytes, std::uint32_t owner = 0);
    void Resume();
    // Abilities run one after another on the device's console; each
    // completes once, with its answer.
    void RunAbility(std::uint32_t requestId, std::string command, std::uint32_t timeoutMs);
    void CancelAbility(std::uint32_t requestId);
    // The user's answer to the running ability's question (none: unanswered).
    void AnswerQuery(std::uint32_t requestId, std::optional<std::string> answer);
    // Closes the link; this is where a hanging driver holds the thread.
    void Shutdown();

  private:
    void TransportUp() override;
    void TransportReceived(std::string_view bytes) override;
    void TransportDown(const std::string& reason) override;
    std::size_t ReceiveRoom() override;

    void Push(SNxrIoEvent event);
    void PushError(std::string text);
    void SetStatus(ENxrConnectionStatus status, std::string reason);
    void Complete(std::uint32_t requestId, std::uint32_t code, bool success, std::string text);
    void StartConnect();
    void Connected();
    void ConnectFailed(const std::string& why);
    void LinkLost(const std::string& why);
    void CloseTransport();
    void StartTransfer(std::uint32_t requestId, std::uint32_t code, const ByteString& params);
    void SendBreak(std::uint32_t requestId, const ByteString& params);
    // Moves the transfer's bytes and events on and completes it once ended.
    void PumpTransfer();
    void EndTransfer(const std::string& why);
    std::unique_ptr<QTimer> DeadlineTimer(std::function<void()> onTime);
    void StartNextAbility();
    // Moves the ability's bytes and events on and completes it once ended.
    void PumpAbility();
    void FailAbility(std::uint32_t requestId, std::string text);
    void EndAbilities(const std::string& why);

    CNxrComSpec m_spec;
    NxrTransportFactory m_factory;
    std::shared_ptr<CNxrInbox> m_inbox;
    std::function<void()> m_wake;
    ENxrConnectionStatus m_status = ENxrConnectionStatus::NotConnected;
    std::vector<std::uint32_t> m_connectWaiters;
    ByteString m_held;  // sent while connecting; goes out when the link is up
    std::unique_ptr<INxrTransport> m_transport;
    // Closed transports wait here for the next turn of the loop: a close may
    // come from inside a call of the transport itself.
    std::vector<std::unique_ptr<INxrTransport>> m_closed;
    bool m_paused = false;
    // The one transfer that may run, its request and what wakes it.
    std::unique_ptr<CNxrTransferJob> m_job;
    std::uint32_t m_jobId = 0;
    std::uint32_t m_jobCode = 0;
    std::unique_ptr<QTimer> m_jobTimer;
    struct SQueuedAbility {
        std::uint32_t requestId = 0;
        std::string command;
        std::uint32_t timeoutMs = 0;
    };
    std::deque<SQueuedAbility> m_abilityQueue;
    std::unique_ptr<CNxrAbilityJob> m_ability;
    std::uint32_t m_abilityId = 0;
    std::unique_ptr<QTimer> m_abilityTimer;
};

}  // namespace quillpad
