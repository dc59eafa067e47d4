#include "nxr/qt/CNxrTelnetTransport.h"

namespace quillpad {

CNxrTelnetTransport::CNxrTelnetTransport(CNxrComSpec spec)
    : m_where(spec.Describe()), m_tcp(std::move(spec)) {
    m_settle.setSingleShot(true);
    // A server that never negotiates gets the link after the grace time.
    QObject::connect(&m_settle, &QTimer::timeout, &m_settle, [this] { Up(); });
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
    m_tcp.Close();
}

void CNxrTelnetTransport::Up() {
    m_settle.stop();
    if (m_up || m_events == nullptr) {
        return;
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
    if (!m_up && m_codec.Settled()) {
        Up();
    }
    if (!got.data.empty() && m_events != nullptr) {
        m_events->TransportReceived(got.data);
    }
}

void CNxrTelnetTransport::TransportDown(const std::string& reason) {
    m_settle.stop();
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

std::string CNxrTelnetTransport::Break(int /*ms*/) {
    if (!m_up) {
        return "cannot send a break: not connected to " + m_where;
    }
    const char brk[] = {static_cast<char>(telnet::IAC), static_cast<char>(telnet::BRK)};
    const SNxrWriteResult result = m_tcp.Write(std::string_view(brk, 2));
    return result.written == 2 ? std::string() : "cannot send a break: " + result.error;
}

}  // namespace quillpad
