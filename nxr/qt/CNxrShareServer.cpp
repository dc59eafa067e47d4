#include "nxr/qt/CNxrShareServer.h"

#include <algorithm>

namespace quillpad {
namespace {

std::string PeerName(const QTcpSocket& socket) {
    return socket.peerAddress().toString().toStdString() + ":" + std::to_string(socket.peerPort());
}

}  // namespace

CNxrShareServer::CNxrShareServer(ToDevice toDevice, Changed changed)
    : m_toDevice(std::move(toDevice)), m_changed(std::move(changed)) {
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { Accept(); });
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
    if (client == nullptr) {
        return;
    }
    const QByteArray chunk = socket->readAll();
    if (chunk.isEmpty()) {
        return;
    }
    std::string_view bytes(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    if (!client->telnet) {
        m_toDevice(ByteString(bytes));
        return;
    }
    CNxrTelnetCodec::SReceived received;
    client->telnet->Receive(bytes, received);
    if (!received.reply.empty()) {
        socket->write(received.reply.data(), static_cast<qint64>(received.reply.size()));
    }
    if (!received.data.empty()) {
        m_toDevice(std::move(received.data));  // may close this server
    }
}

void CNxrShareServer::Broadcast(std::string_view bytes) {
    if (bytes.empty() || m_clients.empty()) {
        return;
    }
    std::vector<QTcpSocket*> slow;
    for (SClient& client : m_clients) {
        if (client.telnet) {
            const ByteString encoded = client.telnet->Encode(bytes);
            client.socket->write(encoded.data(), static_cast<qint64>(encoded.size()));
        } else {
            client.socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        }
        if (client.socket->bytesToWrite() > kMaxUnsent) {
            slow.push_back(client.socket);
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
