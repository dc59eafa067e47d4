#include "nxr/qt/CNxrSerialTransport.h"

#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "nxr/NxrLineScript.h"

namespace quillpad {
namespace {

// The user may not read and write the device (a lock or another opener is
// no permission fault).
bool Forbidden(const std::string& device) {
    return ::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}

std::string OpenError(QSerialPort::SerialPortError error, const std::string& device,
                      const QString& detail) {
    switch (error) {
        case QSerialPort::PermissionError:
            return NxrPermissionText(device);
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

CNxrSerialTransport::CNxrSerialTransport(CNxrComSpec spec, std::string lockDirectory)
    : m_spec(std::move(spec)), m_lockDirectory(std::move(lockDirectory)) {}

CNxrSerialTransport::~CNxrSerialTransport() {
    Close();
}

void CNxrSerialTransport::Open(INxrTransportEvents& events) {
    m_events = &events;
    const std::string& device = m_spec.m_device;
    // Asked before the open: QSerialPort would take a foreign lock whose
    // holder it does not recognise for stale, and say only "permission".
    if (Forbidden(device)) {
        events.TransportDown(NxrPermissionText(device));
        return;
    }
    // QSerialPort looks at lock files only: a port that tio or picocom hold
    // by flock(), or minicom by its open file alone, it would open anyway and
    // split the device's output between the two.
    CNxrPortClaim claim;
    if (const auto holder = claim.Claim(device, LockDirectories())) {
        events.TransportDown(NxrInUseText(device, *holder));
        return;
    }
    m_port.setPortName(QFile::decodeName(QByteArray::fromStdString(device)));
    if (!m_port.open(QIODevice::ReadWrite)) {
        events.TransportDown(WhyNotOpen(m_port.error()));
        return;
    }
    const int fd = static_cast<int>(m_port.handle());
    // Held while open, so that they see us too (released with the descriptor).
    if (!claim.HandOver(fd)) {
        m_port.close();
        events.TransportDown(
            NxrInUseText(device, NxrFindFlockHolder(device).value_or(SNxrPortHolder{})));
        return;
    }
    // QSerialPort asks for it too; said here, since a second opener's refusal
    // rests on it.
    ::ioctl(fd, TIOCEXCL);
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

std::vector<std::string> CNxrSerialTransport::LockDirectories() const {
    std::vector<std::string> folders{m_lockDirectory};
    if (m_lockDirectory != kNxrLockDirectory) {
        folders.emplace_back(kNxrLockDirectory);
    }
    return folders;
}

std::string CNxrSerialTransport::WhyNotOpen(QSerialPort::SerialPortError error) const {
    const std::string& device = m_spec.m_device;
    if (error != QSerialPort::PermissionError) {
        return OpenError(error, device, m_port.errorString());
    }
    // Qt says "permission" for a lock it could not take and for a port
    // another opener holds exclusive (EBUSY) alike.
    if (Forbidden(device)) {
        return NxrPermissionText(device);
    }
    for (const std::string& folder : LockDirectories()) {
        if (const auto holder = NxrFindLockHolder(device, folder)) {
            return NxrInUseText(device, *holder);
        }
    }
    if (const auto opener = NxrFindOpener(device)) {
        return NxrInUseText(device, *opener);
    }
    return device + " is in use by another program";
}

void CNxrSerialTransport::Close() {
    m_events = nullptr;
    m_up = false;
    QObject::disconnect(&m_port, nullptr, &m_port, nullptr);
    if (m_port.isOpen()) {
        // Let go at once: a child that inherited the descriptor would keep it.
        ::flock(static_cast<int>(m_port.handle()), LOCK_UN);
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
        if (gone) {
            m_events->TransportGone(why);
        } else {
            m_events->TransportDown(why);
        }
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

namespace quillpad {

std::string CNxrSerialTransport::SetLine(std::uint32_t line, bool on) {
    const char* name = line == nxr_line::Dtr ? "DTR" : "RTS";
    if (!m_up) {
        return std::string("cannot set ") + name + ": " + m_spec.m_device + " is not open";
    }
    int bits = line == nxr_line::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(static_cast<int>(m_port.handle()), on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return std::string("cannot set ") + name + " on " + m_spec.m_device + ": " +
               std::strerror(errno);
    }
    return {};
}

std::optional<std::uint32_t> CNxrSerialTransport::Lines() {
    int bits = 0;
    if (!m_up || ::ioctl(static_cast<int>(m_port.handle()), TIOCMGET, &bits) != 0) {
        return std::nullopt;
    }
    std::uint32_t lines = 0;
    lines |= (bits & TIOCM_DTR) != 0 ? nxr_line::Dtr : 0;
    lines |= (bits & TIOCM_RTS) != 0 ? nxr_line::Rts : 0;
    lines |= (bits & TIOCM_CTS) != 0 ? nxr_line::Cts : 0;
    lines |= (bits & TIOCM_DSR) != 0 ? nxr_line::Dsr : 0;
    lines |= (bits & TIOCM_CAR) != 0 ? nxr_line::Dcd : 0;
    lines |= (bits & TIOCM_RNG) != 0 ? nxr_line::Ri : 0;
    return lines;
}

}  // namespace quillpad
