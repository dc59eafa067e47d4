#include "view/qt/CopyRefusal.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>

namespace quillpad {

void TellCopyRefused(QWidget* parent, const std::function<void(const QString&)>& notifier,
                     const QString& text) {
    if (notifier) {
        notifier(text);
        return;
    }
    QMetaObject::invokeMethod(
        parent,
        [parent, text] {
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Copy"), text,
                                        QMessageBox::Ok, parent);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        },
        Qt::QueuedConnection);
}

}  // namespace quillpad
