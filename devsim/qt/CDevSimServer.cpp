#include "devsim/qt/CDevSimServer.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "nxr/CNxrTelnetCodec.h"

namespace quillpad {
namespace {

// Flat-out floods keep at most this much waiting in the socket's buffer.
constexpr qint64 kSocketBacklog = 4 << 20;
constexpr std::size_t kChunk = 256 * 1024;

}  // namespace

class CDevSimServer::CConnection {
  public:
    CConnection(CDevSimServer& server, QTcpSocket* socket, EMode mode,
                const SDevSimOptions& options)
        : m_server(server), m_socket(socket), m_engine(options) {
        if (mode == EMode::Telnet) {
            m_telnet = std::make_unique<CNxrTelnetCodec>(ENxrTelnetRole::Server);
            const ByteString offer = m_telnet->Start();
            m_socket->write(offer.data(), static_cast<qint64>(offer.size()));
        }
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, m_socket, [this] { Flood(); });
        m_tickTimer.setInterval(100);
        QObject::connect(&m_tickTimer, &QTimer::timeout, m_socket, [this] {
            Output(m_engine.Tick(static_cast<std::uint32_t>(m_uptime.elapsed())));
            if (!m_engine.NeedsTick()) {
                m_tickTimer.stop();
            }
        });
        m_uptime.start();
        QObject::connect(m_socket, &QTcpSocket::readyRead, m_socket, [this] { Read(); });
        QObject::connect(m_socket, &QTcpSocket::bytesWritten, m_socket, [this] { Flood(); });
        QObject::connect(m_socket, &QTcpSocket::disconnected, m_socket, [this] {
            // Dropped outside the socket's own signal.
            QTimer::singleShot(0, &m_server,
                               [server = &m_server, self = this] { server->Remove(self); });
        });
        Output(m_engine.Start());
    }
    ~CConnection() {
        m_timer.stop();
        m_tickTimer.stop();
        m_socket->disconnect();
        m_socket->abort();
        m_socket->deleteLater();
    }
    QTcpSocket* Socket() const { return m_socket; }

  private:
    void Read() {
        const QByteArray chunk = m_socket->readAll();
        std::string_view bytes(chunk.constData(), chunk.size());
        const bool wasFlooding = m_engine.Flooding();
        Output(m_engine.Tick(static_cast<std::uint32_t>(m_uptime.elapsed())));
        if (m_telnet) {
            CNxrTelnetCodec::SReceived got;
            m_telnet->Receive(bytes, got);
            if (!got.reply.empty()) {
                m_socket->write(got.reply.data(), static_cast<qint64>(got.reply.size()));
            }
            // A break falls between the bytes it came between.
            const std::string_view data = got.data;
            std::size_t from = 0;
            for (const std::size_t at : got.breaks) {
                Output(m_engine.Receive(data.substr(from, at - from)));
                Output(m_engine.Break());
                from = at;
            }
            Output(m_engine.Receive(data.substr(from)));
        } else {
            Output(m_engine.Receive(bytes));
        }
        if (!wasFlooding && m_engine.Flooding()) {
            m_clock.start();
            m_timer.start();
        }
        if (m_engine.NeedsTick() && !m_tickTimer.isActive()) {
            m_tickTimer.start();
        }
    }

    void Output(const ByteString& bytes) {
        if (bytes.empty()) {
            return;
        }
        const ByteString wire = m_telnet ? m_telnet->Encode(bytes) : bytes;
        m_socket->write(wire.data(), static_cast<qint64>(wire.size()));
    }

    void Flood() {
        if (!m_engine.Flooding()) {
            m_timer.stop();
            return;
        }
        while (m_engine.Flooding() && m_socket->bytesToWrite() < kSocketBacklog) {
            const std::size_t due =
                m_engine.FloodDue(static_cast<std::uint64_t>(m_clock.elapsed()), kChunk);
            if (due == 0) {
                break;
            }
            Output(m_engine.TakeFlood(due));
        }
    }

    CDevSimServer& m_server;
    QTcpSocket* m_socket;
    CDevSimEngine m_engine;
    std::unique_ptr<CNxrTelnetCodec> m_telnet;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QTimer m_tickTimer;  // the engine's time: a transfer's time-outs, a bus scan
    QElapsedTimer m_uptime;
};

