#pragma once
// Connection specs as the New Console dialog builds them, in the syntax of
// docs/CONNECTIONS.md. Each builder gives an empty spec when its fields
// cannot make a valid one, so the dialog can refuse it.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillpad {

enum class ESerialFlow { None, RtsCts, XonXoff };

struct SSerialSettings {
    QString device;
    qint64 baud = 115200;
    QString framing = QStringLiteral("8N1");
    ESerialFlow flow = ESerialFlow::None;
};

inline constexpr int kDefaultTelnetPort = 23;

QByteArray SerialSpec(const SSerialSettings& settings);
QByteArray TcpSpec(const QString& host, int port);
// The port is left out when it is telnet's own.
QByteArray TelnetSpec(const QString& host, int port);
// Only what differs from the simulator's defaults (QX-200, echo on) is named.
QByteArray SimSpec(const QString& name, bool echo);
// A spec as typed: blanks around it dropped, the rest as it is.
QByteArray TypedSpec(const QString& text);

QStringList CommonBaudRates();
QStringList SerialFramings();

}  // namespace quillpad
