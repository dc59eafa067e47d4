#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>
#include <QtGlobal>

#include "control/qt/CAsciiSendDialog.h"
#include "control/qt/CGoToTimeDialog.h"
#include "control/qt/CLogFilesDialog.h"
#include "control/qt/CResetPulseDialog.h"
#include "control/qt/CSendItemDialog.h"
#include "control/qt/CShareLinkDialog.h"
#include "control/qt/CTriggersDialog.h"
#include "control/qt/IControlUi.h"
#include "input/qt/CHistoryPopup.h"
#include "input/qt/CShortcutSetupDlg.h"
#include "nxr/NxrRequestBlocks.h"
#include "nxr/qt/NxrGui.h"
#include "platform/qt/FileName.h"

#ifndef QUILLPAD_VERSION
#define QUILLPAD_VERSION "unknown"
#endif

namespace quillpad {
namespace {

// The control's icon: a quill's "Q" on the console's dark ground.
QPixmap ControlIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x20, 0x2a, 0x33));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setBold(true);
    font.setPixelSize(size * 2 / 3);
    p.setFont(font);
    p.setPen(QColor(0x7f, 0xe0, 0x8a));
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}

void Fill(QMenu& menu, const std::vector<SMenuItem>& items) {
    for (const auto& item : items) {
        if (item.kind == EMenuItemKind::Separator) {
            menu.addSeparator();
        } else if (item.kind == EMenuItemKind::Command) {
            menu.addAction(QString::fromLatin1(item.text.c_str()))->setData(item.id);
        }
    }
}

}  // namespace

cmd::CommandId CQtControlUi::TrackPopup(const std::vector<SMenuItem>& items, QPoint globalPos,
                                        QWidget* owner) {
    QMenu menu(owner);
    Fill(menu, items);
    QAction* chosen = menu.exec(globalPos);
    return chosen != nullptr ? static_cast<cmd::CommandId>(chosen->data().toUInt()) : 0;
}

