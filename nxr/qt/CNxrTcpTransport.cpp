#include "nxr/qt/CNxrTcpTransport.h"

namespace quillpad {
namespace {

constexpr qint64 kReadChunk = 256 * 1024;

std::string SocketError(QAbstractSocket::SocketError error, const CNxrComSpec& spec,
                        const QString& detail) {
    const std::string where = spec.Describe();
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return "connection refused by " + where;
        case QAbstractSocket::HostNotFoundError:
            return "host not found: " + spec.m_host;
        case QAbstractSocket::SocketTimeoutError:
            return "timed out connecting to " + where;
        case QAbstractSocket::RemoteHostClosedError:
            return "the peer " + where + " closed the connection";
        case QAbstractSocket::NetworkError:
            return "network error on the link to " + where + ": " + detail.toStdString();
        default:
            return "link to " + where + ": " + detail.toStdString();
    }
}

}  // namespace

CNxrTcpTransport::CNxrTcpTransport(CNxrComSpec spec) : m_spec(std::move(spec)) {}

CNxrTcpTransport::~CNxrTcpTransport() {
    Close();
}

void CNxrTcpTransport::Open(INxrTransportEvents& events) {
    m_events = &events;
    // Qt stops taking from the kernel when this fills, so a paused reader
    // holds the peer back instead of growing without bound.
    m_socket.setReadBufferSize(1 << 20);
    QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this] {
        m_connectTimer.stop();
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_up = true;
        if (m_events != nullptr) {
            m_events->TransportUp();
        }
    });
    QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { Read(false); });
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket,
                     [this](QAbstractSocket::SocketError error) { Failed(error); });
    m_connectTimer.setSingleShot(true);
    QObject::connect(&m_connectTimer, &QTimer::timeout, &m_connectTimer,
                     [this] { Down("timed out connecting to " + m_spec.Describe()); });
    m_connectTimer.start(kConnectTimeoutMs);
    m_socket.connectToHost(QString::fromStdString(m_spec.m_host), m_spec.m_port);
}

void CNxrTcpTransport::Close() {
    m_events = nullptr;
    m_up = false;
    m_connectTimer.stop();
    // This may run inside a signal of the socket: abort, never destroy.
    QObject::disconnect(&m_socket, nullptr, &m_socket, nullptr);
    m_socket.abort();
}

void CNxrTcpTransport::Read(bool evenIfFull) {
    while (m_events != nullptr && m_socket.bytesAvailable() > 0) {
        if (!evenIfFull && m_events->ReceiveRoom() == 0) {
            return;  // ResumeReading() comes back for the rest
        }
        const QByteArray chunk = m_socket.read(kReadChunk);
        if (chunk.isEmpty()) {
            return;
        }
        m_events->TransportReceived(std::string_view(chunk.constData(), chunk.size()));
    }
}

void CNxrTcpTransport::ResumeReading() {
    Read(false);
}

void CNxrTcpTransport::Failed(QAbstractSocket::SocketError error) {
    Down(SocketError(error, m_spec, m_socket.errorString()));
}

void CNxrTcpTransport::Down(const std::string& why) {
    if (m_events == nullptr) {
        return;
    }
    if (m_up) {
        Read(true);  // what already arrived comes before the news of the loss
    }
    m_up = false;
    m_connectTimer.stop();
    if (m_events != nullptr) {
        m_events->TransportDown(why);
    }
}

SNxrWriteResult CNxrTcpTransport::Write(std::string_view bytes) {
    if (!m_up || m_socket.state() != QAbstractSocket::ConnectedState) {
        return {0, "not connected to " + m_spec.Describe()};
    }
    const qint64 n = m_socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (n < 0) {
        return {0, "cannot write to " + m_spec.Describe() + ": " +
                       m_socket.errorString().toStdString()};
    }
    SNxrWriteResult result{static_cast<std::size_t>(n), {}};
    if (result.written < bytes.size()) {
        result.error = m_spec.Describe() + " took only " + std::to_string(n) + " of " +
                       std::to_string(bytes.size()) + " bytes";
    }
    return result;
}

}  // namespace quillpad
