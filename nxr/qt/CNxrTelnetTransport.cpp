#include "nxr/qt/CNxrTelnetTransport.h"

#include "nxr/NxrComPortOption.h"
#include "nxr/NxrLineScript.h"

namespace quillpad {

CNxrTelnetTransport::CNxrTelnetTransport(CNxrComSpec spec)
    : m_spec(spec), m_where(spec.Describe()), m_tcp(std::move(spec)) {
    if (m_spec.m_comPort) {
        m_codec.OfferComPort();
    }
    m_settle.setSingleShot(true);
    // A server that never negotiates gets the link after the grace time.
    QObject::connect(&m_settle, &QTimer::timeout, &m_settle, [this] { Up(); });
    m_breakEnd.setSingleShot(true);
    QObject::connect(&m_breakEnd, &QTimer::timeout, &m_breakEnd, [this] {
        if (m_up) {
            Negotiate(ComPortControl(rfc2217::CONTROL_BREAK_OFF));
        }
    });
}

CNxrTelnetTransport::~CNxrTelnetTransport() {
    Close();
}

void CNxrTelnetTransport::Open(INxrTransportEvents& events) {
    m_events = &events;
    m_tcp.Open(*this);
}

void CNxrTelnetTransport::Close() {
    m_events = nullptr;
    m_up = false;
    m_settle.stop();
    m_breakEnd.stop();
    m_tcp.Close();
}

void CNxrTelnetTransport::Up() {
    m_settle.stop();
    if (m_up || m_events == nullptr) {
        return;
    }
    if (m_spec.m_comPort) {
        if (!m_codec.ComPortAgreed()) {
            TransportDown("the server at " + m_where +
                          " does not offer control of a serial port (RFC 2217)");
            return;
        }
        if (!Negotiate(ComPortSetup(m_spec))) {
            return;
        }
    }
    m_up = true;
    m_events->TransportUp();
}

// Offers and answers go out at once; a failed write ends the link.
bool CNxrTelnetTransport::Negotiate(const ByteString& bytes) {
    if (bytes.empty()) {
        return true;
    }
    const SNxrWriteResult result = m_tcp.Write(bytes);
    if (result.written == bytes.size()) {
        return true;
    }
    TransportDown(result.error);
    return false;
}

void CNxrTelnetTransport::TransportUp() {
    if (Negotiate(m_codec.Start())) {
        m_settle.start(kSettleMs);
    }
}

void CNxrTelnetTransport::TransportReceived(std::string_view bytes) {
    CNxrTelnetCodec::SReceived got;
    m_codec.Receive(bytes, got);
    if (!Negotiate(got.reply)) {
        return;
    }
    ComPortNotices(got.comPort);
    if (!m_up && m_codec.Settled()) {
        Up();
    }
    if (!got.data.empty() && m_events != nullptr) {
        m_events->TransportReceived(got.data);
    }
}

void CNxrTelnetTransport::ComPortNotices(const std::vector<ByteString>& notices) {
    for (const ByteString& payload : notices) {
        const auto notice = ReadComPortNotice(payload);
        if (notice && notice->command == rfc2217::NOTIFY_MODEMSTATE) {
            m_modemState = static_cast<unsigned char>(notice->value);
        }
    }
}

void CNxrTelnetTransport::TransportDown(const std::string& reason) {
    m_settle.stop();
    m_breakEnd.stop();
    m_up = false;
    if (m_events != nullptr) {
        m_events->TransportDown(reason);
    }
}

std::size_t CNxrTelnetTransport::ReceiveRoom() {
    return m_events != nullptr ? m_events->ReceiveRoom() : 0;
}

SNxrWriteResult CNxrTelnetTransport::Write(std::string_view bytes) {
    if (!m_up) {
        return {0, "not connected to " + m_where};
    }
    const ByteString wire = m_codec.Encode(bytes);
    const SNxrWriteResult result = m_tcp.Write(wire);
    // Escapes make the wire longer than the data; the socket takes a write
    // whole or not at all, so all of the data went or none of it.
    if (result.written == wire.size()) {
        return {bytes.size(), {}};
    }
    return {0, result.error};
}

std::string CNxrTelnetTransport::Break(int ms) {
    if (!m_up) {
        return "cannot send a break: not connected to " + m_where;
    }
    // A port server holds the break as long as asked; a plain telnet server
    // makes of IAC BRK the break its own line knows.
    const ByteString command = m_spec.m_comPort ? ComPortControl(rfc2217::CONTROL_BREAK_ON)
                                                : CNxrTelnetCodec::BreakCommand();
    const SNxrWriteResult result = m_tcp.Write(command);
    if (result.written != command.size()) {
        return "cannot send a break: " + result.error;
    }
    if (m_spec.m_comPort) {
        m_breakEnd.start(ms);
    }
    return {};
}

std::string CNxrTelnetTransport::SetLine(std::uint32_t line, bool on) {
    if (!m_spec.m_comPort) {
        return INxrTransport::SetLine(line, on);
    }
    const bool dtr = line == nxr_line::Dtr;
    const char* name = dtr ? "DTR" : "RTS";
    if (!m_up) {
        return std::string("cannot set ") + name + ": not connected to " + m_where;
    }
    const unsigned char value = dtr ? (on ? rfc2217::CONTROL_DTR_ON : rfc2217::CONTROL_DTR_OFF)
                                    : (on ? rfc2217::CONTROL_RTS_ON : rfc2217::CONTROL_RTS_OFF);
    const ByteString command = ComPortControl(value);
    const SNxrWriteResult result = m_tcp.Write(command);
    if (result.written != command.size()) {
        return std::string("cannot set ") + name + " on " + m_where + ": " + result.error;
    }
    (dtr ? m_dtr : m_rts) = on;
    return {};
}

std::optional<std::uint32_t> CNxrTelnetTransport::Lines() {
    if (!m_spec.m_comPort || !m_up) {
        return std::nullopt;
    }
    std::uint32_t lines = (m_dtr ? nxr_line::Dtr : 0) | (m_rts ? nxr_line::Rts : 0);
    lines |= (m_modemState & rfc2217::MODEM_CTS) != 0 ? nxr_line::Cts : 0;
    lines |= (m_modemState & rfc2217::MODEM_DSR) != 0 ? nxr_line::Dsr : 0;
    lines |= (m_modemState & rfc2217::MODEM_DCD) != 0 ? nxr_line::Dcd : 0;
    lines |= (m_modemState & rfc2217::MODEM_RI) != 0 ? nxr_line::Ri : 0;
    return lines;
}

}  // namespace quillpad
