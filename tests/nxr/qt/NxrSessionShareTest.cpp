// The link shared over TCP, with the simulated controller as the device and
// plain sockets as the clients.

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "data/DataStore.h"
#include "nxr/CNxrTelnetCodec.h"
#include "nxr/NxrRequestBlocks.h"
#include "platform/Clock.h"
#include "platform/MessageChannel.h"
#include "tests/nxr/qt/SimConsoleFixture.h"

namespace quillpad {
namespace {

using test::WaitFor;

struct SClient {
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    ByteString got;
};

// A client that reads on a thread of its own with a blocking socket, so that
// it keeps up however busy this thread (the console's) is.
class CThreadReader {
  public:
    explicit CThreadReader(std::uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected =
            m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        if (m_connected) {
            m_thread = std::thread([this] { Run(); });
        }
    }
    ~CThreadReader() {
        if (m_fd >= 0) {
            ::shutdown(m_fd, SHUT_RDWR);  // ends a blocked recv
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CThreadReader(const CThreadReader&) = delete;
    CThreadReader& operator=(const CThreadReader&) = delete;

    bool Connected() const { return m_connected; }
    std::size_t Size() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_got.size();
    }
    ByteString Got() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_got;
    }

  private:
    void Run() {
        std::vector<char> buffer(256 << 10);
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return;
            }
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_got.append(buffer.data(), static_cast<std::size_t>(n));
        }
    }

    int m_fd;
    bool m_connected = false;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    ByteString m_got;
};

class NxrSessionShare : public test::CSimConsoleFixture {
  protected:
    std::int32_t Share(std::int32_t port, bool telnet = false) {
        CNxrParamBlock block;
        block.AddInteger(port).AddInteger(telnet ? 1 : 0).AddInteger(0);
        return session.RequestWait(nxr_request::ShareStart, block.Encode(), nullptr, 5000, 0,
                                   &handle);
    }
    // Waits until the console was told of `attached` clients.
    void WaitForClients(std::int32_t attached) {
        EXPECT_TRUE(WaitFor(
            [&] { return !sink.shareClients.empty() && sink.shareClients.back() == attached; }));
    }
    // A client attached and told; `reads` false: it never reads.
    SClient& Attach(bool reads = true) {
        clients.push_back(std::make_unique<SClient>());
        SClient& client = *clients.back();
        if (reads) {
            QObject::connect(client.socket.get(), &QTcpSocket::readyRead, [&client] {
                const QByteArray chunk = client.socket->readAll();
                client.got.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
            });
        } else {
            client.socket->setReadBufferSize(1);
        }
        EXPECT_TRUE(WaitFor([&] { return sink.sharePort > 0; }));
        client.socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(sink.sharePort));
        WaitForClients(static_cast<std::int32_t>(clients.size() + readers.size()));
        return client;
    }
    CThreadReader& AttachReader() {
        EXPECT_TRUE(WaitFor([&] { return sink.sharePort > 0; }));
        readers.push_back(
            std::make_unique<CThreadReader>(static_cast<std::uint16_t>(sink.sharePort)));
        EXPECT_TRUE(readers.back()->Connected());
        WaitForClients(static_cast<std::int32_t>(clients.size() + readers.size()));
        return *readers.back();
    }
    ByteString SharedSent() { return sink.transmittedBy[kNxrShareOwnerId]; }
    std::size_t Count(const std::string& text) const {
        std::size_t n = 0;
        for (auto at = sink.received.find(text); at != ByteString::npos;
             at = sink.received.find(text, at + 1)) {
            ++n;
        }
        return n;
    }
    void Send(const std::string& text) {
        ASSERT_EQ(session.Send(BytesToWide(text), 1000, &handle), 0);
    }

    std::vector<std::unique_ptr<SClient>> clients;
    std::vector<std::unique_ptr<CThreadReader>> readers;
};

