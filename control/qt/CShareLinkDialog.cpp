#include "control/qt/CShareLinkDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

namespace quillpad {

CShareLinkDialog::CShareLinkDialog(const SShareLinkChoice& choice, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Share Link"));
    auto* intro = new QLabel(
        QStringLiteral("Other programs can attach to the device's link on a TCP port: they get "
                       "what the device sends, and what they send goes to the device."),
        this);
    intro->setWordWrap(true);
    m_port = new QSpinBox(this);
    m_port->setRange(0, 65535);
    // 0 asks the system for a free port; the footer then names the one it gave.
    m_port->setSpecialValueText(QStringLiteral("any free port"));
    m_port->setValue(choice.port);
    m_raw = new QRadioButton(QStringLiteral("&Raw (the bytes as they are)"), this);
    m_telnet = new QRadioButton(QStringLiteral("&Telnet (for telnet clients)"), this);
    auto* protocol = new QButtonGroup(this);
    protocol->addButton(m_raw);
    protocol->addButton(m_telnet);
    (choice.telnet ? m_telnet : m_raw)->setChecked(true);
    auto* protocols = new QVBoxLayout;
    protocols->addWidget(m_raw);
    protocols->addWidget(m_telnet);
    m_anyInterface =
        new QCheckBox(QStringLiteral("&Any interface (else this computer only, 127.0.0.1)"), this);
    m_anyInterface->setChecked(choice.anyInterface);

    m_warning = new QWidget(this);
    m_warning->setObjectName(QStringLiteral("warning"));
    auto* icon = new QLabel(m_warning);
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(side));
    m_warningText = new QLabel(
        QStringLiteral("Anyone on the network can then reach the device: the port asks for no "
                       "password."),
        m_warning);
    m_warningText->setWordWrap(true);
    m_warningText->setStyleSheet(QStringLiteral("color: #c00000;"));
    auto* warningRow = new QHBoxLayout(m_warning);
    warningRow->setContentsMargins(0, 0, 0, 0);
    warningRow->addWidget(icon, 0, Qt::AlignTop);
    warningRow->addWidget(m_warningText, 1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Port:"), m_port);
    form->addRow(QStringLiteral("Protocol:"), protocols);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addWidget(intro);
    column->addLayout(form);
    column->addWidget(m_anyInterface);
    column->addWidget(m_warning);
    column->addStretch(1);
    column->addWidget(m_buttons);
    setMinimumWidth(420);

    connect(m_anyInterface, &QCheckBox::toggled, this, [this] { Update(); });
    Update();
}

SShareLinkChoice CShareLinkDialog::Choice() const {
    return {.port = static_cast<std::uint16_t>(m_port->value()),
            .telnet = m_telnet->isChecked(),
            .anyInterface = m_anyInterface->isChecked()};
}

void CShareLinkDialog::Update() {
    m_warning->setVisible(m_anyInterface->isChecked());
    adjustSize();
}

}  // namespace quillpad
