#include "nxr/qt/CNxrIoWorker.h"

#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

#include "devsim/CDevSimEngine.h"
#include "nxr/CNxrTelnetCodec.h"

namespace quillpad {
namespace {

std::string SerialOpenError(QSerialPort::SerialPortError error, const std::string& device,
                            const QString& detail) {
    switch (error) {
        case QSerialPort::PermissionError:
            return "permission denied on " + device;
        case QSerialPort::DeviceNotFoundError:
            return "no such serial device " + device;
        case QSerialPort::OpenError:
            return device + " is already open";
        case QSerialPort::UnsupportedOperationError:
            return device + " does not support these settings";
        default:
            return "cannot open " + device + ": " + detail.toStdString();
    }
}

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

QSerialPort::Parity ToQt(ENxrParity parity) {
    switch (parity) {
        case ENxrParity::Even:
            return QSerialPort::EvenParity;
        case ENxrParity::Odd:
            return QSerialPort::OddParity;
        case ENxrParity::Mark:
            return QSerialPort::MarkParity;
        case ENxrParity::Space:
            return QSerialPort::SpaceParity;
        case ENxrParity::None:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(ENxrStopBits stop) {
    switch (stop) {
        case ENxrStopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case ENxrStopBits::Two:
            return QSerialPort::TwoStop;
        case ENxrStopBits::One:
            break;
    }
    return QSerialPort::OneStop;
}

QSerialPort::FlowControl ToQt(ENxrFlowControl flow) {
    switch (flow) {
        case ENxrFlowControl::RtsCts:
            return QSerialPort::HardwareControl;
        case ENxrFlowControl::XonXoff:
            return QSerialPort::SoftwareControl;
        case ENxrFlowControl::None:
            break;
    }
    return QSerialPort::NoFlowControl;
}

}  // namespace

CNxrIoWorker::CNxrIoWorker(CNxrComSpec spec, std::shared_ptr<CNxrInbox> inbox,
                           std::function<void()> wake)
    : m_spec(std::move(spec)), m_inbox(std::move(inbox)), m_wake(std::move(wake)) {}

CNxrIoWorker::~CNxrIoWorker() = default;

void CNxrIoWorker::Push(SNxrIoEvent event) {
    if (m_inbox->Push(std::move(event)) && m_wake) {
        m_wake();
    }
}

void CNxrIoWorker::SetStatus(ENxrConnectionStatus status, std::string reason) {
    if (status == m_status) {
        return;
    }
    m_status = status;
    m_inbox->SetLink(static_cast<std::uint16_t>(status), reason);
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Status;
    event.status = static_cast<std::uint16_t>(status);
    event.text = std::move(reason);
    Push(std::move(event));
}

void CNxrIoWorker::Complete(std::uint32_t requestId, std::uint32_t code, bool success,
                            std::string text) {
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Completed;
    event.requestId = requestId;
    event.code = code;
    event.success = success;
    event.text = std::move(text);
    Push(std::move(event));
}

void CNxrIoWorker::HandleRequest(std::uint32_t requestId, std::uint32_t code) {
    const std::string where = m_spec.Describe();
    switch (code) {
        case nxr_request::Connect:
            if (m_status == ENxrConnectionStatus::Connected) {
                Complete(requestId, code, true, {});
                return;
            }
            m_connectWaiters.push_back(requestId);
            if (m_status != ENxrConnectionStatus::Connecting) {
                StartConnect();
            }
            return;
        case nxr_request::Reconnect:
            CloseTransport();
            m_status = ENxrConnectionStatus::NotConnected;  // quietly: Connecting follows at once
            m_connectWaiters.push_back(requestId);
            StartConnect();
            return;
        case nxr_request::Disconnect: {
            CloseTransport();
            auto waiters = std::move(m_connectWaiters);
            m_connectWaiters.clear();
            for (const auto id : waiters) {
                Complete(id, nxr_request::Connect, false,
                         "the connect to " + where + " was ended by a disconnect");
            }
            if (!m_held.empty()) {
                Push({ENxrIoEventKind::Error,
                      0,
                      0,
                      0,
                      false,
                      {},
                      std::to_string(m_held.size()) + " bytes were not sent: disconnected"});
                m_held.clear();
            }
            SetStatus(ENxrConnectionStatus::NotConnected, "disconnected on request");
            Complete(requestId, code, true, {});
            return;
        }
        case nxr_request::OpenConsole:
            if (m_status == ENxrConnectionStatus::Connected) {
                Complete(requestId, code, true, {});
            } else {
                Complete(requestId, code, false,
                         "cannot open the console: not connected to " + where);
            }
            return;
        case nxr_request::CloseConsole:
            Complete(requestId, code, true, {});
            return;
        case nxr_request::SendBreak:
        case nxr_request::XModemSend:
        case nxr_request::XModemReceive:
        case nxr_request::AsciiSend:
        case nxr_request::AsciiReceive:
            Complete(requestId, code, false, NxrRequestName(code) + " is not supported yet");
            return;
        default:
            Complete(requestId, code, false, "unknown " + NxrRequestName(code));
            return;
    }
}

void CNxrIoWorker::StartConnect() {
    SetStatus(ENxrConnectionStatus::Connecting, {});
    switch (m_spec.Kind()) {
        case ENxrConnectionKind::Simulated: {
            SDevSimOptions options;
            options.name = m_spec.m_simName;
            options.echo = m_spec.m_simEcho;
            m_sim = std::make_unique<CDevSimEngine>(options);
            m_simTimer = std::make_unique<QTimer>();
            m_simTimer->setInterval(2);
            connect(m_simTimer.get(), &QTimer::timeout, this, [this] { SimTick(); });
            Connected();
            SimOutput(m_sim->Start());
            return;
        }
        case ENxrConnectionKind::Tcp:
        case ENxrConnectionKind::Telnet: {
            m_socket = std::make_unique<QTcpSocket>();
            m_socket->setReadBufferSize(1 << 20);
            if (m_spec.Kind() == ENxrConnectionKind::Telnet) {
                m_telnet = std::make_unique<CNxrTelnetCodec>(ENxrTelnetRole::Client);
            }
            connect(m_socket.get(), &QTcpSocket::connected, this, [this] {
                m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                if (!m_telnet) {
                    Connected();
                    return;
                }
                // The link counts as up once the options are settled, so that
                // the first byte sent already travels in binary mode. A
                // server that never answers gets a short grace time.
                m_socket->write(QByteArray::fromStdString(m_telnet->Start()));
                m_connectTimer->start(kTelnetSettleMs);
            });
            connect(m_socket.get(), &QTcpSocket::readyRead, this, [this] { ReadSocket(); });
            connect(m_socket.get(), &QTcpSocket::errorOccurred, this,
                    [this](QAbstractSocket::SocketError error) {
                        const std::string why = SocketError(error, m_spec, m_socket->errorString());
                        if (m_status == ENxrConnectionStatus::Connected) {
                            LinkLost(why);
                        } else if (m_status == ENxrConnectionStatus::Connecting) {
                            ConnectFailed(why);
                        }
                    });
            m_connectTimer = std::make_unique<QTimer>();
            m_connectTimer->setSingleShot(true);
            connect(m_connectTimer.get(), &QTimer::timeout, this, [this] {
                if (m_status != ENxrConnectionStatus::Connecting) {
                    return;
                }
                if (m_socket->state() == QAbstractSocket::ConnectedState) {
                    Connected();  // a telnet server that does not negotiate
                } else {
                    ConnectFailed("timed out connecting to " + m_spec.Describe());
                }
            });
            m_connectTimer->start(kConnectTimeoutMs);
            m_socket->connectToHost(QString::fromStdString(m_spec.m_host), m_spec.m_port);
            return;
        }
        case ENxrConnectionKind::Serial: {
            m_serial = std::make_unique<QSerialPort>();
            m_serial->setPortName(QString::fromStdString(m_spec.m_device));
            if (!m_serial->open(QIODevice::ReadWrite)) {
                const auto error = m_serial->error();
                const QString detail = m_serial->errorString();
                ConnectFailed(SerialOpenError(error, m_spec.m_device, detail));
                return;
            }
            const bool set =
                m_serial->setBaudRate(m_spec.m_baud) &&
                m_serial->setDataBits(static_cast<QSerialPort::DataBits>(m_spec.m_dataBits)) &&
                m_serial->setParity(ToQt(m_spec.m_parity)) &&
                m_serial->setStopBits(ToQt(m_spec.m_stopBits)) &&
                m_serial->setFlowControl(ToQt(m_spec.m_flow));
            if (!set) {
                const std::string why = m_spec.m_device + " does not accept the settings: " +
                                        m_serial->errorString().toStdString();
                ConnectFailed(why);
                return;
            }
            connect(m_serial.get(), &QSerialPort::readyRead, this, [this] { ReadSerial(); });
            connect(
                m_serial.get(), &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) {
                    if (error == QSerialPort::NoError ||
                        m_status != ENxrConnectionStatus::Connected) {
                        return;
                    }
                    if (error == QSerialPort::ResourceError) {
                        LinkLost("the device " + m_spec.m_device + " went away");
                    } else if (error != QSerialPort::TimeoutError) {
                        LinkLost(m_spec.m_device + ": " + m_serial->errorString().toStdString());
                    }
                });
            Connected();
            return;
        }
        case ENxrConnectionKind::None:
            break;
    }
    ConnectFailed("no connection spec");
}

void CNxrIoWorker::Connected() {
    if (m_connectTimer) {
        m_connectTimer->stop();
    }
    SetStatus(ENxrConnectionStatus::Connected, {});
    auto waiters = std::move(m_connectWaiters);
    m_connectWaiters.clear();
    for (const auto id : waiters) {
        Complete(id, nxr_request::Connect, true, {});
    }
    Push({ENxrIoEventKind::LinkUp, 0, 0, 0, true, {}, {}});
    if (!m_held.empty()) {
        const ByteString held = std::move(m_held);
        m_held.clear();
        Write(held);
    }
}

void CNxrIoWorker::ConnectFailed(const std::string& why) {
    CloseTransport();
    auto waiters = std::move(m_connectWaiters);
    m_connectWaiters.clear();
    std::string text = why;
    if (!m_held.empty()) {
        text += " (" + std::to_string(m_held.size()) + " bytes were not sent)";
        m_held.clear();
    }
    // The status first, so that a completion handler already sees it.
    SetStatus(ENxrConnectionStatus::NotConnected, text);
    for (const auto id : waiters) {
        Complete(id, nxr_request::Connect, false, why);
    }
}

void CNxrIoWorker::LinkLost(const std::string& why) {
    // What already arrived comes before the news of the loss.
    if (m_socket) {
        ReadSocket(true);
    } else if (m_serial) {
        ReadSerial();
    }
    CloseTransport();
    SetStatus(ENxrConnectionStatus::LinkLost, "link lost: " + why);
}

void CNxrIoWorker::CloseTransport() {
    if (m_connectTimer) {
        m_connectTimer->stop();
    }
    // This may run inside a signal of the transport: it goes later.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    if (m_serial) {
        m_serial->disconnect(this);
        m_serial->close();
        m_serial.release()->deleteLater();
    }
    m_telnet.reset();
    m_simTimer.reset();
    m_sim.reset();
    m_paused = false;
    m_inbox->SetReaderPaused(false);
}

void CNxrIoWorker::ReadSocket(bool evenIfFull) {
    if (!m_socket) {
        return;
    }
    if (!evenIfFull && MustPause()) {
        return;
    }
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(256 * 1024);
        if (chunk.isEmpty()) {
            break;
        }
        if (m_telnet) {
            CNxrTelnetCodec::SReceived got;
            m_telnet->Receive(std::string_view(chunk.constData(), chunk.size()), got);
            if (!got.reply.empty()) {
                m_socket->write(got.reply.data(), static_cast<qint64>(got.reply.size()));
            }
            if (m_status == ENxrConnectionStatus::Connecting && m_telnet->Settled()) {
                Connected();
            }
            Received(got.data);
        } else {
            Received(std::string_view(chunk.constData(), chunk.size()));
        }
    }
}

