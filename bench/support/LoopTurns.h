#pragma once
// How long this thread's event loop holds a turn: a precise 1 ms timer times
// the gaps between its own ticks while the loop runs. The loop sleeps between
// events, as a program's does; the tick wakes it at the latest.
//
// Each gap is also timed in this thread's CPU time, so that a turn the
// machine's other work preempted (long on the wall, short on the CPU) can be
// told from one the console itself spent. With QUILLPAD_TURN_TRACE set to a
// number of ms, every turn longer than that is printed to stderr with its
// CLOCK_MONOTONIC start and end (perf record -k CLOCK_MONOTONIC lines up
// with them), its CPU time and how many iterations of the loop it held (the
// dispatcher's wakes: 2 or more where the tick came due just after one began).

#include <time.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace quillpad::bench {

struct SLoopTurns {
    double longestMs = 0;     // the longest gap on the wall clock
    double longestCpuMs = 0;  // this thread's CPU time within that gap
    double busiestCpuMs = 0;  // the most CPU time any one gap took
};

inline qint64 ClockNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<qint64>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Runs the loop until `done` holds or `limitMs` pass.
inline SLoopTurns LoopTurns(const std::function<bool()>& done, int limitMs) {
    const char* trace = std::getenv("QUILLPAD_TURN_TRACE");
    const qint64 traceNs = trace != nullptr ? static_cast<qint64>(std::atof(trace) * 1e6) : -1;
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    qint64 last = ClockNs(CLOCK_MONOTONIC);
    qint64 lastCpu = ClockNs(CLOCK_THREAD_CPUTIME_ID);
    qint64 worst = 0;
    qint64 worstCpu = 0;
    qint64 busiest = 0;
    int wakes = 0;
    QMetaObject::Connection awake;
    if (auto* dispatcher = QAbstractEventDispatcher::instance(); dispatcher != nullptr) {
        awake =
            QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&wakes] { ++wakes; });
    }
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = ClockNs(CLOCK_MONOTONIC);
        const qint64 cpu = ClockNs(CLOCK_THREAD_CPUTIME_ID);
        if (now - last > worst) {
            worst = now - last;
            worstCpu = cpu - lastCpu;
        }
        busiest = std::max(busiest, cpu - lastCpu);
        if (traceNs >= 0 && now - last > traceNs) {
            std::fprintf(stderr, "TURN %.6f %.6f wall %.3f ms cpu %.3f ms wakes %d\n",
                         static_cast<double>(last) / 1e9, static_cast<double>(now) / 1e9,
                         static_cast<double>(now - last) / 1e6,
                         static_cast<double>(cpu - lastCpu) / 1e6, wakes);
        }
        wakes = 0;
        last = now;
        lastCpu = cpu;
    });
    tick.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QObject::disconnect(awake);
    return {static_cast<double>(worst) / 1e6, static_cast<double>(worstCpu) / 1e6,
            static_cast<double>(busiest) / 1e6};
}

// The longest gap, in ms.
inline double LongestLoopTurnMs(const std::function<bool()>& done, int limitMs) {
    return LoopTurns(done, limitMs).longestMs;
}

}  // namespace quillpad::bench
