#include "nxr/qt/CNxrSerialTransport.h"

#include <QTimer>

#include <poll.h>

namespace quillpad {
namespace {

std::string OpenError(QSerialPort::SerialPortError error, const std::string& device,
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

// Whether the line's other side is gone: a pseudo-terminal whose master
// closed, or an adapter pulled out. Its read then ends (returns 0), which
// QSerialPort reports as a read error with whatever errno last held.
bool HungUp(const QSerialPort& port) {
    pollfd p{static_cast<int>(port.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

CNxrSerialTransport::CNxrSerialTransport(CNxrComSpec spec) : m_spec(std::move(spec)) {}

CNxrSerialTransport::~CNxrSerialTransport() {
    Close();
}

void CNxrSerialTransport::Open(INxrTransportEvents& events) {
    m_events = &events;
    const std::string& device = m_spec.m_device;
    m_port.setPortName(QString::fromStdString(device));
    if (!m_port.open(QIODevice::ReadWrite)) {
        events.TransportDown(OpenError(m_port.error(), device, m_port.errorString()));
        return;
    }
    const bool set = m_port.setBaudRate(m_spec.m_baud) &&
                     m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_spec.m_dataBits)) &&
                     m_port.setParity(ToQt(m_spec.m_parity)) &&
                     m_port.setStopBits(ToQt(m_spec.m_stopBits)) &&
                     m_port.setFlowControl(ToQt(m_spec.m_flow));
    if (!set) {
        const std::string why =
            device + " does not accept the settings: " + m_port.errorString().toStdString();
        m_port.close();
        events.TransportDown(why);
        return;
    }
    QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { Read(); });
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { Failed(error); });
    m_up = true;
    events.TransportUp();
}

void CNxrSerialTransport::Close() {
    m_events = nullptr;
    m_up = false;
    QObject::disconnect(&m_port, nullptr, &m_port, nullptr);
    if (m_port.isOpen()) {
        m_port.close();  // the call a hanging driver keeps waiting
    }
}

void CNxrSerialTransport::Read() {
    while (m_events != nullptr && m_port.bytesAvailable() > 0) {
        const QByteArray chunk = m_port.readAll();
        m_events->TransportReceived(std::string_view(chunk.constData(), chunk.size()));
    }
}

void CNxrSerialTransport::Failed(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_up ||
        m_events == nullptr) {
        return;
    }
    const bool gone =
        error == QSerialPort::ResourceError ||
        ((error == QSerialPort::ReadError || error == QSerialPort::WriteError) && HungUp(m_port));
    const std::string why = gone ? "the device " + m_spec.m_device + " went away"
                                 : m_spec.m_device + ": " + m_port.errorString().toStdString();
    Read();  // what already arrived comes before the news of the loss
    m_up = false;
    if (m_events != nullptr) {
        m_events->TransportDown(why);
    }
}

SNxrWriteResult CNxrSerialTransport::Write(std::string_view bytes) {
    if (!m_up) {
        return {0, m_spec.m_device + " is not open"};
    }
    const qint64 n = m_port.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (n < 0) {
        return {0,
                "cannot write to " + m_spec.m_device + ": " + m_port.errorString().toStdString()};
    }
    SNxrWriteResult result{static_cast<std::size_t>(n), {}};
    if (result.written < bytes.size()) {
        result.error = m_spec.m_device + " took only " + std::to_string(n) + " of " +
                       std::to_string(bytes.size()) + " bytes";
    }
    return result;
}

std::string CNxrSerialTransport::Break(int ms) {
    if (!m_up) {
        return "cannot send a break: " + m_spec.Describe() + " is not open";
    }
    if (!m_port.setBreakEnabled(true)) {
        return "cannot send a break on " + m_spec.Describe() + ": " +
               m_port.errorString().toStdString();
    }
    QTimer::singleShot(ms, &m_port, [this] { m_port.setBreakEnabled(false); });
    return {};
}

}  // namespace quillpad
