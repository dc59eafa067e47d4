#include <gtest/gtest.h>

#include "nxr/CNxrErrorLog.h"
#include "nxr/NxrCodes.h"

namespace quillpad {
namespace {

TEST(NxrCodes, StatusAndRequestNames) {
    EXPECT_EQ(NxrStatusText(1), "not connected");
    EXPECT_EQ(NxrStatusText(4), "link lost");
    EXPECT_EQ(NxrStatusText(77), "status 77");
    EXPECT_EQ(NxrRequestName(0xBC00), "open console");
    EXPECT_EQ(NxrRequestName(0xE002), "send break");
    EXPECT_EQ(NxrRequestName(0x1234), "request 0x1234");
}

TEST(NxrErrorLog, KeepsTheNewestTextPerIdAndForgetsTheOldest) {
    CNxrErrorLog log;
    log.Set(0, "a");
    log.Set(5, "b");
    log.Set(0, "c");
    EXPECT_EQ(log.Get(0), "c");
    EXPECT_EQ(log.Get(5), "b");
    EXPECT_EQ(log.Get(6), "");
    for (std::uint32_t id = 100; id < 100 + CNxrErrorLog::kKept; ++id) {
        log.Set(id, "x");
    }
    EXPECT_EQ(log.Get(5), "") << "forgotten";
    EXPECT_EQ(log.Get(100 + CNxrErrorLog::kKept - 1), "x");
}

}  // namespace
}  // namespace quillpad
