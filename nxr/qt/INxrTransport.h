#pragma once
// One link to a device as a session's I/O thread drives it: a serial port, a
// TCP socket, telnet, the simulated controller. A transport owns its Qt
// objects, is made, called and destroyed on the I/O thread only, and tells
// what happens through the events it was opened with. What the session makes
// of it (status, requests, held data) is the worker's business, not the
// transport's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillpad {

// What a write did. Either every byte went, or `written` bytes went and
// `error` says why the rest did not. Qt's devices take a write whole or not
// at all, so `written` is all or nothing in practice.
struct SNxrWriteResult {
    std::size_t written = 0;
    std::string error;
};

class INxrTransportEvents {
  public:
    virtual ~INxrTransportEvents() = default;
    // The link is up: data may be written.
    virtual void TransportUp() = 0;
    // Bytes from the device, in order.
    virtual void TransportReceived(std::string_view bytes) = 0;
    // The link could not be made, or it went down; the reason in the user's
    // words. Whatever arrived before is reported first.
    virtual void TransportDown(const std::string& reason) = 0;
    // The link went down because its device is gone (an adapter pulled
    // out): the same, and the session may wait for the device to return.
    virtual void TransportGone(const std::string& reason) { TransportDown(reason); }
    // How many more bytes the receiver takes before it falls too far behind;
    // 0 means: stop reading until ResumeReading(). Only a reader that can
    // wait asks; a serial line would drop what is not read.
    virtual std::size_t ReceiveRoom() = 0;
};

class INxrTransport {
  public:
    virtual ~INxrTransport() = default;
    // Starts the link; TransportUp or TransportDown follows, perhaps at once.
    virtual void Open(INxrTransportEvents& events) = 0;
    // Ends the link; no event follows. It may block for as long as the
    // device's driver takes (a USB adapter that hangs).
    virtual void Close() = 0;
    // Hands `bytes` to the link.
    virtual SNxrWriteResult Write(std::string_view bytes) = 0;
    // The receiver has room again after ReceiveRoom() said 0.
    virtual void ResumeReading() {}
    // Starts a break condition that lasts `ms`; "" when it started, else why
    // not in the user's words. Only links that have a line can break.
    virtual std::string Break(int /*ms*/) { return "this kind of link cannot send a break"; }
    // Sets an output line (nxr_line::Dtr or Rts, NxrLineScript.h); "" when
    // set, else why not in the user's words.
    virtual std::string SetLine(std::uint32_t /*line*/, bool /*on*/) {
        return "this kind of link has no modem lines";
    }
    // The modem lines now (nxr_line bits), asked every few milliseconds while
    // the link is up; none when the link has none to tell.
    virtual std::optional<std::uint32_t> Lines() { return std::nullopt; }
};

}  // namespace quillpad
