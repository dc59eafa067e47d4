#include "nxr/qt/CNxrAbilityGroupDlg.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillpad {
namespace {

// The device's words are bytes; one byte is one character.
QString Latin1(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

constexpr int kAnswerLines = 4;
constexpr int kTimeoutMs = 1000;

}  // namespace

CNxrAbilityGroupDlg::CNxrAbilityGroupDlg(CNxrSession* session, NxrHandle handle,
                                         EAbilityGroup group, QWidget* parent)
    : QDialog(parent), m_session(session), m_handle(handle) {
    setObjectName(QStringLiteral("abilityGroup"));
    const SAbilityGroupInfo* info = AbilityGroupInfo(group);
    setWindowTitle(info != nullptr ? QString::fromLatin1(info->caption) : QStringLiteral("Device"));

    auto* layout = new QVBoxLayout(this);
    const QString device =
        session != nullptr ? Latin1(session->Spec().Describe()) : QStringLiteral("none");
    layout->addWidget(new QLabel(QStringLiteral("Device: %1").arg(device), this));

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int answerHeight = QFontMetrics(fixed).lineSpacing() * kAnswerLines + 12;
    for (const SAbilityInfo& ability : AbilitiesOfGroup(group)) {
        SRow row;
        row.ability = ability;
        auto* box = new QGroupBox(QString::fromLatin1(ability.caption), this);
        auto* grid = new QGridLayout(box);
        row.answer = new QPlainTextEdit(box);
        row.answer->setReadOnly(true);
        row.answer->setFont(fixed);
        row.answer->setFixedHeight(answerHeight);
        row.answer->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QLatin1Char('M')) * 44);
        row.answer->setLineWrapMode(QPlainTextEdit::NoWrap);
        row.button = new QPushButton(
            ability.onOpen ? QStringLiteral("Read again") : QStringLiteral("Run"), box);
        row.button->setToolTip(QString::fromLatin1(ability.command));
        row.button->setAutoDefault(false);
        grid->addWidget(row.answer, 0, 0, 2, 1);
        grid->addWidget(row.button, 0, 1, Qt::AlignTop);
        layout->addWidget(box);
        const std::size_t index = m_rows.size();
        connect(row.button, &QPushButton::clicked, this, [this, index] { Run(index); });
        m_rows.push_back(row);
    }
    // One width for every button, so the answers line up.
    int buttonWidth = 0;
    for (const SRow& row : m_rows) {
        buttonWidth = std::max(buttonWidth, row.button->sizeHint().width());
    }
    for (const SRow& row : m_rows) {
        row.button->setFixedWidth(buttonWidth);
    }
    m_status = new QLabel(this);
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].ability.onOpen) {
            Run(i);
        }
    }
    if (m_rows.empty()) {
        m_status->setText(QStringLiteral("This group has no abilities."));
    }
}

CNxrAbilityGroupDlg::~CNxrAbilityGroupDlg() {
    for (SRow& row : m_rows) {
        if (row.requestId != 0 && m_session) {
            m_session->Cancel(row.requestId, 2, &m_handle);
        }
    }
}

void CNxrAbilityGroupDlg::Run(std::size_t index) {
    if (index >= m_rows.size() || m_rows[index].requestId != 0) {
        return;
    }
    SRow& row = m_rows[index];
    const QString command = QString::fromLatin1(row.ability.command);
    if (!m_session) {
        row.answer->setPlainText(QStringLiteral("Not connected."));
        m_status->setText(QStringLiteral("The console's connection is gone."));
        return;
    }
    const QPointer<CNxrAbilityGroupDlg> self(this);
    std::uint32_t id = 0;
    const std::int32_t status = m_session->RunAbility(
        row.ability.command, kTimeoutMs,
        [self, index](bool success, const std::string& answer, const std::string& error) {
            if (self) {
                self->Finished(index, success, answer, error);
            }
        },
        &id, &m_handle,
        [self, command](int percent, const std::string& text) {
            if (self) {
                self->m_status->setText(
                    QStringLiteral("%1: %2% %3").arg(command).arg(percent).arg(Latin1(text)));
            }
        });
    if (status != 0) {
        row.answer->setPlainText(Latin1(m_session->ErrorText(0)));
        m_status->setText(QStringLiteral("%1 could not run.").arg(command));
        return;
    }
    row.requestId = id;
    row.button->setEnabled(false);
    row.answer->setPlainText(QStringLiteral("Asking the device..."));
    m_status->setText(QStringLiteral("Running %1...").arg(command));
}

void CNxrAbilityGroupDlg::Finished(std::size_t index, bool success, const std::string& answer,
                                   const std::string& error) {
    SRow& row = m_rows[index];
    row.requestId = 0;
    row.button->setEnabled(true);
    const QString command = QString::fromLatin1(row.ability.command);
    if (success) {
        QString text = Latin1(answer);
        if (text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
        }
        row.answer->setPlainText(text);
        m_status->setText(QStringLiteral("%1: done.").arg(command));
    } else {
        row.answer->setPlainText(Latin1(error));
        m_status->setText(QStringLiteral("%1 failed.").arg(command));
    }
}

QString CNxrAbilityGroupDlg::AnswerText(std::size_t index) const {
    return index < m_rows.size() ? m_rows[index].answer->toPlainText() : QString();
}

QPushButton* CNxrAbilityGroupDlg::RunButton(std::size_t index) const {
    return index < m_rows.size() ? m_rows[index].button : nullptr;
}

QString CNxrAbilityGroupDlg::StatusText() const {
    return m_status->text();
}

int CNxrAbilityGroupDlg::Running() const {
    int n = 0;
    for (const SRow& row : m_rows) {
        n += row.requestId != 0 ? 1 : 0;
    }
    return n;
}

}  // namespace quillpad
