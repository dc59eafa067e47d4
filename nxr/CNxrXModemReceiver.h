#pragma once
// The receiving end of an XModem transfer, as a byte-fed state machine (see
// NxrXModem.h). It asks with 'C' for CRC-16 and falls back to NAK (checksum)
// when the sender does not answer; it takes 128-byte and 1K blocks alike,
// acknowledges a repeated block without keeping it twice, NAKs a damaged one
// once the line has gone quiet, and ends at EOT. The data it hands out keeps
// the padding of the last block: the protocol does not say where it starts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "nxr/NxrXModem.h"
#include "platform/Bytes.h"

namespace quillpad {

struct SXModemReceiverOptions {
    bool preferCrc = true;
    // 'C' this many times before falling back to NAK.
    int crcTries = 3;
    // Time between two asks for the first block, and how many asks in all.
    std::uint32_t startIntervalMs = 3000;
    int startTries = 20;
    // The next block must begin within this time, and its bytes follow one
    // another within charTimeoutMs; a damaged block is NAKed after the line
    // was quiet for charTimeoutMs.
    std::uint32_t blockTimeoutMs = 10000;
    std::uint32_t charTimeoutMs = 1000;
    // Errors in a row before the transfer fails.
    int maxRetries = 10;
};

class CNxrXModemReceiver {
  public:
    // Sends the first ask at once (see TakeOutput).
    CNxrXModemReceiver(SXModemReceiverOptions options, std::uint32_t nowMs);

    // Returns how many bytes it took: once the transfer has ended, the rest
    // is the console's again.
    std::size_t Feed(std::string_view bytes, std::uint32_t nowMs);
    void Tick(std::uint32_t nowMs);
    void Cancel();

    // What to send now; empties it.
    ByteString TakeOutput();
    // Data of the blocks accepted since the last call; empties it.
    ByteString TakeData();

    EXModemState State() const { return m_state; }
    const std::string& ErrorText() const { return m_error; }
    std::uint32_t NextDeadline() const { return m_deadline; }
    std::size_t BytesDone() const { return m_received; }
    int Errors() const { return m_errors; }
    int Retries() const { return m_retries; }
    EXModemCheck Check() const { return m_check; }

  private:
    enum class EPhase { Start, WaitHeader, InBlock, Purge, Finished };

    void Ask();
    void BlockComplete(std::uint32_t nowMs);
    void Error(std::uint32_t nowMs, const std::string& why);
    void Fail(std::string text, bool sendCancel);
    void Cancelled();
    void Send(unsigned char b) { m_out.push_back(static_cast<char>(b)); }

    SXModemReceiverOptions m_options;
    EPhase m_phase = EPhase::Start;
    EXModemState m_state = EXModemState::Running;
    EXModemCheck m_check = EXModemCheck::Crc16;
    ByteString m_out;
    ByteString m_data;
    ByteString m_block;
    std::size_t m_blockSize = 0;  // of the whole block on the wire
    std::size_t m_received = 0;
    unsigned char m_expected = 1;
    std::size_t m_blockIndex = 1;  // unwrapped, for the words of an error
    std::uint32_t m_deadline = 0;
    int m_asks = 0;
    int m_tries = 0;  // errors in a row
    int m_errors = 0;
    int m_retries = 0;
    int m_trailingCans = 0;  // at the end of what arrived, inside a block
    bool m_sawCan = false;
    std::string m_lastError;
    std::string m_error;
};

}  // namespace quillpad
