// A periodic send at 10 ms, 1,000 sends, through the whole console: the
// send panel's repeat, the session's I/O thread and a TCP link to a device
// on a thread of its own, which stamps the arrival of each send. Once on an
// idle console (goal: every interval within 10 +- 2 ms) and once while the
// device sends 10 MB/s that the console stores and shows (goal: +- 5 ms).
// Baseline: a bare precise QTimer writing to a QTcpSocket, in the same run.
//
// Reported per case: the largest, 99th, 90th percentile and median deviation
// of an interval from 10 ms, how many intervals lie beyond 2 and 5 ms, how
// far the last send lies from the first plus 999 periods (a slot skipped
// after a stall of the loop adds a period), the largest deviation as the
// device's reading thread saw it (below), and for the loaded case the rate
// the device sent meanwhile.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopbackDevice.h"
#include "bench/support/QtBench.h"
#include "control/CQuillpadSettings.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/CSendPanelDock.h"
#include "input/CSendPanel.h"

namespace quillpad {
namespace {

constexpr int kSends = 1000;
constexpr int kPeriodMs = 10;
constexpr double kFloodBytesPerSecond = 10e6;

// The device: one TCP client, every "!" it receives stamped, and while
// flooding 10 MB/s sent back in 10 KB pieces each millisecond.
//
// Each "!" is stamped twice: with the time the kernel took it in (on loopback
// that is the console's write itself, as a device on a wire sees it), and
// with the time this thread woke to read it. The second adds this thread's
// own wake-up to the console's timing, and a virtual machine's vCPU wakes late
// now and then; the goals are the console's, so they are read from the first.
class CTimingDevice {
  public:
    explicit CTimingDevice(bool flood) : m_flood(flood) {
        m_thread = std::thread([this] { Run(); });
    }
    ~CTimingDevice() {
        m_stop = true;
        m_thread.join();
    }
    int Port() const { return m_listener.Port(); }
    std::vector<double> Marks() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_marks;
    }
    std::vector<double> Seen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }
    double FloodSent() const { return m_floodSent; }

  private:
    void Run() {
        const int client = m_listener.Accept(m_stop);
        if (client < 0) {
            return;
        }
        ::fcntl(client, F_SETFL, O_NONBLOCK);
        const int on = 1;
        ::setsockopt(client, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        std::string line;
        for (int i = 0; i < 9'999; ++i) {
            line.push_back(i % 100 == 99 ? '\n' : static_cast<char>('a' + i % 26));
        }
        line.push_back('\n');
        const double start = bench::NowMs();
        double sent = 0;
        char buffer[65536];
        while (!m_stop) {
            pollfd p{client, POLLIN, 0};
            ::poll(&p, 1, 1);
            const double now = bench::NowMs();
            if (p.revents & POLLIN) {
                iovec io{buffer, sizeof buffer};
                alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
                msghdr message{};
                message.msg_iov = &io;
                message.msg_iovlen = 1;
                message.msg_control = control;
                message.msg_controllen = sizeof control;
                const ssize_t n = ::recvmsg(client, &message, 0);
                if (n <= 0) {
                    break;
                }
                // Without a kernel stamp (none was given) the wake-up's stands.
                double arrived = now;
                for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr;
                     c = CMSG_NXTHDR(&message, c)) {
                    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                        timespec t{};
                        std::memcpy(&t, CMSG_DATA(c), sizeof t);
                        arrived = static_cast<double>(t.tv_sec) * 1e3 +
                                  static_cast<double>(t.tv_nsec) / 1e6;
                    }
                }
                std::lock_guard<std::mutex> lock(m_mutex);
                for (ssize_t i = 0; i < n; ++i) {
                    if (buffer[i] == '!') {
                        m_marks.push_back(arrived);
                        m_seen.push_back(now);
                    }
                }
            }
            if (m_flood) {
                // Paced by the clock: what 10 MB/s has owed since the start.
                while (sent < (now - start) * kFloodBytesPerSecond / 1000.0) {
                    const ssize_t n = ::write(client, line.data(), line.size());
                    if (n <= 0) {
                        break;
                    }
                    sent += static_cast<double>(n);
                }
                m_floodSent = sent;
            }
        }
        ::close(client);
    }

    bool m_flood;
    bench::CLoopbackListener m_listener;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<double> m_marks;
    std::vector<double> m_seen;
    std::atomic<double> m_floodSent{0};
};

// How far each interval between two marks lies from the period, smallest first.
std::vector<double> SortedDeviations(const std::vector<double>& marks) {
    std::vector<double> deviations;
    for (std::size_t i = 1; i < marks.size(); ++i) {
        deviations.push_back(std::fabs(marks[i] - marks[i - 1] - kPeriodMs));
    }
    std::sort(deviations.begin(), deviations.end());
    return deviations;
}

