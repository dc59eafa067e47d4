// The progress router on its own: each kind of event reaches its dialog,
// a dialog's Cancel comes back to the control as UM_CANCEL_REQUEST, and
// events after a dialog was closed at teardown go nowhere.

#include "control/qt/CProgressRouter.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QWidget>

#include <vector>

#include "nxr/qt/CNxrDialogEventFile.h"
#include "nxr/qt/CNxrDialogEventTask.h"

namespace quillpad {
namespace {

class CCancels final : public CMessageTarget {
  public:
    using CMessageTarget::CMessageTarget;
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_CANCEL_REQUEST) {
            ids.push_back(message.lParam);
        }
        return 0;
    }
    std::vector<std::int64_t> ids;
};

TEST(ProgressRouter, EventsReachTheirDialogAndNoneAfterItClosed) {
    QWidget owner;
    CQueuedChannel channel;
    CCancels control(channel);
    CProgressRouter router(&owner, channel, control.Handle());
    CNxrDialogEventTask* task = router.TaskDialog();
    CNxrDialogEventFile* file = router.FileDialog();
    ASSERT_NE(task, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(task->parentWidget(), &owner);

    EXPECT_EQ(router.OnTaskStart(7, u"Firmware", u"Writing"), 0);
    EXPECT_TRUE(task->isVisible());
    EXPECT_FALSE(file->isVisible()) << "a task event is not the file dialog's";
    EXPECT_EQ(task->windowTitle(), "Firmware");
    task->CancelButton()->click();
    channel.DrainPending();
    EXPECT_EQ(control.ids, std::vector<std::int64_t>{7});
    EXPECT_EQ(router.OnTaskComplete(7, true), 0);
    EXPECT_FALSE(task->isVisible());

    EXPECT_EQ(router.OnFileBatchStart(8, u"XModem Send", 1, 128), 0);
    EXPECT_TRUE(file->isVisible());
    router.CloseFileDialog();
    EXPECT_EQ(router.FileDialog(), nullptr);
    EXPECT_EQ(router.OnFileProgress(8, 64, 128, 0, 0), 0);
    EXPECT_EQ(router.OnFileBatchFinish(8, true), 0);
    EXPECT_EQ(router.TaskDialog(), task) << "closed one at a time";
    router.CloseTaskDialog();
    EXPECT_EQ(router.OnTaskStart(9, u"Late", u""), 0);
    channel.DrainPending();
    EXPECT_EQ(control.ids.size(), 1u);
}

}  // namespace
}  // namespace quillpad
