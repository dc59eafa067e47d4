#pragma once
// The hover window: while SHIFT is held over the console view, tells when
// and in which direction the character under the pointer travelled, and the
// chunk of data it came with; over a selection, the time the selection spans.

#include <QFrame>
#include <QLabel>

#include <string>

#include "platform/MessageChannel.h"

namespace quillpad {

class CConsoleView;

class CTextInfoWnd final : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kLabelId = 5556;

    explicit CTextInfoWnd(CConsoleView& view);
    ~CTextInfoWnd() override;

    // Every mouse move over the view, in viewport coordinates.
    void MouseMoved(QPoint point, bool shiftDown);
    // The description for a point, empty when no record is there.
    std::string Describe(QPoint point);
    // Sizes the popup to the text, measured with the font that draws it.
    void SetTextAndPosition(const std::string& text, QPoint globalPosition);
    // Hides the popup until the mouse moves without SHIFT.
    void Dismiss();
    bool IsDismissed() const { return m_dismissed; }
    QString Text() const;
    const QFont& LabelFont() const { return m_font; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    CConsoleView& m_view;
    QLabel m_label;
    QFont m_font;
    bool m_dismissed = false;
};

}  // namespace quillpad
