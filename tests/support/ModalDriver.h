#pragma once
// Answers the next modal window of a kind as a user would: a timer waits
// for it to come up (a modal loop of its own runs meanwhile), then hands it
// to `answer`. Qt tests only.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace quillpad::test {

// Gives up after about two seconds; `answered` tells whether it came.
template <class W>
void AnswerNextModal(std::function<void(W&)> answer, bool* answered = nullptr, int tries = 200) {
    if (answered != nullptr) {
        *answered = false;
    }
    QTimer::singleShot(10, [answer = std::move(answer), answered, tries] {
        if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget())) {
            if (answered != nullptr) {
                *answered = true;
            }
            answer(*window);
        } else if (tries > 0) {
            AnswerNextModal<W>(answer, answered, tries - 1);
        }
    });
}

}  // namespace quillpad::test
