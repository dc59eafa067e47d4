#include "data/TimeLookup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "data/DataStore.h"
#include "platform/Clock.h"
#include "platform/MessageChannel.h"
#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

// 2024-03-05 14:07:09 UTC.
constexpr std::int64_t kMarch5 = 1709647629;

STimeTarget Parsed(std::string_view text) {
    const STimeParse p = ParseTimeTarget(text);
    EXPECT_TRUE(p.target.has_value()) << text << ": " << p.error;
    return p.target.value_or(STimeTarget{});
}

std::string ErrorOf(std::string_view text) {
    const STimeParse p = ParseTimeTarget(text);
    EXPECT_FALSE(p.target.has_value()) << text;
    return p.error;
}

TEST(TimeTargetParse, EachFormToMilliseconds) {
    constexpr std::uint32_t k140709 = (14 * 3600 + 7 * 60 + 9) * 1000;
    EXPECT_EQ(Parsed("14:07:09"), (STimeTarget{ETimeTargetKind::TimeOfDay, k140709}));
    EXPECT_EQ(Parsed("14:07:09.250"), (STimeTarget{ETimeTargetKind::TimeOfDay, k140709 + 250}));
    EXPECT_EQ(Parsed("14:07:09.25").milliseconds, k140709 + 250) << "decimals, not a count";
    EXPECT_EQ(Parsed("14:07:09.2").milliseconds, k140709 + 200);
    EXPECT_EQ(Parsed("14:07:09.007").milliseconds, k140709 + 7);
    EXPECT_EQ(Parsed("14:07"), (STimeTarget{ETimeTargetKind::TimeOfDay, k140709 - 9000}));
    EXPECT_EQ(Parsed("7:05").milliseconds, (7 * 3600 + 5 * 60) * 1000u);
    EXPECT_EQ(Parsed("00:00:00").milliseconds, 0u);
    EXPECT_EQ(Parsed("23:59:59.999").milliseconds, 86'399'999u);
    EXPECT_EQ(Parsed("  14:07 \t").milliseconds, k140709 - 9000) << "spaces around are dropped";

    EXPECT_EQ(Parsed("+300.5"), (STimeTarget{ETimeTargetKind::SinceStart, 300'500}));
    EXPECT_EQ(Parsed("+300"), (STimeTarget{ETimeTargetKind::SinceStart, 300'000}));
    EXPECT_EQ(Parsed("+0"), (STimeTarget{ETimeTargetKind::SinceStart, 0}));
    EXPECT_EQ(Parsed("+0.001").milliseconds, 1u);
    EXPECT_EQ(Parsed("+4294967.295").milliseconds, 4'294'967'295u) << "the longest span";
}

TEST(TimeTargetParse, BadTextSaysWhy) {
    const std::string hint = ErrorOf("");
    EXPECT_NE(hint.find("14:07:09"), std::string::npos) << hint;
    EXPECT_NE(hint.find("+300.5"), std::string::npos) << hint;
    for (const char* text :
         {"   ", "now", "14", "14:", "14:7", "14:07:9", "14:07:09:01", "14.07", "14:07x", "-300",
          "+", "+ 300", "300", "+3e2", "+300s", "14:07:09 pm", "+300.5.1", "1:2:3", "14::07"}) {
        EXPECT_EQ(ErrorOf(text).empty(), false) << text;
    }
    EXPECT_EQ(ErrorOf("24:00"), "The hour must be 0 to 23.");
    EXPECT_EQ(ErrorOf("12:60"), "The minutes must be 00 to 59.");
    EXPECT_EQ(ErrorOf("12:00:60"), "The seconds must be 00 to 59.");
    EXPECT_NE(ErrorOf("12:00:00.1234").find("three decimals"), std::string::npos);
    EXPECT_NE(ErrorOf("+1.2345").find("three decimals"), std::string::npos);
    EXPECT_NE(ErrorOf("12:00:00.").find("digits after"), std::string::npos);
    EXPECT_NE(ErrorOf("+300.").find("digits after"), std::string::npos);
    EXPECT_NE(ErrorOf("+4294967.296").find("49 days"), std::string::npos);
    EXPECT_NE(ErrorOf("+99999999999999999999999").find("49 days"), std::string::npos)
        << "no overflow into a small number";
}

class TimeLookupTest : public ::testing::Test {
  protected:
    // Records at these ticks, the store started at `startTick` on kMarch5.
    void Fill(CDataStore& store, std::initializer_list<std::uint32_t> ticks) {
        for (const std::uint32_t tick : ticks) {
            clock.SetTick(tick);
            store.AddIncomingBytes(0, "x");
        }
    }
    std::optional<std::size_t> Find(const CDataStore& store, std::string_view text) {
        return FindRecordAtTime(store, Parsed(text)).record;
    }

    test::CZoneGuard zone{"UTC0"};
    CManualClock clock{10'000, kMarch5};
    CQueuedChannel channel;
};

TEST_F(TimeLookupTest, FirstRecordAtOrAfterInOrderRecords) {
    CDataStore store(channel, clock);
    // 14:07:19.000, 14:07:20.500, 14:07:20.500, 14:08:10.000
    Fill(store, {20'000, 21'500, 21'500, 71'000});
    EXPECT_EQ(Find(store, "14:07:19"), 0u);
    EXPECT_EQ(Find(store, "14:07:19.001"), 1u);
    EXPECT_EQ(Find(store, "14:07:20.500"), 1u) << "the first of two equal times";
    EXPECT_EQ(Find(store, "14:07:21"), 3u);
    EXPECT_EQ(Find(store, "14:08:10"), 3u) << "at, not only after";
    EXPECT_EQ(Find(store, "14:00"), 0u) << "before the first record: the first record";
    const STimeLookup after = FindRecordAtTime(store, Parsed("14:08:10.001"));
    EXPECT_FALSE(after.record.has_value());
    ASSERT_TRUE(after.moment.has_value());
    EXPECT_EQ(DescribeMoment(*after.moment, kMarch5), "14:08:10.001");

    // Since the first record (14:07:19), not since the store's start.
    EXPECT_EQ(Find(store, "+0"), 0u);
    EXPECT_EQ(Find(store, "+1.5"), 1u);
    EXPECT_EQ(Find(store, "+1.501"), 3u);
    EXPECT_EQ(Find(store, "+51"), 3u);
    EXPECT_FALSE(Find(store, "+51.001").has_value());

    CDataStore empty(channel, clock);
    const STimeLookup none = FindRecordAtTime(empty, Parsed("14:07"));
    EXPECT_FALSE(none.record.has_value());
    EXPECT_FALSE(none.moment.has_value());
}

TEST_F(TimeLookupTest, ATickCounterThatWrapsKeepsCountingForward) {
    clock.SetTick(0xFFFF'FC18u);  // one second before the counter wraps
    CDataStore store(channel, clock);
    // 14:07:09.500, 14:07:10.000 (tick 0), 14:07:12.000
    Fill(store, {0xFFFF'FE0Cu, 0, 2000});
    EXPECT_EQ(Find(store, "14:07:09.600"), 1u) << "tick 0 is after the wrap, not before";
    EXPECT_EQ(Find(store, "14:07:11"), 2u);
    EXPECT_EQ(Find(store, "+0.5"), 1u);
    EXPECT_EQ(Find(store, "+2.5"), 2u);
}

TEST_F(TimeLookupTest, ALogFromAnotherDayUsesItsOwnTimes) {
    test::CTempDir dir;
    // 2023-11-20 09:30:00 UTC, started at tick 5000.
    constexpr std::int64_t kNovember20 = 1700472600;
    std::string log = test::LogHeader(kNovember20, 5000);
    log += test::LogRecord(1, 0, 6000, 0, 1, 1, "a");    // 09:30:01
    log += test::LogRecord(1, 1, 65000, 0, 1, 1, "b");   // 09:31:00
    log += test::LogRecord(1, 2, 125000, 0, 2, 1, "c");  // 09:32:00
    const std::string path = dir.File("old.wblog");
    std::ofstream(path, std::ios::binary) << log;

    CDataStore store(channel, clock);
    ASSERT_TRUE(store.LoadLog(path).accepted);
    EXPECT_EQ(Find(store, "09:31"), 1u);
    EXPECT_EQ(Find(store, "09:31:00.001"), 2u);
    EXPECT_EQ(Find(store, "+59"), 1u);
    EXPECT_EQ(Find(store, "14:07"), std::nullopt) << "today's time plays no part";
    EXPECT_EQ(Find(store, "09:00"), 0u);
}

TEST_F(TimeLookupTest, AHistoryPastMidnightFindsEarlyTimesOnTheNextDay) {
    // 2024-03-05 23:59:00 UTC.
    CManualClock late{0, 1709683140};
    CDataStore store(channel, late);
    auto add = [&](std::uint32_t tick) {
        late.SetTick(tick);
        store.AddIncomingBytes(0, "x");
    };
    add(0);          // 23:59:00
    add(50'000);     // 23:59:50
    add(120'000);    // 00:01:00 next day
    add(3'720'000);  // 01:01:00
    EXPECT_EQ(Find(store, "23:59:10"), 1u) << "on the first day when the history has it";
    EXPECT_EQ(Find(store, "00:00:30"), 2u) << "before the start that day: the next day";
    EXPECT_EQ(Find(store, "01:00"), 3u);
    EXPECT_EQ(Find(store, "23:59"), 0u) << "the first record's own second keeps its day";
    const STimeLookup tooLate = FindRecordAtTime(store, Parsed("02:00"));
    EXPECT_FALSE(tooLate.record.has_value()) << "after the last record of the next day";
    ASSERT_TRUE(tooLate.moment.has_value());
    EXPECT_EQ(DescribeMoment(*tooLate.moment, store.RecordTime(0)->seconds),
              "2024-03-06 02:00:00.000");
}

TEST_F(TimeLookupTest, ADayWithoutMidnightGoesToTheFirstRecordForAnEarlierTime) {
    CDataStore store(channel, clock);
    Fill(store, {20'000, 30'000});
    const STimeLookup early = FindRecordAtTime(store, Parsed("03:00"));
    EXPECT_EQ(early.record, 0u);
    EXPECT_EQ(DescribeMoment(*early.moment, kMarch5), "03:00:00.000") << "the same day";
}

TEST_F(TimeLookupTest, AHistorySpilledToDiskIsSearchedWithoutReadingEveryRecord) {
    test::CTempDir dir;
    CDataStore store(channel, clock);
    constexpr std::size_t kBudget = std::size_t{1} << 20;
    store.SetHistoryBudget(kBudget, dir.File("cache"));
    const std::string chunk(4000, 'd');
    constexpr std::uint32_t kRecords = 3000;  // 12 MB, most of it on disk
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        clock.SetTick(10'000 + i * 100);  // one every 100 ms from the start
        store.AddIncomingBytes(0, chunk);
        if (i % 64 == 0) {
            store.FlushLiveLogs();
        }
    }
    store.FlushLiveLogs();
    ASSERT_FALSE(store.SpillPath().empty());
    ASSERT_LE(store.ReservedBytes(), kBudget + 2 * CRecordArena::kBlockBytes);

    EXPECT_EQ(Find(store, "+0"), 0u);
    EXPECT_EQ(Find(store, "+12.3"), 123u);
    EXPECT_EQ(Find(store, "+12.301"), 124u);
    EXPECT_EQ(Find(store, "14:07:49"), 400u);  // 40 s in
    EXPECT_EQ(Find(store, "+299.9"), kRecords - 1);
    EXPECT_FALSE(Find(store, "+300").has_value());
    EXPECT_LE(store.ReservedBytes(), kBudget + 2 * CRecordArena::kBlockBytes)
        << "the lookup brought nothing back into memory";
}

}  // namespace
}  // namespace quillpad
