#pragma once
// Our session object. The transport runs on an I/O thread of its own; every
// event reaches the sink on the thread that created the session, in order,
// from the event loop (never from inside a call into the session). A busy
// event loop delays events but loses nothing: the I/O thread keeps reading.

#include <QObject>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrErrorLog.h"
#include "nxr/CNxrInbox.h"
#include "nxr/INxrSession2.h"
#include "nxr/NxrLinkWatch.h"
#include "nxr/qt/CNxrIoThread.h"
#include "platform/Clock.h"

class QElapsedTimer;
class QTimer;

namespace quillpad {

class CNxrTransportRegistry;

class CNxrSession final : public QObject, public INxrSession2 {
    Q_OBJECT
  public:
    // Event delivery stops after this much work in one turn of the event loop
    // (less when the turn's other sliced work has taken its share: see
    // platform/TurnBudget.h) and goes on in the next, so a flood never
    // freezes the user interface.
    static constexpr int kTurnBudgetMs = 4;
    // Received data goes to the sink in pieces, and the budget is looked at
    // between them: the inbox joins a flood into events of up to
    // CNxrInbox::kJoinLimit, and one of those could take a turn's whole
    // budget and more (20 triggers over it, the store's fresh pages). A
    // drain's first piece is this much; later ones what the turn's rest
    // should hold at the drain's pace, and at least this much.
    static constexpr std::size_t kDeliverPieceBytes = std::size_t{64} << 10;
    // This much received, once the inbox is empty, gives the heaps' free
    // space back: at most this much stays behind a flood that has passed.
    static constexpr std::size_t kTrimAfterBytes = std::size_t{16} << 20;
    // Less than that is given back this long after the inbox emptied, so a
    // console that goes quiet after a burst holds none of it: at least this
    // much received (a read's worth) is worth the trim.
    static constexpr int kSettleTrimMs = 100;
    static constexpr std::size_t kSettleTrimFromBytes = std::size_t{256} << 10;

    // Links are made by the transports of the global registry.
    explicit CNxrSession(QObject* parent = nullptr);
    // ... or of `transports`, which must outlive the session.
    explicit CNxrSession(const CNxrTransportRegistry& transports, QObject* parent = nullptr);
    ~CNxrSession() override;

    void Advise(INxrSessionEvents* sink) override { m_sink = sink; }
    std::int32_t Open(const WideString& spec, const WideString& clientName,
                      NxrHandle* handle) override;
    std::int32_t Close(NxrHandle* handle) override;
    std::int32_t RequestWait(std::uint32_t code, const ByteString& params, ByteString* result,
                             std::int32_t timeoutMs, std::int32_t reserved,
                             NxrHandle* handle) override;
    std::int32_t Request(std::uint32_t code, const ByteString& params, std::int32_t timeoutMs,
                         std::uint32_t* requestId, const WideString* userText,
                         std::int32_t reserved, NxrHandle* handle) override;
    std::int32_t Ability(std::int32_t target, const WideString& name, std::int32_t timeoutMs,
                         std::uint32_t* requestId, std::int32_t reserved1, std::int32_t reserved2,
                         NxrHandle* handle) override;
    std::int32_t Cancel(std::uint32_t requestId, std::int32_t how, NxrHandle* handle) override;
    // The design's send: each character one byte (Latin-1).
    std::int32_t Send(const WideString& text, std::int32_t timeoutMs, NxrHandle* handle) override;
    std::int32_t SendBytes(std::string_view bytes, std::int32_t timeoutMs,
                           NxrHandle* handle) override;
    // Periodic sends run on the I/O thread, beside the reads.
    std::int32_t StartRepeat(std::uint32_t id, std::string_view bytes, std::uint32_t periodMs,
                             std::uint32_t count, NxrHandle* handle) override;
    std::int32_t StopRepeat(std::uint32_t id, NxrHandle* handle) override;
    std::int32_t AbilityInfo(std::uint32_t* a, std::uint32_t* b, NxrHandle* handle) override;
    std::int32_t SetOption(std::uint32_t option, std::int32_t value, NxrHandle* handle) override;
    std::int32_t SetTextSetting(const WideString& text) override;
    std::string ErrorText(std::uint32_t requestId) const override;

    // Runs an ability for our GUI library: the completion goes to `done`
    // (success, the answer without echo and prompt, the error text) and the
    // progress to `progress` (percent, words), not to the sink: the dialog
    // that asked is modal, and a task window of the console could not be
    // used beside it. Its data and questions reach the sink as any ability's
    // do. `done` is called once, also when the session closes.
    using AbilityDone =
        std::function<void(bool success, const std::string& answer, const std::string& error)>;
    using AbilityProgress = std::function<void(int percent, const std::string& text)>;
    std::int32_t RunAbility(const std::string& command, std::int32_t timeoutMs, AbilityDone done,
                            std::uint32_t* requestId, NxrHandle* handle,
                            AbilityProgress progress = {});
    // The session whose AbilityInfo gave `a`; nullptr once it is gone.
    static CNxrSession* FromAbilityInfo(std::uint32_t a);

