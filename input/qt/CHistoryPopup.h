#pragma once
// The command history popup: the history's entries, newest selected, and an
// edit box with the line to send. Typing while the list has the focus
// searches it (case-insensitive, from the second entry on, wrapping); Delete
// removes an entry from the history for good; Enter or a double-click sends;
// Escape or a click outside the popup sends nothing.
//
// It sits with its bottom edge on the caret's top, or at the top of the
// screen when there is no room above.

#include <QDialog>
#include <QPoint>

#include <optional>

#include "input/CCommandHistory.h"

class QLineEdit;
class QListWidget;

namespace quillpad {

class CHistoryPopup final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kListId = 201;
    static constexpr int kEditId = 210;

    CHistoryPopup(CCommandHistory& history, QPoint caretOnScreen, QWidget* parent = nullptr);

    // The line to send after OK (empty when nothing was chosen); nothing
    // after Cancel.
    std::optional<ByteString> Result() const { return m_result; }

    QListWidget* List() const { return m_list; }
    QLineEdit* Edit() const { return m_edit; }
    const QString& SearchPrefix() const { return m_prefix; }

    void accept() override;
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool ListKey(const class QKeyEvent& key);
    void Place();

    CCommandHistory& m_history;
    QPoint m_caret;
    QListWidget* m_list = nullptr;
    QLineEdit* m_edit = nullptr;
    QString m_prefix;
    std::optional<ByteString> m_result;
};

}  // namespace quillpad
