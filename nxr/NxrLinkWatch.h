#pragma once
// Waiting for a lost link to come back: which serial port is the device that
// went away, whether it is there again (under any name), and when a network
// link is tried again. Pure data and rules; the session's I/O thread asks the
// system's ports through INxrPortEnumerator, which tests replace.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillpad {

// One serial port as the system lists it. Fields it does not know are empty.
struct SNxrPortInfo {
    std::string path;          // "/dev/ttyUSB0"
    std::string serialNumber;  // the USB serial number
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    std::string location;  // where on the USB it is plugged: "1-1.2"
};

class INxrPortEnumerator {
  public:
    virtual ~INxrPortEnumerator() = default;
    // The ports there now. Called on a session's I/O thread, so it must
    // be safe to call from any thread.
    virtual std::vector<SNxrPortInfo> Ports() = 0;
};

// What tells the device that went away from every other: its serial number,
// else its vendor and product at its USB place, else only its path.
struct SNxrPortIdentity {
    enum class EBy { SerialNumber, Location, Path };
    EBy by = EBy::Path;
    SNxrPortInfo port;  // `path` is the name the link was opened with

    // "/dev/ttyUSB0 (serial number A1B2)" and the like, for messages.
    std::string Describe() const;
};

// The identity of `device` (a path or a link to one) among `ports`.
SNxrPortIdentity NxrIdentifyPort(const std::string& device, const std::vector<SNxrPortInfo>& ports);

// The path to open when the device of `identity` is among `ports` again:
// the name it was opened with when that leads to it once more (a
// /dev/serial/by-id link), else the name it has now. A device known by its
// path alone is back when that path exists.
std::optional<std::string> NxrFindReturnedPort(const SNxrPortIdentity& identity,
                                               const std::vector<SNxrPortInfo>& ports);

// When a lost link is tried again.
struct SNxrRetryPolicy {
    // A serial device is looked for this often.
    std::uint32_t pollMs = 500;
    // A network link is tried after this long, then after twice as long each
    // time, never longer than `maxMs`: 1, 2, 4 ... 30 s.
    std::uint32_t firstMs = 1000;
    std::uint32_t maxMs = 30000;
};

// How long to wait before try number `attempt` (0 = the first) of a network link.
std::uint32_t NxrRetryDelay(const SNxrRetryPolicy& policy, unsigned attempt);

// How long until the next look, given the wait so far (`waitedMs`) and its
// limit (0: none): `delayMs`, cut so that the look falls on the limit.
std::uint32_t NxrNextLook(std::uint32_t delayMs, std::uint32_t waitedMs, std::uint32_t limitMs);

// Whether a wait of `waitedMs` has run past its limit (0: none).
constexpr bool NxrWaitOver(std::uint32_t waitedMs, std::uint32_t limitMs) {
    return limitMs != 0 && waitedMs >= limitMs;
}

}  // namespace quillpad

namespace quillpad {

// What a session's I/O thread is given to wait for a lost link with.
struct SNxrLinkWatchSetup {
    SNxrRetryPolicy policy;
    // The system's ports; none: a lost serial device is known by its path.
    std::shared_ptr<INxrPortEnumerator> ports;
    std::uint32_t waitLimitMs = 0;  // 0: as long as the session is open
};

}  // namespace quillpad
