#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "data/DataStore.h"
#include "platform/MessageChannel.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

// A view as the console view will be: it takes append notices, fetches each
// record from the store and keeps the bytes it could still find.
class CRecordingView final : public CMessageTarget {
  public:
    CRecordingView(CMessageChannel& channel, const CDataStore& store)
        : CMessageTarget(channel), m_store(store) {}

    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_APPEND_RECORD) {
            ++notices;
            if (const auto record = m_store.Find(AppendNoticeRef(message))) {
                shown.emplace_back(record->bytes);
            }
        } else if (message.id == UM_CLEAR_DATA) {
            ++clears;
            shown.clear();
        }
        return notices >= tookAllAfter ? kAppendTookAll : 0;
    }

    int tookAllAfter = std::numeric_limits<int>::max();
    int notices = 0;
    int clears = 0;
    std::vector<std::string> shown;

  private:
    const CDataStore& m_store;
};

class DataStoreTest : public ::testing::Test {
  protected:
    CManualClock clock{1000, 1'700'000'000};
    CQueuedChannel channel;
    CDataStore store{channel, clock};
};

TEST_F(DataStoreTest, RecordsTakeSequenceTickDirectionAndBytes) {
    clock.SetTick(5000);
    const SRecordRef first = store.AddIncoming(0, u"AT\r");
    clock.SetTick(5007);
    const SRecordRef second = store.AddOutgoing(0, std::u16string(u"x\0y", 3));

    EXPECT_EQ(first.sequence, 0u);
    EXPECT_EQ(second.sequence, 1u);
    EXPECT_EQ(store.NextSequence(), 2u);
    ASSERT_EQ(store.RecordCount(), 2u);
    const SDataRecord a = *store.Record(0);
    const SDataRecord b = *store.Record(1);
    EXPECT_EQ(a.kind, kDataRecordKind);
    EXPECT_EQ(a.tick, 5000u);
    EXPECT_EQ(a.direction, kDirectionIncoming);
    EXPECT_EQ(a.bytes, "AT\r");
    EXPECT_EQ(a.length, 3u);
    EXPECT_EQ(b.tick, 5007u);
    EXPECT_EQ(b.direction, kDirectionOutgoing);
    EXPECT_EQ(b.bytes, std::string("x\0y", 3)) << "embedded NULs are data";
    EXPECT_FALSE(store.Record(2));
}

TEST_F(DataStoreTest, EveryByteValueSurvivesAndWideCharactersBecomeQuestionMarks) {
    std::u16string all;
    for (char16_t c = 0; c < 256; ++c) {
        all += c;
    }
    all += u'\u20AC';
    store.AddIncoming(7, all);
    const SDataRecord r = *store.Record(0);
    ASSERT_EQ(r.length, 257u);
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(r.bytes[i]), i);
    }
    EXPECT_EQ(r.bytes[256], '?');
}

TEST_F(DataStoreTest, EmptyEventStillTakesASequenceAndATick) {
    clock.SetTick(42);
    store.AddIncoming(0, u"");
    store.AddIncoming(0, u"z");
    const SDataRecord empty = *store.Record(0);
    EXPECT_EQ(empty.length, 0u);
    EXPECT_TRUE(empty.bytes.empty());
    EXPECT_EQ(empty.tick, 42u);
    EXPECT_EQ(store.Record(1)->sequence, 1u);
    EXPECT_EQ(store.Record(1)->bytes, "z");
}

TEST_F(DataStoreTest, SourceFollowsTheOwnIdsAtCreation) {
    store.AddIncoming(0, u"a");  // 0 is always own
    store.AddIncoming(9, u"b");  // not registered
    channel.Send(store.Handle(), UM_REGISTER_OWN_ID, 1, 9);
    channel.Send(store.Handle(), UM_REGISTER_OWN_ID, 1, 9);
    store.AddIncoming(9, u"c");
    channel.Send(store.Handle(), UM_REGISTER_OWN_ID, 0, 9);  // one remove takes both
    store.AddIncoming(9, u"d");

    EXPECT_EQ(store.Record(0)->source, kSourceOwn);
    EXPECT_EQ(store.Record(1)->source, kSourceOther);
    EXPECT_EQ(store.Record(2)->source, kSourceOwn) << "decided once, at creation";
    EXPECT_EQ(store.Record(3)->source, kSourceOther);
    EXPECT_EQ(store.Record(2)->ownerId, 9u);
    EXPECT_TRUE(store.OwnIds().empty());
}

