#include "nxr/qt/CNxrSession.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrIoWorker.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "nxr/qt/NxrPortEnumerator.h"
#include "platform/Memory.h"
#include "platform/TurnBudget.h"

namespace quillpad {
namespace {

std::string NoTransportText(const std::string& spec, ENxrConnectionKind kind) {
    if (kind == ENxrConnectionKind::Simulated) {
        return "cannot open \"" + spec + "\": the simulated controller is not part of this program";
    }
    return "cannot open \"" + spec + "\": this program has no transport for it";
}

// A transfer runs as long as the file takes; its engine has time-outs of its
// own. The request's time-out would fail every transfer longer than itself.
bool IsTransfer(std::uint32_t code) {
    return code == nxr_request::XModemSend || code == nxr_request::XModemReceive ||
           code == nxr_request::AsciiSend || code == nxr_request::AsciiReceive;
}

SNxrIoCompleted Failed(std::uint32_t requestId, std::uint32_t code, std::string text) {
    return {requestId, code, false, std::move(text)};
}

SNxrIoAbilityCompleted AbilityFailed(std::uint32_t requestId, std::string text) {
    return {requestId, false, std::move(text), {}};
}

// Sessions by the first ability value, for the group dialogs of our GUI
// library. Sessions live on the UI thread; the lock only keeps the table sane.
struct SSessionTable {
    std::mutex mutex;
    std::map<std::uint32_t, CNxrSession*> sessions;
    std::uint32_t next = 1;
};

SSessionTable& Sessions() {
    static SSessionTable table;
    return table;
}

// 0 or less (or none): no limit.
std::uint32_t WaitLimit(std::optional<std::int32_t> ms) {
    return ms && *ms > 0 ? static_cast<std::uint32_t>(*ms) : 0;
}

// -1 (or any negative) waits as long as the device keeps quiet.
std::uint32_t AbilityTimeout(std::int32_t timeoutMs) {
    return timeoutMs < 0 ? 0x7FFFFFFFu : static_cast<std::uint32_t>(timeoutMs);
}

}  // namespace

CNxrSession::CNxrSession(QObject* parent) : CNxrSession(CNxrTransportRegistry::Global(), parent) {}

CNxrSession::CNxrSession(const CNxrTransportRegistry& transports, QObject* parent)
    : QObject(parent),
      m_transports(transports),
      m_inbox(std::make_shared<CNxrInbox>()),
      m_settleTrim(new QTimer(this)) {
    m_settleTrim->setSingleShot(true);
    m_settleTrim->setInterval(kSettleTrimMs);
    QObject::connect(m_settleTrim, &QTimer::timeout, this, [this] {
        if (m_bytesSinceTrim > 0) {
            TrimHeaps();
        }
    });
    SSessionTable& table = Sessions();
    std::lock_guard lock(table.mutex);
    m_cookie = table.next++;
    if (table.next == 0) {
        table.next = 1;
    }
    table.sessions[m_cookie] = this;
    // The drain shares each turn with the other sliced work of this thread.
    if (auto* dispatcher = QAbstractEventDispatcher::instance();
        dispatcher != nullptr && ThreadTurnBudget().FirstHook()) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake,
                         [] { ThreadTurnBudget().BeginTurn(SteadyNowNs()); });
    }
}

CNxrSession::~CNxrSession() {
    {
        SSessionTable& table = Sessions();
        std::lock_guard lock(table.mutex);
        table.sessions.erase(m_cookie);
    }
    m_sink = nullptr;
    StopWorker();
    // A group dialog waiting for an answer must hear that none comes.
    for (auto& [id, ability] : std::exchange(m_abilities, {})) {
        if (ability.done) {
            ability.done(false, {}, "\"" + ability.command + "\" ended: the session was closed");
        }
    }
}

CNxrSession* CNxrSession::FromAbilityInfo(std::uint32_t a) {
    SSessionTable& table = Sessions();
    std::lock_guard lock(table.mutex);
    const auto it = table.sessions.find(a);
    return it == table.sessions.end() ? nullptr : it->second;
}

bool CNxrSession::IsOpen(const NxrHandle* handle) const {
    return handle != nullptr && *handle != 0 && *handle == m_handle;
}

std::int32_t CNxrSession::NotOpen(const char* operation) {
    m_errors.Set(0, std::string("cannot ") + operation + ": the session is not open");
    return ToStatus(ENxrResult::NotOpen);
}