TEST_F(NxrSessionShare, TwoClientsGetTheDevicesBytesInOrderAndTheirCountIsTold) {
    ASSERT_EQ(Share(0), 0) << session.ErrorText(0);
    ASSERT_TRUE(WaitFor([&] { return sink.sharePort > 0; }));
    SClient& first = Attach();
    SClient& second = Attach();
    EXPECT_EQ(sink.shareClients, (std::vector<std::int32_t>{0, 1, 2}));

    sink.received.clear();
    Send("burst 300000\r");  // every byte value, over and over
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("burst done") != ByteString::npos; }));
    ASSERT_TRUE(WaitFor([&] {
        return first.got.size() >= sink.received.size() &&
               second.got.size() >= sink.received.size();
    }));
    EXPECT_EQ(first.got, sink.received);
    EXPECT_EQ(second.got, sink.received);

    first.socket->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return sink.shareClients.back() == 1; }));
    // Stopping closes the clients that are left.
    ASSERT_EQ(session.RequestWait(nxr_request::ShareStop, NxrEmptyParamBlock(), nullptr, 5000, 0,
                                  &handle),
              0);
    ASSERT_TRUE(WaitFor([&] { return sink.sharePort == 0; }));
    ASSERT_TRUE(
        WaitFor([&] { return second.socket->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(sink.shareClients.back(), 0);
    EXPECT_TRUE(sink.shareNotes.empty());
}

TEST_F(NxrSessionShare, AClientsBytesReachTheDeviceAndAreStoredAsAnotherOriginators) {
    ASSERT_EQ(Share(0), 0) << session.ErrorText(0);
    SClient& client = Attach();
    SClient& watcher = Attach();
    const char command[] = "ver\r";
    client.socket->write(command);
    // The device answers; both clients and the console see the answer.
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("firmware") != ByteString::npos; }));
    ASSERT_TRUE(WaitFor([&] { return watcher.got.find("firmware") != ByteString::npos; }));
    ASSERT_TRUE(WaitFor([&] { return client.got.find("firmware") != ByteString::npos; }));
    EXPECT_EQ(sink.transmittedBy[kNxrShareOwnerId], command);
    EXPECT_EQ(sink.transmittedBy.count(0), 0u);

    // The store keeps them as outgoing records of source "other".
    CManualClock clock{1000, 1'700'000'000};
    CQueuedChannel channel;
    CDataStore store{channel, clock};
    store.AddOutgoingBytes(kNxrShareOwnerId, sink.transmittedBy[kNxrShareOwnerId]);
    ASSERT_TRUE(store.Record(0).has_value());
    EXPECT_EQ(store.Record(0)->direction, kDirectionOutgoing);
    EXPECT_EQ(store.Record(0)->source, kSourceOther);
}

TEST_F(NxrSessionShare, ASlowClientIsDroppedAndNeitherTheOtherNorTheConsoleMissesAByte) {
    ASSERT_EQ(Share(0), 0) << session.ErrorText(0);
    CThreadReader& fast = AttachReader();
    Attach(false);
    sink.received.clear();
    // More than the kernel's buffers and the client's bound together hold.
    constexpr std::size_t kFlood = 32u << 20;
    Send("flood 40000000 " + std::to_string(kFlood) + "\r");
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("flood done") != ByteString::npos; }, 60000));
    ASSERT_TRUE(WaitFor([&] { return fast.Size() >= sink.received.size(); }));
    EXPECT_TRUE(fast.Got() == sink.received);
    const auto start = sink.received.find("00000000 ");
    ASSERT_NE(start, ByteString::npos);
    EXPECT_TRUE(sink.received.compare(start, kFlood, CDevSimEngine::FloodBytes(0, kFlood)) == 0);

    ASSERT_EQ(sink.shareNotes.size(), 1u)
        << (sink.shareNotes.empty() ? "" : sink.shareNotes.back());
    EXPECT_NE(sink.shareNotes[0].find("read too slowly and was dropped"), std::string::npos)
        << sink.shareNotes[0];
    EXPECT_EQ(sink.shareClients.back(), 1);
}

TEST_F(NxrSessionShare, TelnetClientsGetNegotiationAndEscapedData) {
    ASSERT_EQ(Share(0, true), 0) << session.ErrorText(0);
    SClient& client = Attach();
    ASSERT_TRUE(WaitFor([&] { return !client.got.empty(); }));
    EXPECT_EQ(static_cast<unsigned char>(client.got[0]), telnet::IAC);  // the server's offers
    // An IAC the client doubles reaches the device once.
    client.got.clear();
    client.socket->write("\xff\xff\r", 3);
    ASSERT_TRUE(WaitFor([&] { return !sink.transmittedBy[kNxrShareOwnerId].empty(); }));
    ASSERT_TRUE(WaitFor([&] { return sink.transmittedBy[kNxrShareOwnerId].size() >= 2; }));
    EXPECT_EQ(sink.transmittedBy[kNxrShareOwnerId].substr(0, 2), ByteString("\xff\r", 2));
}

// A telnet client's break breaks the device's line between the bytes it came
// between; what follows it waits until the line is back.
TEST_F(NxrSessionShare, ATelnetClientsBreakFallsBetweenItsBytesAndWhatFollowsWaits) {
    ASSERT_EQ(Share(0, true), 0) << session.ErrorText(0);
    SClient& client = Attach();
    sink.received.clear();
    QElapsedTimer clock;
    clock.start();
    // The break clears the typed "xyz", so "ver" runs alone. An interrupt
    // (IAC IP) is no break.
    client.socket->write("x\xff\xf4yz\xff\xf3ver\r", 11);
    ASSERT_TRUE(WaitFor([&] { return SharedSent().size() >= 7; }));
    EXPECT_GE(clock.elapsed(), 450) << "the bytes after the break waited for the line";
    EXPECT_EQ(SharedSent(), "xyzver\r");
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("firmware") != ByteString::npos; }));
    EXPECT_EQ(Count("*** BREAK received ***"), 1u) << sink.received;
    EXPECT_LT(sink.received.find("*** BREAK received ***"), sink.received.find("firmware"));
    EXPECT_EQ(sink.received.find("unknown command"), ByteString::npos) << sink.received;
    EXPECT_TRUE(sink.shareNotes.empty());
}

