#include "control/qt/CLogFilesDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Clock.h"
#include "platform/qt/FileName.h"

namespace quillpad {
namespace {

constexpr int kQuickNameId = 210;
constexpr int kFormattedPathId = 211;
constexpr int kBinaryPathId = 212;
constexpr int kSelectFolderId = 217;
constexpr int kPlainId = 218;
constexpr int kTimestampsId = 219;
constexpr int kBinaryId = 220;
constexpr int kFormattedId = 221;
constexpr int kPlainPathId = 251;

template <class W>
W* Tagged(W* widget, int id) {
    widget->setObjectName(QStringLiteral("id%1").arg(id));
    return widget;
}

QLabel* Explanation(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setWordWrap(true);
    label->setEnabled(false);
    return label;
}

}  // namespace

CLogFilesDialog::CLogFilesDialog(CQuillpadSettings& settings, SLogFilesDialogHooks hooks,
                                 QWidget* parent)
    : QDialog(parent), m_settings(settings), m_hooks(std::move(hooks)) {
    setWindowTitle(QStringLiteral("Log Files"));
    m_quickName = Tagged(new QLineEdit(this), kQuickNameId);
    m_plain = Tagged(new QCheckBox(QStringLiteral("Plain Text"), this), kPlainId);
    m_plainPath = Tagged(new QLineEdit(this), kPlainPathId);
    m_formatted = Tagged(new QCheckBox(QStringLiteral("Formatted Text"), this), kFormattedId);
    m_formattedPath = Tagged(new QLineEdit(this), kFormattedPathId);
    m_binary = Tagged(new QCheckBox(QStringLiteral("Workbay Log"), this), kBinaryId);
    m_binaryPath = Tagged(new QLineEdit(this), kBinaryPathId);
    m_timestamps = Tagged(new QCheckBox(QStringLiteral("Insert Timestamps in text files"), this),
                          kTimestampsId);
    auto* selectFolder =
        Tagged(new QPushButton(QStringLiteral("&Select Folder..."), this), kSelectFolderId);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("id2"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Quick Name: "), this), 0, 0);
    grid->addWidget(m_quickName, 0, 1);
    grid->addWidget(m_plain, 1, 0);
    grid->addWidget(m_plainPath, 1, 1);
    grid->addWidget(
        Explanation("Plain text file will be generated with no modification of data.", this), 2, 1);
    grid->addWidget(m_formatted, 3, 0);
    grid->addWidget(m_formattedPath, 3, 1);
    grid->addWidget(Explanation("Plain text file will be generated with data hidden/shown/"
                                "translated as shown in current style.",
                                this),
                    4, 1);
    grid->addWidget(m_binary, 5, 0);
    grid->addWidget(m_binaryPath, 5, 1);
    grid->addWidget(Explanation("Binary file will be created which can be re-loaded offline and "
                                "reformatted using style.",
                                this),
                    6, 1);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_timestamps);
    buttons->addStretch(1);
    buttons->addWidget(selectFolder);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addStretch(1);
    column->addLayout(buttons);
    // 314 x 177 dialog units of the 8-point system font.
    resize(628, 320);

    connect(m_quickName, &QLineEdit::textChanged, this, [this] { RebuildPaths(); });
    connect(selectFolder, &QPushButton::clicked, this, [this] { SelectFolder(); });
    connect(ok, &QPushButton::clicked, this, &CLogFilesDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CLogFilesDialog::reject);

    m_plain->setChecked(m_settings.m_logAsPlainText);
    m_formatted->setChecked(m_settings.m_logAsFormattedText);
    m_binary->setChecked(m_settings.m_logAsBinaryLog);
    m_timestamps->setChecked(m_settings.m_insertTimestampsInText);
    RebuildPaths();
    m_quickName->setFocus();
}

QWidget* CLogFilesDialog::Control(int id) const {
    return findChild<QWidget*>(QStringLiteral("id%1").arg(id));
}

void CLogFilesDialog::RebuildPaths() {
    const std::int64_t now = m_hooks.now ? m_hooks.now() : DefaultClock().CalendarSeconds();
    const SLogPaths paths =
        BuildLogPaths(m_settings.m_logFolder, QStringToFileName(m_quickName->text()), now);
    m_plainPath->setText(FileNameToQString(paths.plain));
    m_formattedPath->setText(FileNameToQString(paths.formatted));
    m_binaryPath->setText(FileNameToQString(paths.binary));
}

void CLogFilesDialog::SelectFolder() {
    if (!m_hooks.chooseFolder) {
        return;
    }
    if (const auto folder = m_hooks.chooseFolder(this, m_settings.m_logFolder)) {
        if (!folder->empty()) {
            m_settings.m_logFolder = *folder;
        }
        RebuildPaths();
    }
}

SLogRequest CLogFilesDialog::Request() const {
    return SLogRequest{.quickName = QStringToFileName(m_quickName->text()),
                       .plainEnabled = m_plain->isChecked(),
                       .plainPath = QStringToFileName(m_plainPath->text()),
                       .formattedEnabled = m_formatted->isChecked(),
                       .formattedPath = QStringToFileName(m_formattedPath->text()),
                       .binaryEnabled = m_binary->isChecked(),
                       .binaryPath = QStringToFileName(m_binaryPath->text()),
                       .insertTimestamps = m_timestamps->isChecked(),
                       .paused = false};
}

void CLogFilesDialog::accept() {
    m_result = Request();
    m_settings.m_logAsPlainText = m_result->plainEnabled;
    m_settings.m_logAsFormattedText = m_result->formattedEnabled;
    m_settings.m_logAsBinaryLog = m_result->binaryEnabled;
    m_settings.m_insertTimestampsInText = m_result->insertTimestamps;
    QDialog::accept();
}

void CLogFilesDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        if (m_hooks.showHelp) {
            m_hooks.showHelp(kHelpTopic);
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quillpad
