#include "host/qt/ConnectionSpecs.h"

#include <QRegularExpression>

namespace quillpad {
namespace {

constexpr qint64 kMinBaud = 50;
constexpr qint64 kMaxBaud = 100000000;

bool ValidPort(int port) {
    return port >= 1 && port <= 65535;
}

// A host as the grammar takes it: an IPv6 address goes in brackets, since
// its colons would otherwise run into the port's.
QByteArray HostPart(const QString& host) {
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char(' ')) ||
        trimmed.contains(QLatin1Char(','))) {
        return {};
    }
    if (trimmed.contains(QLatin1Char(':')) && !trimmed.startsWith(QLatin1Char('['))) {
        return '[' + trimmed.toLatin1() + ']';
    }
    return trimmed.toLatin1();
}

}  // namespace

QByteArray SerialSpec(const SSerialSettings& settings) {
    const QString device = settings.device.trimmed();
    static const QRegularExpression framing(QStringLiteral("^[5-8][NEOMS](1|1\\.5|2)$"));
    if (device.isEmpty() || device.contains(QLatin1Char(',')) || settings.baud < kMinBaud ||
        settings.baud > kMaxBaud || !framing.match(settings.framing.toUpper()).hasMatch()) {
        return {};
    }
    QByteArray spec = "serial:" + device.toLatin1() + ',' + QByteArray::number(settings.baud) +
                      ',' + settings.framing.toUpper().toLatin1();
    if (settings.flow == ESerialFlow::RtsCts) {
        spec += ",flow=rtscts";
    } else if (settings.flow == ESerialFlow::XonXoff) {
        spec += ",flow=xonxoff";
    }
    return spec;
}

QByteArray TcpSpec(const QString& host, int port) {
    const QByteArray h = HostPart(host);
    if (h.isEmpty() || !ValidPort(port)) {
        return {};
    }
    return "tcp:" + h + ':' + QByteArray::number(port);
}

QByteArray TelnetSpec(const QString& host, int port) {
    const QByteArray h = HostPart(host);
    if (h.isEmpty() || !ValidPort(port)) {
        return {};
    }
    if (port == kDefaultTelnetPort) {
        return "telnet:" + h;
    }
    return "telnet:" + h + ':' + QByteArray::number(port);
}

QByteArray SimSpec(const QString& name, bool echo) {
    const QString trimmed = name.trimmed();
    if (trimmed.contains(QLatin1Char(','))) {
        return {};  // a comma would end the name
    }
    QByteArrayList options;
    if (!trimmed.isEmpty() && trimmed != QLatin1String("QX-200")) {
        options << "name=" + trimmed.toLatin1();
    }
    if (!echo) {
        options << "echo=off";
    }
    return "sim:" + options.join(',');
}

QByteArray TypedSpec(const QString& text) {
    return text.trimmed().toLatin1();
}

QStringList CommonBaudRates() {
    return {QStringLiteral("1200"),   QStringLiteral("2400"),   QStringLiteral("4800"),
            QStringLiteral("9600"),   QStringLiteral("19200"),  QStringLiteral("38400"),
            QStringLiteral("57600"),  QStringLiteral("115200"), QStringLiteral("230400"),
            QStringLiteral("460800"), QStringLiteral("921600")};
}

QStringList SerialFramings() {
    return {QStringLiteral("8N1"), QStringLiteral("8E1"), QStringLiteral("8O1"),
            QStringLiteral("8N2"), QStringLiteral("7E1"), QStringLiteral("7O1"),
            QStringLiteral("7N1"), QStringLiteral("7E2")};
}

}  // namespace quillpad
