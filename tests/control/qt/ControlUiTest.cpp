// The real dialogs behind the control's UI seam, answered as a user would.

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QtGlobal>

#include "control/qt/IControlUi.h"
#include "platform/ProgramInfo.h"

namespace quillpad {
namespace {

TEST(ControlUi, TheAboutBoxNamesTheControlItsVersionAndQt) {
    QString title;
    QString version;
    bool hasIcon = false;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        modal = box->isModal();
        title = box->windowTitle();
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            hasIcon = hasIcon || !label->pixmap().isNull();
            if (label->objectName() == "version") {
                version = label->text();
            }
        }
        box->accept();
    });
    CQtControlUi ui;
    ui.ShowAbout(nullptr);
    EXPECT_TRUE(modal);
    EXPECT_EQ(title, "About Quillpad2 Control");
    EXPECT_TRUE(hasIcon);
    EXPECT_TRUE(version.contains(QStringLiteral("version ") + QuillpadVersion()));
    EXPECT_TRUE(version.contains(QString::fromLatin1(qVersion())));
}

}  // namespace
}  // namespace quillpad
