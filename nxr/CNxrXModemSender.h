#pragma once
// The sending end of an XModem transfer, as a byte-fed state machine (see
// NxrXModem.h). It waits for the receiver's 'C' (CRC-16) or NAK (checksum),
// sends the data in numbered blocks, resends on NAK or time-out, and ends
// with EOT. 1K blocks need CRC-16; a receiver that asks for the checksum gets
// 128-byte blocks. A tail of at most 128 bytes goes in a 128-byte block, so
// the padding never exceeds 127 bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "nxr/NxrXModem.h"
#include "platform/Bytes.h"

namespace quillpad {

struct SXModemSenderOptions {
    bool use1K = false;
    // How long the receiver may take to ask for the first block.
    std::uint32_t startTimeoutMs = 60000;
    // How long a block or EOT waits for its answer before it is sent again.
    std::uint32_t ackTimeoutMs = 10000;
    // Resends of one block (NAK or time-out) before the transfer fails.
    int maxRetries = 10;
    // The EOT's answer. Once every block was acknowledged the receiver has
    // the whole file; some receivers (lrzsz's rx) flush their output as they
    // exit and so lose the EOT's ACK. An EOT left unanswered after these
    // tries ends the transfer as done, with a note in ErrorText().
    std::uint32_t eotTimeoutMs = 2000;
    int eotTries = 3;
};

class CNxrXModemSender {
  public:
    CNxrXModemSender(ByteString data, SXModemSenderOptions options, std::uint32_t nowMs);

    // Bytes from the receiver; returns how many it took. Once the transfer
    // has ended, the rest is the console's again.
    std::size_t Feed(std::string_view bytes, std::uint32_t nowMs);
    // Lets time-outs happen; call it at NextDeadline() or later.
    void Tick(std::uint32_t nowMs);
    // Ends the transfer with CAN; nothing further is sent. A block already on
    // the wire is answered first: receivers flush their input after a block,
    // so CANs right behind it would be lost. They go with the answer, or
    // after kCancelWaitMs without one.
    void Cancel(std::uint32_t nowMs);
    static constexpr std::uint32_t kCancelWaitMs = 1000;

    // What to send now; empties it.
    ByteString TakeOutput();

    EXModemState State() const { return m_state; }
    // Why it failed or was cancelled; for a transfer done, a note or "".
    const std::string& ErrorText() const { return m_error; }
    std::uint32_t NextDeadline() const { return m_deadline; }
    // Data bytes the receiver has acknowledged (padding not counted).
    std::size_t BytesDone() const { return m_acked; }
    std::size_t Total() const { return m_data.size(); }
    int Errors() const { return m_errors; }
    int Retries() const { return m_retries; }
    EXModemCheck Check() const { return m_check; }

  private:
    enum class EPhase { WaitStart, WaitBlockAck, WaitEotAck, Finished };

    void SendBlock();
    void SendEot();
    void Resend(std::uint32_t nowMs, const char* why);
    void Fail(std::string text, bool sendCancel);
    void SendCancel();

    ByteString m_data;
    SXModemSenderOptions m_options;
    EPhase m_phase = EPhase::WaitStart;
    EXModemState m_state = EXModemState::Running;
    EXModemCheck m_check = EXModemCheck::Crc16;
    ByteString m_out;
    ByteString m_block;  // the block on the wire, for resending
    std::size_t m_blockLen = 0;
    std::size_t m_offset = 0;  // of the block on the wire
    std::size_t m_acked = 0;
    unsigned char m_number = 1;
    std::size_t m_blockIndex = 1;  // unwrapped, for the words of an error
    std::uint32_t m_deadline = 0;
    int m_tries = 0;  // of the block on the wire
    int m_errors = 0;
    int m_retries = 0;
    bool m_sawCan = false;
    bool m_cancelPending = false;
    std::string m_error;
};

}  // namespace quillpad
