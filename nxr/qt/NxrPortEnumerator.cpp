#include "nxr/qt/NxrPortEnumerator.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <mutex>

namespace quillpad {
namespace {

struct SDefaults {
    std::mutex mutex;
    std::shared_ptr<INxrPortEnumerator> enumerator;
    SNxrRetryPolicy policy;
};

SDefaults& Defaults() {
    static SDefaults defaults;
    return defaults;
}

// "1-1.2" for /sys/class/tty/ttyUSB0, whose device leads to
// .../usb1/1-1/1-1.2/1-1.2:1.0/ttyUSB0: the last USB device above the
// interface ("1-1.2:1.0"). "" when the port is no USB port.
std::string UsbLocation(const QString& portName) {
    const QString device =
        QFileInfo(QStringLiteral("/sys/class/tty/") + portName + QStringLiteral("/device"))
            .canonicalFilePath();
    for (QString part : device.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const qsizetype colon = part.indexOf(QLatin1Char(':'));
        if (colon > 0 && part.at(0).isDigit() && part.contains(QLatin1Char('-'))) {
            return part.left(colon).toStdString();
        }
    }
    return {};
}

}  // namespace

std::vector<SNxrPortInfo> CNxrQtPortEnumerator::Ports() {
    std::vector<SNxrPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SNxrPortInfo port;
        port.path = QFile::encodeName(info.systemLocation()).toStdString();
        port.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier()) {
            port.vendorId = info.vendorIdentifier();
        }
        if (info.hasProductIdentifier()) {
            port.productId = info.productIdentifier();
        }
        port.location = UsbLocation(info.portName());
        ports.push_back(std::move(port));
    }
    return ports;
}

std::shared_ptr<INxrPortEnumerator> NxrPortEnumerator() {
    SDefaults& defaults = Defaults();
    std::lock_guard lock(defaults.mutex);
    if (!defaults.enumerator) {
        defaults.enumerator = std::make_shared<CNxrQtPortEnumerator>();
    }
    return defaults.enumerator;
}

void NxrSetPortEnumerator(std::shared_ptr<INxrPortEnumerator> enumerator) {
    SDefaults& defaults = Defaults();
    std::lock_guard lock(defaults.mutex);
    defaults.enumerator = std::move(enumerator);
}

SNxrRetryPolicy NxrRetryPolicy() {
    SDefaults& defaults = Defaults();
    std::lock_guard lock(defaults.mutex);
    return defaults.policy;
}

void NxrSetRetryPolicy(const SNxrRetryPolicy& policy) {
    SDefaults& defaults = Defaults();
    std::lock_guard lock(defaults.mutex);
    defaults.policy = policy;
}

}  // namespace quillpad
