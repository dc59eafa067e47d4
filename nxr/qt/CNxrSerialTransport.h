#pragma once
// A serial port, opened with the settings of its connection spec. It is read
// whenever data arrives and never paused: a serial line would drop what is
// not read.

#include <QSerialPort>

#include "nxr/CNxrComSpec.h"
#include "nxr/qt/INxrTransport.h"

namespace quillpad {

class CNxrSerialTransport final : public INxrTransport {
  public:
    explicit CNxrSerialTransport(CNxrComSpec spec);
    ~CNxrSerialTransport() override;

    void Open(INxrTransportEvents& events) override;
    void Close() override;
    SNxrWriteResult Write(std::string_view bytes) override;
    std::string Break(int ms) override;

  private:
    void Read();
    void Failed(QSerialPort::SerialPortError error);

    CNxrComSpec m_spec;
    INxrTransportEvents* m_events = nullptr;
    QSerialPort m_port;
    bool m_up = false;
};

}  // namespace quillpad
