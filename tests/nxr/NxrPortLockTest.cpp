// Port locks: the PID forms other serial programs write, live holders named
// (a lock file, a flock(), an open file), stale locks ignored.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "nxr/NxrPortLock.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;

// A child that stays alive until the test ends, under a known name, with
// the files `setup` opened.
class CSleeper {
  public:
    explicit CSleeper(const std::function<void()>& setup = {}) {
        m_pid = ::fork();
        if (m_pid == 0) {
            if (setup) {
                setup();
            }
            ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until exec is done the child still carries the test's name.
        for (int i = 0; i < 500 && NxrProcessName(m_pid) != "sleep"; ++i) {
            ::usleep(2000);
        }
    }
    ~CSleeper() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    long Pid() const { return m_pid; }

  private:
    pid_t m_pid = -1;
};

long DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

std::string Hdb(long pid) {
    char text[32];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

std::string Binary(long pid) {
    const auto value = static_cast<std::int32_t>(pid);
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

TEST(NxrPortLock, ReadsThePidFormsSerialProgramsWrite) {
    EXPECT_EQ(NxrReadLockPid(Hdb(4242)), 4242) << "HDB: ten columns";
    EXPECT_EQ(NxrReadLockPid("4242\nminicom\nbench\n"), 4242) << "Qt's form: more lines after";
    EXPECT_EQ(NxrReadLockPid("  4242 minicom root\n"), 4242) << "minicom's with its name";
    EXPECT_EQ(NxrReadLockPid(Binary(4242)), 4242) << "old UUCP: a binary int";
    // Four digits without a newline are text: no PID has four printable bytes.
    EXPECT_EQ(NxrReadLockPid("4321"), 4321);
    EXPECT_FALSE(NxrReadLockPid(""));
    EXPECT_FALSE(NxrReadLockPid("   0\n"));
    EXPECT_FALSE(NxrReadLockPid("locked\n"));
    EXPECT_FALSE(NxrReadLockPid(std::string("\x01\x02\x03", 3))) << "neither text nor an int";
}

TEST(NxrPortLock, NamesTheDeviceBelowDevAndWhereALinkLeads) {
    EXPECT_EQ(NxrLockFileNames("/dev/ttyUSB0").front(), "LCK..ttyUSB0");
    CTempDir dir;
    const std::string link = dir.File("adapter");
    std::filesystem::create_symlink("/dev/null", link);
    const auto names = NxrLockFileNames(link);
    std::string below = link;
    std::replace(below.begin(), below.end(), '/', '_');
    EXPECT_EQ(names.front(), "LCK.." + below) << "'/' is written '_'";
    EXPECT_NE(std::find(names.begin(), names.end(), "LCK..null"), names.end());
}

TEST(NxrPortLock, ALiveHolderIsNamedInEveryForm) {
    CTempDir locks;
    CSleeper holder;
    for (const std::string& bytes : {Hdb(holder.Pid()), Binary(holder.Pid())}) {
        ASSERT_TRUE(test::WriteFileBytes(locks.File("LCK..ttyQP7"), bytes));
        const auto found = NxrFindLockHolder("/dev/ttyQP7", locks.Path());
        ASSERT_TRUE(found);
        EXPECT_EQ(found->pid, holder.Pid());
        EXPECT_EQ(NxrInUseText("/dev/ttyQP7", *found),
                  "/dev/ttyQP7 is in use by sleep (PID " + std::to_string(holder.Pid()) + ")");
    }
    EXPECT_FALSE(NxrFindLockHolder("/dev/ttyQP8", locks.Path())) << "another device's lock";
}

TEST(NxrPortLock, AStaleLockRefusesNothingAndIsRemoved) {
    CTempDir locks;
    const std::string lock = locks.File("LCK..ttyQP7");
    ASSERT_TRUE(test::WriteFileBytes(lock, Hdb(DeadPid())));
    EXPECT_FALSE(NxrFindLockHolder("/dev/ttyQP7", locks.Path()));
    EXPECT_FALSE(std::filesystem::exists(lock));
    ASSERT_TRUE(test::WriteFileBytes(lock, "garbage\n"));
    EXPECT_FALSE(NxrFindLockHolder("/dev/ttyQP7", locks.Path()));
    EXPECT_TRUE(std::filesystem::exists(lock)) << "a lock we cannot read is not ours to remove";
}

TEST(NxrPortLock, AnOpenerWithoutALockIsFoundByItsOpenFile) {
    EXPECT_FALSE(NxrFindOpener("/nonexistent/device"));
    // A file only the child holds (our own open files never count).
    CTempDir dir;
    const std::string file = dir.File("port");
    ASSERT_TRUE(test::WriteFileBytes(file, ""));
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(file.c_str(), O_RDONLY);
        ::dup2(fd, 9);
        ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 500 && NxrProcessName(child) != "sleep"; ++i) {
        ::usleep(2000);
    }
    const auto found = NxrFindOpener(file);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pid, child);
    EXPECT_EQ(found->name, "sleep");
}

TEST(NxrPortLock, AFlockHolderIsNamedFromTheKernelsLocks) {
    CTempDir dir;
    const std::string file = dir.File("port");
    ASSERT_TRUE(test::WriteFileBytes(file, ""));
    EXPECT_FALSE(NxrFindFlockHolder(file));
    {
        CSleeper holder([&] { ::flock(::open(file.c_str(), O_RDONLY), LOCK_EX); });
        const auto found = NxrFindFlockHolder(file);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->pid, holder.Pid());
        EXPECT_EQ(found->name, "sleep");
    }
    EXPECT_FALSE(NxrFindFlockHolder(file)) << "the lock went with its holder";
    const int own = ::open(file.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(own, LOCK_EX), 0);
    const auto ours = NxrFindFlockHolder(file);
    ::close(own);
    ASSERT_TRUE(ours);
    EXPECT_EQ(NxrInUseText("/dev/ttyQP7", *ours),
              "/dev/ttyQP7 is already open in another console of this program");
    EXPECT_EQ(NxrInUseText("/dev/ttyQP7", {}), "/dev/ttyQP7 is in use by another program");
}

TEST(NxrPortLock, APseudoTerminalsMasterSideIsTheDeviceNotAnOpener) {
    // The device side holds the master and the slave, as socat does.
    int names[2];
    ASSERT_EQ(::pipe(names), 0);
    CSleeper device([&] {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        const char* slave = ::ptsname(master);
        ::open(slave, O_RDWR | O_NOCTTY);
        ::write(names[1], slave, std::strlen(slave));
    });
    ::close(names[1]);
    char name[64] = {};
    ASSERT_GT(::read(names[0], name, sizeof name - 1), 0);
    ::close(names[0]);
    EXPECT_FALSE(NxrFindOpener(name)) << "the owner of the master, PID " << device.Pid();

    CSleeper terminal([&] { ::open(name, O_RDWR | O_NOCTTY); });
    const auto found = NxrFindOpener(name);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pid, terminal.Pid());
}

}  // namespace
}  // namespace quillpad