void Report(const std::string& name, CTimingDevice& device) {
    const std::vector<double> marks = device.Marks();
    if (marks.size() < 2) {
        bench::Figure(name + "_sends_arrived", static_cast<double>(marks.size()), "sends");
        return;
    }
    const std::vector<double> deviations = SortedDeviations(marks);
    const double p99 = deviations[deviations.size() * 99 / 100];
    const double drift =
        marks.back() - marks.front() - static_cast<double>(marks.size() - 1) * kPeriodMs;
    bench::Figure(name + "_sends_arrived", static_cast<double>(marks.size()), "sends");
    bench::Figure(name + "_interval_max_deviation", deviations.back(), "ms");
    bench::Figure(name + "_interval_p99_deviation", p99, "ms");
    bench::Figure(name + "_interval_p90_deviation", deviations[deviations.size() * 90 / 100], "ms");
    bench::Figure(name + "_interval_median_deviation", deviations[deviations.size() / 2], "ms");
    const auto beyond = [&](double ms) {
        return static_cast<double>(
            std::count_if(deviations.begin(), deviations.end(), [ms](double d) { return d > ms; }));
    };
    bench::Figure(name + "_intervals_beyond_2ms", beyond(2), "intervals");
    bench::Figure(name + "_intervals_beyond_5ms", beyond(5), "intervals");
    bench::Figure(name + "_drift_after_1000", drift, "ms");
    // Stamped with every mark, so as many.
    bench::Figure(name + "_seen_max_deviation", SortedDeviations(device.Seen()).back(), "ms");
}

void RunConsole(benchmark::State& state, bool flood, const std::string& name) {
    bench::App();
    bench::UseOwnHome("quillpad-periodic-bench");
    for (auto _ : state) {
        CTimingDevice device(flood);
        CQuillpad2Ctrl control;
        control.resize(900, 500);
        control.show();
        control.IWBSetConnectionParameters(
            QByteArray::fromStdString("tcp:127.0.0.1:" + std::to_string(device.Port())));
        bench::RunLoopWhile([&] { return control.ConnectionStatus() != 3; }, 5000);
        CSendPanel panel;
        panel.SetPath(control.Settings().m_dataDirectory + "/Bench.sendpanel");
        // Built whole: GCC 12 at -O3 takes member-wise assignment of short
        // literals for a read of uninitialised bytes.
        const SSendItem item{.name = ByteString("tick"),
                             .text = ByteString("T!"),
                             .periodMs = kPeriodMs,
                             .count = kSends,
                             .otherEntries = {}};
        panel.Items().push_back(item);
        panel.Save();
        control.SendPanel()->OpenPanel(panel.Path());
        // The flood settles before the sends start.
        bench::RunLoopWhile([] { return true; }, 300);
        const double floodBefore = device.FloodSent();
        const double start = bench::NowMs();
        control.SendPanel()->StartRepeat(0);
        bench::RunLoopWhile([&] { return control.SendPanel()->Repeating(0); }, 30'000);
        const double end = bench::NowMs();
        bench::RunLoopWhile([] { return true; }, 100);
        Report(name, device);
        if (flood) {
            bench::Figure(name + "_incoming_rate",
                          (device.FloodSent() - floodBefore) / ((end - start) / 1000.0) / 1e6,
                          "MB/s");
        }
    }
}

void BM_PeriodicSendIdle(benchmark::State& state) {
    RunConsole(state, false, "periodic_send_idle");
}
BENCHMARK(BM_PeriodicSendIdle)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeriodicSendWhile10MBps(benchmark::State& state) {
    RunConsole(state, true, "periodic_send_10MBps");
}
BENCHMARK(BM_PeriodicSendWhile10MBps)->Unit(benchmark::kMillisecond)->Iterations(1);

// The floor: a precise repeating QTimer writing to a socket on this thread.
void BM_BareTimerSocket_Baseline(benchmark::State& state) {
    bench::App();
    for (auto _ : state) {
        CTimingDevice device(false);
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(device.Port()));
        socket.waitForConnected(5000);
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        int sent = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            socket.write("T!");
            socket.flush();
            if (++sent == kSends) {
                timer.stop();
            }
        });
        timer.start(kPeriodMs);
        bench::RunLoopWhile([&] { return timer.isActive(); }, 30'000);
        bench::RunLoopWhile([] { return true; }, 100);
        Report("bare_qtimer_socket", device);
    }
}
BENCHMARK(BM_BareTimerSocket_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace quillpad
