// The hex pane in the console: its command and Alt+X, its place between the
// view and the send panel, the saved state, and Ctrl+C in the pane copying
// hex while the same key in the view copies text. The picture of the
// console with the pane is taken here too (disabled in the suite).

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <cstdlib>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/CSendPanelDock.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/support/WorkbayHome.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CHexPane.h"

namespace quillpad {
namespace {

class HexPaneControl : public ::testing::Test, protected test::SFakeSessionRig {
  protected:
    void SetUp() override {
        SControlServices services;
        Wire(services.session);
        services.ui = std::make_unique<test::CQuietControlUi>();
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(1100, 400);
        control->show();
        QApplication::processEvents();
        pane = control->HexPane();
        ASSERT_NE(pane, nullptr);
    }
    void TearDown() override { control.reset(); }

    test::CWorkbayHome home;
    std::unique_ptr<CQuillpad2Ctrl> control;
    CHexPane* pane = nullptr;
};

TEST_F(HexPaneControl, AltXShowsItBesideTheViewAndTheSavedStateKeepsIt) {
    control->resize(1400, 400);
    EXPECT_FALSE(control->HexPaneShown());
    EXPECT_EQ(control->View()->width(), control->width());
    QTest::keyClick(control->View(), Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(control->HexPaneShown());
    EXPECT_TRUE(control->Settings().m_showHexPane);
    EXPECT_TRUE(CommandState(cmd::HexPane, control->CommandContext()).checked);
    EXPECT_EQ(control->View()->width(), pane->x());
    EXPECT_EQ(pane->geometry().right() + 1, control->width());
    EXPECT_EQ(pane->width(), pane->PreferredWidth()) << "a whole row in a wide console";

    // With the send panel too: the pane between the view and the panel.
    control->ShowSendPanel(true);
    EXPECT_EQ(control->View()->width(), pane->x());
    EXPECT_LE(pane->width(), control->View()->width()) << "never more than half of the rest";
    EXPECT_EQ(pane->geometry().right() + 1, control->SendPanel()->x());

    QByteArray blob;
    int length = 0;
    control->IWBGetSaveData(&blob, &length);
    EXPECT_TRUE(blob.contains("[Hex Pane]\nShowHexPane=TRUE"));
    control->OnCommand(cmd::HexPane);
    EXPECT_FALSE(control->HexPaneShown());
    EXPECT_FALSE(control->Settings().m_showHexPane);
    EXPECT_EQ(control->View()->width(), control->SendPanel()->x());
    control->IWBLoadSaveData(blob, length);
    EXPECT_TRUE(control->HexPaneShown());
}

TEST_F(HexPaneControl, CtrlCCopiesHexInThePaneAndTextInTheView) {
    control->ShowHexPane(true);
    control->OnDataReceived(0, "OK\r\n");
    QApplication::processEvents();
    control->View()->SelectAll();
    pane->SyncFromView();
    ASSERT_TRUE(pane->HasSelection());
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "4F 4B 0D 0A");
    control->View()->setFocus();
    QTest::keyClick(control->View(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith("OK\n"))
        << QApplication::clipboard()->text().toStdString();
    // Alt+X in the pane hides it; the focus goes back to the view.
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(control->HexPaneShown());
}

TEST_F(HexPaneControl, DISABLED_Screenshot) {
    const char* picture = std::getenv("QUILLPAD_SCREENSHOT");
    if (picture == nullptr) {
        FAIL() << "set QUILLPAD_SCREENSHOT to the picture's file";
    }
    control->resize(1400, 420);
    control->ShowHexPane(true);
    control->OnDataTransmitted(0, "ver\r");
    control->OnDataReceived(0, "Pump controller PC-40 firmware 3.2.1\r\n> ");
    control->OnDataTransmitted(0, "stat\r");
    control->OnDataReceived(0, "flow=12.5 l/min\tpressure=2.31 bar\r\nstate: RUN\x07\r\n> ");
    QTest::qWait(100);
    control->View()->SetSelection(0, 3);
    QTest::qWait(100);
    EXPECT_TRUE(control->grab().save(QString::fromLocal8Bit(picture)));
}

}  // namespace
}  // namespace quillpad
