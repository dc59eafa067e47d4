#include "session/CConnectionController.h"

#include <algorithm>

#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "platform/LocalTime.h"

namespace quillpad {

CConnectionController::CConnectionController(CMessageChannel& channel, SSessionServices services)
    : CHostedSession(services.factory),
      CMessageTarget(channel),
      m_ui(std::move(services.ui)),
      m_deferred(std::move(services.deferred)),
      m_alive(std::make_shared<CConnectionController*>(this)) {}

CConnectionController::~CConnectionController() {
    m_alive.reset();
    Shutdown();
}

std::uint32_t CConnectionController::IssueRequest(std::uint32_t code, std::int32_t timeoutMs,
                                                  const WideString* userText,
                                                  std::int32_t* status) {
    std::uint32_t requestId = 0;
    std::int32_t result = ToStatus(ENxrResult::NotOpen);
    if (Session() != nullptr) {
        result = Session()->Request(code, NxrEmptyParamBlock(), timeoutMs, &requestId, userText, 0,
                                    ConnectionHandlePtr());
    }
    if (status != nullptr) {
        *status = result;
    }
    return requestId;
}

std::int32_t CConnectionController::StartRequest(std::uint32_t code, const ByteString& params,
                                                 std::int32_t timeoutMs, std::uint32_t& requestId) {
    requestId = 0;
    if (Session() == nullptr) {
        return ToStatus(ENxrResult::NotOpen);
    }
    return Session()->Request(code, params, timeoutMs, &requestId, nullptr, 0,
                              ConnectionHandlePtr());
}

std::int32_t CConnectionController::PlayLineScript(const std::vector<SNxrLineStep>& steps) {
    std::uint32_t requestId = 0;
    // No time-out: a sequence lasts as long as its waits.
    const std::int32_t status =
        StartRequest(nxr_request::LineScript, NxrLineScriptBlock(steps).Encode(), -1, requestId);
    if (status != ToStatus(ENxrResult::Ok)) {
        PostStandardError(requestId);
    }
    return status;
}

std::int32_t CConnectionController::CancelRequest(std::uint32_t requestId) {
    if (Session() == nullptr) {
        return ToStatus(ENxrResult::NotOpen);
    }
    return Session()->Cancel(requestId, 2, ConnectionHandlePtr());
}

void CConnectionController::ShowNoSession() {
    Channel().Post(Handle(), UM_SHOW_MESSAGE, 0, 0,
                   CPayload::Make(SMessageBox{"Error", FailureText(), EMessageIcon::Error}));
}

void CConnectionController::PostStandardError(std::uint32_t requestId) {
    Channel().Post(Handle(), UM_SHOW_ERROR, 0, requestId);
}

void CConnectionController::RunAbility(std::string_view name) {
    std::uint32_t requestId = 0;
    if (Session() != nullptr) {
        Session()->Ability(0, BytesToWide(name), kCommandTimeoutMs, &requestId, 0, 0,
                           ConnectionHandlePtr());
    }
    if (ConnectionHandle() == 0) {
        PostStandardError(0);
        return;
    }
    // Registered at once: the answer is delivered from the event loop, and a
    // fast device's answer could otherwise be stored before a posted
    // registration, as another's data.
    if (m_store != nullptr) {
        Channel().Send(m_store->Handle(), UM_REGISTER_OWN_ID, 1, requestId);
    }
}

void CConnectionController::OpenAbilityGroup(std::string_view name) {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    if (Session() != nullptr) {
        Session()->AbilityInfo(&a, &b, ConnectionHandlePtr());
    }
    if (ConnectionHandle() == 0) {
        return;
    }
    if (const auto group = FindAbilityGroup(name)) {
        ShowAbilityGroup(a, b, *group);
    } else {
        Channel().Post(Handle(), UM_SHOW_MESSAGE, 0, 0,
                       CPayload::Make(SMessageBox{"Error", "Unknown ability group dialog.",
                                                  EMessageIcon::Warning}));
    }
}

std::int32_t CConnectionController::OnAbilityCompleted(std::uint32_t requestId,
                                                       std::int32_t /*value*/, bool success) {
    if (!success) {
        PostStandardError(requestId);
    }
    if (m_store != nullptr) {
        Channel().Post(m_store->Handle(), UM_REGISTER_OWN_ID, 0, requestId);
    }
    return 0;
}

void CConnectionController::Connect(const WideString* spec) {
    CloseConnection();
    m_connectionSpec.Clear();
    m_consoleOpen = false;
    m_waiting = false;
    if (m_modemLines != nxr_line::kNone) {
        OnModemLines(nxr_line::kNone);  // the closed session tells no more
    }
    if (m_sharePort != 0) {
        OnShareChanged(0, 0, {});  // closing the session stopped sharing
    }
    if (spec == nullptr) {
        return;
    }
    if (Session() == nullptr) {
        ShowNoSession();
        return;
    }
    Session()->Open(*spec, BytesToWide(kClientName), ConnectionHandlePtr());
    if (ConnectionHandle() == 0) {
        PostStandardError(0);
        return;
    }
    m_connectionSpec.Parse(WideToBytes(*spec));  // only its kind is read later
    NameHistoryLink(*spec);
    SetSessionOptions();
    IssueRequest(nxr_request::Connect, -1, nullptr);
}

void CConnectionController::NameHistoryLink(const WideString& spec) {
    // A dead console's history is offered back under the link it came from.
    if (m_store != nullptr) {
        m_store->SetHistoryLink(WideToBytes(spec));
    }
}

void CConnectionController::SetSessionOptions() {
    Session()->SetOption(kFirstMakerOption, kFirstMakerOptionValue, ConnectionHandlePtr());
    Session()->SetOption(kSecondMakerOption, kSecondMakerOptionValue, ConnectionHandlePtr());
    const std::uint64_t waitMs = std::uint64_t{Options().waitForDeviceSeconds} * 1000;
    Session()->SetOption(nxr_option::WaitLimitMs,
                         static_cast<std::int32_t>(std::min<std::uint64_t>(waitMs, 0x7FFFFFFF)),
                         ConnectionHandlePtr());
}

void CConnectionController::ReopenDeferred(const WideString& spec) {
    if (Session() == nullptr) {
        return;
    }
    // The session was back on the device when it told the new name: the
    // reopened one connects again, or the console would sit closed on a
    // device that is there, its kind and name those of the old spec.
    const bool wasUp =
        ConnectionStatus() == static_cast<std::uint32_t>(ENxrConnectionStatus::Connected);
    CloseConnection();
    m_waiting = false;
    Session()->Open(spec, WideString(), ConnectionHandlePtr());
    NameHistoryLink(spec);
    if (ConnectionHandle() == 0 || !wasUp) {
        return;
    }
    m_connectionSpec.Parse(WideToBytes(spec));
    SetSessionOptions();
    IssueRequest(nxr_request::Connect, -1, nullptr);
}

void CConnectionController::SetConnectionParameters(const std::optional<WideString>& spec) {
    if (m_consoleOpen && ConnectionHandle() != 0) {
        std::int32_t status = 0;
        IssueRequest(nxr_request::CloseConsole, -1, spec ? &*spec : nullptr, &status);
        if (status == ToStatus(ENxrResult::Ok)) {
            return;  // the completion reconnects
        }
        // No completion will come: reconnect now rather than lose the new parameters.
    }
    Channel().Post(Handle(), UM_CONNECT, 0, 0,
                   spec ? CPayload::Make<WideString>(*spec) : CPayload());
}

std::int32_t CConnectionController::Reconnect() {
    std::int32_t status = 0;
    IssueRequest(nxr_request::Reconnect, kCommandTimeoutMs, nullptr, &status);
    return status;
}

std::int32_t CConnectionController::StopWaiting() {
    std::int32_t status = 0;
    IssueRequest(nxr_request::StopWaiting, kCommandTimeoutMs, nullptr, &status);
    return status;
}

std::int32_t CConnectionController::Disconnect() {
    std::int32_t status = 0;
    IssueRequest(nxr_request::Disconnect, kCommandTimeoutMs, nullptr, &status);
    return status;
}

void CConnectionController::Shutdown() {
    if (m_consoleOpen && Session() != nullptr && ConnectionHandle() != 0) {
        ByteString result;
        Session()->RequestWait(nxr_request::CloseConsole, NxrEmptyParamBlock(), &result,
                               kCloseConsoleWaitMs, 0, ConnectionHandlePtr());
    }
    m_consoleOpen = false;
    CloseConnection();
}

bool CConnectionController::SendBytes(std::string_view bytes, std::int32_t timeoutMs) {
    if (Session() == nullptr) {
        return false;
    }
    if (ConnectionStatus() == kStatusNotConnected) {
        IssueRequest(nxr_request::Connect, -1, nullptr);
    }
    return Session()->SendBytes(bytes, timeoutMs, ConnectionHandlePtr()) ==
           ToStatus(ENxrResult::Ok);
}

bool CConnectionController::StartRepeat(std::uint32_t id, std::string_view bytes,
                                        std::uint32_t periodMs, std::uint32_t count) {
    if (Session() == nullptr) {
        return false;
    }
    if (ConnectionStatus() == kStatusNotConnected) {
        IssueRequest(nxr_request::Connect, -1, nullptr);
    }
    return Session()->StartRepeat(id, bytes, periodMs, count, ConnectionHandlePtr()) ==
           ToStatus(ENxrResult::Ok);
}

void CConnectionController::StopRepeat(std::uint32_t id) {
    if (Session() != nullptr) {
        Session()->StopRepeat(id, ConnectionHandlePtr());
    }
}

void CConnectionController::SendChar(char ch) {
    OnCharTyped(ch);
    char text[3] = {ch, '\0', '\0'};
    if (ch == '\r' && Options().outgoingCRToCRLF) {
        text[1] = '\n';
    }
    // Counted to the first zero byte: a zero character sends nothing.
    SendBytes(std::string_view(text), kSendCharTimeoutMs);
}

void CConnectionController::SendText(std::string_view text) {
    if (Session() == nullptr) {
        ShowNoSession();
    } else if (!SendBytes(text, kSendTimeoutMs)) {
        PostStandardError(0);
    }
}

bool CConnectionController::HandleConnectionMessage(SMessage& message, std::int64_t& result) {
    result = 0;
    switch (message.id) {
        case UM_CONNECT:
            Connect(message.payload.Get<WideString>());
            return true;
        case UM_NO_CONSOLE:
            if (m_ui) {
                m_ui->ShowMessage(kNoConsoleCaption, kNoConsoleText, EMessageIcon::Warning);
            }
            return true;
        case UM_SHOW_ERROR:
            if (m_ui) {
                m_ui->ShowStandardError(Session(), static_cast<std::uint32_t>(message.lParam));
            }
            return true;
        case UM_SHOW_MESSAGE:
            if (const auto* box = message.payload.Get<SMessageBox>(); box != nullptr && m_ui) {
                m_ui->ShowMessage(box->caption, box->text, box->icon);
            }
            return true;
        case UM_SEND_CHAR:
            SendChar(static_cast<char>(message.lParam));
            return true;
        case UM_SEND_TEXT: {
            const ByteString* text = message.payload.Get<ByteString>();
            const std::string_view bytes = text != nullptr ? *text : std::string_view();
            OnTextSending(bytes);
            SendText(bytes);
            return true;
        }
        case UM_ABILITY:
            if (const auto* name = message.payload.Get<ByteString>()) {
                RunAbility(*name);
            }
            return true;
        case UM_ABILITY_GROUP:
            if (const auto* name = message.payload.Get<ByteString>()) {
                OpenAbilityGroup(*name);
            }
            return true;
        case UM_PLAY_LINES:
            if (const auto* steps = message.payload.Get<std::vector<SNxrLineStep>>()) {
                PlayLineScript(*steps);
            }
            return true;
        case UM_SEND_BYTES: {
            const ByteString* buffer = message.payload.Get<ByteString>();
            std::string_view bytes = buffer != nullptr ? *buffer : std::string_view();
            // Never past the buffer, whatever the count claims.
            bytes = bytes.substr(0, std::min<std::uint64_t>(message.wParam, bytes.size()));
            SendText(bytes);
            return true;
        }
        default:
            return false;
    }
}

std::int64_t CConnectionController::HandleMessage(SMessage& message) {
    std::int64_t result = 0;
    HandleConnectionMessage(message, result);
    return result;
}

std::int32_t CConnectionController::OnRequestCompleted(std::uint32_t requestId, std::uint32_t code,
                                                       bool success, std::int32_t /*extra*/,
                                                       const std::optional<WideString>& userText) {
    switch (code) {
        case nxr_request::OpenConsole:
            if (success) {
                m_consoleOpen = true;
            } else {
                Channel().Post(Handle(), UM_NO_CONSOLE, 0, requestId);
            }
            break;
        case nxr_request::CloseConsole:
            m_consoleOpen = false;
            // Without new parameters the console goes offline; tearing the
            // control down from inside its own event would pull the window
            // from under the host, which expects to close it itself.
            Channel().Post(Handle(), UM_CONNECT, 0, 0,
                           userText ? CPayload::Make<WideString>(*userText) : CPayload());
            break;
        default:
            if (!success) {
                Channel().Post(Handle(), UM_SHOW_ERROR, 0, requestId);
            }
            break;
    }
    return 0;
}

std::uint32_t CConnectionController::ConnectionStatus() const {
    return Session() != nullptr ? Session()->ConnectionStatus() : kStatusNotConnected;
}

std::int32_t CConnectionController::OnConnectionStatus(std::uint16_t status) {
    if (status == static_cast<std::uint16_t>(ENxrConnectionStatus::LinkLost) && !m_lostMarked) {
        AddLinkMark("link lost");
        m_lostMarked = true;
    } else if (status == static_cast<std::uint16_t>(ENxrConnectionStatus::Connected) &&
               m_lostMarked) {
        // Back by a Reconnect rather than by waiting.
        AddLinkMark("back on " + m_connectionSpec.Describe());
        m_lostMarked = false;
    }
    if (status == static_cast<std::uint16_t>(ENxrConnectionStatus::Connected)) {
        m_waiting = false;
    }
    HostUpdateConnectionStatus(status);
    return 0;
}

std::int32_t CConnectionController::OnLinkWaiting(std::int32_t state, std::string_view where) {
    m_waiting = state == static_cast<std::int32_t>(ENxrLinkWait::Waiting);
    if (state == static_cast<std::int32_t>(ENxrLinkWait::Back) && m_lostMarked) {
        AddLinkMark("back on " + std::string(where));
        m_lostMarked = false;
    }
    return 0;
}

void CConnectionController::AddLinkMark(const std::string& what) {
    if (m_store == nullptr) {
        return;
    }
    const std::string time = FormatCalendarSeconds("%H:%M:%S", m_store->Clock().CalendarSeconds());
    m_store->AddMark("-- " + what + " " + time + " --");
}

std::int32_t CConnectionController::OnQuery(std::int32_t /*value*/, std::int32_t queryType,
                                            const WideString& prompt, WideString& answer,
                                            std::int32_t /*flags*/) {
    return AskUser(queryType, prompt, answer) ? 0 : 1;
}

std::int32_t CConnectionController::OnDataReceived(std::uint32_t ownerId, std::string_view data) {
    if (m_store != nullptr) {
        m_store->AddIncomingBytes(ownerId, data);
    }
    OnDeviceData(data);
    return 0;
}

std::int32_t CConnectionController::OnDataTransmitted(std::uint32_t ownerId,
                                                      std::string_view data) {
    if (m_store != nullptr) {
        m_store->AddOutgoingBytes(ownerId, data);
    }
    return 0;
}

std::int32_t CConnectionController::OnConnectionParamsChanged(const WideString& spec) {
    if (m_deferred) {
        // Reopening closes the session that is raising this event: never
        // from inside it.
        std::weak_ptr<CConnectionController*> alive = m_alive;
        m_deferred->CallAfter(kReopenDelayMs, [alive, spec] {
            if (const auto self = alive.lock()) {
                (*self)->ReopenDeferred(spec);
            }
        });
    }
    HostUpdateConnectionParams(spec);
    return 0;
}

std::int32_t CConnectionController::OnModemLines(std::int32_t lines) {
    m_modemLines = lines;
    HostUpdateModemLines(lines);
    return 0;
}

std::int32_t CConnectionController::OnShareChanged(std::int32_t port, std::int32_t clients,
                                                   std::string_view note) {
    m_sharePort = port;
    m_shareClients = port != 0 ? clients : 0;
    HostUpdateShareClients(m_sharePort, m_shareClients);
    if (!note.empty()) {
        OnShareNote(note);
    }
    return 0;
}

std::int32_t CConnectionController::OnLinkUp() {
    IssueRequest(nxr_request::OpenConsole, -1, nullptr);
    return 0;
}

}  // namespace quillpad
