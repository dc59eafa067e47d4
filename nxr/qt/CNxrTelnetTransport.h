#pragma once
// Telnet: the TCP transport with the telnet codec between it and the session.
// Negotiation never reaches the data. The link counts as up once the server
// has answered the offers (or after a short grace time if it never does), so
// that the first byte sent already travels in binary mode.
//
// With the COM port option (an rfc2217: spec) the server's serial port is set
// as the connection asks before the link counts as up, a break is the port's own
// for the time asked, and the server's modem line notices are kept. A server
// that does not take the option fails the link: a console set for 9600 baud
// must not talk at whatever the port was left at.

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

    // The modem lines' levels as the server last told (rfc2217::MODEM_*).
    unsigned char ModemState() const { return m_modemState; }
    // A port server's DTR and RTS, through SET-CONTROL; plain telnet has none.
    std::string SetLine(std::uint32_t line, bool on) override;
    // A port server's lines: DTR and RTS as last set (on, as a port opens,
    // until set), CTS, DSR, DCD and RI as its notices tell.
    std::optional<std::uint32_t> Lines() override;

  private:
    // What the TCP link below reports.
    void TransportUp() override;
    void TransportReceived(std::string_view bytes) override;
    void TransportDown(const std::string& reason) override;
    std::size_t ReceiveRoom() override;

    bool Negotiate(const ByteString& bytes);
    void Up();

    void ComPortNotices(const std::vector<ByteString>& notices);

    CNxrComSpec m_spec;
    std::string m_where;
    INxrTransportEvents* m_events = nullptr;
    CNxrTcpTransport m_tcp;
    CNxrTelnetCodec m_codec{ENxrTelnetRole::Client};
    QTimer m_settle;
    QTimer m_breakEnd;
    bool m_up = false;
    unsigned char m_modemState = 0;
    bool m_dtr = true;
    bool m_rts = true;
};

}  // namespace quillpad
