#pragma once
// How long this thread's event loop holds a turn: a precise 1 ms timer times
// the gaps between its own ticks while the loop runs. The loop sleeps between
// events, as a program's does; the tick wakes it at the latest.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace quillpad::bench {

// Runs the loop until `done` holds or `limitMs` pass; the longest gap, in ms.
inline double LongestLoopTurnMs(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    qint64 last = clock.nsecsElapsed();
    qint64 worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    tick.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return static_cast<double>(worst) / 1e6;
}

}  // namespace quillpad::bench
