#pragma once
// A scroll bar that repaints only when what it shows changes.
//
// A console's range grows with every byte received, so a plain QScrollBar
// repaints at every frame of a flood although its handle, pinned at the
// bottom of a long history, does not move by a pixel. The paint is not
// cheap: the styles fill the groove with gradients and lines, and Qt's
// raster engine hands fills that tall to its thread pool and waits for it,
// which on a busy machine holds the turn until a core is free.

#include <QRect>
#include <QScrollBar>

namespace quillpad {

class CSteadyScrollBar final : public QScrollBar {
  public:
    explicit CSteadyScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The range 0..maximum, the page step and the value as one change, held
    // against the picture once: set one after another, a range that grows
    // first moves the handle up until the value takes it back down.
    void SetPlace(int maximum, int pageStep, int value);

    // Paint events so far.
    int Paints() const { return m_paints; }

  protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // What a range, step or value change can alter in the picture: where
    // the handle lies, and whether either end is reached (a style may draw
    // its arrows off there).
    struct SLook {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const SLook&) const = default;
    };
    SLook Look() const;
    bool LooksPainted() const { return m_everPainted && Look() == m_painted; }

    SLook m_painted;
    bool m_everPainted = false;
    bool m_placing = false;
    int m_paints = 0;
};

}  // namespace quillpad
