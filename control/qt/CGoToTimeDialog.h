#pragma once
// "Go to Time": one field for a time of day or the seconds since the start.
// The line under it says what the text means, or, in red, why it means
// nothing yet; OK waits for a text that parses.

#include <QDialog>

#include <string>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace quillpad {

class CGoToTimeDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CGoToTimeDialog(const std::string& text, QWidget* parent = nullptr);

    // The field's text, one byte per character.
    std::string Text() const;

    QLineEdit* Field() const { return m_field; }
    QLabel* Meaning() const { return m_meaning; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

  private:
    void Update();

    QLineEdit* m_field = nullptr;
    QLabel* m_meaning = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace quillpad
