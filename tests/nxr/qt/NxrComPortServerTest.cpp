// rfc2217: links against Debian's ser2net serving one end of a
// pseudo-terminal pair (socat): the port is set as the connection asks, and every
// byte value crosses both ways; and against servers that are no port server.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include "nxr/CNxrTelnetCodec.h"
#include "nxr/NxrComPortOption.h"
#include "nxr/NxrLineScript.h"
#include "nxr/NxrRequestBlocks.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/DevSimProcess.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CRecordingSink;
using test::kConnected;
using test::WaitFor;

std::uint16_t FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool Connect(CNxrSession& session, CRecordingSink& sink, NxrHandle& handle,
             const std::string& spec) {
    session.Advise(&sink);
    EXPECT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0) << session.ErrorText(0);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    EXPECT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    return sink.Completion(id) != nullptr && sink.Completion(id)->success &&
           sink.LastStatus() == kConnected;
}

class NxrComPortServer : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        for (const char* tool : {"ser2net", "socat"}) {
            if (!test::HaveProgram(tool)) {
                QUILLPAD_PEER_MISSING(tool
                                      << " is not installed (tools/install-deps.sh installs it)");
            }
        }
        pty = std::make_unique<test::CPtyPeer>(dir.Path());
        ASSERT_TRUE(pty->Ready());
        port = FreePort();
        // ser2net on the far end; -u: no UUCP lock in the machine's /var/lock.
        pty->Start({"ser2net", "-n", "-u", "-Y", "connection: &c0", "-Y",
                    "  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(port), "-Y",
                    "  connector: serialdev," + Far() + ",9600n81,local"});
        ASSERT_TRUE(WaitFor([&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(100);
        })) << "ser2net did not listen";
        QThread::msleep(100);  // ser2net notices the probe's close
    }
    void TearDown() override { session.Close(&handle); }

    std::string Far() const { return dir.Path() + "/far"; }
    std::string Spec(const std::string& line) const {
        return "rfc2217:127.0.0.1:" + std::to_string(port) + "," + line;
    }

    // The far end's settings as ser2net made them.
    termios FarSettings() const {
        termios tio{};
        const int fd = ::open(Far().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            ::tcgetattr(fd, &tio);
            ::close(fd);
        }
        return tio;
    }

    test::CTempDir dir;
    std::unique_ptr<test::CPtyPeer> pty;
    std::uint16_t port = 0;
    CNxrSession session;
    CRecordingSink sink;
    NxrHandle handle = 0;
};

speed_t SpeedOf(int baud) {
    return baud == 921600 ? B921600 : B115200;
}

TEST_P(NxrComPortServer, SetsTheRemotePortAndCarriesEveryByteBothWays) {
    const int baud = GetParam();
    ASSERT_TRUE(Connect(session, sink, handle, Spec(std::to_string(baud) + ",8N1")))
        << session.ErrorText(0);
    ASSERT_TRUE(WaitFor([&] {
        const termios tio = FarSettings();
        return ::cfgetospeed(&tio) == SpeedOf(baud);
    })) << "the port was not set to "
        << baud << " baud";

    const ByteString all = test::AllByteValues(8);
    ASSERT_EQ(session.Send(BytesToWide(all), 1000, &handle), 0) << session.ErrorText(0);
    std::string got;
    ASSERT_TRUE(WaitFor([&] {
        got += pty->Read(20);
        return got.size() >= all.size();
    })) << got.size()
        << " of " << all.size() << " bytes";
    EXPECT_EQ(got, all) << "console to port";

    ASSERT_TRUE(pty->Write(all));
    ASSERT_TRUE(WaitFor([&] { return sink.received.size() >= all.size(); }))
        << sink.received.size() << " of " << all.size() << " bytes";
    EXPECT_EQ(sink.received, all) << "port to console";
}

INSTANTIATE_TEST_SUITE_P(Rates, NxrComPortServer, ::testing::Values(115200, 921600));

