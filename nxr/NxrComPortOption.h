#pragma once
// The telnet COM port option of RFC 2217: the client side of the commands a
// console sends to a serial port behind a network server (ser2net and the
// like), and the replies and notices it reads back. The commands travel in
// telnet subnegotiation, so the telnet codec frames them; this file knows
// only what they mean.

#include <cstdint>
#include <optional>
#include <string_view>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrTelnetCodec.h"
#include "platform/Bytes.h"

namespace quillpad {

namespace rfc2217 {
// Commands from the client; the server answers each with the command + 100.
inline constexpr unsigned char SET_BAUDRATE = 1;
inline constexpr unsigned char SET_DATASIZE = 2;
inline constexpr unsigned char SET_PARITY = 3;
inline constexpr unsigned char SET_STOPSIZE = 4;
inline constexpr unsigned char SET_CONTROL = 5;
inline constexpr unsigned char NOTIFY_LINESTATE = 6;
inline constexpr unsigned char NOTIFY_MODEMSTATE = 7;
inline constexpr unsigned char SET_LINESTATE_MASK = 10;
inline constexpr unsigned char SET_MODEMSTATE_MASK = 11;
inline constexpr unsigned char kServerOffset = 100;

// Values of SET-CONTROL.
inline constexpr unsigned char CONTROL_FLOW_NONE = 1;
inline constexpr unsigned char CONTROL_FLOW_XONXOFF = 2;
inline constexpr unsigned char CONTROL_FLOW_HARDWARE = 3;
inline constexpr unsigned char CONTROL_BREAK_ON = 5;
inline constexpr unsigned char CONTROL_BREAK_OFF = 6;
inline constexpr unsigned char CONTROL_DTR_ON = 8;
inline constexpr unsigned char CONTROL_DTR_OFF = 9;
inline constexpr unsigned char CONTROL_RTS_ON = 11;
inline constexpr unsigned char CONTROL_RTS_OFF = 12;

// Bits of a modem state notice: the lines' levels (high nibble).
inline constexpr unsigned char MODEM_DCD = 0x80;
inline constexpr unsigned char MODEM_RI = 0x40;
inline constexpr unsigned char MODEM_DSR = 0x20;
inline constexpr unsigned char MODEM_CTS = 0x10;
}  // namespace rfc2217

// One command as it goes on the wire: IAC SB COM-PORT-OPTION command value
// IAC SE, with a 0xFF in the value doubled.
ByteString ComPortCommand(unsigned char command, std::string_view value);
ByteString ComPortControl(unsigned char value);

// What a client sends to set the port as the connection asks: baud, data size,
// parity, stop bits and flow control, then the modem lines it wants to be
// told of.
ByteString ComPortSetup(const CNxrComSpec& spec);

// A reply or notice from the server (the payload of one subnegotiation of
// the option, without the option byte).
struct SComPortNotice {
    unsigned char command = 0;  // the client's command it answers, 1..12
    std::uint32_t value = 0;    // the value, big-endian as sent
};
std::optional<SComPortNotice> ReadComPortNotice(std::string_view payload);

}  // namespace quillpad
