#pragma once
// Serves the simulated controller: on TCP or telnet (127.0.0.1 by default),
// one console per connection, or on a pseudo-terminal whose slave side a
// serial port can open.

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "devsim/CDevSimEngine.h"

class QElapsedTimer;
class QSocketNotifier;
class QTcpServer;
class QTimer;

namespace quillpad {

class CDevSimServer final : public QObject {
  public:
    enum class EMode { Tcp, Telnet };

    CDevSimServer(EMode mode, SDevSimOptions options, QObject* parent = nullptr);
    ~CDevSimServer() override;

    // Port 0 picks a free one. False with a reason when it cannot listen.
    bool Listen(const std::string& host, std::uint16_t port, std::string* error);
    std::uint16_t Port() const;
    int Connections() const { return static_cast<int>(m_connections.size()); }
    // Ends every connection, as a device that is switched off.
    void DropAll();

  private:
    class CConnection;
    void Accept();
    void Remove(CConnection* connection);

    EMode m_mode;
    SDevSimOptions m_options;
    std::unique_ptr<QTcpServer> m_server;
    std::vector<std::unique_ptr<CConnection>> m_connections;
};

class CDevSimPty final : public QObject {
  public:
    explicit CDevSimPty(SDevSimOptions options, QObject* parent = nullptr);
    ~CDevSimPty() override;

    // Creates the pair. False with a reason when the system has no ptys.
    bool Open(std::string* error);
    // The path a serial port opens, "/dev/pts/N".
    const std::string& SlavePath() const { return m_slavePath; }

  private:
    void ReadMaster();
    void Output(const ByteString& bytes);
    void Flush();
    void Tick();

    CDevSimEngine m_engine;
    int m_master = -1;
    int m_slave = -1;  // held open so that the master never sees a hang-up
    std::string m_slavePath;
    ByteString m_pending;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::unique_ptr<QTimer> m_floodTimer;
    std::unique_ptr<QElapsedTimer> m_floodClock;
    // The engine's time, for XModem's time-outs and the bus scan.
    std::unique_ptr<QTimer> m_tickTimer;
    std::unique_ptr<QElapsedTimer> m_uptime;
};

}  // namespace quillpad