void CQtControlUi::ShowAbout(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("About Quillpad2 Control"));
    auto* icon = new QLabel(&dialog);
    icon->setPixmap(ControlIcon(48));
    auto* text =
        new QLabel(QStringLiteral("Quillpad2 Control, version %1\nQt %2")
                       .arg(QStringLiteral(QUILLPAD_VERSION), QString::fromLatin1(qVersion())),
                   &dialog);
    text->setObjectName(QStringLiteral("version"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* column = new QVBoxLayout(&dialog);
    column->addLayout(row);
    column->addWidget(buttons);
    dialog.exec();
}

void CQtControlUi::ShowHelp(int topic, QWidget* owner) {
    NxrGUIShowHelp(nullptr, 15, topic, owner);
}

std::optional<SLogRequest> CQtControlUi::RunLogFilesDialog(CQuillpadSettings& settings,
                                                           QWidget* owner) {
    SLogFilesDialogHooks hooks;
    hooks.chooseFolder = [](QWidget* parent, const std::string& start) {
        return ChooseLogFolder(start, parent);
    };
    // The maker's help takes no window here.
    hooks.showHelp = [this](int topic) { ShowHelp(topic, nullptr); };
    CLogFilesDialog dialog(settings, std::move(hooks), owner);
    dialog.exec();
    return dialog.Result();
}

std::optional<std::string> CQtControlUi::ChooseLogFolder(const std::string& start, QWidget* owner) {
    const QString folder = QFileDialog::getExistingDirectory(
        owner, QStringLiteral("Select Log Folder"), FileNameToQString(start));
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return QStringToFileName(folder);
}

std::optional<std::string> CQtControlUi::ChooseFileToOpen(const QString& filter,
                                                          const QString& defaultSuffix,
                                                          const std::string& folder,
                                                          QWidget* owner) {
    QFileDialog dialog(owner, QString(), FileNameToQString(folder), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QStringToFileName(dialog.selectedFiles().front());
}

std::optional<std::string> CQtControlUi::ChooseFileToSave(const QString& filter,
                                                          const std::string& folder,
                                                          QWidget* owner) {
    QFileDialog dialog(owner, QString(), FileNameToQString(folder), filter);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QStringToFileName(dialog.selectedFiles().front());
}

bool CQtControlUi::ConfirmOverwrite(const std::string& path, QWidget* owner) {
    return QMessageBox::question(owner, QStringLiteral("Confirm Save As"),
                                 QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(FileNameToQString(path))) == QMessageBox::Yes;
}

bool CQtControlUi::AskYesNo(const std::string& question, QWidget* owner) {
    return QMessageBox::question(owner, QStringLiteral("Quillpad"),
                                 QString::fromStdString(question)) == QMessageBox::Yes;
}

std::optional<ByteString> CQtControlUi::RunHistoryPopup(CCommandHistory& history, QPoint caret,
                                                        QWidget* owner) {
    CHistoryPopup popup(history, caret, owner);
    popup.exec();
    return popup.Result();
}

bool CQtControlUi::RunShortcutSetup(const std::string& dataDirectory, CKeySet& keySet,
                                    QWidget* owner) {
    CQtShortcutSetupUi ui;
    CShortcutSetupDlg dialog(dataDirectory, keySet, ui, owner);
    // The dialog's own help topic, without a window.
    QObject::connect(&dialog, &CShortcutSetupDlg::HelpRequested, &dialog,
                     [](int topic) { NxrGUIShowHelp(nullptr, 15, topic, nullptr); });
    return dialog.exec() == QDialog::Accepted;
}

bool CQtControlUi::RunResetPulseDialog(SResetPulseChoice& choice, QWidget* owner) {
    CResetPulseDialog dialog(choice, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    choice = dialog.Choice();
    return true;
}

std::optional<int> CQtControlUi::AskBreakLength(int lastMs, QWidget* owner) {
    bool ok = false;
    const int ms =
        QInputDialog::getInt(owner, QStringLiteral("Break"), QStringLiteral("Length of the break:"),
                             lastMs, 1, kNxrMaxBreakMs, 50, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return ms;
}

std::optional<std::string> CQtControlUi::AskGoToTime(const std::string& last, QWidget* owner) {
    CGoToTimeDialog dialog(last, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Text();
}

std::optional<SShareLinkChoice> CQtControlUi::AskShareLink(const SShareLinkChoice& last,
                                                           QWidget* owner) {
    CShareLinkDialog dialog(last, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Choice();
}

bool CQtControlUi::RunTriggersDialog(std::vector<STrigger>& triggers,
                                     const std::vector<std::string>& notes,
                                     const std::string& dataDirectory, QWidget* owner) {
    CTriggersDialog* shown = nullptr;
    CTriggersDialog dialog(
        triggers, notes,
        [this, &shown, dataDirectory] {
            return ChooseFileToOpen(QStringLiteral("Lua scripts (*.lua);;All files (*)"),
                                    QStringLiteral("lua"), dataDirectory, shown);
        },
        owner);
    shown = &dialog;
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    triggers = dialog.Triggers();
    return true;
}

void CQtControlUi::Beep() {
    QApplication::beep();
}

bool CQtControlUi::RunAsciiSendDialog(const std::string& path, SAsciiPacing& pacing,
                                      QWidget* owner) {
    CAsciiSendDialog dialog(path, pacing, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    pacing = dialog.Pacing();
    return true;
}

bool CQtControlUi::RunSendItemDialog(SSendItem& item, QWidget* owner) {
    CSendItemDialog dialog(item, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    item = dialog.Item();
    return true;
}

std::optional<std::string> CQtControlUi::AskSendPanelName(QWidget* owner) {
    bool ok = false;
    const QString name = QInputDialog::getText(owner, QStringLiteral("New Send Panel"),
                                               QStringLiteral("Name of the new panel:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok || name.trimmed().isEmpty()) {
        return std::nullopt;
    }
    // A file name: the file system's bytes.
    return QStringToFileName(name.trimmed());
}

}  // namespace quillpad