std::uint32_t CNxrSession::NextRequestId() {
    if (m_nextRequestId == 0) {
        m_nextRequestId = 1;  // id 0 means "no request"
    }
    return m_nextRequestId++;
}

void CNxrSession::ToWorker(std::function<void(CNxrIoWorker&)> work) {
    if (m_io) {
        m_io->Post(std::move(work));
    }
}

void CNxrSession::ScheduleDrain() {
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
}

void CNxrSession::PushFromOwner(NxrIoEvent event) {
    if (m_inbox->Push(std::move(event))) {
        ScheduleDrain();
    }
}

std::int32_t CNxrSession::Open(const WideString& spec, const WideString& clientName,
                               NxrHandle* handle) {
    if (handle == nullptr) {
        m_errors.Set(0, "cannot open: no handle to write");
        return ToStatus(ENxrResult::BadArgument);
    }
    if (m_handle != 0) {
        NxrHandle old = m_handle;
        Close(&old);
    }
    *handle = 0;
    CNxrComSpec parsed;
    const std::string text = WideToBytes(spec);
    if (!parsed.Parse(text)) {
        m_spec.Clear();
        m_errors.Set(0, parsed.ErrorText());
        return ToStatus(ENxrResult::BadSpec);
    }
    NxrTransportFactory transport = m_transports.Find(parsed.Kind());
    if (!transport) {
        m_spec.Clear();
        m_errors.Set(0, NoTransportText(text, parsed.Kind()));
        return ToStatus(ENxrResult::Failed);
    }
    m_spec = parsed;
    m_clientName = clientName;

    m_wakeTarget = std::make_shared<SWakeTarget>();
    m_wakeTarget->session = this;
    auto wake = [target = m_wakeTarget] {
        // Runs on the I/O thread; the call itself is queued to the owner.
        std::lock_guard lock(target->mutex);
        if (CNxrSession* const session = target->session) {
            QMetaObject::invokeMethod(
                session, [session] { session->Drain(); }, Qt::QueuedConnection);
        }
    };
    SNxrLinkWatchSetup watch;
    watch.policy = m_policy.value_or(NxrRetryPolicy());
    watch.ports = m_ports ? m_ports : NxrPortEnumerator();
    watch.waitLimitMs = WaitLimit(Option(nxr_option::WaitLimitMs));
    m_io = std::make_unique<CNxrIoThread>(m_spec, std::move(transport), m_inbox, std::move(wake),
                                          m_clock, std::move(watch));

    m_handle = m_nextHandle++;
    if (m_nextHandle == 0) {
        m_nextHandle = 1;
    }
    *handle = m_handle;
    return ToStatus(ENxrResult::Ok);
}

std::uint16_t CNxrSession::StopWorker() {
    constexpr auto kNotConnected = static_cast<std::uint16_t>(ENxrConnectionStatus::NotConnected);
    if (!m_io) {
        return kNotConnected;
    }
    {
        std::lock_guard lock(m_wakeTarget->mutex);
        m_wakeTarget->session = nullptr;
    }
    m_io->Stop(m_closeWait);
    m_io.reset();
    // A thread left to end by itself may still push into the inbox it has:
    // what comes next goes into a fresh one, which starts "not connected".
    // What was queued goes with it, so the sink still hears every status
    // the link had. An ability the stop ended is ended by the close itself,
    // in its own words.
    const std::shared_ptr<CNxrInbox> old = std::exchange(m_inbox, std::make_shared<CNxrInbox>());
    std::map<std::uint32_t, std::uint32_t> unended = m_repeats;
    NxrIoEvent event;
    while (old->Take(event)) {
        const auto* ability = std::get_if<SNxrIoAbilityCompleted>(&event);
        if (ability != nullptr && !ability->success && m_abilities.count(ability->requestId) != 0) {
            continue;
        }
        if (const auto* repeat = std::get_if<SNxrIoRepeat>(&event)) {
            if (repeat->end) {
                unended.erase(repeat->id);
            } else if (unended.count(repeat->id) != 0) {
                unended[repeat->id] = repeat->sent;
            }
        }
        PushFromOwner(std::move(event));
    }
    // A thread that did not end in time said nothing of these.
    for (const auto& [id, sent] : unended) {
        PushFromOwner(SNxrIoRepeat{id, sent, ESendEnd::Failed});
    }
    return old->LinkStatus();
}