CDevSimServer::CDevSimServer(EMode mode, SDevSimOptions options, QObject* parent)
    : QObject(parent), m_mode(mode), m_options(std::move(options)) {}

CDevSimServer::~CDevSimServer() {
    m_connections.clear();
}

bool CDevSimServer::Listen(const std::string& host, std::uint16_t port, std::string* error) {
    m_server = std::make_unique<QTcpServer>();
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(host))) {
        if (error != nullptr) {
            *error = "not an address: " + host;
        }
        return false;
    }
    if (!m_server->listen(address, port)) {
        if (error != nullptr) {
            *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " +
                     m_server->errorString().toStdString();
        }
        return false;
    }
    connect(m_server.get(), &QTcpServer::newConnection, this, [this] { Accept(); });
    return true;
}

std::uint16_t CDevSimServer::Port() const {
    return m_server ? m_server->serverPort() : 0;
}

void CDevSimServer::Accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connections.push_back(std::make_unique<CConnection>(*this, socket, m_mode, m_options));
    }
}

void CDevSimServer::Remove(CConnection* connection) {
    std::erase_if(m_connections, [connection](const auto& c) { return c.get() == connection; });
}

void CDevSimServer::DropAll() {
    m_connections.clear();
}

CDevSimPty::CDevSimPty(SDevSimOptions options, QObject* parent)
    : QObject(parent), m_engine(std::move(options)) {}

CDevSimPty::~CDevSimPty() {
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_master >= 0) {
        ::close(m_master);
    }
    if (m_slave >= 0) {
        ::close(m_slave);
    }
}

bool CDevSimPty::Open(std::string* error) {
    const auto fail = [&](const char* step) {
        if (error != nullptr) {
            *error = std::string(step) + ": " + std::strerror(errno);
        }
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        return fail("posix_openpt");
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        return fail("grantpt");
    }
    const char* name = ::ptsname(m_master);
    if (name == nullptr) {
        return fail("ptsname");
    }
    m_slavePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        return fail("open slave");
    }
    // Raw from the start: the line discipline must neither echo nor translate.
    termios raw{};
    if (::tcgetattr(m_slave, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, [this] { ReadMaster(); });
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, [this] { Flush(); });
    m_floodTimer = std::make_unique<QTimer>();
    m_floodTimer->setInterval(2);
    connect(m_floodTimer.get(), &QTimer::timeout, this, [this] { Tick(); });
    m_floodClock = std::make_unique<QElapsedTimer>();
    m_uptime = std::make_unique<QElapsedTimer>();
    m_uptime->start();
    m_tickTimer = std::make_unique<QTimer>();
    m_tickTimer->setInterval(100);
    connect(m_tickTimer.get(), &QTimer::timeout, this, [this] {
        Output(m_engine.Tick(static_cast<std::uint32_t>(m_uptime->elapsed())));
        if (!m_engine.NeedsTick()) {
            m_tickTimer->stop();
        }
    });
    return true;
}

void CDevSimPty::ReadMaster() {
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        const bool wasFlooding = m_engine.Flooding();
        Output(m_engine.Tick(static_cast<std::uint32_t>(m_uptime->elapsed())));
        Output(m_engine.Receive(std::string_view(buffer, static_cast<std::size_t>(n))));
        if (!wasFlooding && m_engine.Flooding()) {
            m_floodClock->start();
            m_floodTimer->start();
        }
        if (m_engine.NeedsTick() && !m_tickTimer->isActive()) {
            m_tickTimer->start();
        }
    }
}

void CDevSimPty::Output(const ByteString& bytes) {
    m_pending += bytes;
    Flush();
}

void CDevSimPty::Flush() {
    while (!m_pending.empty()) {
        const ssize_t n = ::write(m_master, m_pending.data(), m_pending.size());
        if (n <= 0) {
            break;
        }
        m_pending.erase(0, static_cast<std::size_t>(n));
    }
    m_writeNotifier->setEnabled(!m_pending.empty());
}

void CDevSimPty::Tick() {
    if (!m_engine.Flooding()) {
        m_floodTimer->stop();
        return;
    }
    if (m_pending.size() < kChunk) {
        const std::size_t due =
            m_engine.FloodDue(static_cast<std::uint64_t>(m_floodClock->elapsed()), kChunk);
        if (due > 0) {
            Output(m_engine.TakeFlood(due));
        }
    }
}

}  // namespace quillpad