    // The link's own status, as the I/O thread keeps it in the inbox.
    std::uint16_t ConnectionStatus() const override { return m_inbox->LinkStatus(); }
    const CNxrComSpec& Spec() const { return m_spec; }
    std::optional<std::int32_t> Option(std::uint32_t option) const;
    const WideString& TextSetting() const { return m_textSetting; }
    const WideString& ClientName() const { return m_clientName; }
    // The longest time one delivery of events held the event loop.
    std::int64_t LongestTurnNs() const { return m_longestTurnNs; }
    // How often the reader waited for this thread to catch up.
    std::uint64_t ReaderPauses() const { return m_inbox->Pauses(); }
    // Bytes read and not yet delivered.
    std::size_t QueuedBytes() const { return m_inbox->QueuedBytes(); }
    // How often the heaps gave the received bytes' room back.
    std::uint64_t HeapTrims() const { return m_heapTrims; }
    // How a lost link is waited for by the links opened from now on: the
    // process's enumerator and policy (NxrPortEnumerator.h) unless set here.
    void SetPortEnumerator(std::shared_ptr<INxrPortEnumerator> ports) {
        m_ports = std::move(ports);
    }
    void SetRetryPolicy(const SNxrRetryPolicy& policy) { m_policy = policy; }
    // How long Close waits for the I/O thread to let go of the link before it
    // leaves the thread to end by itself.
    void SetCloseWait(std::chrono::milliseconds wait) { m_closeWait = wait; }

  private:
    struct SPending {
        std::uint32_t code = 0;
        std::optional<WideString> userText;
    };
    struct SPendingAbility {
        std::string command;
        AbilityDone done;  // empty: the sink hears of it
        AbilityProgress progress;
    };
    // Whom the I/O thread wakes. Cut when the link closes: a thread left to
    // end by itself must never reach a session that has gone.
    struct SWakeTarget {
        std::mutex mutex;
        CNxrSession* session = nullptr;
    };

    bool IsOpen(const NxrHandle* handle) const;
    std::int32_t NotOpen(const char* operation);
    std::uint32_t NextRequestId();
    void PushFromOwner(NxrIoEvent event);
    void ScheduleDrain();
    void TrimHeaps();
    void Drain();
    // Whether a drain that started `turn` ago with `budgetNs` must stop.
    static bool TurnUsedUp(const QElapsedTimer& turn, std::int64_t budgetNs);
    // Delivers the received event being delivered, a piece at a time, until
    // it is done (true) or the turn is used up; `delivered` counts this
    // drain's received bytes.
    bool DeliverReceiving(const QElapsedTimer& turn, std::int64_t budgetNs, std::size_t& delivered);
    static std::size_t PieceBytes(const QElapsedTimer& turn, std::int64_t budgetNs,
                                  std::size_t delivered);
    // One delivery for each kind of event.
    void Deliver(SNxrIoStatus& event);
    void Deliver(SNxrIoLinkUp& event);
    void Deliver(SNxrIoReceived& event);
    void Deliver(SNxrIoTransmitted& event);
    void Deliver(SNxrIoCompleted& event);
    void Deliver(SNxrIoAbilityCompleted& event);
    void Deliver(SNxrIoError& event);
    void Deliver(SNxrIoTransfer& event);
    void Deliver(SNxrIoAbility& event);
    void Deliver(SNxrIoLines& event);
    void Deliver(SNxrIoParamsChanged& event);
    void Deliver(SNxrIoWaiting& event);
    void Deliver(SNxrIoShare& event);
    void Deliver(SNxrIoRepeat& event);
    std::uint32_t StartAbility(const std::string& command, std::int32_t timeoutMs,
                               SPendingAbility pending);
    // Ends the I/O thread and moves what it queued into a fresh inbox; the
    // link's status it left.
    std::uint16_t StopWorker();
    void ToWorker(std::function<void(CNxrIoWorker&)> work);

    const CNxrTransportRegistry& m_transports;
    // The process's clock, which the I/O thread times the jobs with.
    const IClock& m_clock = DefaultClock();
    INxrSessionEvents* m_sink = nullptr;
    std::shared_ptr<CNxrInbox> m_inbox;
    std::shared_ptr<SWakeTarget> m_wakeTarget;
    std::unique_ptr<CNxrIoThread> m_io;
    std::chrono::milliseconds m_closeWait = CNxrIoThread::kStopWait;
    NxrHandle m_handle = 0;
    NxrHandle m_nextHandle = 1;
    std::uint32_t m_nextRequestId = 1;
    std::map<std::uint32_t, SPending> m_pending;
    std::map<std::uint32_t, SPendingAbility> m_abilities;
    // The running periodic sends and their counts as last told: each ends
    // once, also when the I/O thread could not say so.
    std::map<std::uint32_t, std::uint32_t> m_repeats;
    std::uint32_t m_cookie = 0;  // the first ability value: finds this session
    CNxrComSpec m_spec;
    CNxrErrorLog m_errors;
    std::map<std::uint32_t, std::int32_t> m_options;
    WideString m_textSetting;
    WideString m_clientName;
    std::shared_ptr<INxrPortEnumerator> m_ports;
    std::optional<SNxrRetryPolicy> m_policy;
    std::int64_t m_longestTurnNs = 0;
    // A received event taken from the inbox and not yet delivered whole, and
    // how much of it has been: its rest goes before anything the inbox holds.
    // Shared with the delivery of a piece, which holds it: a handler that
    // runs a loop of its own may drain from within a piece, and its bytes
    // must outlive that drain.
    std::shared_ptr<const ByteString> m_receiving;
    std::uint32_t m_receivingOwner = 0;
    std::size_t m_receivingAt = 0;
    // Received since the heaps last gave their free space back.
    std::size_t m_bytesSinceTrim = 0;
    std::uint64_t m_heapTrims = 0;
    QTimer* m_settleTrim = nullptr;
};

}  // namespace quillpad
