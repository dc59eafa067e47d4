#pragma once
// The I/O side of a session: lives on the session's I/O thread, owns the
// transport (serial port, TCP socket, telnet on TCP, or the simulated
// controller), reads whatever arrives at once and hands it to the inbox, so
// nothing waits on the thread that owns the session.

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrInbox.h"
#include "nxr/NxrCodes.h"

class QSerialPort;
class QTcpSocket;
class QTimer;

namespace quillpad {

class CDevSimEngine;
class CNxrTelnetCodec;

class CNxrIoWorker final : public QObject {
    Q_OBJECT
  public:
    // Socket reading pauses above this many queued bytes (the peer then waits:
    // TCP loses nothing) and resumes below the low mark. Serial links are
    // never paused, because a serial line would drop what is not read.
    static constexpr std::size_t kHighWater = 32u << 20;
    static constexpr std::size_t kLowWater = 8u << 20;
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kTelnetSettleMs = 1000;

    CNxrIoWorker(CNxrComSpec spec, std::shared_ptr<CNxrInbox> inbox, std::function<void()> wake);
    ~CNxrIoWorker() override;

    // Everything below runs on the I/O thread.
    void HandleRequest(std::uint32_t requestId, std::uint32_t code);
    void Write(ByteString bytes);
    void Resume();
    void Shutdown();

  private:
    void Push(SNxrIoEvent event);
    void SetStatus(ENxrConnectionStatus status, std::string reason);
    void Complete(std::uint32_t requestId, std::uint32_t code, bool success, std::string text);
    void StartConnect();
    void Connected();
    void ConnectFailed(const std::string& why);
    void LinkLost(const std::string& why);
    void CloseTransport();
    void ReadSocket(bool evenIfFull = false);
    bool MustPause();
    void ReadSerial();
    void Received(std::string_view bytes);
    void WriteToLink(const ByteString& bytes);
    void SimTick();
    void SimOutput(const ByteString& bytes);

    CNxrComSpec m_spec;
    std::shared_ptr<CNxrInbox> m_inbox;
    std::function<void()> m_wake;
    ENxrConnectionStatus m_status = ENxrConnectionStatus::NotConnected;
    std::vector<std::uint32_t> m_connectWaiters;
    ByteString m_held;  // sent while connecting; goes out when the link is up

    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<QSerialPort> m_serial;
    std::unique_ptr<CNxrTelnetCodec> m_telnet;
    std::unique_ptr<QTimer> m_connectTimer;
    std::unique_ptr<CDevSimEngine> m_sim;
    std::unique_ptr<QTimer> m_simTimer;
    QElapsedTimer m_floodClock;
    bool m_paused = false;
};

}  // namespace quillpad
