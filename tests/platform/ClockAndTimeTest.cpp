#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/Clock.h"
#include "platform/LocalTime.h"

namespace quillpad {
namespace {

TEST(Clock, TickSpanIsRightAcrossTheWrap) {
    EXPECT_EQ(TickSpan(0xFFFFFF00u, 0x00000064u), 0x164u);
    EXPECT_EQ(TickSpan(0xFFFFFFFFu, 0u), 1u);
    EXPECT_EQ(TickSpan(5u, 5u), 0u);
    EXPECT_EQ(TickSpan(100u, 250u), 150u);

    CManualClock clock(0xFFFFFC18u, 1000);  // 1000 ms below the wrap
    const std::uint32_t start = clock.TickCount();
    clock.Advance(2500);
    EXPECT_EQ(clock.TickCount(), 1500u);
    EXPECT_EQ(TickSpan(start, clock.TickCount()), 2500u);
    EXPECT_EQ(clock.CalendarSeconds(), 1002);
    clock.Advance(500);
    EXPECT_EQ(clock.CalendarSeconds(), 1003) << "sub-second remainders must add up";
}

TEST(Clock, DefaultClockCanBeReplacedAndRestored) {
    CManualClock manual(42, 7);
    SetDefaultClock(&manual);
    EXPECT_EQ(DefaultClock().TickCount(), 42u);
    EXPECT_EQ(DefaultClock().CalendarSeconds(), 7);
    SetDefaultClock(nullptr);
    EXPECT_GT(DefaultClock().CalendarSeconds(), 1'600'000'000);
    const std::uint32_t a = DefaultClock().TickCount();
    const std::uint32_t b = DefaultClock().TickCount();
    EXPECT_LT(TickSpan(a, b), 1000u) << "the system tick must not run backwards";
}

class LocalTimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_savedTz = tz ? tz : "";
        m_hadTz = tz != nullptr;
    }
    void TearDown() override {
        if (m_hadTz) {
            setenv("TZ", m_savedTz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void UseZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

  private:
    std::string m_savedTz;
    bool m_hadTz = false;
};

TEST_F(LocalTimeTest, RoundTripsThroughLocalTimeToTheSecond) {
    UseZone("UTC0");
    // 2024-02-29 13:45:07 UTC, a Thursday.
    const auto t = ToLocalSystemTime(1709214307);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->wYear, 2024);
    EXPECT_EQ(t->wMonth, 2);
    EXPECT_EQ(t->wDay, 29);
    EXPECT_EQ(t->wDayOfWeek, 4);
    EXPECT_EQ(t->wHour, 13);
    EXPECT_EQ(t->wMinute, 45);
    EXPECT_EQ(t->wSecond, 7);
    EXPECT_EQ(t->wMilliseconds, 0);
    EXPECT_EQ(FromLocalSystemTime(*t), 1709214307);
}

TEST_F(LocalTimeTest, DaylightSavingIsDecidedByTheSystem) {
    UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
    SSystemTime summer{2023, 7, 0, 15, 12, 0, 0, 0};
    SSystemTime winter{2023, 1, 0, 15, 12, 0, 0, 0};
    ASSERT_TRUE(FromLocalSystemTime(summer));
    ASSERT_TRUE(FromLocalSystemTime(winter));
    EXPECT_EQ(*FromLocalSystemTime(summer), 1689415200);  // 10:00 UTC
    EXPECT_EQ(*FromLocalSystemTime(winter), 1673780400);  // 11:00 UTC
    // Day of week is ignored on the way in and correct on the way out.
    EXPECT_EQ(ToLocalSystemTime(1689415200)->wDayOfWeek, 6);
}

TEST_F(LocalTimeTest, RefusesFieldsThatMakeNoTime) {
    EXPECT_FALSE(FromLocalSystemTime(SSystemTime{2023, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(FromLocalSystemTime(SSystemTime{2023, 13, 0, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(FromLocalSystemTime(SSystemTime{2023, 2, 0, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(FromLocalSystemTime(SSystemTime{2023, 4, 0, 31, 0, 0, 0, 0}));
    EXPECT_FALSE(FromLocalSystemTime(SSystemTime{2023, 4, 0, 1, 24, 0, 0, 0}));
    EXPECT_TRUE(FromLocalSystemTime(SSystemTime{2024, 2, 0, 29, 0, 0, 0, 0}));
}

TEST_F(LocalTimeTest, FormatsTheWindowsForms) {
    const SSystemTime t{1995, 3, 2, 4, 9, 5, 7, 0};  // Tuesday 1995-03-04 09:05:07
    EXPECT_EQ(FormatSystemTime("%#c", t), "Tuesday, March 4, 1995 09:05:07");
    EXPECT_EQ(FormatSystemTime("%c", t), "03/04/95 09:05:07");
    EXPECT_EQ(FormatSystemTime("%#x", t), "Tuesday, March 4, 1995");
    EXPECT_EQ(FormatSystemTime("%x|%X", t), "03/04/95|09:05:07");
    EXPECT_EQ(FormatSystemTime("%#H:%#M:%#S %#d/%#m", t), "9:5:7 4/3");
    EXPECT_EQ(FormatSystemTime("%Y-%m-%d %a %b %j %I%p %%", t), "1995-03-04 Tue Mar 063 09AM %");
    EXPECT_EQ(FormatSystemTime("trailing %", t), "trailing %");
    EXPECT_EQ(FormatSystemTime("", t), "");
}

}  // namespace
}  // namespace quillpad
