#include "nxr/qt/CNxrDialogEventFile.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillpad {

QString NxrGroupedNumber(std::int64_t value) {
    QLocale english(QLocale::English);
    return english.toString(static_cast<qlonglong>(value));
}

namespace {

// "device" stands for the far side; the other end is the file on disk.
QString FileOf(const QString& source, const QString& target, bool sending) {
    const QString path = sending ? source : target;
    return QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
}

QString Duration(qint64 seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

CNxrDialogEventFile::CNxrDialogEventFile(QWidget* parent) : CNxrProgressDialog(parent) {
    setObjectName(QStringLiteral("fileProgress"));
    setWindowTitle(QStringLiteral("File Transfer"));
    setModal(false);
    hide();
}

void CNxrDialogEventFile::Build() {
    // Its widgets come with the first transfer: every console has the
    // dialog, few ever transfer a file.
    if (m_file != nullptr) {
        return;
    }
    auto* layout = new QVBoxLayout(this);
    m_file = new QLabel(this);
    m_file->setMinimumWidth(360);
    m_bytes = new QLabel(this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_rate = new QLabel(this);
    m_errors = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(m_file);
    layout->addWidget(m_bytes);
    layout->addWidget(m_bar);
    layout->addWidget(m_rate);
    layout->addWidget(m_errors);
    layout->addWidget(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { CancelClicked(); });
}

void CNxrDialogEventFile::OnFileXferBatchStart(std::uint32_t requestId, const QString& title,
                                               std::int32_t /*files*/, std::int32_t /*bytes*/) {
    Build();
    Begin(requestId);
    setWindowTitle(title.isEmpty() ? QStringLiteral("File Transfer") : title);
    m_file->clear();
    m_bytes->setText(QStringLiteral("Starting..."));
    m_rate->clear();
    m_errors->clear();
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_cancel->setText(QStringLiteral("Cancel"));
    m_cancel->setEnabled(true);
    m_clock.start();
    show();
    raise();
}

void CNxrDialogEventFile::OnFileXferFileStart(std::uint32_t requestId, const QString& source,
                                              const QString& target, std::int32_t size,
                                              bool sending, const QString& protocol) {
    if (requestId != m_requestId) {
        return;
    }
    m_file->setText(QStringLiteral("%1 %2: %3")
                        .arg(protocol, sending ? QStringLiteral("send") : QStringLiteral("receive"),
                             FileOf(source, target, sending)));
    m_file->setToolTip(sending ? source : target);
    // An ASCII receive has no end of its own: the user ends it.
    if (!sending && protocol.compare(QStringLiteral("ASCII"), Qt::CaseInsensitive) == 0) {
        m_cancel->setText(QStringLiteral("Stop"));
    }
    if (size <= 0 && !sending) {
        m_bar->setRange(0, 0);  // busy: the size is not known
    }
    m_clock.start();
    OnFileXferFileProgress(requestId, 0, size, 0, 0);
}

void CNxrDialogEventFile::OnFileXferFileProgress(std::uint32_t requestId, std::int32_t done,
                                                 std::int32_t total, std::int32_t errors,
                                                 std::int32_t retries) {
    if (requestId != m_requestId) {
        return;
    }
    if (total > 0) {
        const int percent =
            static_cast<int>(std::min<std::int64_t>(100, std::int64_t{done} * 100 / total));
        m_bar->setRange(0, 100);
        m_bar->setValue(percent);
        m_bytes->setText(QStringLiteral("%1 of %2 bytes (%3 %)")
                             .arg(NxrGroupedNumber(done), NxrGroupedNumber(total))
                             .arg(percent));
    } else {
        m_bytes->setText(QStringLiteral("%1 bytes").arg(NxrGroupedNumber(done)));
    }
    const qint64 elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (elapsedMs > 0 && done > 0) {
        const double perSecond = done * 1000.0 / static_cast<double>(elapsedMs);
        QString rate = perSecond >= 1024.0
                           ? QStringLiteral("%1 KB/s").arg(perSecond / 1024.0, 0, 'f', 1)
                           : QStringLiteral("%1 bytes/s").arg(static_cast<qint64>(perSecond));
        if (total > done && perSecond > 0.0) {
            rate += QStringLiteral(", %1 left")
                        .arg(Duration(static_cast<qint64>(
                            static_cast<double>(total - done) / perSecond + 0.5)));
        }
        m_rate->setText(rate);
    }
    m_errors->setText(errors > 0 || retries > 0
                          ? QStringLiteral("%1 errors, %2 retries").arg(errors).arg(retries)
                          : QString());
}

void CNxrDialogEventFile::OnFileXferFileFinish(std::uint32_t requestId, bool success) {
    if (requestId != m_requestId) {
        return;
    }
    m_cancel->setEnabled(false);
    if (success && m_bar->maximum() == 100) {
        m_bar->setValue(100);
    }
}

void CNxrDialogEventFile::OnFileXferBatchFinish(std::uint32_t requestId, bool /*success*/) {
    if (requestId != m_requestId) {
        return;
    }
    m_requestId = 0;
    hide();
}

bool CNxrDialogEventFile::CancelClicked() {
    if (!CNxrProgressDialog::CancelClicked()) {
        return false;
    }
    m_bytes->setText(m_bytes->text() + QStringLiteral(" - stopping..."));
    return true;
}

QString CNxrDialogEventFile::FileText() const {
    return m_file != nullptr ? m_file->text() : QString();
}
QString CNxrDialogEventFile::BytesText() const {
    return m_bytes != nullptr ? m_bytes->text() : QString();
}
QString CNxrDialogEventFile::RateText() const {
    return m_rate != nullptr ? m_rate->text() : QString();
}
int CNxrDialogEventFile::Percent() const {
    return m_bar != nullptr ? m_bar->value() : 0;
}

}  // namespace quillpad
