#pragma once
// Telling the user that a selection is too large to copy.

#include <QString>

#include <functional>

class QWidget;

namespace quillpad {

// Through `notifier` when there is one, else in a warning box over `parent`
// opened from the event loop, never inside the key's handler.
void TellCopyRefused(QWidget* parent, const std::function<void(const QString&)>& notifier,
                     const QString& text);

}  // namespace quillpad
