// The quit signals in this process: each runs the quit once on the event
// loop, a signal ignored from the start stays ignored, the old handlers come
// back, and a second signal on a quit that never runs ends the process.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/qt/QuitSignals.h"
#include "tests/nxr/qt/SessionTestSupport.h"

namespace quillpad {
namespace {

using SigHandler = void (*)(int);

SigHandler HandlerOf(int signal) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

TEST(QuitSignals, EachRunsTheQuitOnceOnTheEventLoopAndTheOldHandlersComeBack) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const SigHandler before = HandlerOf(signal);
        {
            int quits = 0;
            CQuitSignals quitSignals([&] { ++quits; });
            ASSERT_NE(HandlerOf(signal), before) << signal;
            ASSERT_EQ(::raise(signal), 0);
            EXPECT_EQ(quits, 0) << "not from inside the handler";
            ASSERT_TRUE(test::WaitFor([&] { return quits > 0; })) << signal;
            EXPECT_EQ(quitSignals.Received(), signal);
            for (int i = 0; i < 5; ++i) {
                QCoreApplication::processEvents();
            }
            EXPECT_EQ(quits, 1) << signal;
        }
        EXPECT_EQ(HandlerOf(signal), before) << signal;
    }
}

TEST(QuitSignals, ASignalIgnoredFromTheStartStaysIgnored) {
    const SigHandler old = std::signal(SIGHUP, SIG_IGN);
    {
        int quits = 0;
        CQuitSignals quitSignals([&] { ++quits; });
        EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
        ASSERT_EQ(::raise(SIGHUP), 0);
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_TRUE(test::WaitFor([&] { return quits > 0; }));
        EXPECT_EQ(quitSignals.Received(), SIGTERM) << "the hangup asked nothing";
    }
    std::signal(SIGHUP, old);
}

// The event loop never turns here, as in a quit that hangs: the second
// signal takes its default action.
TEST(QuitSignalsDeathTest, ASecondSignalEndsAQuitThatHangs) {
    EXPECT_EXIT(
        {
            CQuitSignals quitSignals([] {});
            ::raise(SIGINT);
            ::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace quillpad
