#pragma once
// What the XModem benchmarks share: 1 MB of reproducible random bytes, a
// scratch folder for the pseudo-terminal pair, and lrzsz's `sx -k` on the
// near end, the baseline every sender is measured against.

#include <benchmark/benchmark.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Bytes.h"
#include "tests/support/PtyPeer.h"

namespace quillpad::bench {

inline constexpr std::size_t kXModemPayload = 1 << 20;

// A folder under /tmp, removed with everything in it.
struct STempDir {
    STempDir() {
        char pattern[] = "/tmp/quillpad-xmodem-bench-XXXXXX";
        path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~STempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

// Skips the benchmark, saying why, when socat or lrzsz is missing.
inline bool HaveLrzsz(benchmark::State& state) {
    const std::string missing = test::MissingLrzszTool();
    if (!missing.empty()) {
        state.SkipWithError((missing + " is not installed").c_str());
        return false;
    }
    return true;
}

// Whether rx wrote the whole payload as "got.bin" into `dir`.
inline bool Received(const std::string& dir) {
    std::error_code ec;
    return std::filesystem::file_size(dir + "/got.bin", ec) >= kXModemPayload;
}

// `sx -k` of `data` on the near end of `dir`'s pair, already waiting when the
// caller starts rx: started after rx, sx may miss its first 'C' and wait
// seconds for the next. Ends with the object.
class CSxOnNear {
  public:
    CSxOnNear(const std::string& dir, const ByteString& data) {
        { std::ofstream(dir + "/out.bin", std::ios::binary) << data; }
        const std::string command = "exec sx -q -b -k '" + dir + "/out.bin' <'" + dir +
                                    "/near' >'" + dir + "/near' 2>/dev/null";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::usleep(300000);
    }
    ~CSxOnNear() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CSxOnNear(const CSxOnNear&) = delete;
    CSxOnNear& operator=(const CSxOnNear&) = delete;

  private:
    pid_t m_pid = -1;
};

}  // namespace quillpad::bench
