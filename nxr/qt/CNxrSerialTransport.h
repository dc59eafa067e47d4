#pragma once
// A serial port, opened with the settings of its connection spec. It is read
// whenever data arrives and never paused: a serial line would drop what is
// not read. A port another program holds is refused with that program's name
// (its lock file, its flock(), else its open file); one that is open here is
// ours alone: QSerialPort takes the UUCP lock file in the first writable lock
// folder and removes it at close, we hold flock() on the descriptor, and the
// port is set exclusive (TIOCEXCL).

#include <QSerialPort>

#include <string>
#include <vector>

#include "nxr/CNxrComSpec.h"
#include "nxr/NxrPortLock.h"
#include "nxr/qt/INxrTransport.h"

namespace quillpad {

class CNxrSerialTransport final : public INxrTransport {
  public:
    // Other programs' lock files are looked for in `lockDirectory` (and in
    // the system's, where QSerialPort keeps ours).
    explicit CNxrSerialTransport(CNxrComSpec spec, std::string lockDirectory = kNxrLockDirectory);
    ~CNxrSerialTransport() override;

    void Open(INxrTransportEvents& events) override;
    void Close() override;
    SNxrWriteResult Write(std::string_view bytes) override;
    std::string Break(int ms) override;
    // Through the port's descriptor (TIOCMBIS, TIOCMGET): QSerialPort would
    // report a driver that has no modem lines (a pseudo-terminal) as a fault
    // of the link.
    std::string SetLine(std::uint32_t line, bool on) override;
    std::optional<std::uint32_t> Lines() override;

  private:
    void Read();
    void Failed(QSerialPort::SerialPortError error);
    // Ours and the system's, where QSerialPort keeps ours.
    std::vector<std::string> LockDirectories() const;
    // Why the port would not open, in the user's words.
    std::string WhyNotOpen(QSerialPort::SerialPortError error) const;

    CNxrComSpec m_spec;
    std::string m_lockDirectory;
    INxrTransportEvents* m_events = nullptr;
    QSerialPort m_port;
    bool m_up = false;
};

}  // namespace quillpad
