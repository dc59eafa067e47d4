#pragma once
// Telnet: the TCP transport with the telnet codec between it and the session.
// Negotiation never reaches the data. The link counts as up once the server
// has answered the offers (or after a short grace time if it never does), so
// that the first byte sent already travels in binary mode.

#include <QTimer>

#include "nxr/CNxrTelnetCodec.h"
#include "nxr/qt/CNxrTcpTransport.h"

namespace quillpad {

class CNxrTelnetTransport final : public INxrTransport, private INxrTransportEvents {
  public:
    static constexpr int kSettleMs = 1000;

    explicit CNxrTelnetTransport(CNxrComSpec spec);
    ~CNxrTelnetTransport() override;

    void Open(INxrTransportEvents& events) override;
    void Close() override;
    SNxrWriteResult Write(std::string_view bytes) override;
    void ResumeReading() override { m_tcp.ResumeReading(); }
    // IAC BRK: the server makes of it the break its line knows.
    std::string Break(int ms) override;

  private:
    // What the TCP link below reports.
    void TransportUp() override;
    void TransportReceived(std::string_view bytes) override;
    void TransportDown(const std::string& reason) override;
    std::size_t ReceiveRoom() override;

    bool Negotiate(const ByteString& bytes);
    void Up();

    std::string m_where;
    INxrTransportEvents* m_events = nullptr;
    CNxrTcpTransport m_tcp;
    CNxrTelnetCodec m_codec{ENxrTelnetRole::Client};
    QTimer m_settle;
    bool m_up = false;
};

}  // namespace quillpad