bool CNxrIoWorker::MustPause() {
    if (m_inbox->QueuedBytes() <= kHighWater) {
        return false;
    }
    m_paused = true;
    m_inbox->SetReaderPaused(true);
    // The owner may have emptied the queue between the look and the flag:
    // then nobody would ever wake this reader again.
    if (m_inbox->QueuedBytes() < kLowWater) {
        m_paused = false;
        m_inbox->SetReaderPaused(false);
        return false;
    }
    return true;
}

void CNxrIoWorker::ReadSerial() {
    while (m_serial && m_serial->bytesAvailable() > 0) {
        const QByteArray chunk = m_serial->readAll();
        Received(std::string_view(chunk.constData(), chunk.size()));
    }
}

void CNxrIoWorker::Received(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    Push({ENxrIoEventKind::Received, 0, 0, 0, true, ByteString(bytes), {}});
}

void CNxrIoWorker::Resume() {
    if (!m_paused) {
        return;
    }
    m_paused = false;
    m_inbox->SetReaderPaused(false);
    ReadSocket();
    if (m_simTimer && m_sim && m_sim->Flooding() && !m_simTimer->isActive()) {
        m_simTimer->start();
    }
}

void CNxrIoWorker::Write(ByteString bytes) {
    if (bytes.empty()) {
        return;
    }
    if (m_status == ENxrConnectionStatus::Connecting) {
        m_held += bytes;
        return;
    }
    if (m_status != ENxrConnectionStatus::Connected) {
        Push({ENxrIoEventKind::Error,
              0,
              0,
              0,
              false,
              {},
              std::to_string(bytes.size()) + " bytes were not sent: not connected to " +
                  m_spec.Describe()});
        return;
    }
    Push({ENxrIoEventKind::Transmitted, 0, 0, 0, true, bytes, {}});
    WriteToLink(bytes);
}

