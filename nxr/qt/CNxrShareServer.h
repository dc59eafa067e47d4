#pragma once
// The link shared over TCP: a server on the session's I/O thread that hands
// every byte the device sends to each attached client, and what a client
// sends to the device. Raw, or telnet (the server's side of the codec).
//
// Each client's unsent bytes are bounded: a client that reads too slowly is
// dropped, so it never holds back the device's link or the other clients.

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nxr/CNxrTelnetCodec.h"
#include "platform/Bytes.h"

namespace quillpad {

struct SNxrShareSetup {
    std::uint16_t port = 0;  // 0: any free port
    bool telnet = false;
    bool anyInterface = false;  // else loopback only
};

class CNxrShareServer final : public QObject {
    Q_OBJECT
  public:
    // A client past this many unsent bytes is dropped.
    static constexpr qint64 kMaxUnsent = 4 << 20;

    // `toDevice` takes what a client sent; `changed` hears the number of
    // clients after each change, with a note when one was dropped.
    using ToDevice = std::function<void(ByteString bytes)>;
    using Changed = std::function<void(int clients, const std::string& note)>;
    CNxrShareServer(ToDevice toDevice, Changed changed);
    ~CNxrShareServer() override;

    // "" when listening, else why not.
    std::string Start(const SNxrShareSetup& setup);
    // Closes the clients and the port.
    void Stop();
    bool Listening() const { return m_server.isListening(); }
    std::uint16_t Port() const { return m_server.serverPort(); }
    int Clients() const { return static_cast<int>(m_clients.size()); }

    // The device's bytes, for every client.
    void Broadcast(std::string_view bytes);

  private:
    struct SClient {
        QTcpSocket* socket = nullptr;  // owned by the server object
        std::unique_ptr<CNxrTelnetCodec> telnet;
        std::string name;
    };

    void Accept();
    void Read(QTcpSocket* socket);
    void Drop(QTcpSocket* socket, const std::string& note);
    SClient* Find(QTcpSocket* socket);

    ToDevice m_toDevice;
    Changed m_changed;
    QTcpServer m_server;
    bool m_telnet = false;
    std::vector<SClient> m_clients;
};

}  // namespace quillpad
