#include "view/qt/CSteadyScrollBar.h"

#include <gtest/gtest.h>

#include <QTest>

namespace quillpad {
namespace {

class SteadyScrollBar : public ::testing::Test {
  protected:
    SteadyScrollBar() {
        bar.resize(16, 300);
        bar.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&bar));
        // The window's activation repaints it in the active colours when the
        // platform gets to it; what is counted comes after.
        EXPECT_TRUE(QTest::qWaitForWindowActive(&bar));
        bar.repaint();
    }
    // Paints that the changes so far brought.
    int PaintsAfter() {
        QTest::qWait(20);
        return bar.Paints();
    }

    CSteadyScrollBar bar{Qt::Vertical};
};

TEST_F(SteadyScrollBar, RepaintsOnlyWhenTheHandleMovesOrAnEndIsReached) {
    constexpr int kLong = 400000;
    bar.SetPlace(kLong, 10, kLong);
    const int pinned = PaintsAfter();
    ASSERT_GT(pinned, 0);
    for (int k = 1; k <= 40; ++k) {
        bar.SetPlace(kLong + k * 100, 10 + k % 3, kLong + k * 100);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(PaintsAfter(), pinned) << "a long range growing under a handle pinned at its end";

    bar.SetPlace(kLong, 10, kLong / 2);
    const int moved = PaintsAfter();
    EXPECT_GT(moved, pinned) << "the handle left the end";

    // Each step of the way through the plain slider calls too, as the
    // keys, the wheel and a drag make them.
    bar.setValue(kLong / 2 + 1);
    EXPECT_EQ(PaintsAfter(), moved) << "one unit of 400000 is not a pixel";
    bar.setValue(0);
    const int top = PaintsAfter();
    EXPECT_GT(top, moved);
    bar.setRange(0, kLong * 2);
    EXPECT_EQ(PaintsAfter(), top) << "at the top, a longer range changes nothing in sight";

    // A short range: every unit is pixels, and the handle grows and shrinks.
    bar.SetPlace(20, 10, 20);
    const int shortRange = PaintsAfter();
    EXPECT_GT(shortRange, top);
    bar.SetPlace(40, 10, 40);
    EXPECT_GT(PaintsAfter(), shortRange) << "the handle got shorter";

    const int before = bar.Paints();
    bar.resize(16, 200);
    EXPECT_GT(PaintsAfter(), before) << "a new size paints as ever";
}

}  // namespace
}  // namespace quillpad
