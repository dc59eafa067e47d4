#pragma once
// A peer program on the far end of a pseudo-terminal pair: socat makes the
// pair, the program (sx, rx, ...) runs with both its standard input and
// output on one end, and the test reads and writes the other end.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/Bytes.h"

// Skips a test whose peer program is missing (`message` says which), or
// fails it in CI.
#define QUILLPAD_PEER_MISSING(message)           \
    do {                                         \
        if (::quillpad::test::PeersRequired()) { \
            FAIL() << message;                   \
        }                                        \
        GTEST_SKIP() << message;                 \
    } while (false)

namespace quillpad::test {

// Whether `program` is found on the PATH.
inline bool HaveProgram(const std::string& program) {
    const std::string command = "command -v " + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// In CI (CI=true) tools/install-deps.sh has installed every peer program, so
// a test that misses one fails there instead of passing unseen as skipped.
inline bool PeersRequired() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

// The first of socat, sx and rx that is not installed; "" when all are.
inline std::string MissingLrzszTool() {
    for (const char* tool : {"socat", "sx", "rx"}) {
        if (!HaveProgram(tool)) {
            return tool;
        }
    }
    return {};
}

// Reproducible random bytes: a transfer must deliver every value.
inline ByteString RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    ByteString out(n, '\0');
    for (auto& c : out) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return out;
}

inline std::uint32_t NowMs() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

class CPtyPeer {
  public:
    // Makes the pair in `dir` (links "near" and "far") and opens the near
    // end, unless the test's own code opens it (a serial session).
    explicit CPtyPeer(const std::string& dir, bool openNear = true)
        : m_dir(dir), m_openNear(openNear) {
        const std::string near = "pty,raw,echo=0,link=" + dir + "/near";
        const std::string far = "pty,raw,echo=0,link=" + dir + "/far";
        m_socat = ::fork();
        if (m_socat == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            ::execlp("socat", "socat", near.c_str(), far.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        struct stat st {};
        for (int i = 0; i < 500; ++i) {
            if (::stat((dir + "/near").c_str(), &st) == 0 &&
                ::stat((dir + "/far").c_str(), &st) == 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (openNear) {
            m_fd = ::open((dir + "/near").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        }
        // Held (never read) so that the far end is not hung up when the peer
        // exits: a hang-up can drop the peer's last bytes, such as the ACK
        // of an EOT, before socat forwards them.
        m_farHold = ::open((dir + "/far").c_str(), O_RDWR | O_NOCTTY);
        if (m_fd >= 0) {
            termios tio{};
            ::tcgetattr(m_fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~CPtyPeer() {
        if (m_peer > 0) {
            ::kill(m_peer, SIGKILL);
            ::waitpid(m_peer, nullptr, 0);
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (m_farHold >= 0) {
            ::close(m_farHold);
        }
        if (m_socat > 0) {
            ::kill(m_socat, SIGTERM);
            ::waitpid(m_socat, nullptr, 0);
        }
    }
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    bool Ready() const { return m_farHold >= 0 && (m_fd >= 0 || !m_openNear); }
    std::string Near() const { return m_dir + "/near"; }
    int Fd() const { return m_fd; }
    pid_t Peer() const { return m_peer; }

    // Starts `args` in `dir` on the far end; its messages go to dir/peer.log.
    void Start(const std::vector<std::string>& args) {
        const std::string far = m_dir + "/far";
        const std::string log = m_dir + "/peer.log";
        m_peer = ::fork();
        if (m_peer == 0) {
            if (::chdir(m_dir.c_str()) != 0) {
                ::_exit(126);
            }
            const int tty = ::open(far.c_str(), O_RDWR | O_NOCTTY);
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(tty, 0);
            ::dup2(tty, 1);
            ::dup2(err, 2);
            std::vector<char*> argv;
            for (const auto& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
    }

    // The link vanishes as an unplugged adapter does: socat dies, so both
    // pseudo-terminals lose their other side, then the peer program goes.
    // The pair's names are removed, so a new pair can take them.
    void Vanish() {
        if (m_socat > 0) {
            ::kill(m_socat, SIGKILL);
            ::waitpid(m_socat, nullptr, 0);
            m_socat = 0;
        }
        if (m_peer > 0) {
            ::kill(m_peer, SIGKILL);
            ::waitpid(m_peer, nullptr, 0);
            m_peer = 0;
        }
        ::unlink((m_dir + "/near").c_str());
        ::unlink((m_dir + "/far").c_str());
    }

    // The peer's exit status once it ended (-1 while it runs).
    int PollExit() {
        if (m_peer <= 0) {
            return m_exit;
        }
        int status = 0;
        if (::waitpid(m_peer, &status, WNOHANG) == m_peer) {
            m_peer = 0;
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return m_exit;
    }

    // Reads what is there, waiting at most `waitMs` for the first byte.
    std::string Read(int waitMs) {
        pollfd p{m_fd, POLLIN, 0};
        std::string out;
        if (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
            char buf[65536];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0) {
                out.assign(buf, static_cast<std::size_t>(n));
            }
        }
        return out;
    }

    bool Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR) {
                    return false;
                }
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    std::string m_dir;
    pid_t m_socat = -1;
    pid_t m_peer = -1;
    int m_exit = -1;
    int m_fd = -1;
    int m_farHold = -1;
    bool m_openNear = true;
};

}  // namespace quillpad::test
