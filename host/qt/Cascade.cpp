#include "host/qt/Cascade.h"

#include <algorithm>

namespace quillpad {

QList<QRect> CascadeLayout(const QSize& area, int titleHeight,
                           const QList<SCascadeWindow>& windows) {
    QList<QRect> placed;
    const int count = static_cast<int>(windows.size());
    if (count == 0) {
        return placed;
    }
    const int step = std::max(titleHeight, 1);
    int minimumHeight = 0;
    for (const SCascadeWindow& window : windows) {
        minimumHeight = std::max(minimumHeight, window.minimum.height());
    }
    // A column holds as many as leave the last one its minimum height, with
    // every title bar inside the area.
    const int fitting =
        std::max(1, (std::max(area.height(), minimumHeight) - minimumHeight) / step + 1);
    const int columns = (count + fitting - 1) / fitting;
    const int perColumn = (count + columns - 1) / columns;
    const int columnWidth = area.width() / columns;
    const int offset = (perColumn - 1) * step;
    for (int i = 0; i < count; ++i) {
        const int column = i / perColumn;
        const int row = i % perColumn;
        // The width ends before the next column's first window begins, so
        // no title bar of this column lies under it.
        const int width =
            std::max(windows[i].minimum.width(),
                     std::min(windows[i].preferred.width(), std::max(columnWidth - offset, 1)));
        const int height =
            std::max(windows[i].minimum.height(),
                     std::min(windows[i].preferred.height(), std::max(area.height() - offset, 1)));
        placed.append(QRect(column * columnWidth + row * step, row * step, width, height));
    }
    return placed;
}

}  // namespace quillpad
