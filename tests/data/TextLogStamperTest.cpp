#include "data/CTextLogStamper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace quillpad {
namespace {

class TextLogStamperTest : public ::testing::Test {
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

std::vector<std::uint32_t> StampedOffsets(std::uint32_t startTick) {
    CTextLogStamper stamper(true);
    std::vector<std::uint32_t> stamped;
    for (std::uint32_t ms = 0; ms <= 12000; ms += 200) {
        if (!stamper.Next(startTick + ms, 0, startTick).empty()) {
            stamped.push_back(ms);
        }
    }
    return stamped;
}

TEST_F(TextLogStamperTest, RecordsEvery200msAreStampedEveryFiveSecondsAndABit) {
    EXPECT_EQ(StampedOffsets(1000), (std::vector<std::uint32_t>{0, 5200, 10400}));
    // The same across a wrap of the tick counter, and from a first tick of 0.
    EXPECT_EQ(StampedOffsets(0xFFFFF000u), (std::vector<std::uint32_t>{0, 5200, 10400}));
    EXPECT_EQ(StampedOffsets(0), (std::vector<std::uint32_t>{0, 5200, 10400}));
}

TEST_F(TextLogStamperTest, AGapOfMoreThanASecondStampsTheNextRecord) {
    CTextLogStamper stamper(true);
    EXPECT_FALSE(stamper.Next(100, 0, 0).empty());
    EXPECT_TRUE(stamper.Next(1100, 0, 0).empty()) << "exactly one second is no gap";
    EXPECT_FALSE(stamper.Next(2101, 0, 0).empty());
}

TEST_F(TextLogStamperTest, StampTextIsTheRecordsLocalTime) {
    // 2024-03-05 14:07:09 UTC is 1709647629; the record is 61.5 s later.
    // The stamp that opens a file starts on its first line; later ones part
    // themselves from the text before them by a line break.
    CTextLogStamper stamper(true);
    EXPECT_EQ(stamper.Next(561500, 1709647629, 500000), "[14:08:10 03-05-2024]\n");
    EXPECT_EQ(stamper.Next(571500, 1709647629, 500000), "\n[14:08:20 03-05-2024]\n");
    CTextLogStamper midFile(true, false);
    EXPECT_EQ(midFile.Next(561500, 1709647629, 500000), "\n[14:08:10 03-05-2024]\n");
    CTextLogStamper off(false);
    EXPECT_EQ(off.Next(561500, 1709647629, 500000), "");
}

}  // namespace
}  // namespace quillpad
