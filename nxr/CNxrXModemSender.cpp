#include "nxr/CNxrXModemSender.h"

#include <algorithm>

namespace quillpad {

using namespace xmodem;

CNxrXModemSender::CNxrXModemSender(ByteString data, SXModemSenderOptions options,
                                   std::uint32_t nowMs)
    : m_data(std::move(data)), m_options(options), m_deadline(nowMs + options.startTimeoutMs) {}

ByteString CNxrXModemSender::TakeOutput() {
    ByteString out;
    out.swap(m_out);
    return out;
}

void CNxrXModemSender::Fail(std::string text, bool sendCancel) {
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

void CNxrXModemSender::Cancel(std::uint32_t nowMs) {
    if (m_state != EXModemState::Running || m_cancelPending) {
        return;
    }
    if (m_phase == EPhase::WaitStart || !m_out.empty()) {
        m_out.clear();  // nothing of it went yet
        SendCancel();
        return;
    }
    m_cancelPending = true;
    m_deadline = nowMs + kCancelWaitMs;
}

void CNxrXModemSender::SendCancel() {
    m_state = EXModemState::Cancelled;
    m_phase = EPhase::Finished;
    m_error = "cancelled";
    m_out.append(kCancelCount, static_cast<char>(CAN));
}

void CNxrXModemSender::SendBlock() {
    const std::size_t left = m_data.size() - m_offset;
    m_blockLen = (m_options.use1K && m_check == EXModemCheck::Crc16 && left > 128) ? 1024 : 128;
    const std::size_t take = std::min(left, m_blockLen);
    m_block.clear();
    m_block.reserve(m_blockLen + 5);
    m_block.push_back(static_cast<char>(m_blockLen == 1024 ? STX : SOH));
    m_block.push_back(static_cast<char>(m_number));
    m_block.push_back(static_cast<char>(0xFF - m_number));
    m_block.append(m_data, m_offset, take);
    m_block.append(m_blockLen - take, static_cast<char>(PAD));
    const std::string_view payload(m_block.data() + 3, m_blockLen);
    if (m_check == EXModemCheck::Crc16) {
        const std::uint16_t crc = XModemCrc16(payload);
        m_block.push_back(static_cast<char>(crc >> 8));
        m_block.push_back(static_cast<char>(crc & 0xFF));
    } else {
        m_block.push_back(static_cast<char>(XModemChecksum(payload)));
    }
    m_out += m_block;
    m_phase = EPhase::WaitBlockAck;
}

void CNxrXModemSender::SendEot() {
    m_out.push_back(static_cast<char>(EOT));
    m_phase = EPhase::WaitEotAck;
    m_tries = 0;
}

void CNxrXModemSender::Resend(std::uint32_t nowMs, const char* why) {
    ++m_retries;
    if (++m_tries > m_options.maxRetries) {
        Fail(std::string("the receiver did not take block ") +
                 (m_phase == EPhase::WaitEotAck ? std::string("EOT")
                                                : std::to_string(m_blockIndex)) +
                 " after " + std::to_string(m_options.maxRetries) + " retries (" + why + ")",
             true);
        return;
    }
    m_out += (m_phase == EPhase::WaitEotAck) ? ByteString(1, static_cast<char>(EOT)) : m_block;
    m_deadline = nowMs + m_options.ackTimeoutMs;
}

std::size_t CNxrXModemSender::Feed(std::string_view bytes, std::uint32_t nowMs) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (m_state != EXModemState::Running) {
            return i;
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (m_cancelPending) {
            SendCancel();
            return i + 1;
        }
        if (b == CAN) {
            if (m_sawCan) {
                m_state = EXModemState::Cancelled;
                m_phase = EPhase::Finished;
                m_error = "cancelled by the receiver";
                return i + 1;
            }
            m_sawCan = true;
            continue;
        }
        m_sawCan = false;
        switch (m_phase) {
            case EPhase::WaitStart:
                if (b == CRC_START || b == NAK) {
                    m_check = (b == CRC_START) ? EXModemCheck::Crc16 : EXModemCheck::Checksum;
                    m_tries = 0;
                    m_deadline = nowMs + m_options.ackTimeoutMs;
                    if (m_data.empty()) {
                        SendEot();
                        m_deadline = nowMs + m_options.eotTimeoutMs;
                    } else {
                        SendBlock();
                    }
                }
                break;  // anything else is line noise before the start
            case EPhase::WaitBlockAck:
                if (b == ACK) {
                    m_acked = std::min(m_data.size(), m_offset + m_blockLen);
                    m_offset = m_acked;
                    m_number = static_cast<unsigned char>(m_number + 1);
                    ++m_blockIndex;
                    m_tries = 0;
                    m_deadline = nowMs + m_options.ackTimeoutMs;
                    if (m_offset >= m_data.size()) {
                        SendEot();
                        m_deadline = nowMs + m_options.eotTimeoutMs;
                    } else {
                        SendBlock();
                    }
                } else if (b == NAK) {
                    ++m_errors;
                    Resend(nowMs, "NAK");
                }
                // A 'C' here is a receiver repeating its start: the block
                // is on its way, and its time-out resends it if lost.
                break;
            case EPhase::WaitEotAck:
                if (b == ACK) {
                    m_state = EXModemState::Done;
                    m_phase = EPhase::Finished;
                } else if (b == NAK) {
                    Resend(nowMs, "NAK");
                }
                break;
            case EPhase::Finished:
                return i;
        }
    }
    return bytes.size();
}

void CNxrXModemSender::Tick(std::uint32_t nowMs) {
    if (m_state != EXModemState::Running || !TickReached(nowMs, m_deadline)) {
        return;
    }
    if (m_cancelPending) {
        SendCancel();
        return;
    }
    if (m_phase == EPhase::WaitStart) {
        Fail("the receiver did not start within " +
                 std::to_string(m_options.startTimeoutMs / 1000) + " s",
             true);
        return;
    }
    if (m_phase == EPhase::WaitEotAck) {
        if (++m_tries >= m_options.eotTries) {
            m_state = EXModemState::Done;
            m_phase = EPhase::Finished;
            m_error = "every block was acknowledged, the end (EOT) was not";
            return;
        }
        m_out.push_back(static_cast<char>(EOT));
        m_deadline = nowMs + m_options.eotTimeoutMs;
        return;
    }
    ++m_errors;
    Resend(nowMs, "no answer");
}

}  // namespace quillpad
