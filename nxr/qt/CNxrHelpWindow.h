#pragma once
// The user guide inside the program: the HTML the build renders from
// docs/USER_GUIDE.md in a browser with back, forward and find. The program
// has one, made on first use and raised again for each later request; it
// never keeps the program running on its own.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;
class QToolButton;

namespace quillpad {

class CNxrHelpWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit CNxrHelpWindow(QWidget* parent = nullptr);

    // The program's help window: made hidden on first use, deleted when
    // the application quits.
    static CNxrHelpWindow* Instance();

    // Shows the page and scrolls to the address's fragment (an anchor of
    // the page); false when the page cannot be read.
    bool Open(const QUrl& url);

    // The next (or, backward, the previous) place the text occurs, from
    // the current one round to the start; false when it occurs nowhere.
    bool FindText(const QString& text, bool backward = false);

    QTextBrowser* Browser() const { return m_browser; }
    QLineEdit* FindField() const { return m_find; }
    QToolButton* BackButton() const { return m_back; }
    QToolButton* ForwardButton() const { return m_forward; }
    // "Not found" after a failed find, empty otherwise.
    QString FindStatus() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FindFromField(bool backward);
    // Back to a window of its own once the dialog it was lent to is done.
    void LeaveDialog();

    QTextBrowser* m_browser;
    QToolButton* m_back;
    QToolButton* m_forward;
    QLineEdit* m_find;
    QLabel* m_status;
    // The modal dialog the window belongs to while it is open: the only
    // way to take input beside it and stay above it.
    QPointer<QDialog> m_dialog;
};

}  // namespace quillpad
