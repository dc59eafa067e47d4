#pragma once
// "Reset Pulse": a single pulse of DTR or RTS (which line, low or high, how
// long), or one of the boot-loader entry sequences by name. OK plays it;
// Cancel plays nothing.

#include <QDialog>

#include <vector>

#include "control/LineCommands.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QSpinBox;

namespace quillpad {

class CResetPulseDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CResetPulseDialog(const SResetPulseChoice& choice, QWidget* parent = nullptr);

    // The fields as they are now.
    SResetPulseChoice Choice() const;

    QComboBox* Sequence() const { return m_sequence; }
    QComboBox* Line() const { return m_line; }
    QComboBox* Level() const { return m_level; }
    QSpinBox* Length() const { return m_length; }
    QLabel* Steps() const { return m_steps; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

  private:
    void Update();

    QComboBox* m_sequence = nullptr;
    QComboBox* m_line = nullptr;
    QComboBox* m_level = nullptr;
    QSpinBox* m_length = nullptr;
    QLabel* m_steps = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace quillpad
