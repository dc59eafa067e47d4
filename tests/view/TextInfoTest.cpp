#include "view/TextInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "data/DataStore.h"
#include "tests/data/LogTestSupport.h"
#include "view/CDisplayDocument.h"
#include "view/CStyledRenderer.h"
#include "view/RenderRecordOf.h"

namespace quillpad {
namespace {

// Calendar lines are local time; these tests read them in UTC.
class TextInfo : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            m_saved = tz;
        }
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        m_saved ? setenv("TZ", m_saved->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    static SDescribedRecord Rec(std::uint32_t tick, std::int64_t seconds, std::string_view bytes,
                                std::uint32_t direction = kDirectionIncoming) {
        SDataRecord r;
        r.tick = tick;
        r.direction = direction;
        r.bytes = bytes;
        r.length = static_cast<std::uint32_t>(bytes.size());
        return SDescribedRecord{r, seconds};
    }

  private:
    std::optional<std::string> m_saved;
};

constexpr std::int64_t kTuesday = 1700000000;  // Tuesday, November 14, 2023 22:13:20 UTC

TEST_F(TextInfo, SpansCountDaysHoursMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(FormatSpan(90061500), " 1d 01:01:01 500ms");
    EXPECT_EQ(FormatSpan(0), " 0d 00:00:00 000ms");
    EXPECT_EQ(FormatSpan(999), " 0d 00:00:00 999ms");
    EXPECT_EQ(FormatSpan(0xFFFFFFFFu), " 49d 17:02:47 295ms");
}

TEST_F(TextInfo, SingleDescriptionWithEverySwitchOn) {
    const std::uint32_t start = 5000;
    const auto r = Rec(start + 90061500, kTuesday, "ok\r\n", kDirectionOutgoing);
    EXPECT_EQ(DescribeSingle(r, start, {}),
              " Tuesday, November 14, 2023 22:13:20\n"
              " 1d 01:01:01 500ms\n"
              " Outgoing\n"
              "ok\n");
}

TEST_F(TextInfo, RelativeTimeSurvivesTheTickWrap) {
    const std::uint32_t start = 0xFFFFFF00u;
    const auto r = Rec(0x100, kTuesday, "x");
    STextInfoSwitches only;
    only.showAbsoluteTime = only.showDataDirection = only.showRelatedData = false;
    EXPECT_EQ(DescribeSingle(r, start, only), " 0d 00:00:00 512ms\n");
}

TEST_F(TextInfo, RelatedDataKeepsWhatFollowsANul) {
    STextInfoSwitches data;
    data.showAbsoluteTime = data.showRelativeTime = data.showDataDirection = false;
    const auto r = Rec(0, kTuesday, std::string_view("ab\0cd\x1b\r\nef\rg\xe9", 13));
    EXPECT_EQ(DescribeSingle(r, 0, data), "abcd\nef\ng\xe9")
        << "NUL and ESC show as nothing; CR LF and CR are line breaks";
}

TEST_F(TextInfo, EachSwitchTakesOutItsLine) {
    const auto r = Rec(2000, kTuesday, "data");
    STextInfoSwitches s;
    s.showAbsoluteTime = false;
    EXPECT_EQ(DescribeSingle(r, 0, s), " 0d 00:00:02 000ms\n Incoming\ndata");
    s.showRelativeTime = false;
    EXPECT_EQ(DescribeSingle(r, 0, s), " Incoming\ndata");
    s.showDataDirection = false;
    EXPECT_EQ(DescribeSingle(r, 0, s), "data");
    s.showRelatedData = false;
    EXPECT_EQ(DescribeSingle(r, 0, s), "");
    s.showDataDirection = true;
    EXPECT_EQ(DescribeSingle(r, 0, s), " Incoming\n");
}

TEST_F(TextInfo, RangeDescription) {
    const auto first = Rec(1000, kTuesday, "a");
    const auto last = Rec(6250, kTuesday + 5, "b");
    EXPECT_EQ(DescribeRange(first, last, 0, {}),
              " Tuesday, November 14, 2023 22:13:20 through Tuesday, November 14, 2023 22:13:25\n"
              " 0d 00:00:01 000ms through  0d 00:00:06 250ms\n"
              " Delta:  0d 00:00:05 250ms");
    STextInfoSwitches s;
    s.showAbsoluteTime = s.showRelativeTime = false;
    s.showDataDirection = s.showRelatedData = false;
    EXPECT_EQ(DescribeRange(first, last, 0, s), " Delta:  0d 00:00:05 250ms")
        << "the delta is always there; direction and data never are";
}

TEST_F(TextInfo, TextDrawnBeforeAClearOrALoadDescribesNothing) {
    CQueuedChannel channel;
    CManualClock clock{1000, kTuesday};
    CDataStore store(channel, clock);
    CDisplayDocument document;
    CStyledRenderer renderer;
    const auto draw = [&](SRecordRef ref) {
        document.SetGeneration(ref.generation);
        renderer.Render(document, RenderRecordOf(*store.Find(ref), ref.sequence), false);
    };
    STextInfoSwitches data;
    data.showAbsoluteTime = data.showRelativeTime = data.showDataDirection = false;
    draw(store.AddIncomingBytes(0, "old "));
    ASSERT_EQ(DescribeDisplayed(document, store, 0, 0, 1, data), "old ");

    // No view is registered, so nothing clears the document: it shows "old "
    // as a view does until its replay, while index 0 is now another record.
    store.ClearData();
    const SRecordRef fresh = store.AddIncomingBytes(0, "new");
    ASSERT_EQ(fresh.sequence, 0u);
    EXPECT_EQ(DescribeDisplayed(document, store, 0, 0, 1, data), "");
    EXPECT_EQ(DescribeDisplayed(document, store, 0, 4, 1, data), "") << "nor does a selection";
    draw(fresh);  // a live record drawn after the old text
    EXPECT_EQ(DescribeDisplayed(document, store, 0, 0, 1, data), "");
    EXPECT_EQ(DescribeDisplayed(document, store, 0, 0, 5, data), "new");

    const std::string bytes = test::LogHeader(kTuesday, 0) +
                              test::LogRecord(1, 0, 10, 0, kDirectionIncoming, 1, "loaded");
    CMemoryByteSource log(bytes);
    ASSERT_TRUE(store.LoadLog(log).accepted);
    EXPECT_EQ(DescribeDisplayed(document, store, 0, 0, 5, data), "") << "a load likewise";
}

}  // namespace
}  // namespace quillpad
