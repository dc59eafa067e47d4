#include "control/qt/CResetPulseDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quillpad {

CResetPulseDialog::CResetPulseDialog(const SResetPulseChoice& choice, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Reset Pulse"));
    m_sequence = new QComboBox(this);
    m_sequence->addItem(QStringLiteral("A single pulse"), -1);
    const auto& sequences = NxrResetSequences();
    for (std::size_t i = 0; i < sequences.size(); ++i) {
        m_sequence->addItem(QString::fromStdString(sequences[i].name), static_cast<int>(i));
    }
    m_line = new QComboBox(this);
    m_line->addItem(QStringLiteral("DTR"), static_cast<int>(ENxrLineStep::Dtr));
    m_line->addItem(QStringLiteral("RTS"), static_cast<int>(ENxrLineStep::Rts));
    m_level = new QComboBox(this);
    m_level->addItem(QStringLiteral("Low (off)"), 0);
    m_level->addItem(QStringLiteral("High (on)"), 1);
    m_length = new QSpinBox(this);
    m_length->setRange(1, kNxrMaxLineWaitMs);
    m_length->setSuffix(QStringLiteral(" ms"));
    m_steps = new QLabel(this);
    m_steps->setObjectName(QStringLiteral("steps"));
    m_steps->setWordWrap(true);

    m_sequence->setCurrentIndex(std::max(0, m_sequence->findData(choice.sequence)));
    m_line->setCurrentIndex(std::max(0, m_line->findData(static_cast<int>(choice.line))));
    m_level->setCurrentIndex(choice.high ? 1 : 0);
    m_length->setValue(choice.ms);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Sequence:"), m_sequence);
    form->addRow(QStringLiteral("&Line:"), m_line);
    form->addRow(QStringLiteral("L&evel during the pulse:"), m_level);
    form->addRow(QStringLiteral("Len&gth:"), m_length);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(m_steps);
    column->addWidget(m_buttons);
    setMinimumWidth(420);

    const auto changed = [this] { Update(); };
    connect(m_sequence, &QComboBox::currentIndexChanged, this, changed);
    connect(m_line, &QComboBox::currentIndexChanged, this, changed);
    connect(m_level, &QComboBox::currentIndexChanged, this, changed);
    connect(m_length, &QSpinBox::valueChanged, this, changed);
    Update();
}

SResetPulseChoice CResetPulseDialog::Choice() const {
    SResetPulseChoice choice;
    choice.sequence = m_sequence->currentData().toInt();
    choice.line = static_cast<ENxrLineStep>(m_line->currentData().toInt());
    choice.high = m_level->currentData().toInt() != 0;
    choice.ms = m_length->value();
    return choice;
}

void CResetPulseDialog::Update() {
    const SResetPulseChoice choice = Choice();
    const bool single = choice.sequence < 0;
    m_line->setEnabled(single);
    m_level->setEnabled(single);
    m_length->setEnabled(single);
    if (single) {
        // As it would play from rest.
        const std::int32_t rest =
            choice.high ? 0 : static_cast<std::int32_t>(nxr_line::Dtr | nxr_line::Rts);
        m_steps->setText(QString::fromStdString(NxrDescribeSteps(ResetPulseSteps(choice, rest))));
        return;
    }
    const SNxrResetSequence& sequence =
        NxrResetSequences()[static_cast<std::size_t>(choice.sequence)];
    m_steps->setText(
        QString::fromStdString(sequence.description + ".\n" + NxrDescribeSteps(sequence.steps)));
}

}  // namespace quillpad
