#pragma once
// A TCP byte stream: every byte value travels as it is. Reading waits while
// the receiver is too far behind; TCP then holds the sender back and nothing
// is lost. Telnet runs on top of it (CNxrTelnetTransport).

#include <QTcpSocket>
#include <QTimer>

#include "nxr/CNxrComSpec.h"
#include "nxr/qt/INxrTransport.h"

namespace quillpad {

class CNxrTcpTransport final : public INxrTransport {
  public:
    static constexpr int kConnectTimeoutMs = 10000;

    explicit CNxrTcpTransport(CNxrComSpec spec);
    ~CNxrTcpTransport() override;

    void Open(INxrTransportEvents& events) override;
    void Close() override;
    SNxrWriteResult Write(std::string_view bytes) override;
    void ResumeReading() override;

  private:
    void Read(bool evenIfFull);
    void Failed(QAbstractSocket::SocketError error);
    void Down(const std::string& why);

    CNxrComSpec m_spec;
    INxrTransportEvents* m_events = nullptr;
    QTcpSocket m_socket;
    QTimer m_connectTimer;
    bool m_up = false;
};

}  // namespace quillpad