TEST_F(NxrSessionShare, WhileTheConsolesBreakHoldsTheLineWhatAClientSendsWaits) {
    ASSERT_EQ(Share(0), 0) << session.ErrorText(0);
    SClient& client = Attach();
    sink.received.clear();
    QElapsedTimer clock;
    clock.start();
    std::uint32_t id = 0;
    ASSERT_EQ(session.Request(nxr_request::SendBreak, NxrBreakBlock(kNxrDefaultBreakMs).Encode(),
                              2000, &id, nullptr, 0, &handle),
              0);
    ASSERT_TRUE(
        WaitFor([&] { return sink.received.find("*** BREAK received ***") != ByteString::npos; }));
    client.socket->write("ver\r");
    ASSERT_TRUE(WaitFor([&] { return SharedSent() == "ver\r"; }));
    EXPECT_GE(clock.elapsed(), 450);
    ASSERT_TRUE(WaitFor([&] { return sink.received.find("firmware") != ByteString::npos; }));
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
}

TEST_F(NxrSessionShare, APortInUseOrOutOfRangeFailsClearlyAndDisconnectStopsSharing) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    EXPECT_EQ(Share(taken.serverPort()), ToStatus(ENxrResult::Failed));
    EXPECT_NE(session.ErrorText(0).find("the port is in use"), std::string::npos)
        << session.ErrorText(0);
    EXPECT_EQ(Share(70000), ToStatus(ENxrResult::Failed));
    EXPECT_NE(session.ErrorText(0).find("0 to 65535"), std::string::npos) << session.ErrorText(0);
    EXPECT_EQ(sink.sharePort, -1);

    ASSERT_EQ(Share(0), 0) << session.ErrorText(0);
    SClient& client = Attach();
    ASSERT_EQ(session.RequestWait(nxr_request::Disconnect, NxrEmptyParamBlock(), nullptr, 5000, 0,
                                  &handle),
              0);
    ASSERT_TRUE(WaitFor([&] { return sink.sharePort == 0; }));
    ASSERT_TRUE(
        WaitFor([&] { return client.socket->state() == QAbstractSocket::UnconnectedState; }));
}

// A plain TCP device: its link has no line to break.
TEST(NxrSessionShareLink, ABreakTheLinkCannotSendIsNotedAndTheBytesAroundItGoOn) {
    QTcpServer device;
    ASSERT_TRUE(device.listen(QHostAddress::LocalHost, 0));
    CNxrSession session;
    test::CRecordingSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    ASSERT_EQ(session.Open(BytesToWide("tcp:127.0.0.1:" + std::to_string(device.serverPort())), {},
                           &handle),
              0);
    ASSERT_EQ(session.RequestWait(0x5000, NxrEmptyParamBlock(), nullptr, 5000, 0, &handle), 0)
        << session.ErrorText(0);
    ASSERT_TRUE(device.waitForNewConnection(5000));
    std::unique_ptr<QTcpSocket> wire(device.nextPendingConnection());
    ASSERT_EQ(session.RequestWait(nxr_request::ShareStart, NxrShareBlock(0, true, false).Encode(),
                                  nullptr, 5000, 0, &handle),
              0)
        << session.ErrorText(0);
    ASSERT_TRUE(WaitFor([&] { return sink.sharePort > 0; }));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(sink.sharePort));
    ASSERT_TRUE(
        WaitFor([&] { return !sink.shareClients.empty() && sink.shareClients.back() == 1; }));

    client.write(
        "a\xff\xf3"
        "b");
    ByteString got;
    ASSERT_TRUE(WaitFor([&] {
        const QByteArray chunk = wire->readAll();
        got.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        return got.size() >= 2;
    }));
    EXPECT_EQ(got, "ab");
    ASSERT_TRUE(WaitFor([&] { return !sink.shareNotes.empty(); }));
    EXPECT_EQ(sink.shareNotes[0], "a break from the shared link's client 127.0.0.1:" +
                                      std::to_string(client.localPort()) +
                                      " did not reach the device: this kind of link cannot send a "
                                      "break");
    EXPECT_EQ(sink.shareClients.back(), 1) << "the client stays";
    session.Close(&handle);
}

}  // namespace
}  // namespace quillpad
