#pragma once
// Numbers shared by the session, its users and the documentation
// (docs/CONNECTIONS.md): request codes, connection status, result codes and
// the dispatch ids of the session's events.

#include <cstdint>
#include <string>

namespace quillpad {

// First argument of a request.
namespace nxr_request {
inline constexpr std::uint32_t Connect = 0x5000;
inline constexpr std::uint32_t OpenConsole = 0xBC00;
inline constexpr std::uint32_t CloseConsole = 0xBC01;
inline constexpr std::uint32_t Reconnect = 0xE000;
inline constexpr std::uint32_t Disconnect = 0xE001;
inline constexpr std::uint32_t SendBreak = 0xE002;
inline constexpr std::uint32_t XModemSend = 0xE003;
inline constexpr std::uint32_t XModemReceive = 0xE004;
inline constexpr std::uint32_t AsciiSend = 0xE006;
inline constexpr std::uint32_t AsciiReceive = 0xE007;
// Ours: modem lines set, held and sent between (NxrLineScript.h).
inline constexpr std::uint32_t LineScript = 0xE008;
// Ours: gives up waiting for a lost link to come back.
inline constexpr std::uint32_t StopWaiting = 0xE009;
// Ours: serves the link on a TCP port (NxrRequestBlocks.h), and stops that.
inline constexpr std::uint32_t ShareStart = 0xE00A;
inline constexpr std::uint32_t ShareStop = 0xE00B;
}  // namespace nxr_request

// Ours: the owner id of what the shared link's clients send. No console
// registers it, so their bytes are records of source "other".
inline constexpr std::uint32_t kNxrShareOwnerId = 0x53484152;  // "SHAR"

// Ours: session options (SetOption) besides the maker's 1 and 2.
namespace nxr_option {
// How long a lost link is waited for, in ms; 0 (or less): for as long as
// the session is open.
inline constexpr std::uint32_t WaitLimitMs = 3;
}  // namespace nxr_option

// Ours: what OnLinkWaiting tells about a lost link that is waited for.
enum class ENxrLinkWait : std::int32_t {
    Waiting = 1,   // the link was lost; it is watched for (the device, the server)
    Back = 2,      // it came back; the text names where
    Stopped = 3,   // the user stopped waiting (or reconnected, disconnected)
    TimedOut = 4,  // the wait limit passed
};

// Connection status carried by event 5 (16 bits).
enum class ENxrConnectionStatus : std::uint16_t {
    NotConnected = 1,  // never connected, or disconnected on request
    Connecting = 2,    // a connect or reconnect is under way
    Connected = 3,     // the link is up; data flows
    LinkLost = 4,      // the link dropped by itself (peer closed, device gone)
};

// Results of the session's operations; 0 is success.
enum class ENxrResult : std::int32_t {
    Ok = 0,
    Failed = 1,        // see the error text for request id 0
    NotOpen = 2,       // the handle is 0 or not this session's
    BadSpec = 3,       // the connection spec does not parse
    NotConnected = 4,  // a send while the link is down
    TimedOut = 5,
    NoSuchRequest = 6,
    BadArgument = 7,
};

// Dispatch ids of the session's events.
enum class ENxrEventId : std::uint32_t {
    RequestCompleted = 2,
    AbilityCompleted = 3,
    ConnectionStatus = 5,
    DataReceived = 6,
    DataTransmitted = 7,
    ConnectionParamsChanged = 8,
    TaskStart = 10,
    TaskProgress = 11,
    TaskComplete = 12,
    FileBatchStart = 20,
    FileStart = 21,
    FileProgress = 22,
    FileFinish = 23,
    FileBatchFinish = 24,
    Query = 40,
    LinkUp = 51,
};

constexpr std::int32_t ToStatus(ENxrResult result) {
    return static_cast<std::int32_t>(result);
}

// "not connected", "connecting", ...; "status N" for numbers outside the table.
std::string NxrStatusText(std::uint16_t status);
// "connect", "open console", ...; "request 0xNNNN" for other codes.
std::string NxrRequestName(std::uint32_t code);

}  // namespace quillpad