TEST_F(DataStoreTest, ViewsAreToldBySequenceInOrderAndTwiceWhenRegisteredTwice) {
    CRecordingView view(channel, store);
    CRecordingView twice(channel, store);
    channel.Send(store.Handle(), UM_REGISTER_VIEW, 1, view.Handle());
    channel.Send(store.Handle(), UM_REGISTER_VIEW, 1, twice.Handle());
    channel.Send(store.Handle(), UM_REGISTER_VIEW, 1, twice.Handle());

    store.AddIncoming(0, u"one");
    store.AddOutgoing(0, u"two");
    EXPECT_EQ(view.notices, 0) << "append notices are posted, not sent";
    channel.DrainPending();
    EXPECT_EQ(view.shown, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(twice.shown, (std::vector<std::string>{"one", "one", "two", "two"}));

    channel.Send(store.Handle(), UM_REGISTER_VIEW, 0, twice.Handle());
    store.AddIncoming(0, u"three");
    channel.DrainPending();
    EXPECT_EQ(twice.notices, 4);
    EXPECT_EQ(view.shown.back(), "three");
}

TEST_F(DataStoreTest, QueuedNoticesForRecordsFreedByAClearOrALoadAreSkipped) {
    CRecordingView view(channel, store);
    store.RegisterView(view.Handle());
    store.AddIncoming(0, u"old");
    store.AddIncoming(0, u"older");
    channel.Send(store.Handle(), UM_CLEAR_DATA);  // the notices are still queued
    EXPECT_EQ(view.clears, 1);
    store.AddIncoming(0, u"new");  // sequence 0 again, in a new generation
    channel.DrainPending();
    EXPECT_EQ(view.notices, 3);
    EXPECT_EQ(view.shown, (std::vector<std::string>{"new"}))
        << "the old sequence 0 must not show the new record";
}

// Keeps every turn's notice; may act on the store or other observers as it
// is told.
struct SNoticeLog final : IStoreObserver {
    void OnStoreNotice(const SStoreNotice& notice) override {
        notices.push_back(notice);
        if (onNotice) {
            onNotice();
        }
    }
    std::vector<SStoreNotice> notices;
    std::function<void()> onNotice;
};

TEST_F(DataStoreTest, EachTurnGivesOneNoticeOfWhatChanged) {
    test::CTempDir dir;
    store.AddIncomingBytes(0, "saved");
    ASSERT_TRUE(store.SaveBinaryLog(dir.File("log.wblog")));
    store.EndTurn();
    SNoticeLog log;
    const CStoreSubscription subscription = store.Subscribe(log);
    store.EndTurn();
    EXPECT_TRUE(log.notices.empty()) << "no notice for a turn that brought nothing";

    store.AddIncomingBytes(0, "a");
    store.AddMark("mark");
    store.AddOutgoingBytes(0, "b");
    store.EndTurn();
    ASSERT_EQ(log.notices.size(), 1u);
    SStoreNotice n = log.notices.back();
    EXPECT_EQ(n.generation, store.Generation());
    EXPECT_FALSE(n.cleared || n.loaded);
    EXPECT_EQ(n.first, 1u);
    EXPECT_EQ(n.end, 4u);
    EXPECT_EQ(n.liveFirst, 1u);
    EXPECT_EQ(n.marks, 1u);

    // A clear between the records and the notice: only what followed it.
    store.AddIncomingBytes(0, "gone");
    store.ClearData();
    store.AddIncomingBytes(0, "kept");
    store.EndTurn();
    ASSERT_EQ(log.notices.size(), 2u);
    n = log.notices.back();
    EXPECT_TRUE(n.cleared);
    EXPECT_EQ(n.generation, store.Generation());
    EXPECT_EQ(n.first, 0u);
    EXPECT_EQ(n.end, 1u);
    EXPECT_EQ(n.marks, 0u);

    // A load, then a record of the link's: the log's records are not live.
    ASSERT_TRUE(store.LoadLog(dir.File("log.wblog")).accepted);
    store.AddIncomingBytes(0, "live");
    store.EndTurn();
    ASSERT_EQ(log.notices.size(), 3u);
    n = log.notices.back();
    EXPECT_TRUE(n.cleared && n.loaded);
    EXPECT_EQ(n.end, 2u);
    EXPECT_EQ(n.liveFirst, 1u);
}

TEST_F(DataStoreTest, AnObserverGoneOrAHistoryClearedDuringTheNoticeEndsItsDelivery) {
    SNoticeLog first;
    SNoticeLog second;
    SNoticeLog third;
    CStoreSubscription a = store.Subscribe(first);
    CStoreSubscription b = store.Subscribe(second);
    CStoreSubscription c = store.Subscribe(third);
    first.onNotice = [&] { b.Reset(); };
    store.AddIncomingBytes(0, "x");
    store.EndTurn();
    EXPECT_EQ(first.notices.size(), 1u);
    EXPECT_TRUE(second.notices.empty()) << "removed while the notice went round";
    EXPECT_EQ(third.notices.size(), 1u);

    // The first clears: the third would be told of records that are gone.
    first.onNotice = [&] {
        first.onNotice = nullptr;
        store.ClearData();
    };
    store.AddIncomingBytes(0, "y");
    store.EndTurn();
    EXPECT_EQ(third.notices.size(), 1u);
    store.EndTurn();
    ASSERT_EQ(third.notices.size(), 2u);
    EXPECT_TRUE(third.notices.back().cleared);
    EXPECT_FALSE(third.notices.back().HasRecords());
    a.Reset();
    c = {};
    store.AddIncomingBytes(0, "z");
    store.EndTurn();
    EXPECT_EQ(first.notices.size(), 3u) << "unsubscribed";
    EXPECT_EQ(third.notices.size(), 2u) << "unsubscribed by assignment";
}

TEST_F(DataStoreTest, ClearRestartsSequenceAndTimeBase) {
    store.AddIncoming(0, u"a");
    const SRecordRef before = store.AddIncoming(0, u"b");
    clock.SetTick(90'000);
    clock.SetCalendarSeconds(1'700'000'500);
    channel.Send(store.Handle(), UM_CLEAR_DATA);
    EXPECT_EQ(store.RecordCount(), 0u);
    EXPECT_FALSE(store.Find(before));
    EXPECT_EQ(store.StartTick(), 90'000u);
    EXPECT_EQ(store.StartTime(), 1'700'000'500);

    clock.SetTick(91'250);
    const SRecordRef after = store.AddIncoming(0, u"c");
    EXPECT_EQ(after.sequence, 0u);
    EXPECT_EQ(store.RecordTime(0), (SRecordTime{1'700'000'501, 250}));
}

TEST_F(DataStoreTest, RecordTimeIsRightAcrossTheTickWrap) {
    CManualClock nearWrap(0xFFFFFF00u, 2'000'000'000);
    CDataStore wrapped(channel, nearWrap);
    nearWrap.SetTick(0x00000164u);  // 0x264 = 612 ms later, past the wrap
    wrapped.AddIncoming(0, u"x");
    nearWrap.SetTick(0x00001100u);  // 0x1200 = 4608 ms after the start
    wrapped.AddIncoming(0, u"y");
    EXPECT_EQ(wrapped.RecordTime(0), (SRecordTime{2'000'000'000, 612}));
    EXPECT_EQ(wrapped.RecordTime(1), (SRecordTime{2'000'000'004, 608}));
}

TEST_F(DataStoreTest, QueriesByMessageAndTheirOutOfRangeAnswers) {
    clock.SetTick(3500);
    store.AddIncoming(0, u"a");
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_RECORD, 0), 0);
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_RECORD, 1), -1);
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_START_TICK), 1000);

    std::int64_t seconds = -7;
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_RECORD_TIME, 0, 0,
                           CPayload::Borrow<std::int64_t*>(&seconds)),
              500);
    EXPECT_EQ(seconds, 1'700'000'002);
    seconds = -7;
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_RECORD_TIME, 5, 0,
                           CPayload::Borrow<std::int64_t*>(&seconds)),
              0);
    EXPECT_EQ(seconds, -7) << "no record, no time";
    // No place to put the seconds is not a crash.
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_RECORD_TIME, 0), 500);
    // A pointer that was not lent for this call is not written through.
    EXPECT_EQ(channel.Send(store.Handle(), UM_GET_RECORD_TIME, 0, 0,
                           CPayload::Make<std::int64_t*>(&seconds)),
              500);
    EXPECT_EQ(seconds, -7);
}

TEST_F(DataStoreTest, FillViewReplaysEveryRecordSynchronously) {
    CRecordingView view(channel, store);
    store.AddIncoming(0, u"a");
    store.AddIncoming(0, u"b");
    store.AddIncoming(0, u"c");
    channel.DrainPending();  // nobody registered yet
    channel.Send(store.Handle(), UM_FILL_VIEW, 0, view.Handle());
    EXPECT_EQ(channel.PendingCount(), 0u);
    EXPECT_EQ(view.shown, (std::vector<std::string>{"a", "b", "c"}));
    // A view that reads the store itself stops the replay where it says so.
    CRecordingView lazy(channel, store);
    lazy.tookAllAfter = 2;
    channel.Send(store.Handle(), UM_FILL_VIEW, 0, lazy.Handle());
    EXPECT_EQ(lazy.shown, (std::vector<std::string>{"a", "b"}));
}

// A view that clears the store while a replay is running into it.
class CClearingView final : public CMessageTarget {
  public:
    CClearingView(CMessageChannel& channel, CDataStore& store)
        : CMessageTarget(channel), m_store(store) {}
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_APPEND_RECORD) {
            ++seen;
            EXPECT_TRUE(m_store.Find(AppendNoticeRef(message)));
            m_store.ClearData();
        }
        return 0;
    }
    int seen = 0;

  private:
    CDataStore& m_store;
};

TEST_F(DataStoreTest, ReplayStopsWhenTheViewClearsTheStore) {
    CClearingView view(channel, store);
    store.AddIncoming(0, u"a");
    store.AddIncoming(0, u"b");
    store.FillView(view.Handle());
    EXPECT_EQ(view.seen, 1);
}

TEST_F(DataStoreTest, RecordViewsSurviveLaterAppendsAcrossBlocks) {
    const std::string big(CRecordArena::kBlockBytes / 3, 'q');
    store.AddIncomingBytes(0, "first");
    const SDataRecord first = *store.Record(0);
    for (int i = 0; i < 8; ++i) {
        store.AddIncomingBytes(0, big);
    }
    EXPECT_EQ(first.bytes, "first");
    EXPECT_EQ(store.Record(8)->bytes, big);
}

}  // namespace
}  // namespace quillpad
