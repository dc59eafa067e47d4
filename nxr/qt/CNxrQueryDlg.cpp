#include "nxr/qt/CNxrQueryDlg.h"

#include <QDialogButtonBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>

namespace quillpad {
namespace {

ENxrQueryType TypeOf(int queryType) {
    switch (queryType) {
        case 1:
            return ENxrQueryType::YesNo;
        case 2:
            return ENxrQueryType::Number;
        case 3:
            return ENxrQueryType::Secret;
        default:
            return ENxrQueryType::Text;
    }
}

}  // namespace

CNxrQueryDlg::CNxrQueryDlg(int queryType, const QString& prompt, QWidget* parent)
    : QDialog(parent), m_type(TypeOf(queryType)) {
    setObjectName(QStringLiteral("query"));
    setWindowTitle(QStringLiteral("Question"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(prompt, this);
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);  // the device's words, never markup
    text->setMinimumWidth(300);
    layout->addWidget(text);

    auto* buttons = new QDialogButtonBox(this);
    if (m_type == ENxrQueryType::YesNo) {
        m_yes = buttons->addButton(QDialogButtonBox::Yes);
        m_no = buttons->addButton(QDialogButtonBox::No);
        // No is an answer too; only closing the box leaves it unanswered.
        connect(m_yes, &QPushButton::clicked, this, [this] {
            m_yesNo = QStringLiteral("yes");
            accept();
        });
        connect(m_no, &QPushButton::clicked, this, [this] {
            m_yesNo = QStringLiteral("no");
            accept();
        });
        m_no->setDefault(true);  // a question to the device is often a risky one
    } else {
        m_field = new QLineEdit(this);
        // One line goes back to the device: a line break would end it early.
        m_field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[^\\r\\n]*")), m_field));
        if (m_type == ENxrQueryType::Number) {
            m_field->setValidator(new QIntValidator(m_field));
        } else if (m_type == ENxrQueryType::Secret) {
            m_field->setEchoMode(QLineEdit::Password);
        }
        layout->addWidget(m_field);
        buttons->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
            ok != nullptr && m_type == ENxrQueryType::Number) {
            ok->setEnabled(false);
            connect(m_field, &QLineEdit::textChanged, ok,
                    [this, ok] { ok->setEnabled(m_field->hasAcceptableInput()); });
        }
    }
    layout->addWidget(buttons);
}

QString CNxrQueryDlg::Answer() const {
    return m_field != nullptr ? m_field->text() : m_yesNo;
}

}  // namespace quillpad
