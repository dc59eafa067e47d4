#pragma once
// What the Qt benchmarks of a console's view share: one application for the
// whole run (offscreen unless told otherwise), a widget painted as the screen
// would, and milliseconds from a timer.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <cstdlib>
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

}  // namespace quillpad::bench
