#pragma once
// What the Qt benchmarks of a console's view share: one application for the
// whole run (offscreen unless told otherwise), a widget painted as the screen
// would, milliseconds from a timer, and a loop that sleeps as the console's.

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

#include "platform/Memory.h"

namespace quillpad::bench {

// Made once and never destroyed: Qt objects outliving main's return would
// otherwise be torn down after the application.
template <class T, class... Args>
T& Forever(Args&&... args) {
    return *std::make_unique<T>(std::forward<Args>(args)...).release();
}

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The heap as the console's mains set it, so memory figures are theirs.
    static const bool heap = (ReturnLargeAllocationsToTheSystem(), true);
    (void)heap;
    static QApplication& app = Forever<QApplication>(argc, argv);
    return app;
}

inline double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

inline void Paint(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    widget.render(&image);
}

// The loop as the console's own runs it, for at most `ms`: asleep until
// something happens. processEvents with a time limit never waits (Qt drops
// WaitForMoreEvents for it), so a loop of those spins, and on a machine of
// two cores a loop that spins takes the core the console's I/O thread would
// wake on. The timer only wakes the loop to look at `going` and the time.
inline void RunLoopWhile(const std::function<bool()>& going, double ms) {
    const QDeadlineTimer deadline(static_cast<qint64>(ms), Qt::PreciseTimer);
    QTimer wake;
    wake.start(20);
    while (going() && !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace quillpad::bench
