// Ports that are not free, through the session: a port another program holds
// is refused with its name, one the user may not open says how to fix it, and
// a port we hold is locked and exclusive until it closes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrPortLock.h"
#include "nxr/qt/CNxrSerialTransport.h"
#include "nxr/qt/CNxrSession.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CRecordingSink;
using test::CTempDir;
using test::WaitFor;

constexpr std::uint16_t kNotConnected = 1;
constexpr std::uint16_t kConnected = 3;

class SerialPortLock : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveProgram("socat")) {
            GTEST_SKIP() << "socat is not installed";
        }
        pty = std::make_unique<test::CPtyPeer>(dir.Path(), false);
        ASSERT_TRUE(pty->Ready());
        transports.Register(ENxrConnectionKind::Serial, [this](const CNxrComSpec& spec) {
            return std::make_unique<CNxrSerialTransport>(spec, locks.Path());
        });
        session.Advise(&sink);
    }
    void TearDown() override {
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
    }

    // The connect's completion: success, or the text it failed with.
    std::string Connect() {
        const std::string spec = "serial:" + pty->Near() + ",115200,8N1";
        if (session.Open(BytesToWide(spec), BytesToWide("test"), &handle) != 0) {
            return "open: " + session.ErrorText(0);
        }
        std::uint32_t id = 0;
        session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        if (!WaitFor([&] { return sink.Completion(id) != nullptr; })) {
            return "no completion";
        }
        return sink.Completion(id)->success ? "" : session.ErrorText(id);
    }
    std::string RealDevice() const { return std::filesystem::canonical(pty->Near()).string(); }
    // Our own lock, as QSerialPort keeps it in the system's lock folder.
    std::string OwnLock() const {
        return std::string(kNxrLockDirectory) + "/" + NxrLockFileNames(pty->Near()).front();
    }

    void StartHolder() {
        holder = ::fork();
        if (holder == 0) {
            ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_TRUE(WaitFor([&] { return NxrProcessName(holder) == "sleep"; }, 2000));
    }

    CTempDir dir;
    CTempDir locks;
    std::unique_ptr<test::CPtyPeer> pty;
    CNxrTransportRegistry transports;
    CNxrSession session{transports};
    CRecordingSink sink;
    NxrHandle handle = 0;
    pid_t holder = -1;
};

TEST_F(SerialPortLock, APortAnotherProgramLockedIsRefusedWithItsName) {
    StartHolder();
    // minicom's form, under the name of the device the link leads to
    char text[64];
    std::snprintf(text, sizeof text, "%10d minicom root\n", static_cast<int>(holder));
    const std::string lockName = NxrLockFileNames(RealDevice()).back();
    ASSERT_TRUE(test::WriteFileBytes(locks.File(lockName), text));

    EXPECT_EQ(Connect(), pty->Near() + " is in use by sleep (PID " + std::to_string(holder) + ")");
    EXPECT_EQ(session.ConnectionStatus(), kNotConnected);
    EXPECT_EQ(sink.LastStatus(), kNotConnected);
    EXPECT_FALSE(std::filesystem::exists(OwnLock())) << "nothing of the port was taken";
    EXPECT_TRUE(std::filesystem::exists(locks.File(lockName))) << "the holder's lock stays";

    // Once the holder is gone its lock is stale and the port opens.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    holder = -1;
    EXPECT_EQ(Connect(), "");
    EXPECT_EQ(sink.LastStatus(), kConnected);
}

TEST_F(SerialPortLock, AnOpenPortIsLockedAndExclusiveUntilItCloses) {
    ASSERT_EQ(Connect(), "");
    if (::access(kNxrLockDirectory, W_OK) != 0) {
        GTEST_SKIP() << kNxrLockDirectory << " is not writable here: no lock file is taken";
    }
    const std::string lock = test::ReadFileBytes(OwnLock());
    EXPECT_EQ(NxrReadLockPid(lock), static_cast<long>(::getpid())) << "lock: " << lock;

    const int other = ::open(RealDevice().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0) << "root opens an exclusive port all the same";
    int exclusive = 0;
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    ::close(other);

    ASSERT_EQ(session.Close(&handle), 0);
    EXPECT_FALSE(std::filesystem::exists(OwnLock())) << "the lock goes with the port";
}

// What a transport's open reports, on the calling thread.
struct SOpenResult : INxrTransportEvents {
    void TransportUp() override { text = "up"; }
    void TransportReceived(std::string_view) override {}
    void TransportDown(const std::string& reason) override { text = reason; }
    std::size_t ReceiveRoom() override { return 1u << 20; }
    std::string text;
};

TEST_F(SerialPortLock, APortTheUserMayNotOpenSaysHowToFixIt) {
    ASSERT_EQ(::chmod(RealDevice().c_str(), 0), 0);
    if (::geteuid() != 0) {
        const std::string why = Connect();
        EXPECT_EQ(why, NxrPermissionText(pty->Near()));
        EXPECT_EQ(session.ConnectionStatus(), kNotConnected);
        return;
    }
    // Root opens any device: the open is tried by a child that gave root up.
    const std::string device = RealDevice();  // our temporary folder is closed to it
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        SOpenResult result;
        CNxrComSpec spec;
        spec.Parse("serial:" + device);
        CNxrSerialTransport forbidden(spec, locks.Path());
        forbidden.Open(result);
        const ssize_t n = ::write(pipeFds[1], result.text.data(), result.text.size());
        ::_exit(n >= 0 ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string why;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) {
        why.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child could not give root up (status " << status << ")";
    struct stat st {};
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    if (st.st_gid == 0) {
        // No one is let in through root's group: the usual serial group is named.
        EXPECT_EQ(why, device + ": Permission denied: add yourself to the dialout group");
    } else {
        EXPECT_EQ(why.rfind(device + ": Permission denied: add yourself to the ", 0), 0u) << why;
    }
}

}  // namespace
}  // namespace quillpad
