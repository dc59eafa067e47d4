#pragma once
// XModem on a byte stream: the pieces the sender and the receiver share. Both
// engines are byte-fed state machines: the caller feeds what the link
// delivered and the current tick, sends what the engine hands back, and calls
// Tick at NextDeadline(). Neither does I/O nor sleeps, so a whole transfer
// runs in a test in microseconds.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nxr/NxrTick.h"

namespace quillpad {

namespace xmodem {
inline constexpr unsigned char SOH = 0x01;  // 128-byte block
inline constexpr unsigned char STX = 0x02;  // 1024-byte block
inline constexpr unsigned char EOT = 0x04;
inline constexpr unsigned char ACK = 0x06;
inline constexpr unsigned char NAK = 0x15;
inline constexpr unsigned char CAN = 0x18;
inline constexpr unsigned char CRC_START = 'C';
// The last block is filled up with this byte; the receiver keeps it, as
// every XModem peer does, since the protocol does not carry the file size.
inline constexpr unsigned char PAD = 0x1A;
// Sent to cancel. Two in a row cancel; more survive a lost byte.
inline constexpr std::size_t kCancelCount = 8;
}  // namespace xmodem

enum class EXModemCheck { Checksum, Crc16 };

enum class EXModemState {
    Running,
    Done,       // every block acknowledged (sender) or EOT taken (receiver)
    Failed,     // too many errors, a time-out, lost sync: see ErrorText()
    Cancelled,  // by the peer (CAN CAN) or by Cancel()
};

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection.
std::uint16_t XModemCrc16(std::string_view bytes, std::uint16_t crc = 0);
// The 8-bit sum of the bytes.
unsigned char XModemChecksum(std::string_view bytes);

}  // namespace quillpad
