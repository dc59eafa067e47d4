#include "nxr/qt/CNxrDialogEventTask.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillpad {

CNxrDialogEventTask::CNxrDialogEventTask(QWidget* parent) : CNxrProgressDialog(parent) {
    setObjectName(QStringLiteral("taskProgress"));
    setWindowTitle(QStringLiteral("Task"));
    setModal(false);
    hide();
}

void CNxrDialogEventTask::Build() {
    // Made with the first task, as the file dialog is.
    if (m_text != nullptr) {
        return;
    }
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setMinimumWidth(320);
    m_text->setWordWrap(true);
    m_bar = new QProgressBar(this);
    auto* buttons = new QDialogButtonBox(this);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { CancelClicked(); });
}

void CNxrDialogEventTask::OnTaskStart(std::uint32_t requestId, const QString& title,
                                      const QString& text) {
    Build();
    Begin(requestId);
    setWindowTitle(title.isEmpty() ? QStringLiteral("Task") : title);
    m_text->setText(text);
    m_bar->setRange(0, 0);
    m_cancel->setEnabled(true);
    show();
    raise();
}

void CNxrDialogEventTask::OnTaskProgress(std::uint32_t requestId, std::int32_t percent,
                                         const QString& text, std::int32_t /*value*/) {
    if (requestId != m_requestId) {
        return;
    }
    if (percent >= 0 && percent <= 100) {
        m_bar->setRange(0, 100);
        m_bar->setValue(percent);
    } else {
        m_bar->setRange(0, 0);
    }
    if (!text.isEmpty()) {
        m_text->setText(text);
    }
}

void CNxrDialogEventTask::OnTaskComplete(std::uint32_t requestId, bool /*success*/) {
    if (requestId != m_requestId) {
        return;
    }
    m_requestId = 0;
    hide();
}

QString CNxrDialogEventTask::Text() const {
    return m_text != nullptr ? m_text->text() : QString();
}
int CNxrDialogEventTask::Percent() const {
    return m_bar != nullptr ? m_bar->value() : 0;
}

}  // namespace quillpad
