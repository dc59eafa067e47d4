#include "control/qt/CGoToTimeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/TimeTarget.h"

namespace quillpad {

CGoToTimeDialog::CGoToTimeDialog(const std::string& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Go to Time"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(
        tr("Time of day (14:07:09 or 14:07:09.250)\nor seconds since the start (+300.5):"), this);
    m_field =
        new QLineEdit(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())), this);
    prompt->setBuddy(m_field);
    m_meaning = new QLabel(this);
    m_meaning->setWordWrap(true);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(prompt);
    layout->addWidget(m_field);
    layout->addWidget(m_meaning);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_field, &QLineEdit::textChanged, this, &CGoToTimeDialog::Update);
    m_field->selectAll();
    setMinimumWidth(360);
    Update();
}

std::string CGoToTimeDialog::Text() const {
    const QByteArray bytes = m_field->text().toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void CGoToTimeDialog::Update() {
    const STimeParse parsed = ParseTimeTarget(Text());
    const bool empty = m_field->text().trimmed().isEmpty();
    if (parsed.target) {
        m_meaning->setText(parsed.target->kind == ETimeTargetKind::TimeOfDay
                               ? tr("The first data at or after this time of day.")
                               : tr("The first data this long after the first record."));
        m_meaning->setStyleSheet(QString());
    } else {
        // An empty field is not yet wrong.
        m_meaning->setText(empty ? QString() : QString::fromLatin1(parsed.error.c_str()));
        m_meaning->setStyleSheet(QStringLiteral("color: #c00000;"));
    }
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(parsed.target.has_value());
}

}  // namespace quillpad
