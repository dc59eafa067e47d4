#include "host/qt/CWorkbayDialogs.h"

#include <QMessageBox>

#include "host/qt/CNewConsoleDialog.h"

namespace quillpad {

void CWorkbayDialogs::ShowMessage(QWidget* parent, EWorkbayMessage kind, const QString& title,
                                  const QString& text) {
    switch (kind) {
        case EWorkbayMessage::Information:
            QMessageBox::information(parent, title, text);
            break;
        case EWorkbayMessage::Warning:
            QMessageBox::warning(parent, title, text);
            break;
        case EWorkbayMessage::About:
            QMessageBox::about(parent, title, text);
            break;
    }
}

std::optional<SNewConsoleChoice> CWorkbayDialogs::AskNewConsole(QWidget* parent,
                                                                const SNewConsoleOptions& options) {
    CNewConsoleDialog dialog(options, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Choice();
}

}  // namespace quillpad
