#include "data/LineStamps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace quillpad {
namespace {

class LineStamps : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

// 2024-03-05 14:07:09 UTC.
constexpr std::int64_t kMarch5 = 1709647629;

TEST_F(LineStamps, EachFormAgainstKnownTicks) {
    const STimeBase base{kMarch5, 500000};
    EXPECT_EQ(StampOf(EStampMode::Absolute, 561500, std::nullopt, base), "14:08:10.500 ");
    EXPECT_EQ(StampOf(EStampMode::Absolute, 500007, std::nullopt, base), "14:07:09.007 ");
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 561537, std::nullopt, base), "+61.537 ");
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 500000, std::nullopt, base), "+0.000 ");
    EXPECT_EQ(StampOf(EStampMode::SincePrevious, 561537, 561500, base), "+0.037 ");
    EXPECT_EQ(StampOf(EStampMode::SincePrevious, 561537, std::nullopt, base), "+0.000 ")
        << "the first line has no previous one";
    EXPECT_EQ(StampOf(EStampMode::Off, 561537, 1, base), "");
}

TEST_F(LineStamps, ATickCounterThatWrapsStillCountsForward) {
    // The console started 0.5 s before the 32-bit millisecond counter wrapped.
    const STimeBase base{kMarch5, 0xFFFFFE0Cu};
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 1000, std::nullopt, base), "+1.500 ");
    EXPECT_EQ(StampOf(EStampMode::SincePrevious, 250, 0xFFFFFF9Cu, base), "+0.350 ");
    EXPECT_EQ(StampOf(EStampMode::Absolute, 1000, std::nullopt, base), "14:07:10.500 ");
    // The widest span there is still fits the column.
    EXPECT_EQ(FormatSpanStamp(0xFFFFFFFFu), "+4294967.295 ");
    EXPECT_EQ(FormatSpanStamp(0xFFFFFFFFu).size(), kStampColumnChars);
}

TEST_F(LineStamps, ALogFromAnotherDayShowsItsOwnTimes) {
    // A log recorded on 2021-12-31 from 23:59:59 on: its lines cross midnight.
    const STimeBase logBase{1640995199, 70000};
    EXPECT_EQ(StampOf(EStampMode::Absolute, 70999, std::nullopt, logBase), "23:59:59.999 ");
    EXPECT_EQ(StampOf(EStampMode::Absolute, 71000, std::nullopt, logBase), "00:00:00.000 ");
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 71000, std::nullopt, logBase), "+1.000 ");
}

TEST_F(LineStamps, AStreamOfLinesMeasuresFromTheLineBefore) {
    CLineStamper stamper(EStampMode::SincePrevious, STimeBase{0, 0});
    EXPECT_EQ(stamper.Next(100), "+0.000 ");
    EXPECT_EQ(stamper.Next(350), "+0.250 ");
    EXPECT_EQ(stamper.Next(350), "+0.000 ");
    CLineStamper fromMiddle(EStampMode::SincePrevious, STimeBase{0, 0});
    fromMiddle.SetPrevious(1000);
    EXPECT_EQ(fromMiddle.Next(3500), "+2.500 ");
}

TEST_F(LineStamps, ModesReadAndWriteTheirSettingsText) {
    for (const EStampMode mode : {EStampMode::Off, EStampMode::Absolute, EStampMode::SinceStart,
                                  EStampMode::SincePrevious}) {
        EXPECT_EQ(StampModeFromName(StampModeName(mode)), mode);
    }
    EXPECT_EQ(StampModeName(EStampMode::SincePrevious), "Since Previous Line");
    EXPECT_EQ(StampModeFromName("absolute"), EStampMode::Off) << "the text is exact";
    EXPECT_EQ(StampModeFromName(""), EStampMode::Off);
    EStampMode mode = EStampMode::Off;
    for (int i = 0; i < 4; ++i) {
        mode = NextStampMode(mode);
    }
    EXPECT_EQ(mode, EStampMode::Off) << "the key cycles through all four and back";
    EXPECT_EQ(NextStampMode(EStampMode::Absolute), EStampMode::SinceStart);
}

TEST_F(LineStamps, AGapIsMoreThanTheThreshold) {
    EXPECT_FALSE(IsGap(1000, 1100, 100)) << "exactly the threshold is no gap";
    EXPECT_TRUE(IsGap(1000, 1101, 100)) << "one millisecond past it is";
    EXPECT_TRUE(IsGap(0xFFFFFFF0u, 0x60u, 100)) << "across a wrap";
    EXPECT_FALSE(IsGap(0xFFFFFFF0u, 0x50u, 100));
}

}  // namespace
}  // namespace quillpad
