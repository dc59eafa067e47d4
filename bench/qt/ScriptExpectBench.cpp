// A script answering a prompt, through the whole console: the device (a TCP
// peer on a thread of its own) sends "login: " and stamps the time; the
// script's expect("login: ") takes it and its send("u\r") goes back through
// the session's I/O thread; the device stamps the reply's arrival. 100
// prompts, each sent once the last reply came (or 200 ms after it was
// sent). Goal: the median reply within 5 ms of the prompt.
//
// Reported: the median, 90th percentile and largest delay, and the replies
// that came. Baseline in the same run: a bare QTcpSocket on this thread that
// answers the prompt as soon as it reads it.

#include <benchmark/benchmark.h>

#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QTcpSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/BenchReport.h"
#include "bench/support/LoopbackDevice.h"
#include "bench/support/QtBench.h"
#include "control/qt/CControlScript.h"
#include "control/qt/CQuillpad2Ctrl.h"

namespace quillpad {
namespace {

constexpr int kPrompts = 100;

// The device: one TCP client; a prompt, then the time until "\r" comes back.
class CPromptingDevice {
  public:
    CPromptingDevice() {
        m_thread = std::thread([this] { Run(); });
    }
    ~CPromptingDevice() {
        m_stop = true;
        m_thread.join();
    }
    int Port() const { return m_listener.Port(); }
    // Starts prompting (the console has connected and its script waits).
    void Go() { m_go = true; }
    bool Done() const { return m_done; }
    std::vector<double> Delays() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_delays;
    }

  private:
    void Run() {
        const int client = m_listener.Accept(m_stop);
        if (client < 0) {
            return;
        }
        while (!m_stop && !m_go) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        char buffer[4096];
        for (int i = 0; i < kPrompts && !m_stop; ++i) {
            // A pause between prompts, as a device that prints a banner.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const double sent = bench::NowMs();
            if (::write(client, "login: ", 7) != 7) {
                break;
            }
            bool answered = false;
            while (!answered && !m_stop && bench::NowMs() < sent + 200) {
                pollfd p{client, POLLIN, 0};
                if (::poll(&p, 1, 1) <= 0) {
                    continue;
                }
                const ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0) {
                    m_stop = true;
                    break;
                }
                answered = std::find(buffer, buffer + n, '\r') != buffer + n;
            }
            if (answered) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_delays.push_back(bench::NowMs() - sent);
            }
        }
        m_done = true;
        // Held open until the console is done with it.
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ::close(client);
    }

    bench::CLoopbackListener m_listener;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_go{false};
    std::atomic<bool> m_done{false};
    std::mutex m_mutex;
    std::vector<double> m_delays;
};

void Report(const std::string& name, std::vector<double> delays) {
    bench::Figure(name + "_replies", static_cast<double>(delays.size()), "replies");
    if (delays.empty()) {
        return;
    }
    std::sort(delays.begin(), delays.end());
    bench::Figure(name + "_median_delay", delays[delays.size() / 2], "ms");
    bench::Figure(name + "_p90_delay", delays[delays.size() * 90 / 100], "ms");
    bench::Figure(name + "_longest_delay", delays.back(), "ms");
}

void BM_ScriptExpectAnswersAPrompt(benchmark::State& state) {
    bench::App();
    const auto script = bench::UseOwnHome("quillpad-expect-bench") / "answer.lua";
    std::ofstream(script) << "for i = 1, " << kPrompts
                          << " do\n"
                             "  if not expect(\"login: \", 2000) then error(\"no prompt\") end\n"
                             "  send(\"u\\r\")\n"
                             "end\n";
    for (auto _ : state) {
        CPromptingDevice device;
        CQuillpad2Ctrl control;
        control.resize(900, 500);
        control.show();
        control.IWBSetConnectionParameters(
            QByteArray::fromStdString("tcp:127.0.0.1:" + std::to_string(device.Port())));
        bench::RunLoopWhile([&] { return control.ConnectionStatus() != 3; }, 5000);
        if (!control.Script().RunFile(script.string())) {
            state.SkipWithError("the script did not start");
            break;
        }
        device.Go();
        bench::RunLoopWhile([&] { return !device.Done() || control.Script().Running(); }, 60'000);
        Report("script_expect", device.Delays());
    }
}
BENCHMARK(BM_ScriptExpectAnswersAPrompt)->Unit(benchmark::kMillisecond)->Iterations(1);

// The floor: a socket on this thread answering as soon as it reads.
void BM_BareSocketAnswers_Baseline(benchmark::State& state) {
    bench::App();
    for (auto _ : state) {
        CPromptingDevice device;
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(device.Port()));
        socket.waitForConnected(5000);
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QByteArray held;
        QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
            held += socket.readAll();
            if (held.contains("login: ")) {
                held.clear();
                socket.write("u\r");
                socket.flush();
            }
        });
        device.Go();
        bench::RunLoopWhile([&] { return !device.Done(); }, 60'000);
        Report("bare_socket_answer", device.Delays());
    }
}
BENCHMARK(BM_BareSocketAnswers_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace quillpad
