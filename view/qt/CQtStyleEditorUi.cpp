#include <QAction>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMenu>
#include <QMessageBox>

#include "view/qt/IStyleEditorUi.h"

namespace quillpad {

std::optional<QColor> CQtStyleEditorUi::ChooseColour(const QColor& initial, QWidget* owner) {
    const QColor chosen = QColorDialog::getColor(initial, owner);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return chosen;
}

std::optional<SFontChoice> CQtStyleEditorUi::ChooseFont(const std::optional<SFontChoice>& initial,
                                                        QWidget* owner) {
    bool ok = false;
    const QFont font = initial ? QFontDialog::getFont(&ok, initial->font, owner)
                               : QFontDialog::getFont(&ok, owner);
    if (!ok) {
        return std::nullopt;
    }
    // Qt's chooser has no colour of its own: the colour stays the rule's.
    return SFontChoice{font, initial ? initial->colour : QColor(Qt::black)};
}

QString CQtStyleEditorUi::ChooseStyleFile(const QString& directory, QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(QStringLiteral("Workbay Console Style Sheets (*.tss)"));
    dialog.setDefaultSuffix(QStringLiteral("tss"));
    dialog.setDirectory(directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

void CQtStyleEditorUi::Inform(const QString& caption, const QString& text, QWidget* owner) {
    QMessageBox::information(owner, caption, text);
}

bool CQtStyleEditorUi::AskYesNo(const QString& caption, const QString& text, QWidget* owner) {
    return QMessageBox::warning(owner, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

int CQtStyleEditorUi::TrackPopup(const std::vector<SPopupChoice>& items, QPoint globalPos,
                                 QWidget* owner) {
    QMenu menu(owner);
    for (const auto& item : items) {
        QAction* action = menu.addAction(item.text);
        action->setData(item.command);
        action->setEnabled(item.enabled);
    }
    QAction* chosen = menu.exec(globalPos);
    return chosen != nullptr ? chosen->data().toInt() : 0;
}

void CQtStyleEditorUi::ShowHelp(int topic, QWidget* owner) {
    if (m_help) {
        m_help(topic, owner);
    }
}

}  // namespace quillpad
