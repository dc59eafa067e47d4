#include "platform/qt/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>

namespace quillpad {
namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr std::size_t kCount = std::size(kQuitSignals);

// What the handler reads: plain values, set before it is installed.
std::atomic<int> g_writeEnd{-1};
volatile std::sig_atomic_t g_asked = 0;
struct sigaction g_old[kCount];
bool g_installed[kCount] = {};

void OnQuitSignal(int signal) {
    if (g_asked != 0) {
        // The quit asked for has not ended the process: the default action
        // now, as soon as the handler returns (the signal is blocked in it).
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        raise(signal);
        return;
    }
    g_asked = 1;
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    (void)!write(g_writeEnd.load(std::memory_order_relaxed), &byte, 1);
    errno = saved;
}

}  // namespace

CQuitSignals::CQuitSignals(std::function<void()> quit) : m_quit(std::move(quit)) {
    static_assert(std::atomic<int>::is_always_lock_free);
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;  // the signals keep their default action
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnReadable(); });
    g_writeEnd.store(m_pipe[1], std::memory_order_relaxed);
    g_asked = 0;

    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    action.sa_flags = SA_RESTART;
    // One handler at a time, so that a second signal finds the first's mark.
    sigemptyset(&action.sa_mask);
    for (const int signal : kQuitSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (std::size_t i = 0; i < kCount; ++i) {
        g_installed[i] = false;
        if (sigaction(kQuitSignals[i], nullptr, &g_old[i]) != 0) {
            continue;
        }
        // One ignored from the start (nohup) stays ignored.
        if (!(g_old[i].sa_flags & SA_SIGINFO) && g_old[i].sa_handler == SIG_IGN) {
            continue;
        }
        g_installed[i] = sigaction(kQuitSignals[i], &action, nullptr) == 0;
    }
}

CQuitSignals::~CQuitSignals() {
    for (std::size_t i = 0; i < kCount; ++i) {
        if (g_installed[i]) {
            sigaction(kQuitSignals[i], &g_old[i], nullptr);
            g_installed[i] = false;
        }
    }
    m_notifier.reset();
    g_writeEnd.store(-1, std::memory_order_relaxed);
    for (const int fd : m_pipe) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void CQuitSignals::OnReadable() {
    unsigned char byte = 0;
    while (read(m_pipe[0], &byte, 1) == 1) {
        if (m_received == 0) {
            m_received = byte;
        }
    }
    if (m_received == 0) {
        return;
    }
    m_notifier->setEnabled(false);
    m_quit();
}

}  // namespace quillpad
