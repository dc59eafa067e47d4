#pragma once
// Window > Cascade: the console windows one below and right of the other,
// each a title bar's height further, so that every title bar stays in sight
// and none is covered by a window above it. What does not fit the area's
// height goes on in a further column beside the first, each column as wide
// as its share of the area.

#include <QList>
#include <QRect>
#include <QSize>

namespace quillpad {

struct SCascadeWindow {
    QSize preferred;  // the frame's size hint
    QSize minimum;    // the frame's minimum size
};

// Where each window goes, in the area's coordinates: `windows` bottom of the
// stack first, the one that is to be on top last. `titleHeight` is the
// frame's strip above its contents (title bar and border). Every title bar
// keeps clear of the others as long as the columns are at least as wide as
// the windows' minimum width.
QList<QRect> CascadeLayout(const QSize& area, int titleHeight,
                           const QList<SCascadeWindow>& windows);

}  // namespace quillpad