// Linux keeps a pseudo-terminal at 8 bits without parity whatever it is
// told, so of the framing only the stop bits can be seen there (the codes
// for size and parity are checked in the core tests).
TEST_F(NxrComPortServer, StopBitsAndFlowControlReachThePort) {
    ASSERT_TRUE(Connect(session, sink, handle, Spec("115200,7E2,flow=rtscts")));
    ASSERT_TRUE(WaitFor([&] {
        const termios tio = FarSettings();
        return (tio.c_cflag & CSTOPB) != 0 && (tio.c_cflag & CRTSCTS) != 0;
    })) << "c_cflag "
        << std::hex << FarSettings().c_cflag;
}

// A server that plays its part of RFC 2217 by hand: what the console sends
// is recorded, with the time each command came.
class CFakePortServer {
  public:
    explicit CFakePortServer(bool agree) : m_agree(agree) {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            m_client = m_server.nextPendingConnection();
            ByteString offer;
            for (const unsigned char option : {telnet::OPT_BINARY, telnet::OPT_SGA}) {
                offer += {char(telnet::IAC), char(telnet::WILL), char(option)};
            }
            m_client->write(offer.data(), qint64(offer.size()));
            QObject::connect(m_client, &QTcpSocket::readyRead, m_client, [this] { Read(); });
        });
    }
    std::uint16_t Port() const { return m_server.serverPort(); }
    // Tells the console the remote port's modem lines (rfc2217::MODEM_*).
    void NotifyModemState(unsigned char state) {
        const ByteString notice = ComPortCommand(
            rfc2217::NOTIFY_MODEMSTATE + rfc2217::kServerOffset, std::string(1, char(state)));
        m_client->write(notice.data(), qint64(notice.size()));
    }
    const ByteString& Wire() const { return m_wire; }
    // When the console's SET-CONTROL value came (ms on a steady clock).
    std::map<int, qint64> controls;

  private:
    void Read() {
        const QByteArray bytes = m_client->readAll();
        m_wire.append(bytes.constData(), std::size_t(bytes.size()));
        ByteString answer;
        for (const unsigned char verb : {telnet::WILL, telnet::DO}) {
            for (int option = 0; option < 256; ++option) {
                const ByteString asked = {char(telnet::IAC), char(verb), char(option)};
                if (bytes.contains(QByteArray(asked.data(), 3)) && !m_answered.count(asked)) {
                    m_answered.insert(asked);
                    const bool yes = option != telnet::OPT_COM_PORT || m_agree;
                    const unsigned char reply = verb == telnet::WILL
                                                    ? (yes ? telnet::DO : telnet::DONT)
                                                    : (yes ? telnet::WILL : telnet::WONT);
                    answer += {char(telnet::IAC), char(reply), char(option)};
                }
            }
        }
        for (const int value :
             {rfc2217::CONTROL_BREAK_ON, rfc2217::CONTROL_BREAK_OFF, rfc2217::CONTROL_DTR_ON,
              rfc2217::CONTROL_DTR_OFF, rfc2217::CONTROL_RTS_ON, rfc2217::CONTROL_RTS_OFF}) {
            const ByteString control = ComPortControl(static_cast<unsigned char>(value));
            if (m_wire.find(control) != ByteString::npos && !controls.count(value)) {
                controls[value] = m_clock.elapsed();
            }
        }
        if (!answer.empty()) {
            m_client->write(answer.data(), qint64(answer.size()));
        }
    }

    bool m_agree;
    QTcpServer m_server;
    QTcpSocket* m_client = nullptr;
    ByteString m_wire;
    std::set<ByteString> m_answered;
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

