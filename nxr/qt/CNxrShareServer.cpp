#include "nxr/qt/CNxrShareServer.h"

#include <algorithm>
#include <utility>

namespace quillpad {
namespace {

std::string PeerName(const QTcpSocket& socket) {
    return socket.peerAddress().toString().toStdString() + ":" + std::to_string(socket.peerPort());
}

}  // namespace

CNxrShareServer::CNxrShareServer(ToDevice toDevice, BreakLine breakLine, Changed changed)
    : m_toDevice(std::move(toDevice)),
      m_breakLine(std::move(breakLine)),
      m_changed(std::move(changed)) {
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { Accept(); });
    m_hold.setSingleShot(true);
    QObject::connect(&m_hold, &QTimer::timeout, this, [this] { Release(); });
}

CNxrShareServer::~CNxrShareServer() {
    m_changed = nullptr;
    Stop();
}

std::string CNxrShareServer::Start(const SNxrShareSetup& setup) {
    Stop();
    m_telnet = setup.telnet;
    const QHostAddress address = setup.anyInterface ? QHostAddress(QHostAddress::Any)
                                                    : QHostAddress(QHostAddress::LocalHost);
    if (!m_server.listen(address, setup.port)) {
        const std::string where =
            (setup.anyInterface ? "port " : "127.0.0.1 port ") + std::to_string(setup.port);
        if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
            return "cannot share the link on " + where + ": the port is in use";
        }
        return "cannot share the link on " + where + ": " + m_server.errorString().toStdString();
    }
    return {};
}

void CNxrShareServer::Stop() {
    m_server.close();
    m_hold.stop();
    const bool had = !m_clients.empty();
    for (SClient& client : m_clients) {
        QObject::disconnect(client.socket, nullptr, this, nullptr);
        client.socket->abort();
        client.socket->deleteLater();
    }
    m_clients.clear();
    if (had && m_changed) {
        m_changed(0, {});
    }
}

void CNxrShareServer::Accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(kReadChunk);
        SClient client;
        client.socket = socket;
        client.name = PeerName(*socket);
        if (m_telnet) {
            client.telnet = std::make_unique<CNxrTelnetCodec>(ENxrTelnetRole::Server);
            const ByteString offer = client.telnet->Start();
            socket->write(offer.data(), static_cast<qint64>(offer.size()));
        }
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, this,
                         [this, socket] { Drop(socket, {}); });
        m_clients.push_back(std::move(client));
        if (m_changed) {
            m_changed(Clients(), {});
        }
    }
}

CNxrShareServer::SClient* CNxrShareServer::Find(QTcpSocket* socket) {
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [socket](const SClient& c) { return c.socket == socket; });
    return it == m_clients.end() ? nullptr : &*it;
}

void CNxrShareServer::Read(QTcpSocket* socket) {
    SClient* client = Find(socket);
    // While the line is in break the bytes wait in the socket (and, past its
    // read buffer, in the kernel); Release() reads on.
    if (client == nullptr || Holding()) {
        return;
    }
    const QByteArray chunk = socket->readAll();
    if (chunk.isEmpty()) {
        return;
    }
    std::string_view bytes(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    if (!client->telnet) {
        m_toDevice(ByteString(bytes));  // may close this server
        return;
    }
    CNxrTelnetCodec::SReceived received;
    client->telnet->Receive(bytes, received);
    if (!received.reply.empty()) {
        socket->write(received.reply.data(), static_cast<qint64>(received.reply.size()));
    }
    for (const std::size_t at : received.breaks) {
        client->heldBreaks.push_back(client->held.size() + at);
    }
    client->held += received.data;
    Pass(socket);
}

bool CNxrShareServer::Pass(QTcpSocket* socket) {
    while (!Holding()) {
        SClient* client = Find(socket);
        if (client == nullptr) {
            return false;
        }
        if (client->heldBreaks.empty()) {
            ByteString rest = std::exchange(client->held, {});
            if (!rest.empty()) {
                m_toDevice(std::move(rest));  // may close this server
            }
            return Find(socket) != nullptr;
        }
        const std::size_t at = client->heldBreaks.front();
        client->heldBreaks.erase(client->heldBreaks.begin());
        for (std::size_t& later : client->heldBreaks) {
            later -= at;
        }
        ByteString before = client->held.substr(0, at);
        client->held.erase(0, at);
        const std::string name = client->name;
        if (!before.empty()) {
            m_toDevice(std::move(before));
            if (Find(socket) == nullptr) {
                return false;
            }
        }
        const std::string why = m_breakLine ? m_breakLine(kBreakMs) : "no line to break";
        if (why.empty()) {
            m_hold.start(kBreakMs);
        } else if (m_changed) {
            std::string note = "a break from the shared link's client ";
            note += name;
            note += " did not reach the device: ";
            note += why;
            m_changed(Clients(), note);
        }
    }
    return Find(socket) != nullptr;
}

void CNxrShareServer::HoldFor(int ms) {
    if (!m_hold.isActive() || m_hold.remainingTime() < ms) {
        m_hold.start(ms);
    }
}

void CNxrShareServer::Release() {
    // Clients take turns going first, so that one that breaks again and
    // again cannot keep the others waiting.
    std::vector<QTcpSocket*> order;
    for (std::size_t i = 0; i < m_clients.size(); ++i) {
        order.push_back(m_clients[(m_turn + i) % m_clients.size()].socket);
    }
    ++m_turn;
    for (QTcpSocket* socket : order) {
        if (Holding()) {
            return;
        }
        if (Pass(socket) && !Holding()) {
            Read(socket);
        }
    }
}

void CNxrShareServer::Broadcast(std::string_view bytes) {
    if (bytes.empty() || m_clients.empty()) {
        return;
    }
    // A flush that fails drops its client at once: walk a copy.
    std::vector<QTcpSocket*> sockets;
    for (const SClient& client : m_clients) {
        sockets.push_back(client.socket);
    }
    std::vector<QTcpSocket*> slow;
    for (QTcpSocket* socket : sockets) {
        SClient* client = Find(socket);
        if (client == nullptr) {
            continue;
        }
        if (client->telnet) {
            const ByteString encoded = client->telnet->Encode(bytes);
            socket->write(encoded.data(), static_cast<qint64>(encoded.size()));
        } else {
            socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        }
        // The socket hands the kernel one block per turn of this thread's
        // loop; a busy loop would leave a fast reader's bytes piling up here
        // and drop it. Only what the kernel cannot take yet counts.
        socket->flush();
        if (Find(socket) != nullptr && socket->bytesToWrite() > kMaxUnsent) {
            slow.push_back(socket);
        }
    }
    for (QTcpSocket* socket : slow) {
        const SClient* client = Find(socket);
        Drop(socket, "the shared link's client " + (client ? client->name : std::string()) +
                         " read too slowly and was dropped");
    }
}

void CNxrShareServer::Drop(QTcpSocket* socket, const std::string& note) {
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [socket](const SClient& c) { return c.socket == socket; });
    if (it == m_clients.end()) {
        return;
    }
    m_clients.erase(it);
    // This may run inside a signal of the socket: abort, delete later.
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    if (m_changed) {
        m_changed(Clients(), note);
    }
}

}  // namespace quillpad