std::int32_t CNxrSession::Close(NxrHandle* handle) {
    if (handle == nullptr || *handle == 0) {
        return ToStatus(ENxrResult::Ok);  // closing nothing is fine
    }
    if (*handle != m_handle) {
        return NotOpen("close");
    }
    const std::uint16_t lastLink = StopWorker();
    m_pending.clear();
    // Abilities complete once whatever happens: the console keeps their ids
    // as its own until then.
    for (const auto& [id, ability] : m_abilities) {
        PushFromOwner(
            AbilityFailed(id, "\"" + ability.command + "\" ended: the session was closed"));
    }
    m_handle = 0;
    *handle = 0;
    // The fresh inbox says "not connected" already; the sink hears it last.
    if (lastLink != static_cast<std::uint16_t>(ENxrConnectionStatus::NotConnected)) {
        PushFromOwner(
            SNxrIoStatus{static_cast<std::uint16_t>(ENxrConnectionStatus::NotConnected), {}});
    }
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::Request(std::uint32_t code, const ByteString& params,
                                  std::int32_t timeoutMs, std::uint32_t* requestId,
                                  const WideString* userText, std::int32_t /*reserved*/,
                                  NxrHandle* handle) {
    if (requestId != nullptr) {
        *requestId = 0;
    }
    if (!IsOpen(handle)) {
        return NotOpen(("issue " + NxrRequestName(code)).c_str());
    }
    const std::uint32_t id = NextRequestId();
    if (requestId != nullptr) {
        *requestId = id;
    }
    SPending pending;
    pending.code = code;
    if (userText != nullptr) {
        pending.userText = *userText;
    }
    m_pending[id] = std::move(pending);

    std::string error;
    if (!CNxrParamBlock::Decode(params, &error)) {
        PushFromOwner(Failed(id, code, NxrRequestName(code) + ": " + error));
        return ToStatus(ENxrResult::Ok);
    }
    ToWorker([id, code, params](CNxrIoWorker& worker) { worker.HandleRequest(id, code, params); });
    if (timeoutMs >= 0 && !IsTransfer(code)) {
        QTimer::singleShot(timeoutMs, this, [this, id, code, timeoutMs] {
            if (m_pending.count(id) != 0) {
                PushFromOwner(Failed(id, code,
                                     NxrRequestName(code) + " timed out after " +
                                         std::to_string(timeoutMs) + " ms"));
            }
        });
    }
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::RequestWait(std::uint32_t code, const ByteString& params,
                                      ByteString* result, std::int32_t timeoutMs,
                                      std::int32_t /*reserved*/, NxrHandle* handle) {
    if (result != nullptr) {
        *result = NxrEmptyParamBlock();
    }
    if (!IsOpen(handle)) {
        return NotOpen(("issue " + NxrRequestName(code)).c_str());
    }
    std::string error;
    if (!CNxrParamBlock::Decode(params, &error)) {
        m_errors.Set(0, NxrRequestName(code) + ": " + error);
        return ToStatus(ENxrResult::BadArgument);
    }
    const std::uint32_t id = NextRequestId();
    ToWorker([id, code, params](CNxrIoWorker& worker) { worker.HandleRequest(id, code, params); });
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (timeoutMs >= 0) {
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    // Blocks this thread only: the I/O thread completes the request, and the
    // events that come meanwhile stay queued in their order.
    const auto done = m_inbox->TakeCompletion(id, deadline);
    if (!done) {
        m_errors.Set(
            0, NxrRequestName(code) + " timed out after " + std::to_string(timeoutMs) + " ms");
        return ToStatus(ENxrResult::TimedOut);
    }
    if (!done->success) {
        m_errors.Set(0, done->text);
        return ToStatus(ENxrResult::Failed);
    }
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::Ability(std::int32_t /*target*/, const WideString& name,
                                  std::int32_t timeoutMs, std::uint32_t* requestId,
                                  std::int32_t /*reserved1*/, std::int32_t /*reserved2*/,
                                  NxrHandle* handle) {
    if (requestId != nullptr) {
        *requestId = 0;
    }
    if (!IsOpen(handle)) {
        return NotOpen(("run the ability \"" + WideToBytes(name) + "\"").c_str());
    }
    const std::uint32_t id =
        StartAbility(WideToBytes(name), timeoutMs, {WideToBytes(name), {}, {}});
    if (requestId != nullptr) {
        *requestId = id;
    }
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::RunAbility(const std::string& command, std::int32_t timeoutMs,
                                     AbilityDone done, std::uint32_t* requestId, NxrHandle* handle,
                                     AbilityProgress progress) {
    if (requestId != nullptr) {
        *requestId = 0;
    }
    if (!IsOpen(handle)) {
        return NotOpen(("run the ability \"" + command + "\"").c_str());
    }
    const std::uint32_t id =
        StartAbility(command, timeoutMs, {command, std::move(done), std::move(progress)});
    if (requestId != nullptr) {
        *requestId = id;
    }
    return ToStatus(ENxrResult::Ok);
}

std::uint32_t CNxrSession::StartAbility(const std::string& command, std::int32_t timeoutMs,
                                        SPendingAbility pending) {
    const std::uint32_t id = NextRequestId();
    m_abilities[id] = std::move(pending);
    // A line break would make the device run two commands, the second
    // unwatched: refuse it rather than split it.
    if (command.empty() || command.find_first_of("\r\n") != std::string::npos) {
        PushFromOwner(AbilityFailed(
            id, command.empty() ? std::string("an ability needs a name")
                                : "the ability \"" + command + "\" holds a line break"));
        return id;
    }
    ToWorker([id, command, timeout = AbilityTimeout(timeoutMs)](CNxrIoWorker& worker) {
        worker.RunAbility(id, command, timeout);
    });
    return id;
}

std::int32_t CNxrSession::Cancel(std::uint32_t requestId, std::int32_t /*how*/, NxrHandle* handle) {
    if (!IsOpen(handle)) {
        return NotOpen("cancel a request");
    }
    if (m_abilities.count(requestId) != 0) {
        ToWorker([requestId](CNxrIoWorker& worker) { worker.CancelAbility(requestId); });
        return ToStatus(ENxrResult::Ok);
    }
    const auto it = m_pending.find(requestId);
    if (it == m_pending.end()) {
        return ToStatus(ENxrResult::NoSuchRequest);
    }
    if (IsTransfer(it->second.code)) {
        // The transfer ends itself (CAN to the peer, the file closed) and
        // completes once, from the I/O thread.
        ToWorker([requestId](CNxrIoWorker& worker) { worker.CancelTransfer(requestId); });
        return ToStatus(ENxrResult::Ok);
    }
    PushFromOwner(
        Failed(requestId, it->second.code, NxrRequestName(it->second.code) + " was cancelled"));
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::Send(const WideString& text, std::int32_t timeoutMs, NxrHandle* handle) {
    return SendBytes(WideToBytes(text), timeoutMs, handle);
}

std::int32_t CNxrSession::SendBytes(std::string_view bytes, std::int32_t /*timeoutMs*/,
                                    NxrHandle* handle) {
    if (!IsOpen(handle)) {
        return NotOpen("send");
    }
    if (bytes.empty()) {
        return ToStatus(ENxrResult::Ok);
    }
    const auto link = static_cast<ENxrConnectionStatus>(m_inbox->LinkStatus());
    if (link != ENxrConnectionStatus::Connected && link != ENxrConnectionStatus::Connecting) {
        const std::string reason = m_inbox->LinkReason();
        m_errors.Set(0, "cannot send " + std::to_string(bytes.size()) +
                            " bytes: not connected to " + m_spec.Describe() +
                            (reason.empty() ? std::string() : " (" + reason + ")"));
        return ToStatus(ENxrResult::NotConnected);
    }
    ToWorker([bytes = ByteString(bytes)](CNxrIoWorker& worker) mutable {
        worker.Write(std::move(bytes));
    });
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::StartRepeat(std::uint32_t id, std::string_view bytes,
                                      std::uint32_t periodMs, std::uint32_t count,
                                      NxrHandle* handle) {
    if (!IsOpen(handle)) {
        return NotOpen("repeat a send");
    }
    if (bytes.empty() || m_repeats.count(id) != 0) {
        m_errors.Set(0, bytes.empty()
                            ? "cannot repeat a send of no bytes"
                            : "the repeated send " + std::to_string(id) + " has not ended yet");
        return ToStatus(ENxrResult::BadArgument);
    }
    const auto link = static_cast<ENxrConnectionStatus>(m_inbox->LinkStatus());
    if (link != ENxrConnectionStatus::Connected && link != ENxrConnectionStatus::Connecting) {
        const std::string reason = m_inbox->LinkReason();
        m_errors.Set(0, "cannot repeat a send: not connected to " + m_spec.Describe() +
                            (reason.empty() ? std::string() : " (" + reason + ")"));
        return ToStatus(ENxrResult::NotConnected);
    }
    m_repeats[id] = 0;
    ToWorker([id, bytes = ByteString(bytes), periodMs, count](CNxrIoWorker& worker) mutable {
        worker.StartRepeat(id, std::move(bytes), periodMs, count);
    });
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::StopRepeat(std::uint32_t id, NxrHandle* handle) {
    if (!IsOpen(handle)) {
        return NotOpen("stop a repeated send");
    }
    if (m_repeats.count(id) != 0) {
        ToWorker([id](CNxrIoWorker& worker) { worker.StopRepeat(id); });
    }
    return ToStatus(ENxrResult::Ok);
}

std::int32_t CNxrSession::AbilityInfo(std::uint32_t* a, std::uint32_t* b, NxrHandle* handle) {
    if (a != nullptr) {
        *a = IsOpen(handle) ? m_cookie : 0;
    }
    if (b != nullptr) {
        *b = IsOpen(handle) ? m_handle : 0;
    }
    return IsOpen(handle) ? ToStatus(ENxrResult::Ok) : NotOpen("read the ability values");
}

std::int32_t CNxrSession::SetOption(std::uint32_t option, std::int32_t value, NxrHandle* handle) {
    if (!IsOpen(handle)) {
        return NotOpen("set an option");
    }
    m_options[option] = value;
    if (option == nxr_option::WaitLimitMs) {
        ToWorker([ms = WaitLimit(value)](CNxrIoWorker& worker) { worker.SetWaitLimit(ms); });
    }
    return ToStatus(ENxrResult::Ok);
}

std::optional<std::int32_t> CNxrSession::Option(std::uint32_t option) const {
    const auto it = m_options.find(option);
    return it == m_options.end() ? std::nullopt : std::optional<std::int32_t>(it->second);
}

std::int32_t CNxrSession::SetTextSetting(const WideString& text) {
    m_textSetting = text;
    return ToStatus(ENxrResult::Ok);
}

std::string CNxrSession::ErrorText(std::uint32_t requestId) const {
    return m_errors.Get(requestId);
}

void CNxrSession::Drain() {
    const std::shared_ptr<CNxrInbox> inbox = m_inbox;
    // A question runs a dialog of its own, and the user may close the console
    // from there: nothing of this session may be touched after that.
    const QPointer<CNxrSession> alive(this);
    QElapsedTimer turn;
    turn.start();
    const std::int64_t budgetNs =
        ThreadTurnBudget().Grant(std::int64_t{kTurnBudgetMs} * 1'000'000, SteadyNowNs());
    if (ThreadTurnBudget().IntakeStopped()) {
        ScheduleDrain();  // the store catches up first; the inbox holds the rest
        return;
    }
    NxrIoEvent event;
    bool emptied = true;
    std::size_t delivered = 0;
    while (true) {
        if (!m_receiving) {
            if (!inbox->Take(event)) {
                break;
            }
            if (inbox->TakeResume()) {
                ToWorker([](CNxrIoWorker& worker) { worker.Resume(); });
            }
            if (auto* received = std::get_if<SNxrIoReceived>(&event)) {
                m_bytesSinceTrim += received->bytes.size();
                m_receiving = std::make_shared<const ByteString>(std::move(received->bytes));
                m_receivingOwner = received->owner;
                m_receivingAt = 0;
            } else {
                std::visit([this](auto& e) { Deliver(e); }, event);
                if (!alive) {
                    return;
                }
            }
        }
        const bool whole = !m_receiving || DeliverReceiving(turn, budgetNs, delivered);
        if (!alive) {
            return;
        }
        if (!whole || TurnUsedUp(turn, budgetNs)) {
            ScheduleDrain();  // the rest in the next turn; the queue is still awake
            emptied = false;
            break;
        }
    }
    // The received bytes were allocated on the I/O thread and freed here, so
    // its heap keeps room for all the queue held at once; when a flood has
    // passed, that room goes back.
    if (emptied && m_bytesSinceTrim >= kTrimAfterBytes) {
        TrimHeaps();
    } else if (emptied && m_bytesSinceTrim >= kSettleTrimFromBytes && !m_settleTrim->isActive()) {
        m_settleTrim->start();
    }
    m_longestTurnNs = std::max<std::int64_t>(m_longestTurnNs, turn.nsecsElapsed());
}

bool CNxrSession::TurnUsedUp(const QElapsedTimer& turn, std::int64_t budgetNs) {
    const std::int64_t elapsed = turn.nsecsElapsed();
    return elapsed >= budgetNs || (ThreadTurnBudget().Spent() && elapsed >= CTurnBudget::kFloorNs);
}

bool CNxrSession::DeliverReceiving(const QElapsedTimer& turn, std::int64_t budgetNs,
                                   std::size_t& delivered) {
    const QPointer<CNxrSession> alive(this);
    const std::shared_ptr<const ByteString> bytes = m_receiving;
    while (true) {
        const std::string_view rest = std::string_view(*bytes).substr(m_receivingAt);
        const std::string_view piece = rest.substr(0, PieceBytes(turn, budgetNs, delivered));
        m_receivingAt += piece.size();
        delivered += piece.size();
        const bool last = piece.size() == rest.size();
        if (last) {
            m_receiving.reset();
        }
        if (m_sink != nullptr) {
            m_sink->OnDataReceived(m_receivingOwner, piece);
        }
        if (!alive) {
            return false;
        }
        if (last || m_receiving != bytes) {
            return true;  // done, or a drain from within the handler delivered the rest
        }
        if (TurnUsedUp(turn, budgetNs)) {
            return false;
        }
    }
}

std::size_t CNxrSession::PieceBytes(const QElapsedTimer& turn, std::int64_t budgetNs,
                                    std::size_t delivered) {
    // Each record costs the store, the views and the logs a little of their
    // own, so a piece is as large as half of what the rest of the turn
    // should take at this drain's pace so far (the half for a slower piece,
    // fresh pages, say), and a whole event when that fits.
    const std::int64_t elapsed = turn.nsecsElapsed();
    if (delivered == 0 || elapsed <= 0 || elapsed >= budgetNs) {
        return kDeliverPieceBytes;
    }
    const double fits = static_cast<double>(delivered) * static_cast<double>(budgetNs - elapsed) /
                        static_cast<double>(elapsed);
    return std::max(kDeliverPieceBytes, static_cast<std::size_t>(fits / 2));
}

void CNxrSession::TrimHeaps() {
    m_bytesSinceTrim = 0;
    ++m_heapTrims;
    ReturnFreedMemory();
}

void CNxrSession::Deliver(SNxrIoStatus& e) {
    if (!e.reason.empty() &&
        e.status != static_cast<std::uint16_t>(ENxrConnectionStatus::Connected)) {
        m_errors.Set(0, e.reason);
    }
    if (m_sink != nullptr) {
        m_sink->OnConnectionStatus(e.status);
    }
}

void CNxrSession::Deliver(SNxrIoLinkUp& /*e*/) {
    if (m_sink != nullptr) {
        m_sink->OnLinkUp();
    }
}

void CNxrSession::Deliver(SNxrIoReceived& e) {
    if (m_sink != nullptr) {
        m_sink->OnDataReceived(e.owner, e.bytes);
    }
}

void CNxrSession::Deliver(SNxrIoTransmitted& e) {
    if (m_sink != nullptr) {
        m_sink->OnDataTransmitted(e.owner, e.bytes);
    }
}

void CNxrSession::Deliver(SNxrIoCompleted& e) {
    const auto it = m_pending.find(e.requestId);
    if (it == m_pending.end()) {
        return;  // timed out or cancelled before: it completed once already
    }
    const SPending pending = std::move(it->second);
    m_pending.erase(it);
    if (!e.success) {
        m_errors.Set(e.requestId, e.text);
    }
    if (m_sink != nullptr) {
        m_sink->OnRequestCompleted(e.requestId, pending.code, e.success, 0, pending.userText);
    }
}

void CNxrSession::Deliver(SNxrIoLines& e) {
    if (m_sink != nullptr) {
        m_sink->OnModemLines(e.lines);
    }
}

void CNxrSession::Deliver(SNxrIoParamsChanged& e) {
    CNxrComSpec parsed;
    if (parsed.Parse(e.spec)) {
        m_spec = parsed;  // error texts name the device it is on now
    }
    if (m_sink != nullptr) {
        m_sink->OnConnectionParamsChanged(BytesToWide(e.spec));
    }
}

void CNxrSession::Deliver(SNxrIoWaiting& e) {
    if (m_sink != nullptr) {
        m_sink->OnLinkWaiting(e.state, e.where);
    }
}

void CNxrSession::Deliver(SNxrIoShare& e) {
    if (m_sink != nullptr) {
        m_sink->OnShareChanged(e.port, e.clients, e.note);
    }
}

void CNxrSession::Deliver(SNxrIoRepeat& e) {
    const auto it = m_repeats.find(e.id);
    if (it == m_repeats.end()) {
        return;  // ended once already
    }
    if (e.end) {
        m_repeats.erase(it);
    } else {
        it->second = e.sent;
    }
    if (m_sink != nullptr) {
        m_sink->OnSendRepeat(e.id, e.sent, e.end);
    }
}

void CNxrSession::Deliver(SNxrIoError& e) {
    m_errors.Set(0, e.text);
}

void CNxrSession::Deliver(SNxrIoTransfer& t) {
    if (m_sink == nullptr) {
        return;
    }
    const std::uint32_t id = t.requestId;
    const SNxrTransferEvent& e = t.event;
    switch (e.kind) {
        case ENxrTransferEventKind::BatchStart:
            m_sink->OnFileBatchStart(id, BytesToWide(e.text), e.values[0], e.values[1]);
            return;
        case ENxrTransferEventKind::FileStart:
            m_sink->OnFileStart(id, BytesToWide(e.text), BytesToWide(e.text2), e.values[0], e.flag,
                                BytesToWide(e.text3));
            return;
        case ENxrTransferEventKind::FileProgress:
            m_sink->OnFileProgress(id, e.values[0], e.values[1], e.values[2], e.values[3]);
            return;
        case ENxrTransferEventKind::FileFinish:
            m_sink->OnFileFinish(id, e.flag);
            return;
        case ENxrTransferEventKind::BatchFinish:
            m_sink->OnFileBatchFinish(id, e.flag);
            return;
    }
}

void CNxrSession::Deliver(SNxrIoAbilityCompleted& e) {
    const auto it = m_abilities.find(e.requestId);
    if (it == m_abilities.end()) {
        return;  // completed once already (the session closed meanwhile)
    }
    SPendingAbility ability = std::move(it->second);
    m_abilities.erase(it);
    if (!e.success) {
        m_errors.Set(e.requestId, e.text);
    }
    if (ability.done) {
        ability.done(e.success, e.answer, e.text);
    } else if (m_sink != nullptr) {
        m_sink->OnAbilityCompleted(e.requestId, 0, e.success);
    }
}

void CNxrSession::Deliver(SNxrIoAbility& a) {
    const std::uint32_t id = a.requestId;
    const SNxrAbilityEvent& e = a.event;
    const auto it = m_abilities.find(id);
    if (it != m_abilities.end() && it->second.done && e.kind != ENxrAbilityEventKind::Query) {
        if (it->second.progress && e.kind != ENxrAbilityEventKind::TaskComplete) {
            it->second.progress(e.kind == ENxrAbilityEventKind::TaskStart ? 0 : e.value, e.text);
        }
        return;
    }
    switch (e.kind) {
        case ENxrAbilityEventKind::Query: {
            // The answer is asked in a dialog of its own; what else arrives
            // meanwhile goes on being delivered from inside it.
            ScheduleDrain();
            WideString answer;
            const std::int32_t answered =
                m_sink != nullptr ? m_sink->OnQuery(static_cast<std::int32_t>(id), e.value,
                                                    BytesToWide(e.text), answer, 0)
                                  : 1;
            std::optional<std::string> text;
            if (answered == 0) {
                text = WideToBytes(answer);
            }
            ToWorker([id, text = std::move(text)](CNxrIoWorker& worker) {
                worker.AnswerQuery(id, text);
            });
            return;
        }
        case ENxrAbilityEventKind::TaskStart:
            if (m_sink != nullptr) {
                m_sink->OnTaskStart(
                    id, BytesToWide(it == m_abilities.end() ? std::string() : it->second.command),
                    BytesToWide(e.text));
            }
            return;
        case ENxrAbilityEventKind::TaskProgress:
            if (m_sink != nullptr) {
                m_sink->OnTaskProgress(id, e.value, BytesToWide(e.text), 0);
            }
            return;
        case ENxrAbilityEventKind::TaskComplete:
            if (m_sink != nullptr) {
                m_sink->OnTaskComplete(id, e.success);
            }
            return;
    }
}

}  // namespace quillpad