TEST(NxrComPortLink, ABreakLastsAsLongAsAskedAndARefusingServerFailsTheLink) {
    CFakePortServer server(true);
    CNxrSession session;
    CRecordingSink sink;
    NxrHandle handle = 0;
    ASSERT_TRUE(Connect(session, sink, handle,
                        "rfc2217:127.0.0.1:" + std::to_string(server.Port()) + ",9600,8N1"))
        << session.ErrorText(0);
    // The server reads on this thread: the setup may still be on its way.
    const ByteString baud =
        ComPortCommand(rfc2217::SET_BAUDRATE, std::string("\x00\x00\x25\x80", 4));
    EXPECT_TRUE(WaitFor([&] { return server.Wire().find(baud) != ByteString::npos; }))
        << "9600 baud asked for";
    std::uint32_t id = 0;
    ASSERT_EQ(session.Request(nxr_request::SendBreak, NxrBreakBlock(300).Encode(), 1000, &id,
                              nullptr, 0, &handle),
              0)
        << session.ErrorText(0);
    ASSERT_TRUE(WaitFor([&] { return server.controls.count(rfc2217::CONTROL_BREAK_OFF) > 0; }));
    const qint64 held =
        server.controls[rfc2217::CONTROL_BREAK_OFF] - server.controls[rfc2217::CONTROL_BREAK_ON];
    EXPECT_GE(held, 250) << "the break ends when asked, not at once";
    session.Close(&handle);

    // The plain telnet of the simulator program knows no serial port.
    test::CDevSimProcess device;
    ASSERT_TRUE(device.Start({"--telnet", "0"})) << device.Error();
    CNxrSession refused;
    CRecordingSink refusedSink;
    NxrHandle refusedHandle = 0;
    EXPECT_FALSE(Connect(refused, refusedSink, refusedHandle, "rfc2217:" + device.Where()));
    EXPECT_NE(refused.ErrorText(0).find("does not offer control of a serial port"),
              std::string::npos)
        << refused.ErrorText(0);
    refused.Close(&refusedHandle);
}

// DTR and RTS of the remote port through SET-CONTROL, and its lines from
// the server's modem state notices.
TEST(NxrComPortLink, TheRemotePortsLinesAreSetAndTold) {
    CFakePortServer server(true);
    CNxrSession session;
    CRecordingSink sink;
    NxrHandle handle = 0;
    ASSERT_TRUE(Connect(session, sink, handle,
                        "rfc2217:127.0.0.1:" + std::to_string(server.Port()) + ",9600"))
        << session.ErrorText(0);
    const auto lastLines = [&] { return sink.modemLines.empty() ? -2 : sink.modemLines.back(); };
    ASSERT_TRUE(WaitFor([&] { return lastLines() >= 0; }));
    EXPECT_EQ(lastLines(), static_cast<std::int32_t>(nxr_line::Dtr | nxr_line::Rts))
        << "raised, as a port opens";
    server.NotifyModemState(rfc2217::MODEM_CTS | rfc2217::MODEM_DCD);
    ASSERT_TRUE(WaitFor([&] {
        return lastLines() == static_cast<std::int32_t>(nxr_line::Dtr | nxr_line::Rts |
                                                        nxr_line::Cts | nxr_line::Dcd);
    })) << lastLines();

    std::uint32_t id = 0;
    const ByteString steps = NxrLineScriptBlock({NxrSetLine(ENxrLineStep::Dtr, false),
                                                 NxrSetLine(ENxrLineStep::Rts, false)})
                                 .Encode();
    ASSERT_EQ(session.Request(nxr_request::LineScript, steps, -1, &id, nullptr, 0, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    ASSERT_TRUE(WaitFor([&] {
        return server.controls.count(rfc2217::CONTROL_DTR_OFF) > 0 &&
               server.controls.count(rfc2217::CONTROL_RTS_OFF) > 0;
    }));
    EXPECT_EQ(server.controls.count(rfc2217::CONTROL_DTR_ON), 0u);
    ASSERT_TRUE(WaitFor([&] {
        return lastLines() == static_cast<std::int32_t>(nxr_line::Cts | nxr_line::Dcd);
    })) << lastLines();
    session.Close(&handle);
}

}  // namespace
}  // namespace quillpad
