#include "nxr/CNxrXModemReceiver.h"

namespace quillpad {

using namespace xmodem;

CNxrXModemReceiver::CNxrXModemReceiver(SXModemReceiverOptions options, std::uint32_t nowMs)
    : m_options(options) {
    m_check = m_options.preferCrc ? EXModemCheck::Crc16 : EXModemCheck::Checksum;
    Ask();
    m_deadline = nowMs + m_options.startIntervalMs;
}

ByteString CNxrXModemReceiver::TakeOutput() {
    ByteString out;
    out.swap(m_out);
    return out;
}

ByteString CNxrXModemReceiver::TakeData() {
    ByteString data;
    data.swap(m_data);
    return data;
}

void CNxrXModemReceiver::Ask() {
    ++m_asks;
    if (m_options.preferCrc && m_asks <= m_options.crcTries) {
        m_check = EXModemCheck::Crc16;
        Send(CRC_START);
    } else {
        m_check = EXModemCheck::Checksum;
        Send(NAK);
    }
}

void CNxrXModemReceiver::Fail(std::string text, bool sendCancel) {
    if (m_state != EXModemState::Running) {
        return;
    }
    m_state = EXModemState::Failed;
    m_phase = EPhase::Finished;
    m_error = std::move(text);
    if (sendCancel) {
        m_out.append(kCancelCount, static_cast<char>(CAN));
    }
}

void CNxrXModemReceiver::Cancelled() {
    m_state = EXModemState::Cancelled;
    m_phase = EPhase::Finished;
    m_error = "cancelled by the sender";
}

void CNxrXModemReceiver::Cancel() {
    if (m_state != EXModemState::Running) {
        return;
    }
    m_state = EXModemState::Cancelled;
    m_phase = EPhase::Finished;
    m_error = "cancelled";
    m_out.append(kCancelCount, static_cast<char>(CAN));
}

// A damaged block, or none in time: NAK once the line is quiet, so that the
// rest of a damaged block is not read as the start of the next one.
void CNxrXModemReceiver::Error(std::uint32_t nowMs, const std::string& why) {
    ++m_errors;
    m_lastError = why;
    m_phase = EPhase::Purge;
    m_deadline = nowMs + m_options.charTimeoutMs;
}

void CNxrXModemReceiver::BlockComplete(std::uint32_t nowMs) {
    const auto number = static_cast<unsigned char>(m_block[1]);
    const auto inverse = static_cast<unsigned char>(m_block[2]);
    const std::size_t dataLen = (static_cast<unsigned char>(m_block[0]) == STX) ? 1024 : 128;
    const std::string_view payload(m_block.data() + 3, dataLen);
    bool good = (number ^ inverse) == 0xFF;
    if (good) {
        if (m_check == EXModemCheck::Crc16) {
            const std::uint16_t crc = XModemCrc16(payload);
            good = static_cast<unsigned char>(m_block[3 + dataLen]) == (crc >> 8) &&
                   static_cast<unsigned char>(m_block[4 + dataLen]) == (crc & 0xFF);
        } else {
            good = static_cast<unsigned char>(m_block[3 + dataLen]) == XModemChecksum(payload);
        }
    }
    if (!good) {
        Error(nowMs, "damaged block " + std::to_string(m_blockIndex));
        return;
    }
    if (number == m_expected) {
        m_data.append(payload);
        m_received += dataLen;
        m_expected = static_cast<unsigned char>(m_expected + 1);
        ++m_blockIndex;
    } else if (number != static_cast<unsigned char>(m_expected - 1)) {
        Fail("lost step with the sender: block " + std::to_string(number) + " came when " +
                 std::to_string(m_expected) + " was due",
             true);
        return;
    }
    // A repeat of the last block: its ACK was lost. Acknowledged, not kept.
    m_tries = 0;
    Send(ACK);
    m_phase = EPhase::WaitHeader;
    m_deadline = nowMs + m_options.blockTimeoutMs;
}

std::size_t CNxrXModemReceiver::Feed(std::string_view bytes, std::uint32_t nowMs) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (m_state != EXModemState::Running) {
            return i;
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        switch (m_phase) {
            case EPhase::Start:
            case EPhase::WaitHeader:
                if (b == CAN) {
                    if (m_sawCan) {
                        Cancelled();
                        return i + 1;
                    }
                    m_sawCan = true;
                    continue;
                }
                m_sawCan = false;
                if (b == SOH || b == STX) {
                    m_phase = EPhase::InBlock;
                    m_block.assign(1, static_cast<char>(b));
                    m_blockSize =
                        3 + (b == STX ? 1024 : 128) + (m_check == EXModemCheck::Crc16 ? 2 : 1);
                    m_trailingCans = 0;
                    m_deadline = nowMs + m_options.charTimeoutMs;
                } else if (b == EOT) {
                    Send(ACK);
                    m_state = EXModemState::Done;
                    m_phase = EPhase::Finished;
                    return i + 1;
                }
                break;  // anything else is line noise between blocks
            case EPhase::InBlock: {
                const std::size_t take = std::min(bytes.size() - i, m_blockSize - m_block.size());
                const std::string_view part = bytes.substr(i, take);
                m_block.append(part);
                for (const char c : part) {
                    m_trailingCans =
                        (static_cast<unsigned char>(c) == CAN) ? m_trailingCans + 1 : 0;
                }
                i += take - 1;
                m_deadline = nowMs + m_options.charTimeoutMs;
                if (m_block.size() == m_blockSize) {
                    BlockComplete(nowMs);
                }
                break;
            }
            case EPhase::Purge:
                m_trailingCans = (b == CAN) ? m_trailingCans + 1 : 0;
                m_deadline = nowMs + m_options.charTimeoutMs;
                break;
            case EPhase::Finished:
                return i;
        }
    }
    return bytes.size();
}

void CNxrXModemReceiver::Tick(std::uint32_t nowMs) {
    if (m_state != EXModemState::Running || !TickReached(nowMs, m_deadline)) {
        return;
    }
    switch (m_phase) {
        case EPhase::Start:
            if (m_asks >= m_options.startTries) {
                Fail("the sender did not start within " +
                         std::to_string(m_options.startTries * m_options.startIntervalMs / 1000) +
                         " s",
                     true);
                return;
            }
            ++m_retries;
            Ask();
            m_deadline = nowMs + m_options.startIntervalMs;
            return;
        case EPhase::WaitHeader:
            Error(nowMs, "no block " + std::to_string(m_blockIndex) + " in time");
            // Already quiet for the block time-out: NAK now.
            Tick(nowMs + m_options.charTimeoutMs);
            return;
        case EPhase::InBlock:
        case EPhase::Purge:
            // A sender that cancels mid-block leaves CANs as the last bytes.
            if (m_trailingCans >= 2) {
                Cancelled();
                return;
            }
            if (m_phase == EPhase::InBlock) {
                Error(nowMs, "block " + std::to_string(m_blockIndex) + " cut short");
            }
            if (++m_tries > m_options.maxRetries) {
                Fail("too many errors; the last: " + m_lastError, true);
                return;
            }
            ++m_retries;
            m_trailingCans = 0;
            Send(NAK);
            m_phase = EPhase::WaitHeader;
            m_deadline = nowMs + m_options.blockTimeoutMs;
            return;
        case EPhase::Finished:
            return;
    }
}

}  // namespace quillpad
