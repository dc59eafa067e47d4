#pragma once
// "ASCII Send": the file about to go and the pauses that pace it, for
// controllers without flow control. OK keeps the pauses; Cancel sends nothing.

#include <QDialog>

#include <string>

#include "nxr/CNxrAsciiTransfer.h"

class QDialogButtonBox;
class QSpinBox;

namespace quillpad {

class CAsciiSendDialog final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxDelayMs = 10000;

    CAsciiSendDialog(const std::string& path, SAsciiPacing pacing, QWidget* parent = nullptr);

    // The pauses as the spin boxes show them.
    SAsciiPacing Pacing() const;

    QSpinBox* LineDelay() const { return m_line; }
    QSpinBox* CharDelay() const { return m_char; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

  private:
    QSpinBox* m_line = nullptr;
    QSpinBox* m_char = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace quillpad
