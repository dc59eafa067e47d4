// A lost link that comes back: a serial device (a socat pseudo-terminal
// behind a replaced port list) that goes away and returns under another
// name, or under its old one; the wait limit and Stop Waiting; a TCP server
// that comes back, tried again on a short schedule.

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "nxr/NxrCodes.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CPtyPeer;
using test::kConnected;
using test::kLinkLost;
using test::WaitFor;

// The system's ports as a test says they are; read on the I/O thread.
class CListedPorts final : public INxrPortEnumerator {
  public:
    std::vector<SNxrPortInfo> Ports() override {
        std::lock_guard lock(m_mutex);
        ++m_asked;
        return m_ports;
    }
    void Set(std::vector<SNxrPortInfo> ports) {
        std::lock_guard lock(m_mutex);
        m_ports = std::move(ports);
    }
    int Asked() {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

  private:
    std::mutex m_mutex;
    std::vector<SNxrPortInfo> m_ports;
    int m_asked = 0;
};

SNxrPortInfo Adapter(const std::string& path) {
    SNxrPortInfo port;
    port.path = std::filesystem::canonical(path).string();
    port.serialNumber = "QX200-0042";
    port.vendorId = 0x0403;
    port.productId = 0x6001;
    port.location = "1-1.2";
    return port;
}

// The far end of a pair, as the device would use it.
class CFarEnd {
  public:
    explicit CFarEnd(const std::string& dir)
        : m_fd(::open((dir + "/far").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~CFarEnd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool Write(const std::string& bytes) {
        return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What arrives within `ms`.
    std::string Read(int ms) {
        std::string out;
        WaitFor(
            [&] {
                char buf[256];
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n > 0) {
                    out.append(buf, static_cast<std::size_t>(n));
                }
                return false;
            },
            ms);
        return out;
    }

  private:
    int m_fd;
};

class NxrSessionReplug : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveProgram("socat")) {
            QUILLPAD_PEER_MISSING("socat is not installed");
        }
        std::filesystem::create_directory(first());
        std::filesystem::create_directory(second());
        pty = std::make_unique<CPtyPeer>(first(), false);
        ASSERT_TRUE(pty->Ready());
        session.SetPortEnumerator(ports);
        session.SetRetryPolicy({.pollMs = 20, .firstMs = 20, .maxMs = 80});
        session.Advise(&sink);
    }
    void TearDown() override {
        NxrHandle h = handle;
        session.Close(&h);
    }
    std::string first() const { return dir.File("first"); }
    std::string second() const { return dir.File("second"); }

    void Connect(const std::string& spec) {
        ASSERT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0) << session.ErrorText(0);
        std::uint32_t id = 0;
        session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
        ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    }
    // Pulled out: the link is lost and the session says it waits.
    void Unplug() {
        pty->Vanish();
        ASSERT_TRUE(WaitFor([&] { return sink.Waited(ENxrLinkWait::Waiting); }))
            << session.ErrorText(0);
        EXPECT_EQ(sink.LastStatus(), kLinkLost);
    }

    test::CTempDir dir;
    std::unique_ptr<CPtyPeer> pty;
    std::shared_ptr<CListedPorts> ports = std::make_shared<CListedPorts>();
    CNxrSession session;
    test::CRecordingSink sink;
    NxrHandle handle = 0;
};

TEST_F(NxrSessionReplug, ADeviceBackUnderAnotherNameIsReopenedWithItsSettings) {
    ports->Set({Adapter(pty->Near())});
    Connect("serial:" + pty->Near() + ",9600,8N2");
    Unplug();
    ASSERT_EQ(sink.waits.size(), 1u);
    EXPECT_EQ(sink.waits[0].second, pty->Near() + " (serial number QX200-0042)");
    ports->Set({});

    // Not back yet: nothing reopened, however often it looks.
    const int asked = ports->Asked();
    WaitFor([] { return false; }, 150);
    EXPECT_GT(ports->Asked(), asked + 2) << "the I/O thread keeps looking";
    EXPECT_EQ(sink.LastStatus(), kLinkLost);

    // Back, another pair: another /dev/pts name, the same serial number.
    CPtyPeer again(second(), false);
    ASSERT_TRUE(again.Ready());
    SNxrPortInfo twin = Adapter(again.Near());
    twin.serialNumber = "OTHER";
    ports->Set({twin});
    WaitFor([] { return false; }, 100);
    EXPECT_EQ(sink.LastStatus(), kLinkLost) << "another adapter of the same kind is not it";
    const std::string now = std::filesystem::canonical(again.Near()).string();
    ports->Set({twin, Adapter(again.Near())});
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kConnected; })) << session.ErrorText(0);

    const std::string spec = "serial:" + now + ",9600,8N2";
    EXPECT_EQ(sink.newSpecs, std::vector<std::string>{spec}) << "event 8 once, the new name";
    EXPECT_EQ(session.Spec().m_device, now);
    EXPECT_EQ(session.Spec().m_baud, 9600);
    EXPECT_EQ(session.Spec().m_stopBits, ENxrStopBits::Two);
    ASSERT_EQ(sink.waits.size(), 2u);
    EXPECT_EQ(sink.waits[1], std::make_pair(static_cast<std::int32_t>(ENxrLinkWait::Back), now));
    EXPECT_TRUE(WaitFor([&] { return sink.linkUps == 2; })) << "the console is asked for again";

    // Data flows both ways on the new link.
    CFarEnd far(second());
    ASSERT_TRUE(far.Write("hello from the device"));
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("hello from the device") != ByteString::npos; }));
    ASSERT_EQ(session.Send(BytesToWide("ver\r"), 1000, &handle), 0) << session.ErrorText(0);
    EXPECT_EQ(far.Read(300), "ver\r");
}

