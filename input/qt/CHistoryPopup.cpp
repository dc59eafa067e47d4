#include "input/qt/CHistoryPopup.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QStringList>
#include <QVBoxLayout>

#include "input/qt/DialogUnits.h"
#include "platform/qt/Latin1.h"

namespace quillpad {
namespace {}  // namespace

CHistoryPopup::CHistoryPopup(CCommandHistory& history, QPoint caretOnScreen, QWidget* parent)
    : QDialog(parent, Qt::Popup), m_history(history), m_caret(caretOnScreen) {
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("history"));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("line"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_list);
    layout->addWidget(m_edit);
    resize(DialogUnitsToPixels(*this, 145, 90));

    QStringList lines;
    lines.reserve(static_cast<qsizetype>(history.Entries().size()));
    for (const ByteString& entry : history.Entries()) {
        lines.append(BytesToQString(entry));
    }
    m_list->addItems(lines);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            m_edit->setText(m_list->item(row)->text());
        }
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { accept(); });
    if (!lines.isEmpty()) {
        m_list->setCurrentRow(static_cast<int>(lines.size()) - 1);
    }
    m_list->installEventFilter(this);
    m_list->setFocus();
}

void CHistoryPopup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Place();
    m_list->setFocus();
}

void CHistoryPopup::Place() {
    const int height = frameGeometry().height();
    int top = m_caret.y() - height;
    if (m_caret.y() <= height) {
        const QScreen* screen = QGuiApplication::screenAt(m_caret);
        top = screen != nullptr ? screen->geometry().top() : 0;
    }
    move(m_caret.x(), top);
}

bool CHistoryPopup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list) {
        if (event->type() == QEvent::KeyPress) {
            return ListKey(*static_cast<QKeyEvent*>(event));
        }
        if (event->type() == QEvent::FocusOut) {
            m_prefix.clear();
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CHistoryPopup::ListKey(const QKeyEvent& key) {
    const int code = key.key();
    if (code == Qt::Key_Return || code == Qt::Key_Enter) {
        if (QListWidgetItem* item = m_list->currentItem()) {
            m_edit->setText(item->text());
        }
        accept();
        return true;
    }
    if (code == Qt::Key_Delete) {
        const int row = m_list->currentRow();
        if (row >= 0) {
            m_history.Remove(QStringToBytes(m_list->item(row)->text()));
            delete m_list->takeItem(row);  // the list owned it
        }
        return true;
    }
    // A key whose unshifted character is printable searches; Qt names a
    // letter key by its capital whatever the shift state.
    if (code >= 0x20 && code < 0x7f &&
        (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
        m_prefix.append(QChar(code));
        const int found = m_history.FindPrefix(QStringToBytes(m_prefix));
        if (found >= 0 && found < m_list->count()) {
            m_list->setCurrentRow(found);
            m_edit->setText(m_prefix);
        }
        return true;
    }
    m_prefix.clear();
    return false;
}

void CHistoryPopup::accept() {
    if (m_edit->hasFocus()) {
        m_result = QStringToBytes(m_edit->text());
    } else if (QListWidgetItem* item = m_list->currentItem();
               item != nullptr && item->isSelected()) {
        m_result = QStringToBytes(item->text());
    } else {
        m_result = ByteString();  // OK on an empty list still ends the line
    }
    QDialog::accept();
}

void CHistoryPopup::reject() {
    m_result.reset();
    QDialog::reject();
}

}  // namespace quillpad
