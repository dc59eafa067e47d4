#pragma once
// The link shared over TCP: a server on the session's I/O thread that hands
// every byte the device sends to each attached client, and what a client
// sends to the device. Raw, or telnet (the server's side of the codec).
//
// Each client's unsent bytes are bounded: a client that reads too slowly is
// dropped, so it never holds back the device's link or the other clients.
// A telnet client's break (IAC BRK) breaks the device's line; while the line
// is in break no client's bytes go to the device, they wait behind it.

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nxr/CNxrTelnetCodec.h"
#include "nxr/NxrRequestBlocks.h"
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

    // A client's bytes are read from its socket at most this many at a time,
    // so that bytes held behind a break stay few and the rest wait in the
    // kernel.
    static constexpr qint64 kReadChunk = 64 << 10;

    // A client's break lasts as long as the console's own.
    static constexpr int kBreakMs = kNxrDefaultBreakMs;

    // `toDevice` takes what a client sent; `breakLine` puts the device's line
    // in break for so many ms ("" when it did, else why not); `changed` hears
    // the number of clients after each change, with a note when one was
    // dropped or its break did not reach the device.
    using ToDevice = std::function<void(ByteString bytes)>;
    using BreakLine = std::function<std::string(int ms)>;
    using Changed = std::function<void(int clients, const std::string& note)>;
    CNxrShareServer(ToDevice toDevice, BreakLine breakLine, Changed changed);
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
    // The line is in break for `ms` (the console's own Send Break): what
    // clients send meanwhile waits until it is over.
    void HoldFor(int ms);
    bool Holding() const { return m_hold.isActive(); }

  private:
    struct SClient {
        QTcpSocket* socket = nullptr;  // owned by the server object
        std::unique_ptr<CNxrTelnetCodec> telnet;
        std::string name;
        // Decoded bytes read behind a break, with the client's later breaks
        // in them (as SReceived::breaks): they go on when the hold is over.
        ByteString held;
        std::vector<std::size_t> heldBreaks;
    };

    void Accept();
    void Read(QTcpSocket* socket);
    // Passes the client's held bytes and breaks on, up to the next break
    // that holds the line; false when the client or the server went away.
    bool Pass(QTcpSocket* socket);
    void Release();
    void Drop(QTcpSocket* socket, const std::string& note);
    SClient* Find(QTcpSocket* socket);

    ToDevice m_toDevice;
    BreakLine m_breakLine;
    Changed m_changed;
    QTcpServer m_server;
    QTimer m_hold;  // runs while the line is in break
    bool m_telnet = false;
    std::vector<SClient> m_clients;
    std::size_t m_turn = 0;  // who goes first when a hold is over
};

}  // namespace quillpad
