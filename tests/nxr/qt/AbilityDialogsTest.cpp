// The group dialog on our session and the simulated controller, and the
// question dialog by query type, through the GUI library's two calls.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "nxr/qt/CNxrAbilityGroupDlg.h"
#include "nxr/qt/CNxrQueryDlg.h"
#include "nxr/qt/NxrGui.h"
#include "tests/nxr/qt/SimConsoleFixture.h"

namespace quillpad {
namespace {

using test::WaitFor;

using AbilityDialogs = test::CSimConsoleFixture;

TEST_F(AbilityDialogs, TheGroupReadsOnOpenAndRunsItsActionsOnTheirButtons) {
    sink.onQuery = [](const std::string&) { return std::optional<std::string>("yes"); };
    CNxrAbilityGroupDlg dialog(&session, handle, EAbilityGroup::Program);
    EXPECT_EQ(dialog.windowTitle(), "Program");
    ASSERT_EQ(dialog.Count(), 3u);
    EXPECT_EQ(dialog.Running(), 1);  // only the reading ability starts by itself
    ASSERT_TRUE(WaitFor([&] { return dialog.Running() == 0; }));
    EXPECT_EQ(dialog.AnswerText(0), "Program: main.qbp, running");
    EXPECT_TRUE(dialog.AnswerText(2).isEmpty());

    dialog.RunButton(2)->click();  // stop: the device asks first
    EXPECT_FALSE(dialog.RunButton(2)->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return dialog.Running() == 0; }));
    EXPECT_EQ(sink.queries.size(), 1u);
    EXPECT_EQ(dialog.AnswerText(2), "Program stopped");
    dialog.RunButton(0)->click();
    ASSERT_TRUE(WaitFor([&] { return dialog.Running() == 0; }));
    EXPECT_EQ(dialog.AnswerText(0), "Program: main.qbp, stopped");
    EXPECT_EQ(dialog.StatusText(), "Program: done.");
    // None of it reached the sink as a completion: the dialog shows its own.
    EXPECT_EQ(sink.AbilityCompletions(), 0);
}

TEST_F(AbilityDialogs, AClosedSessionAndAClosedDialogLeaveNothingHanging) {
    {
        // Closed at once: its reading is cancelled and its answer has nobody to reach.
        CNxrAbilityGroupDlg gone(&session, handle, EAbilityGroup::DevInfo);
        EXPECT_EQ(gone.Running(), 1);
    }
    CNxrAbilityGroupDlg dialog(&session, handle, EAbilityGroup::DevInfo);
    dialog.RunButton(1)->click();  // the bus scan takes a while
    // Its progress shows in the dialog, not in a task window beside it. Any
    // step will do: a slow build (the sanitizers) may see the first two at once.
    ASSERT_TRUE(WaitFor([&] { return dialog.StatusText().contains("% Address "); }))
        << dialog.StatusText().toStdString();
    EXPECT_TRUE(sink.tasks.empty());
    NxrHandle copy = handle;
    ASSERT_EQ(session.Close(&copy), 0);
    ASSERT_TRUE(WaitFor([&] { return dialog.Running() == 0; }));
    EXPECT_TRUE(dialog.AnswerText(1).contains("the session was closed"))
        << dialog.AnswerText(1).toStdString();
    dialog.RunButton(0)->click();
    EXPECT_TRUE(dialog.AnswerText(0).contains("not open")) << dialog.AnswerText(0).toStdString();
    EXPECT_EQ(dialog.Running(), 0);
}

TEST_F(AbilityDialogs, HandleAbilityShowsTheGroupOfALiveSessionOnly) {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    ASSERT_EQ(session.AbilityInfo(&a, &b, &handle), 0);
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CNxrAbilityGroupDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        dialog->reject();
    });
    EXPECT_TRUE(NxrGUIHandleAbility(a, b, EAbilityGroup::SerialComm, 0));
    EXPECT_EQ(title, "Serial Communication");
    EXPECT_FALSE(NxrGUIHandleAbility(a + 1000, b, EAbilityGroup::SerialComm, 0));
    EXPECT_FALSE(NxrGUIHandleAbility(a, b + 1, EAbilityGroup::SerialComm, 0));
    EXPECT_FALSE(NxrGUIHandleAbility(a, b, EAbilityGroup::End, 0));
}

// Answers the question dialog that opens next with `act`.
bool Ask(int type, const char* prompt, WideString& answer,
         const std::function<void(CNxrQueryDlg&)>& act) {
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CNxrQueryDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
    return NxrGUIHandleQuery(type, BytesToWide(prompt), answer, nullptr);
}

TEST(QueryDialog, EachTypeGetsItsFieldAndOnlyClosingLeavesTheQuestionUnanswered) {
    WideString answer;
    EXPECT_TRUE(Ask(1, "Stop?", answer, [](CNxrQueryDlg& d) {
        EXPECT_EQ(d.Field(), nullptr);
        EXPECT_TRUE(d.NoButton()->isDefault());
        d.NoButton()->click();
    }));
    EXPECT_EQ(answer, u"no");
    EXPECT_TRUE(Ask(1, "Stop?", answer, [](CNxrQueryDlg& d) { d.YesButton()->click(); }));
    EXPECT_EQ(answer, u"yes");

    EXPECT_TRUE(Ask(0, "Name?", answer, [](CNxrQueryDlg& d) {
        QTest::keyClicks(d.Field(), "line 1");
        QTest::keyClick(d.Field(), Qt::Key_Return);
    }));
    EXPECT_EQ(answer, u"line 1");

    EXPECT_TRUE(Ask(2, "How many?", answer, [](CNxrQueryDlg& d) {
        QTest::keyClicks(d.Field(), "4x2");  // the letter is refused
        d.accept();
    }));
    EXPECT_EQ(answer, u"42");

    EXPECT_TRUE(Ask(3, "Password?", answer, [](CNxrQueryDlg& d) {
        EXPECT_EQ(d.Field()->echoMode(), QLineEdit::Password);
        d.Field()->setText("s3cret");
        d.accept();
    }));
    EXPECT_EQ(answer, u"s3cret");

    answer = u"untouched";
    EXPECT_FALSE(Ask(1, "Stop?", answer, [](CNxrQueryDlg& d) { d.reject(); }));
    EXPECT_FALSE(Ask(7, "Odd type", answer, [](CNxrQueryDlg& d) {
        EXPECT_EQ(d.Type(), ENxrQueryType::Text);
        d.reject();
    }));
    EXPECT_EQ(answer, u"untouched");
}

}  // namespace
}  // namespace quillpad
