#pragma once
// What the benchmarks that play a device over TCP share: a listener on
// 127.0.0.1 with a free port that the console is pointed at, the wait for
// its connection, a clock in milliseconds, and a data folder of the run's
// own so that no user's settings take part.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace quillpad::bench {

inline double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class CLoopbackListener {
  public:
    CLoopbackListener() {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listen, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~CLoopbackListener() { ::close(m_listen); }
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    int Port() const { return m_port; }
    // The console's connection, with Nagle off; -1 once `stop` holds first.
    int Accept(const std::atomic<bool>& stop) const {
        pollfd accept{m_listen, POLLIN, 0};
        while (!stop && ::poll(&accept, 1, 50) <= 0) {
        }
        if (stop) {
            return -1;
        }
        const int client = ::accept(m_listen, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return client;
    }

  private:
    int m_listen = -1;
    int m_port = 0;
};

// WORKBAY_HOME to a fresh folder of this process's, made at the first call,
// and the cache there too: a spill file another run left in the user's cache
// would otherwise be offered for recovery in a modal box that holds the bench.
inline std::filesystem::path UseOwnHome(const char* name) {
    static const std::filesystem::path home = [name] {
        auto path = std::filesystem::temp_directory_path() /
                    (std::string(name) + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        setenv("WORKBAY_HOME", path.c_str(), 1);
        setenv("XDG_CACHE_HOME", (path / "cache").c_str(), 1);
        return path;
    }();
    return home;
}

}  // namespace quillpad::bench