void CNxrIoWorker::WriteToLink(const ByteString& bytes) {
    if (m_sim) {
        const bool wasFlooding = m_sim->Flooding();
        SimOutput(m_sim->Receive(bytes));
        if (!wasFlooding && m_sim && m_sim->Flooding()) {
            m_floodClock.start();
            m_simTimer->start();
        }
    } else if (m_socket) {
        const ByteString wire = m_telnet ? m_telnet->Encode(bytes) : bytes;
        m_socket->write(wire.data(), static_cast<qint64>(wire.size()));
    } else if (m_serial) {
        m_serial->write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
}

void CNxrIoWorker::SimOutput(const ByteString& bytes) {
    Received(bytes);
}

void CNxrIoWorker::SimTick() {
    if (!m_sim || !m_sim->Flooding()) {
        if (m_simTimer) {
            m_simTimer->stop();
        }
        return;
    }
    if (MustPause()) {
        // The simulated device waits for the console, as TCP would.
        m_simTimer->stop();
        return;
    }
    const std::size_t queued = m_inbox->QueuedBytes();
    const std::size_t room =
        std::min<std::size_t>(queued < kHighWater ? kHighWater - queued : 0, 4u << 20);
    const std::size_t due =
        m_sim->FloodDue(static_cast<std::uint64_t>(m_floodClock.elapsed()), room);
    if (due > 0) {
        SimOutput(m_sim->TakeFlood(due));
    }
}

void CNxrIoWorker::Shutdown() {
    CloseTransport();
    m_connectWaiters.clear();
    m_held.clear();
}

}  // namespace quillpad
