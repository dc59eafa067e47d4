// The simulator's telnet server seen from a plain socket: it negotiates, it
// notices a break sent as IAC BRK, and it can drop its clients at once.

#include <gtest/gtest.h>

#include <QTcpSocket>

#include "devsim/qt/CDevSimServer.h"
#include "nxr/CNxrTelnetCodec.h"
#include "tests/nxr/qt/SessionTestSupport.h"

namespace quillpad {
namespace {

using test::WaitFor;

TEST(DevSimServer, TelnetNoticesABreakAndDropsItsClients) {
    CDevSimServer server(CDevSimServer::EMode::Telnet, SDevSimOptions{});
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
    EXPECT_FALSE(CDevSimServer(CDevSimServer::EMode::Tcp, {}).Listen("no.such", 1, &error));
    EXPECT_NE(error.find("not an address"), std::string::npos);

    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.Port());
    CNxrTelnetCodec client(ENxrTelnetRole::Client);
    ByteString data;
    bool sawOffer = false;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        const QByteArray chunk = socket.readAll();
        sawOffer = sawOffer || chunk.contains("\xFF\xFB\x00");  // IAC WILL BINARY
        CNxrTelnetCodec::SReceived got;
        client.Receive(std::string_view(chunk.constData(), chunk.size()), got);
        socket.write(got.reply.data(), static_cast<qint64>(got.reply.size()));
        data += got.data;
    });
    ASSERT_TRUE(WaitFor([&] { return data.find("> ") != ByteString::npos; }));
    EXPECT_TRUE(sawOffer);
    EXPECT_EQ(server.Connections(), 1);

    const ByteString brk = CNxrTelnetCodec::BreakCommand();
    socket.write(brk.data(), static_cast<qint64>(brk.size()));
    ASSERT_TRUE(WaitFor([&] { return data.find("*** BREAK received ***") != ByteString::npos; }));

    server.DropAll();
    ASSERT_TRUE(WaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(server.Connections(), 0);
}

TEST(DevSimServer, PseudoTerminalNamesItsSlave) {
    CDevSimPty pty(SDevSimOptions{});
    std::string error;
    ASSERT_TRUE(pty.Open(&error)) << error;
    EXPECT_EQ(pty.SlavePath().rfind("/dev/pts/", 0), 0u) << pty.SlavePath();
}

}  // namespace
}  // namespace quillpad
