#pragma once
// "Share Link": the TCP port to serve the link on (0: any free port), raw or
// telnet, and whether every interface listens. With every interface ticked a
// warning says that anyone on the network can then reach the device.

#include <QDialog>

#include "control/qt/IControlUi.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace quillpad {

class CShareLinkDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CShareLinkDialog(const SShareLinkChoice& choice, QWidget* parent = nullptr);

    // The fields as they are now.
    SShareLinkChoice Choice() const;

    QSpinBox* Port() const { return m_port; }
    QRadioButton* Raw() const { return m_raw; }
    QRadioButton* Telnet() const { return m_telnet; }
    QCheckBox* AnyInterface() const { return m_anyInterface; }
    // The warning's row (icon and text), hidden while only 127.0.0.1 listens.
    QWidget* Warning() const { return m_warning; }
    QLabel* WarningText() const { return m_warningText; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

  private:
    void Update();

    QSpinBox* m_port = nullptr;
    QRadioButton* m_raw = nullptr;
    QRadioButton* m_telnet = nullptr;
    QCheckBox* m_anyInterface = nullptr;
    QWidget* m_warning = nullptr;
    QLabel* m_warningText = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace quillpad
