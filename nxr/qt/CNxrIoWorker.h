#pragma once
// The I/O side of a session: lives on the session's I/O thread and keeps the
// link's bookkeeping (connect requests, data held while connecting; the
// status and the back-pressure are the inbox's) and runs the link's jobs
// (transfers, abilities) with one runner. The link itself is a transport (INxrTransport) made by
// the factory the session chose for its spec; whatever the transport reports goes into the inbox at
// once, so nothing waits on the thread that owns the session.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrInbox.h"
#include "nxr/CNxrJobRunner.h"
#include "nxr/CSendScheduler.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrLineScript.h"
#include "nxr/NxrLinkWatch.h"
#include "nxr/qt/CNxrShareServer.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "nxr/qt/INxrTransport.h"
#include "platform/Clock.h"

namespace quillpad {

class CNxrIoWorker final : public QObject, private INxrTransportEvents, private INxrJobHost {
    Q_OBJECT
  public:
    // `clock` times the jobs; it is read on the I/O thread and must outlive
    // the worker.
    // `watch` says how a lost link is waited for (serial: the device, by its
    // identity among the system's ports; network: tries with a growing pause).
    CNxrIoWorker(CNxrComSpec spec, NxrTransportFactory factory, std::shared_ptr<CNxrInbox> inbox,
                 std::function<void()> wake, const IClock& clock, SNxrLinkWatchSetup watch = {});
    ~CNxrIoWorker() override;

    // Everything below runs on the I/O thread.
    void HandleRequest(std::uint32_t requestId, std::uint32_t code, const ByteString& params);
    // Ends the running transfer `requestId`; it completes as it ends.
    void CancelTransfer(std::uint32_t requestId);
    // `owner` is the ability the bytes belong to, 0 for the console's own.
    void Write(ByteString bytes, std::uint32_t owner = 0);
    // Periodic sends, written here as the console's own bytes; the counts
    // and the end go into the inbox (SNxrIoRepeat).
    void StartRepeat(std::uint32_t id, ByteString bytes, std::uint32_t periodMs,
                     std::uint32_t count);
    void StopRepeat(std::uint32_t id);
    // The owner has caught up with a reader the inbox paused.
    void Resume();
    // Abilities run one after another on the device's console; each
    // completes once, with its answer.
    void RunAbility(std::uint32_t requestId, std::string command, std::uint32_t timeoutMs);
    void CancelAbility(std::uint32_t requestId);
    // The user's answer to the running ability's question (none: unanswered).
    void AnswerQuery(std::uint32_t requestId, std::optional<std::string> answer);
    // Closes the link; this is where a hanging driver holds the thread.
    void Shutdown();
    // The longest a lost link is waited for, from its loss (0: no limit).
    void SetWaitLimit(std::uint32_t ms);

    // How often the modem lines are read while a link that has them is up.
    static constexpr int kLinePollMs = 20;
    // The least time between two reports of a periodic send's count: the
    // console shows them, and one per send at 10 ms would cost it turns.
    static constexpr std::uint32_t kRepeatReportGapMs = 50;

  private:
    struct SLineScript {
        std::uint32_t requestId = 0;
        std::vector<SNxrLineStep> steps;
        std::size_t next = 0;
    };

    void TransportUp() override;
    void TransportReceived(std::string_view bytes) override;
    void TransportDown(const std::string& reason) override;
    void TransportGone(const std::string& reason) override;
    std::size_t ReceiveRoom() override;

    std::string SendForJob(std::uint32_t jobId, ENxrJobOutput kind, ByteString bytes) override;
    void JobEvent(std::uint32_t jobId, NxrJobEvent event) override;
    void ArmTimer(std::optional<std::uint32_t> delayMs) override;

    ENxrConnectionStatus Status() const;
    bool LinkUp() const;
    void Push(NxrIoEvent event);
    void PushError(std::string text);
    void SetStatus(ENxrConnectionStatus status, std::string reason);
    void Complete(std::uint32_t requestId, std::uint32_t code, bool success, std::string text);
    void StartConnect();
    void Connected();
    void ConnectFailed(const std::string& why);
    void LinkLost(const std::string& why);
    // Waiting for a lost link: starts it when the connection asks for it,
    // looks (or tries) again when the timer fires, ends it.
    void StartWaiting();
    void ScheduleLook(std::uint32_t delayMs);
    void Look();
    void AttemptUp();
    void AttemptFailed();
    void EndWaiting(ENxrLinkWait state);
    std::uint32_t WaitedMs() const;
    void CloseTransport();
    void StartTransfer(std::uint32_t requestId, std::uint32_t code, const ByteString& params);
    void SendBreak(std::uint32_t requestId, const ByteString& params);
    void StartLineScript(std::uint32_t requestId, const ByteString& params);
    // Plays the first script's steps up to its next wait; the next one when
    // it is done.
    void RunLineScripts();
    void EndLineScripts(const std::string& why);
    void PollLines();
    void StartSharing(std::uint32_t requestId, const ByteString& params);
    void StopSharing();
    void FailAbility(std::uint32_t requestId, std::string text);
    void RunRepeats();
    void ArmRepeats(bool early);
    void PushRepeatEnds(const std::vector<SSendEnded>& ended);
    // Ends the running job and the queued ones: the link is gone (`lost`) or
    // was closed.
    void EndJobs(const std::string& why, bool lost);

    CNxrComSpec m_spec;
    NxrTransportFactory m_factory;
    std::shared_ptr<CNxrInbox> m_inbox;  // keeps the link's status too
    std::function<void()> m_wake;
    const IClock& m_clock;
    std::vector<std::uint32_t> m_connectWaiters;
    ByteString m_held;  // sent while connecting; goes out when the link is up
    std::unique_ptr<INxrTransport> m_transport;
    // Closed transports wait here for the next turn of the loop: a close may
    // come from inside a call of the transport itself.
    std::vector<std::unique_ptr<INxrTransport>> m_closed;
    // The jobs (transfers, abilities) and the one timer that wakes them, made
    // on the I/O thread, where it fires.
    QTimer m_jobTimer;
    CNxrJobRunner m_jobs;
    // Line sequences play one after another, each to its end.
    std::deque<SLineScript> m_lineScripts;
    QTimer m_lineTimer;
    QTimer m_linePoll;
    std::optional<std::uint32_t> m_lines;  // as last told; none: nothing told

    SNxrLinkWatchSetup m_watch;
    // The serial device as it was when the link came up.
    std::optional<SNxrPortIdentity> m_identity;
    bool m_gone = false;        // the last loss was the device going away
    bool m_waiting = false;     // a lost link is waited for
    bool m_attempting = false;  // a transport opened to bring it back
    unsigned m_tries = 0;
    std::uint32_t m_waitStart = 0;
    CNxrComSpec m_attemptSpec;
    QTimer m_lookTimer;
    // Periodic sends: planned on the clock, woken by one precise timer.
    CSendScheduler m_repeats;
    QTimer m_repeatTimer;
    // The link served to TCP clients; none while it is not shared.
    std::unique_ptr<CNxrShareServer> m_share;
};

}  // namespace quillpad
