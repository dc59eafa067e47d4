#pragma once
// "Send": one send of the send panel. Its text (the console's escapes, or
// hex bytes), line end, checksum with its byte order, and the period and
// count a repeat uses. The bytes it will send show as hex below, so a
// checksum can be checked against a device's manual; OK is refused while
// hex text is not whole bytes.

#include <QDialog>

#include "input/CSendPanel.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace quillpad {

class CSendItemDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CSendItemDialog(const SSendItem& item, QWidget* parent = nullptr);

    // The send as the fields show it (other keys of the file kept).
    SSendItem Item() const;

    QLineEdit* NameField() const { return m_name; }
    QLineEdit* TextField() const { return m_text; }
    QComboBox* FormatBox() const { return m_format; }
    QComboBox* LineEndBox() const { return m_lineEnd; }
    QComboBox* ChecksumBox() const { return m_checksum; }
    QComboBox* ByteOrderBox() const { return m_byteOrder; }
    QSpinBox* PeriodBox() const { return m_period; }
    QSpinBox* CountBox() const { return m_count; }
    QLabel* Preview() const { return m_preview; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

  private:
    void UpdatePreview();

    SSendItem m_item;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_text = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_lineEnd = nullptr;
    QComboBox* m_checksum = nullptr;
    QComboBox* m_byteOrder = nullptr;
    QSpinBox* m_period = nullptr;
    QSpinBox* m_count = nullptr;
    QLabel* m_preview = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

// The bytes as spaced upper-case hex ("01 03 C5 CD").
QString HexPreview(std::string_view bytes);

}  // namespace quillpad
