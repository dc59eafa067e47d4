#pragma once
// The console's side of the connection: opening and reopening the session
// from a connection spec, opening the device's console when the link comes
// up, the send paths, Reconnect and Disconnect, and turning the session's
// data events into records of the data store. The control derives from it
// and passes on the messages it does not handle itself.
//
// Messages (posted to Handle(); each handler frees its payload, returns 0):
//
//   UM_CONNECT     payload = WideString connection spec; none = go offline
//   UM_NO_CONSOLE  lParam = request id       the "No console" box
//   UM_SHOW_ERROR  lParam = request id       the standard error box
//   UM_SHOW_MESSAGE payload = SMessageBox    a message box
//   UM_SEND_CHAR   lParam = character code   100 ms, failures not shown
//   UM_SEND_TEXT   payload = ByteString      1000 ms, failure: error box 0
//   UM_SEND_BYTES  wParam = count, payload = ByteString (at most its size
//                  is sent)                  1000 ms, failure: error box 0
//   UM_PLAY_LINES  payload = std::vector<SNxrLineStep>  a line sequence; a
//                  failure: the standard error box
//   UM_ABILITY     payload = ByteString name 1000 ms; the data it brings is
//                  the console's own until it completes; no connection:
//                  error box 0; a failed completion: the standard error box
//   UM_ABILITY_GROUP payload = ByteString name  dropped without a connection;
//                  found (any letter case): ShowAbilityGroup, else the
//                  "Unknown ability group dialog." box
//
// Connecting: close, open with the client name "Quillpad Workbay Plugin",
// options 1 = 29567 and 2 = 15, request 0x5000. On link up it asks for the
// console (0xBC00); success sets ConsoleOpen(). New parameters while the
// console is open first close it (0xBC01 carrying the new spec) and
// reconnect when that completes.
//
// Boxes are never shown from inside the handler that finds the fault: a
// modal box runs an event loop, in which session events and queued messages
// could close the session under the handler. They are posted instead.
//
// A close-console request that completes without new parameters leaves the
// console closed and offline (as UM_CONNECT without a spec does); the
// console never tears itself down from inside a session event.
//
// A lost link that the session waits for (a serial device pulled out, a
// network link with reconnect=on) leaves two marks in the history, "-- link
// lost 14:07:09 --" and "-- back on /dev/ttyUSB1 14:07:31 --". A device back
// under another name raises event 8: the deferred reopen opens the new name
// and, since the link was up, connects again (the host is told the new spec).

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "data/DataStore.h"
#include "nxr/CNxrComSpec.h"
#include "nxr/NxrLib.h"
#include "nxr/NxrLineScript.h"
#include "platform/MessageChannel.h"
#include "session/CHostedSession.h"
#include "session/ISessionUi.h"

namespace quillpad {

inline constexpr const char* kClientName = "Quillpad Workbay Plugin";
inline constexpr const char* kNoConsoleCaption = "No console";
inline constexpr const char* kNoConsoleText =
    "Device does not support a console connection or cannot be Auto-Detected.\n"
    "Check your connection or specify a device type if required.";

// What the owner of the console's settings decides for the connection.
struct SConnectionOptions {
    // Typed CR goes out as CR LF.
    bool outgoingCRToCRLF = false;
    // How long a lost link is waited for, in seconds; 0: as long as the
    // console is open.
    std::uint32_t waitForDeviceSeconds = 0;
};

// The pieces of a window system the connection needs.
struct SSessionServices {
    SessionFactory factory;
    std::unique_ptr<ISessionUi> ui;
    std::unique_ptr<IDeferredCalls> deferred;
};

class CConnectionController : public CHostedSession, public CMessageTarget {
  public:
    static constexpr std::uint32_t kStatusNotConnected = 1;
    static constexpr std::int32_t kSendCharTimeoutMs = 100;
    static constexpr std::int32_t kSendTimeoutMs = 1000;
    static constexpr std::int32_t kCommandTimeoutMs = 1000;
    static constexpr std::int32_t kCloseConsoleWaitMs = 2000;
    static constexpr std::uint32_t kReopenDelayMs = 10;
    // The two session options the maker's consoles set at every connect.
    // What they mean is the maker's library's business; the values are what
    // it expects.
    static constexpr std::int32_t kFirstMakerOption = 1;
    static constexpr std::int32_t kFirstMakerOptionValue = 29567;
    static constexpr std::int32_t kSecondMakerOption = 2;
    static constexpr std::int32_t kSecondMakerOptionValue = 15;

    CConnectionController(CMessageChannel& channel, SSessionServices services);
    // Shutdown(), then the session base lets the object go.
    ~CConnectionController() override;

    // Where data events become records; null drops them (no store yet).
    void SetDataStore(CDataStore* store) { m_store = store; }
    CDataStore* DataStore() const { return m_store; }
    // Options kept here for owners that set them; a control that keeps them
    // in its settings overrides Options() instead.
    void SetOptions(SConnectionOptions options) { m_options = options; }
    virtual SConnectionOptions Options() const { return m_options; }

    // New connection parameters from the host (none: go offline).
    void SetConnectionParameters(const std::optional<WideString>& spec);
    // Commands 32769 and 32770; the session's status for the request.
    std::int32_t Reconnect();
    std::int32_t Disconnect();
    // Stop Waiting: the session gives up waiting for the lost link.
    std::int32_t StopWaiting();
    // Whether the session waits for a lost link to come back.
    bool WaitingForLink() const { return m_waiting; }
    // The console's teardown: asks the device to close its console (waiting
    // at most 2000 ms) when it is open, then closes the connection.
    void Shutdown();

