#pragma once
// The session's question to the user, with an answer field by query type:
// 0 text, 1 yes or no, 2 a whole number, 3 a secret (not shown as typed).
// Other types are asked as text. Closing it leaves the question unanswered.

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace quillpad {

enum class ENxrQueryType { Text = 0, YesNo = 1, Number = 2, Secret = 3 };

class CNxrQueryDlg final : public QDialog {
    Q_OBJECT
  public:
    CNxrQueryDlg(int queryType, const QString& prompt, QWidget* parent = nullptr);

    ENxrQueryType Type() const { return m_type; }
    // What goes back to the device: the field's text, or "yes" / "no".
    QString Answer() const;
    QLineEdit* Field() const { return m_field; }
    QPushButton* YesButton() const { return m_yes; }
    QPushButton* NoButton() const { return m_no; }

  private:
    ENxrQueryType m_type;
    QLineEdit* m_field = nullptr;
    QPushButton* m_yes = nullptr;
    QPushButton* m_no = nullptr;
    QString m_yesNo;
};

}  // namespace quillpad
