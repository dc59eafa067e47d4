// Ports that are not free, through the session: a port another program holds
// (its lock file, its flock(), its open file) is refused with its name, one
// the user may not open says how to fix it, and a port we hold is locked,
// flock()ed and exclusive until it closes, so that the serial programs of
// Debian's packages refuse it in turn.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

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
            QUILLPAD_PEER_MISSING("socat is not installed");
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
        for (const int fd : inputs) {
            ::close(fd);
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

    // Starts `args` as another terminal program would run: its input a pipe
    // kept open here (they end at their input's end, as does flock's command
    // once the test closes it), its output in a log.
    pid_t Spawn(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        // minicom draws its screen for a terminal it knows, and reads its
        // settings from HOME.
        const std::string term = "TERM=vt100";
        const std::string home = "HOME=" + dir.Path();
        const std::string path =
            std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
        std::vector<char*> envp{const_cast<char*>(term.c_str()), const_cast<char*>(home.c_str()),
                                const_cast<char*>(path.c_str()), nullptr};
        const std::string log = dir.File(args.front() + ".log");
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) {
            return -1;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            ::dup2(input[0], 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execvpe(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(input[0]);
        inputs.push_back(input[1]);
        return pid;
    }
    // How `args` ended: its exit status, 128 + the signal, or -1 when it was
    // still running after `ms` (it is killed then).
    int RunToEnd(const std::vector<std::string>& args, int ms = 5000) {
        const pid_t pid = Spawn(args);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Log(const std::string& program) const {
        return test::ReadFileBytes(dir.File(program + ".log"));
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
    std::vector<int> inputs;
};

// What a transport's open reports, on the calling thread.
struct SOpenResult : INxrTransportEvents {
    void TransportUp() override { text = "up"; }
    void TransportReceived(std::string_view) override {}
    void TransportDown(const std::string& reason) override { text = reason; }
    std::size_t ReceiveRoom() override { return 1u << 20; }
    std::string text;
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
    CNxrComSpec spec;
    ASSERT_TRUE(spec.Parse("serial:" + pty->Near()));
    SOpenResult second;
    CNxrSerialTransport(spec, locks.Path()).Open(second);
    EXPECT_EQ(second.text, pty->Near() + " is already open in another console of this program");
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

// A serial program of Debian's packages: how it holds a port, whether by a
// flock() (else by its open file alone), and how it tries one, which a port
// we hold refuses (none: minicom neither locks nor is kept out by TIOCEXCL
// when run as root).
struct SOtherProgram {
    const char* name;
    std::vector<std::string> hold;  // "DEV" stands for the device
    bool flocks;
    std::vector<std::string> tryOpen;
};

std::ostream& operator<<(std::ostream& out, const SOtherProgram& p) {
    return out << p.name;
}

std::vector<std::string> WithDevice(std::vector<std::string> args, const std::string& device) {
    for (auto& a : args) {
        a = a == "DEV" ? device : a;
    }
    return args;
}

class SerialPortOtherProgram : public SerialPortLock,
                               public ::testing::WithParamInterface<SOtherProgram> {};

TEST_P(SerialPortOtherProgram, RefusesAPortItHoldsAndIsRefusedOneWeHold) {
    const SOtherProgram& other = GetParam();
    if (!test::HaveProgram(other.name)) {
        QUILLPAD_PEER_MISSING(other.name
                              << " is not installed (tools/install-deps.sh installs it)");
    }
    const std::string device = pty->Near();
    holder = Spawn(WithDevice(other.hold, device));
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto found = other.flocks ? NxrFindFlockHolder(device) : NxrFindOpener(device);
            return found && found->pid == holder;
        },
        5000))
        << other.name << " did not take the port: " << Log(other.name);
    EXPECT_EQ(Connect(),
              device + " is in use by " + other.name + " (PID " + std::to_string(holder) + ")");
    EXPECT_EQ(sink.LastStatus(), kNotConnected);
    if (other.flocks) {
        const auto still = NxrFindFlockHolder(device);
        EXPECT_TRUE(still && still->pid == holder) << "its lock is left as it was";
    }

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    holder = -1;
    ASSERT_EQ(Connect(), "");
    if (!other.tryOpen.empty()) {
        EXPECT_GT(RunToEnd(WithDevice(other.tryOpen, device)), 0)
            << other.name << " was not refused the port we hold: " << Log(other.name);
    }
    ASSERT_EQ(session.Close(&handle), 0);
    EXPECT_EQ(RunToEnd({"flock", "-n", device, "true"}), 0) << "the flock goes with the port";
}

// tio -n: no waiting for a device it cannot open; flock -o: its command
// (ended with its input) does not keep the lock.
INSTANTIATE_TEST_SUITE_P(
    Debian, SerialPortOtherProgram,
    ::testing::Values(
        SOtherProgram{"tio", {"tio", "-n", "DEV"}, true, {"tio", "-n", "DEV"}},
        SOtherProgram{"picocom", {"picocom", "-q", "DEV"}, true, {"picocom", "-q", "DEV"}},
        SOtherProgram{"minicom", {"minicom", "-o", "-D", "DEV"}, false, {}},
        SOtherProgram{
            "flock", {"flock", "-o", "DEV", "cat"}, true, {"flock", "-n", "DEV", "true"}}),
    [](const auto& info) { return std::string(info.param.name); });

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
