#include "input/qt/CShortcutSetupDlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "input/Escapes.h"
#include "input/qt/DialogUnits.h"
#include "platform/Paths.h"
#include "platform/qt/FileName.h"
#include "platform/qt/Latin1.h"

namespace quillpad {
namespace {

constexpr int kRowRole = Qt::UserRole;

// A label shows "&" as it is: it has no buddy to give a mnemonic to.
QLabel* HelpText(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

std::optional<std::string> CQtShortcutSetupUi::ChooseKeySetFile(const std::string& folder,
                                                                QWidget* owner) {
    QFileDialog dialog(owner, QString(), FileNameToQString(folder),
                       QStringLiteral("Sequence Keyset Files (*.keyset)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);  // a new name makes a new key set
    dialog.setDefaultSuffix(QStringLiteral("keyset"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QStringToFileName(dialog.selectedFiles().front());
}

bool CQtShortcutSetupUi::ConfirmOutsideDataDirectory(QWidget* owner) {
    return QMessageBox::warning(
               owner, QStringLiteral("Continue?"),
               QStringLiteral("Only keyset files found in the Quillpad Data directory will be "
                              "listed on the menu for selection.\nDo you want to continue with "
                              "this file?"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

CShortcutSetupDlg::CShortcutSetupDlg(std::string dataDirectory, CKeySet& keySet,
                                     IShortcutSetupUi& ui, QWidget* parent)
    : QDialog(parent), m_dataDirectory(std::move(dataDirectory)), m_keySet(keySet), m_ui(ui) {
    setWindowTitle(QStringLiteral("Shortcut Setup"));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("shortcuts"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels(
        {QStringLiteral("Key"), QStringLiteral("Shortcut"), QStringLiteral("Description")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setDefaultAlignment(Qt::AlignLeft);

    m_sequence = new QLineEdit(this);
    m_sequence->setObjectName(QStringLiteral("sequence"));
    m_description = new QLineEdit(this);
    m_description->setObjectName(QStringLiteral("description"));
    m_fileName = new QLineEdit(this);
    m_fileName->setObjectName(QStringLiteral("fileName"));
    m_fileName->setReadOnly(true);

    auto* setDefaults = new QPushButton(QStringLiteral("Set Defaults"), this);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    setDefaults->setAutoDefault(false);
    browse->setAutoDefault(false);
    cancel->setAutoDefault(false);

    auto* boxes = new QGridLayout;
    boxes->addWidget(new QLabel(QStringLiteral("Edit Shortcut:"), this), 0, 0);
    boxes->addWidget(m_sequence, 0, 1);
    boxes->addWidget(new QLabel(QStringLiteral("Edit Description:"), this), 1, 0);
    boxes->addWidget(m_description, 1, 1);
    boxes->addWidget(setDefaults, 0, 2);
    m_escapeNote = new QLabel(this);
    m_escapeNote->setObjectName(QStringLiteral("escapeNote"));
    m_escapeNote->setTextFormat(Qt::PlainText);
    m_escapeNote->setWordWrap(true);
    m_escapeNote->hide();
    boxes->addWidget(m_escapeNote, 2, 1, 1, 2);

    auto* help = new QGridLayout;
    help->addWidget(
        HelpText("To enter non-typable or special characters use the following formats:", this), 0,
        0, 1, 2);
    help->addWidget(HelpText("\t\\xNN  = NN is a 2-digit hexadecimal number.\n\t\\r =  Carriage "
                             "Return.\n\t\\n =New Line (CR-LF).\n\t\\\\ = Backslash character .",
                             this),
                    1, 0, Qt::AlignTop);
    help->addWidget(HelpText("\t &Ability = Activates the ability.\n\t@AbilityGroup = Shows the "
                             "group dialog.",
                             this),
                    1, 1, Qt::AlignTop);

    auto* file = new QHBoxLayout;
    file->addWidget(new QLabel(QStringLiteral("Filename: "), this));
    file->addWidget(m_fileName, 1);
    file->addWidget(browse);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(boxes);
    layout->addLayout(help);
    layout->addLayout(file);
    layout->addLayout(buttons);
    resize(DialogUnitsToPixels(*this, 377, 252));

    connect(ok, &QPushButton::clicked, this, &CShortcutSetupDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CShortcutSetupDlg::reject);
    connect(setDefaults, &QPushButton::clicked, this, &CShortcutSetupDlg::SetDefaults);
    connect(browse, &QPushButton::clicked, this, &CShortcutSetupDlg::Browse);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            &CShortcutSetupDlg::OnSelectionChanged);
    connect(m_sequence, &QLineEdit::textChanged, this, [this](const QString& text) {
        ShowEscapeNote(text);
        CopyBoxToRow(ShortcutColumn, text);
    });
    connect(m_description, &QLineEdit::textChanged, this,
            [this](const QString& text) { CopyBoxToRow(DescriptionColumn, text); });

    FillList();
    m_sequence->setEnabled(false);
}

void CShortcutSetupDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_columnsSized) {
        // Shares of the list's width when the dialog opens.
        m_columnsSized = true;
        const int width = m_list->width();
        m_list->setColumnWidth(KeyColumn, width * 18 / 100);
        m_list->setColumnWidth(ShortcutColumn, width * 58 / 100);
        m_list->setColumnWidth(DescriptionColumn, width * 20 / 100);
    }
}

void CShortcutSetupDlg::FillList() {
    m_list->clear();
    for (std::size_t row = 0; row < kShortcutTable.size(); ++row) {
        const SShortcutDef& def = kShortcutTable[row];
        auto* item = new QTreeWidgetItem(m_list);  // the list owns it
        item->setText(KeyColumn, QString::fromLatin1(def.label));
        item->setText(ShortcutColumn, BytesToQString(m_keySet.ReadString(
                                          CKeySet::kSection, def.keyName, def.defaultMacro)));
        item->setText(DescriptionColumn, BytesToQString(m_keySet.ReadString(
                                             CKeySet::kSection, def.descriptionKey, "")));
        item->setData(KeyColumn, kRowRole, static_cast<int>(row));
    }
    m_fileName->setText(FileNameToQString(m_keySet.GetPath()));
}

void CShortcutSetupDlg::SetBoxes(const QString& sequence, const QString& description,
                                 bool enabled) {
    m_settingBoxes = true;
    m_sequence->setText(sequence);
    m_description->setText(description);
    m_settingBoxes = false;
    m_sequence->setEnabled(enabled);
    m_description->setEnabled(enabled);
}

void CShortcutSetupDlg::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        SetBoxes({}, {}, false);
    } else {
        SetBoxes(selected.front()->text(ShortcutColumn), selected.front()->text(DescriptionColumn),
                 true);
    }
}

void CShortcutSetupDlg::ShowEscapeNote(const QString& macro) {
    const ByteString bytes = QStringToBytes(macro);
    QStringList lines;
    if (MacroKind(bytes) == EMacroKind::Bytes) {
        for (const SEscapeProblem& problem : MacroEscapeProblems(bytes)) {
            lines << QString::fromLatin1(DescribeEscapeProblem(bytes, problem) + ".");
        }
    }
    m_escapeNote->setText(lines.join(QLatin1Char('\n')));
    m_escapeNote->setVisible(!lines.isEmpty());
}

void CShortcutSetupDlg::CopyBoxToRow(int column, const QString& text) {
    if (m_settingBoxes) {
        return;
    }
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (!selected.isEmpty()) {
        selected.front()->setText(column, text);
    }
}

void CShortcutSetupDlg::SetDefaults() {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        const SShortcutDef& def =
            kShortcutTable[static_cast<std::size_t>(item->data(KeyColumn, kRowRole).toInt())];
        item->setText(ShortcutColumn, QString::fromLatin1(def.defaultMacro));
        item->setText(DescriptionColumn, QString());
    }
    SetBoxes({}, {}, false);
}

void CShortcutSetupDlg::Browse() {
    const std::optional<std::string> path = m_ui.ChooseKeySetFile(m_dataDirectory, this);
    if (!path) {
        return;
    }
    if (SameFolderIgnoringCase(PathFolder(*path), m_dataDirectory) ||
        m_ui.ConfirmOutsideDataDirectory(this)) {
        m_keySet.LoadFile(*path, true, true);
        if (m_keySet.FindOrCreateSection(CKeySet::kSection)->EntryCount() == 0) {
            m_keySet.ApplyDefaultShortcuts();
        }
    }
    FillList();
}

void CShortcutSetupDlg::accept() {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        const SShortcutDef& def =
            kShortcutTable[static_cast<std::size_t>(item->data(KeyColumn, kRowRole).toInt())];
        m_keySet.WriteString(CKeySet::kSection, def.keyName,
                             QStringToBytes(item->text(ShortcutColumn)));
        m_keySet.WriteString(CKeySet::kSection, def.descriptionKey,
                             QStringToBytes(item->text(DescriptionColumn)));
    }
    QDialog::accept();
}

void CShortcutSetupDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        emit HelpRequested(kHelpTopic);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quillpad