    bool ConsoleOpen() const { return m_consoleOpen; }
    // The session's (it keeps the link's status); not connected without one.
    std::uint32_t ConnectionStatus() const;
    const CNxrComSpec& ConnectionSpec() const { return m_connectionSpec; }
    ISessionUi& Ui() const { return *m_ui; }

    // A request with its parameter block (the transfers, Send Break): the
    // session's status; `requestId` is the id its completion will carry.
    std::int32_t StartRequest(std::uint32_t code, const ByteString& params, std::int32_t timeoutMs,
                              std::uint32_t& requestId);
    // Plays a line sequence (DTR, RTS, waits, bytes) on the I/O thread; the
    // session's status. A failure comes back as the standard error box.
    std::int32_t PlayLineScript(const std::vector<SNxrLineStep>& steps);
    // The link's modem lines as last told (nxr_line bits), -1 while it tells
    // none.
    std::int32_t ModemLines() const { return m_modemLines; }
    // The shared link as the session last told it: the port (0: not shared)
    // and the clients attached.
    std::int32_t SharePort() const { return m_sharePort; }
    std::int32_t ShareClients() const { return m_shareClients; }

    // Cancels a running request (how 2); the session's status.
    std::int32_t CancelRequest(std::uint32_t requestId);

    // Sends the bytes as they are through the session; true when the session
    // took them.
    bool SendBytes(std::string_view bytes, std::int32_t timeoutMs);
    // A periodic send, run by the session where the link is written (its
    // counts and end come as OnSendRepeat); true when the session took it.
    // Like a send, it asks for the connection first when there is none.
    bool StartRepeat(std::uint32_t id, std::string_view bytes, std::uint32_t periodMs,
                     std::uint32_t count);
    void StopRepeat(std::uint32_t id);

    std::int64_t HandleMessage(SMessage& message) override;
    // The part of HandleMessage a deriving control calls for the messages it
    // leaves to this class; false when the message is not one of them.
    bool HandleConnectionMessage(SMessage& message, std::int64_t& result);

    // Session events.
    std::int32_t OnRequestCompleted(std::uint32_t requestId, std::uint32_t code, bool success,
                                    std::int32_t extra,
                                    const std::optional<WideString>& userText) override;
    std::int32_t OnConnectionStatus(std::uint16_t status) override;
    std::int32_t OnDataReceived(std::uint32_t ownerId, std::string_view data) override;
    std::int32_t OnDataTransmitted(std::uint32_t ownerId, std::string_view data) override;
    std::int32_t OnConnectionParamsChanged(const WideString& spec) override;
    std::int32_t OnLinkUp() override;
    std::int32_t OnModemLines(std::int32_t lines) override;
    std::int32_t OnShareChanged(std::int32_t port, std::int32_t clients,
                                std::string_view note) override;
    std::int32_t OnLinkWaiting(std::int32_t state, std::string_view where) override;
    std::int32_t OnAbilityCompleted(std::uint32_t requestId, std::int32_t value,
                                    bool success) override;
    // 0 when the user answered, 1 when not.
    std::int32_t OnQuery(std::int32_t value, std::int32_t queryType, const WideString& prompt,
                         WideString& answer, std::int32_t flags) override;

  protected:
    // Asks the session's question; true with `answer` filled when answered.
    // Without a user interface nobody answers.
    virtual bool AskUser(std::int32_t /*queryType*/, const WideString& /*prompt*/,
                         WideString& /*answer*/) {
        return false;
    }
    // The group dialog of a known ability group, with the session's two
    // ability values; the control shows it.
    virtual void ShowAbilityGroup(std::uint32_t /*a*/, std::uint32_t /*b*/,
                                  EAbilityGroup /*group*/) {}
    // Hooks for the typed-line buffer and the command history: a character
    // about to be sent by UM_SEND_CHAR, a text about to be sent by UM_SEND_TEXT.
    virtual void OnCharTyped(char /*ch*/) {}
    virtual void OnTextSending(std::string_view /*text*/) {}
    // The device's bytes as they arrive, after the store has them.
    virtual void OnDeviceData(std::string_view /*data*/) {}
    // A note about the shared link for the user (a client dropped); a
    // control shows it in the status bar.
    virtual void OnShareNote(std::string_view /*note*/) {}

  private:
    void Connect(const WideString* spec);
    void SetSessionOptions();
    void NameHistoryLink(const WideString& spec);
    void AddLinkMark(const std::string& what);
    void ReopenDeferred(const WideString& spec);
    void SendChar(char ch);
    void SendText(std::string_view text);
    void ShowNoSession();
    void RunAbility(std::string_view name);
    void OpenAbilityGroup(std::string_view name);
    void PostStandardError(std::uint32_t requestId);
    std::uint32_t IssueRequest(std::uint32_t code, std::int32_t timeoutMs,
                               const WideString* userText, std::int32_t* status = nullptr);

    std::unique_ptr<ISessionUi> m_ui;
    std::unique_ptr<IDeferredCalls> m_deferred;
    // Deferred calls hold it weakly, so none runs on a destroyed console.
    std::shared_ptr<CConnectionController*> m_alive;
    CDataStore* m_store = nullptr;
    SConnectionOptions m_options;
    bool m_consoleOpen = false;
    std::int32_t m_modemLines = -1;
    std::int32_t m_sharePort = 0;
    std::int32_t m_shareClients = 0;
    bool m_waiting = false;
    // "-- link lost --" is in the history and no "-- back on --" yet.
    bool m_lostMarked = false;
    // Simulated links are accepted too, so that a "sim:" console sees its
    // kind (Send Break is offered there).
    CNxrComSpec m_connectionSpec{true, true};
};

}  // namespace quillpad
