#pragma once
// Runs a piece of a test in a forked child process: a second console process
// writing at the same time, or one that dies in the middle of a write.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>

namespace quillpad::test {

// Starts `body` in a child; its return value becomes the exit code.
inline pid_t StartChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    return pid;
}

// The raw wait status of a child started by StartChild.
inline int WaitChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

inline int RunChild(const std::function<int()>& body) {
    return WaitChild(StartChild(body));
}

// In a child: every file write past `bytes` fails. With `kill` the process is
// killed there by SIGXFSZ, as a crash or a kill in mid-write; otherwise the
// write fails with EFBIG, as on a full disk.
inline void LimitFileSize(rlim_t bytes, bool kill) {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, kill ? SIG_DFL : SIG_IGN);
}

}  // namespace quillpad::test
