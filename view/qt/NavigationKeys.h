#pragma once
// The keys every history pane reads the same way (the console, the hex pane,
// the filter view): a page back or on, Ctrl+Home and Ctrl+End to the ends,
// Ctrl+A to select everything. Each pane does the move its own way; the
// control is offered every key before any of them.

#include <QKeyEvent>

namespace quillpad {

enum class ENavigation { None, PageUp, PageDown, ToStart, ToEnd, SelectAll };

inline ENavigation NavigationOf(const QKeyEvent& event) {
    const bool ctrl = (event.modifiers() & Qt::ControlModifier) != 0;
    switch (event.key()) {
        case Qt::Key_PageUp:
            return ENavigation::PageUp;
        case Qt::Key_PageDown:
            return ENavigation::PageDown;
        case Qt::Key_Home:
            return ctrl ? ENavigation::ToStart : ENavigation::None;
        case Qt::Key_End:
            return ctrl ? ENavigation::ToEnd : ENavigation::None;
        case Qt::Key_A:
            return ctrl ? ENavigation::SelectAll : ENavigation::None;
        default:
            return ENavigation::None;
    }
}

}  // namespace quillpad
