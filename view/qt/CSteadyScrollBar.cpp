#include "view/qt/CSteadyScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

namespace quillpad {

CSteadyScrollBar::CSteadyScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

CSteadyScrollBar::SLook CSteadyScrollBar::Look() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        sliderPosition() <= minimum(), sliderPosition() >= maximum()};
}

void CSteadyScrollBar::SetPlace(int maximum, int pageStep, int value) {
    m_placing = true;
    setRange(0, maximum);
    setPageStep(pageStep);
    setValue(value);
    m_placing = false;
    if (!LooksPainted()) {
        update();
    }
}

void CSteadyScrollBar::sliderChange(SliderChange change) {
    // Everything else that changes the picture (size, hover, press, enabled,
    // palette) asks for its own paint.
    if (change != SliderOrientationChange && (m_placing || LooksPainted())) {
        return;
    }
    QScrollBar::sliderChange(change);
}

void CSteadyScrollBar::paintEvent(QPaintEvent* event) {
    ++m_paints;
    m_painted = Look();
    m_everPainted = true;
    QScrollBar::paintEvent(event);
}

}  // namespace quillpad
