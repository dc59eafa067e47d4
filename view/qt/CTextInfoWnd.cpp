#include "view/qt/CTextInfoWnd.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

// Tabs as spaces to the next multiple of eight, so that what is measured is
// what the label draws.
QString ExpandTabs(const QString& text) {
    QString out;
    int column = 0;
    for (const QChar c : text) {
        if (c == '\t') {
            do {
                out.append(' ');
                ++column;
            } while (column % 8 != 0);
        } else {
            out.append(c);
            column = c == '\n' ? 0 : column + 1;
        }
    }
    return out;
}

}  // namespace

CTextInfoWnd::CTextInfoWnd(CConsoleView& view)
    : QFrame(&view, Qt::ToolTip | Qt::FramelessWindowHint), m_view(view), m_label(this) {
    setObjectName("mytip");
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    // The thin border in grey, so it shows on a dark console as on a light one.
    QPalette border = white;
    border.setColor(QPalette::WindowText, Qt::gray);
    setPalette(border);
    // A readable fixed-pitch font, and the same font measures and draws.
    m_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_font.setPointSizeF(10);
    m_label.setObjectName(QString::number(kLabelId));
    m_label.setFont(m_font);
    m_label.setTextFormat(Qt::PlainText);
    m_label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label.setPalette(white);
    m_label.setAutoFillBackground(true);
    setGeometry(0, 0, 100, 50);
    hide();
}

CTextInfoWnd::~CTextInfoWnd() = default;

void CTextInfoWnd::MouseMoved(QPoint point, bool shiftDown) {
    // While a new scheme's index is built the view describes what it
    // shows (the tail), never waiting for the index.
    if (shiftDown && !m_dismissed) {
        const std::string text = Describe(point);
        if (text.empty()) {
            hide();
            return;
        }
        SetTextAndPosition(text, m_view.viewport()->mapToGlobal(point) + QPoint(20, 0));
        if (!isVisible()) {
            show();
        }
        return;
    }
    if (isVisible()) {
        hide();
    }
    m_dismissed = false;
}

std::string CTextInfoWnd::Describe(QPoint point) {
    return m_view.DescribeCharacter(m_view.CharacterUnder(point));
}

void CTextInfoWnd::SetTextAndPosition(const std::string& text, QPoint globalPosition) {
    const QString shown =
        ExpandTabs(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    // The label measures itself as it will draw, fallback fonts for bytes the
    // fixed font lacks included: a sum of line spacings cut the last line.
    const int frame = frameWidth();
    const int pad = 3;
    m_label.setContentsMargins(pad, pad, pad, pad);
    m_label.setText(shown);
    const QSize need = m_label.sizeHint();
    QRect rect(globalPosition, QSize(need.width() + 2 * frame, need.height() + 2 * frame));
    // Kept on the screen, so the end of a long description is not lost.
    if (const QScreen* screen = QGuiApplication::screenAt(globalPosition)) {
        const QRect area = screen->availableGeometry();
        if (rect.right() > area.right()) {
            rect.moveRight(area.right());
        }
        if (rect.bottom() > area.bottom()) {
            rect.moveBottom(area.bottom());
        }
        rect.moveLeft(std::max(rect.left(), area.left()));
        rect.moveTop(std::max(rect.top(), area.top()));
    }
    setGeometry(rect);
    m_label.setGeometry(contentsRect());
}

void CTextInfoWnd::Dismiss() {
    hide();
    m_dismissed = true;
    m_view.setFocus(Qt::OtherFocusReason);
}

QString CTextInfoWnd::Text() const {
    return m_label.text();
}

void CTextInfoWnd::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty()) {
        QFrame::keyPressEvent(event);
        return;
    }
    Dismiss();
    if (m_view.Control() == kNoHandle) {
        return;
    }
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        m_view.Channel().Post(m_view.Control(), UM_SEND_CHAR, 0, u <= 0xFF ? u : '?');
    }
}

void CTextInfoWnd::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_label.setGeometry(contentsRect());
}

}  // namespace quillpad
