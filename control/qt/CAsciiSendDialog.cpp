#include "control/qt/CAsciiSendDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <filesystem>

#include "platform/qt/FileName.h"

namespace quillpad {
namespace {

QSpinBox* DelayBox(std::uint32_t value, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, CAsciiSendDialog::kMaxDelayMs);
    box->setSuffix(QStringLiteral(" ms"));
    box->setValue(static_cast<int>(std::min<std::uint32_t>(value, CAsciiSendDialog::kMaxDelayMs)));
    return box;
}

}  // namespace

CAsciiSendDialog::CAsciiSendDialog(const std::string& path, SAsciiPacing pacing, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("ASCII Send"));
    auto* file =
        new QLabel(FileNameToQString(std::filesystem::path(path).filename().string()), this);
    file->setObjectName(QStringLiteral("file"));
    file->setToolTip(FileNameToQString(path));
    QFont bold = file->font();
    bold.setBold(true);
    file->setFont(bold);
    m_line = DelayBox(pacing.lineDelayMs, this);
    m_char = DelayBox(pacing.charDelayMs, this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File:"), file);
    form->addRow(QStringLiteral("Delay after each &line:"), m_line);
    form->addRow(QStringLiteral("Delay after each &character:"), m_char);
    auto* hint = new QLabel(
        QStringLiteral("Pauses pace the file for controllers without flow control; 0 sends it "
                       "at full speed."),
        this);
    hint->setWordWrap(true);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(hint);
    column->addWidget(m_buttons);
    setMinimumWidth(360);
}

SAsciiPacing CAsciiSendDialog::Pacing() const {
    SAsciiPacing pacing;
    pacing.lineDelayMs = static_cast<std::uint32_t>(m_line->value());
    pacing.charDelayMs = static_cast<std::uint32_t>(m_char->value());
    return pacing;
}

}  // namespace quillpad