TEST_F(NxrSessionReplug, ADeviceKnownByItsPathAloneIsBackWhenThePathIs) {
    Connect("serial:" + pty->Near());  // no list names it
    Unplug();
    EXPECT_EQ(sink.waits[0].second, pty->Near());
    pty = std::make_unique<CPtyPeer>(first(), false);  // the same link name again
    ASSERT_TRUE(pty->Ready());
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kConnected; })) << session.ErrorText(0);
    EXPECT_TRUE(sink.newSpecs.empty()) << "the same spec: nothing to tell";
    EXPECT_TRUE(sink.Waited(ENxrLinkWait::Back));
}

TEST_F(NxrSessionReplug, ReconnectOffWaitsForNothing) {
    Connect("serial:" + pty->Near() + ",reconnect=off");
    pty->Vanish();
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kLinkLost; }));
    pty = std::make_unique<CPtyPeer>(first(), false);
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(sink.LastStatus(), kLinkLost);
    EXPECT_TRUE(sink.waits.empty());
}

TEST_F(NxrSessionReplug, TheWaitEndsAtItsLimit) {
    Connect("serial:" + pty->Near());
    ASSERT_EQ(session.SetOption(nxr_option::WaitLimitMs, 250, &handle), 0);
    const std::uint32_t start = test::NowMs();
    Unplug();
    ASSERT_TRUE(WaitFor([&] { return sink.Waited(ENxrLinkWait::TimedOut); }, 5000));
    EXPECT_GE(test::NowMs() - start, 240u);
    EXPECT_EQ(session.ErrorText(0), "stopped waiting for " + pty->Near() + " after 250 ms");
    // Too late: the device that comes back now is not opened.
    pty = std::make_unique<CPtyPeer>(first(), false);
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(sink.LastStatus(), kLinkLost);
}

TEST_F(NxrSessionReplug, StopWaitingEndsTheWaitAndCompletes) {
    Connect("serial:" + pty->Near());
    Unplug();
    std::uint32_t id = 0;
    ASSERT_EQ(session.Request(nxr_request::StopWaiting, NxrEmptyParamBlock(), 1000, &id, nullptr, 0,
                              &handle),
              0);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_TRUE(sink.Completion(id)->success);
    ASSERT_EQ(sink.waits.size(), 2u);
    EXPECT_EQ(sink.waits[1].first, static_cast<std::int32_t>(ENxrLinkWait::Stopped));
    pty = std::make_unique<CPtyPeer>(first(), false);
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(sink.LastStatus(), kLinkLost);

    // Reconnect still brings it back by hand.
    session.Request(nxr_request::Reconnect, NxrEmptyParamBlock(), 1000, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kConnected; })) << session.ErrorText(0);
}

// A server that drops the link and listens again a while later: with
// reconnect=on the link is tried on the schedule until it is back.
class NxrSessionRetry : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
        session.SetRetryPolicy({.pollMs = 20, .firstMs = 20, .maxMs = 60});
        session.Advise(&sink);
    }
    void TearDown() override {
        NxrHandle h = handle;
        session.Close(&h);
    }
    void Connect(const std::string& options) {
        const std::string spec = "tcp:127.0.0.1:" + std::to_string(port) + options;
        ASSERT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0) << session.ErrorText(0);
        std::uint32_t id = 0;
        session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return server.hasPendingConnections(); }));
        peer.reset(server.nextPendingConnection());
        ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kConnected; }));
    }
    // The server goes: the connection is closed and nobody listens.
    void ServerGoes() {
        server.close();
        peer->close();
        ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kLinkLost; }));
    }

    QTcpServer server;
    std::unique_ptr<QTcpSocket> peer;
    quint16 port = 0;
    CNxrSession session;
    test::CRecordingSink sink;
    NxrHandle handle = 0;
};

TEST_F(NxrSessionRetry, ADroppedLinkIsTriedAgainUntilTheServerIsBack) {
    Connect(",reconnect=on");
    ServerGoes();
    ASSERT_TRUE(WaitFor([&] { return sink.Waited(ENxrLinkWait::Waiting); }));
    EXPECT_EQ(sink.waits[0].second, "127.0.0.1:" + std::to_string(port));
    WaitFor([] { return false; }, 250);  // refused several times meanwhile
    EXPECT_EQ(sink.LastStatus(), kLinkLost) << "tries are quiet: no status for each";

    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(WaitFor([&] { return server.hasPendingConnections(); }, 3000));
    peer.reset(server.nextPendingConnection());
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kConnected; }));
    EXPECT_TRUE(sink.Waited(ENxrLinkWait::Back));
    EXPECT_TRUE(sink.newSpecs.empty()) << "a network link keeps its spec";
    ASSERT_EQ(session.Send(BytesToWide("ping"), 1000, &handle), 0);
    ASSERT_TRUE(WaitFor([&] {
        peer->waitForReadyRead(10);
        return peer->bytesAvailable() >= 4;
    }));
    EXPECT_EQ(peer->readAll(), QByteArray("ping"));
}

TEST_F(NxrSessionRetry, WithoutReconnectOnADroppedLinkStaysDown) {
    Connect("");
    ServerGoes();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    WaitFor([] { return false; }, 300);
    EXPECT_FALSE(server.hasPendingConnections());
    EXPECT_TRUE(sink.waits.empty());
}

}  // namespace
}  // namespace quillpad
