#include "control/qt/CSendItemDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/Hex.h"
#include "platform/qt/Latin1.h"

namespace quillpad {

QString HexPreview(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        if (!out.empty()) {
            out.push_back(' ');
        }
        AppendHexByte(out, static_cast<unsigned char>(c));
    }
    return QString::fromLatin1(out.c_str());
}

CSendItemDialog::CSendItemDialog(const SSendItem& item, QWidget* parent)
    : QDialog(parent), m_item(item) {
    setWindowTitle(QStringLiteral("Send"));
    auto* form = new QFormLayout;
    m_name = new QLineEdit(BytesToQString(item.name), this);
    m_text = new QLineEdit(BytesToQString(item.text), this);
    m_text->setMinimumWidth(320);
    m_format = new QComboBox(this);
    m_format->addItem(QStringLiteral("Text with escapes (\\r \\n \\xHH)"));
    m_format->addItem(QStringLiteral("Hex bytes"));
    m_format->setCurrentIndex(item.format == ESendFormat::Hex ? 1 : 0);
    m_lineEnd = new QComboBox(this);
    for (const ELineEnd end : {ELineEnd::None, ELineEnd::CR, ELineEnd::LF, ELineEnd::CRLF}) {
        m_lineEnd->addItem(QString::fromLatin1(LineEndKey(end)), static_cast<int>(end));
    }
    m_lineEnd->setCurrentIndex(static_cast<int>(item.lineEnd));
    m_checksum = new QComboBox(this);
    for (const SChecksumInfo& info : kChecksums) {
        m_checksum->addItem(QString::fromLatin1(info.label), static_cast<int>(info.kind));
    }
    m_checksum->setCurrentIndex(m_checksum->findData(static_cast<int>(item.checksum)));
    m_byteOrder = new QComboBox(this);
    m_byteOrder->addItem(QStringLiteral("High byte first"));
    m_byteOrder->addItem(QStringLiteral("Low byte first (Modbus)"));
    m_byteOrder->setCurrentIndex(item.byteOrder == EByteOrder::LowFirst ? 1 : 0);
    m_period = new QSpinBox(this);
    m_period->setRange(static_cast<int>(kMinSendPeriodMs), static_cast<int>(kMaxSendPeriodMs));
    m_period->setSuffix(QStringLiteral(" ms"));
    m_period->setValue(static_cast<int>(item.periodMs));
    m_count = new QSpinBox(this);
    m_count->setRange(0, 1'000'000);
    m_count->setSpecialValueText(QStringLiteral("until stopped"));
    m_count->setValue(static_cast<int>(std::min<std::uint32_t>(item.count, 1'000'000)));
    m_preview = new QLabel(this);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_preview->setWordWrap(true);
    form->addRow(QStringLiteral("&Name:"), m_name);
    form->addRow(QStringLiteral("&Text:"), m_text);
    form->addRow(QStringLiteral("&Format:"), m_format);
    form->addRow(QStringLiteral("&Line end:"), m_lineEnd);
    form->addRow(QStringLiteral("&Checksum:"), m_checksum);
    form->addRow(QStringLiteral("&Byte order:"), m_byteOrder);
    form->addRow(QStringLiteral("Repeat &every:"), m_period);
    form->addRow(QStringLiteral("Repeat c&ount:"), m_count);
    form->addRow(QStringLiteral("Sends:"), m_preview);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);
    for (QComboBox* box : {m_format, m_lineEnd, m_checksum, m_byteOrder}) {
        connect(box, &QComboBox::currentIndexChanged, this, &CSendItemDialog::UpdatePreview);
    }
    connect(m_text, &QLineEdit::textChanged, this, &CSendItemDialog::UpdatePreview);
    UpdatePreview();
}

SSendItem CSendItemDialog::Item() const {
    SSendItem item = m_item;
    // Both fields are bytes: a character above U+00FF has no byte and
    // becomes "?", as everywhere text goes to the device.
    item.name = QStringToBytes(m_name->text());
    item.text = QStringToBytes(m_text->text());
    item.format = m_format->currentIndex() == 1 ? ESendFormat::Hex : ESendFormat::Text;
    item.lineEnd = static_cast<ELineEnd>(m_lineEnd->currentData().toInt());
    item.checksum = static_cast<EChecksum>(m_checksum->currentData().toInt());
    item.byteOrder =
        m_byteOrder->currentIndex() == 1 ? EByteOrder::LowFirst : EByteOrder::HighFirst;
    item.periodMs = static_cast<std::uint32_t>(m_period->value());
    item.count = static_cast<std::uint32_t>(m_count->value());
    return item;
}

void CSendItemDialog::UpdatePreview() {
    ByteString bytes;
    std::string error;
    const bool built = BuildSendBytes(Item(), bytes, error);
    m_preview->setText(
        built ? HexPreview(bytes)
              : QStringLiteral("Not whole bytes: %1.").arg(QString::fromLatin1(error.c_str())));
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(built);
}

}  // namespace quillpad
