#include <gtest/gtest.h>

#include <string>

#include "data/DataStore.h"
#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::Le32;
using test::LogHeader;
using test::LogRecord;

class BinaryLogTest : public ::testing::Test {
  protected:
    // 2023-11-14 22:13:20 UTC
    static constexpr std::int64_t kStart = 1'700'000'000;

    SBinaryLogLoad Load(const std::string& bytes, bool sizeKnown = true) {
        CMemoryByteSource source(bytes, sizeKnown);
        return store.LoadLog(source);
    }

    test::CZoneGuard zone{"UTC0"};
    test::CTempDir dir;
    CManualClock clock{777, kStart + 3600};
    CQueuedChannel channel;
    CDataStore store{channel, clock};
};

TEST_F(BinaryLogTest, HeaderLayoutIsTheDocumentedOne) {
    const std::string h = LogHeader(kStart, 0x01020304u);
    ASSERT_EQ(h.size(), 56u);
    EXPECT_EQ(h.substr(0, 32), std::string("Workbay Binary Console Log File\0", 32));
    EXPECT_EQ(h.substr(32, 4), Le32(1));
    // year, month, day of week, day, hour, minute, second, milliseconds
    const std::string time("\xE7\x07\x0B\x00\x02\x00\x0E\x00\x16\x00\x0D\x00\x14\x00\x00\x00", 16);
    EXPECT_EQ(h.substr(36, 16), time);
    EXPECT_EQ(h.substr(52, 4), Le32(0x01020304u));
}

TEST_F(BinaryLogTest, StartTimeSurvivesWriteAndReloadToTheSecond) {
    test::CZoneGuard berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    for (const std::int64_t t : {std::int64_t{1'689'415'207}, std::int64_t{1'673'780'459}}) {
        ASSERT_TRUE(Load(LogHeader(t, 12345)).accepted);
        EXPECT_EQ(store.StartTime(), t);
        EXPECT_EQ(store.StartTick(), 12345u);
    }
}

TEST_F(BinaryLogTest, HeaderOnlyFileGivesAnEmptyStoreWithTheFilesTimeBase) {
    store.AddIncoming(0, u"live");
    const SBinaryLogLoad load = Load(LogHeader(kStart, 4242));
    EXPECT_TRUE(load.accepted);
    EXPECT_FALSE(load.truncated);
    EXPECT_EQ(store.RecordCount(), 0u);
    EXPECT_EQ(store.StartTime(), kStart);
    EXPECT_EQ(store.StartTick(), 4242u);
}

TEST_F(BinaryLogTest, RefusedFilesLeaveTheStoreAsItWas) {
    store.AddIncoming(0, u"keep me");
    const std::uint32_t generation = store.Generation();
    const std::string good = LogHeader(kStart, 0);

    std::string noNul = good;
    noNul[31] = 'X';  // the 31 characters, then no NUL
    std::string version2 = good;
    version2.replace(32, 4, Le32(2));
    std::string badMonth = good;
    badMonth[38] = 13;
    std::string foreign = good;
    foreign[0] = 'w';

    for (const std::string& bytes : {noNul, version2, badMonth, foreign, std::string()}) {
        const SBinaryLogLoad load = Load(bytes + LogRecord(1, 0, 1, 0, 1, 1, "x"));
        EXPECT_FALSE(load.accepted);
        EXPECT_FALSE(load.error.empty());
    }
    EXPECT_FALSE(Load(good.substr(0, 55)).accepted) << "a header cut short";
    EXPECT_EQ(store.Generation(), generation);
    ASSERT_EQ(store.RecordCount(), 1u);
    EXPECT_EQ(store.Record(0)->bytes, "keep me");

    EXPECT_FALSE(store.LoadLog(dir.File("missing.wblog")).accepted);
    EXPECT_EQ(store.RecordCount(), 1u);
}

TEST_F(BinaryLogTest, RecordsLoadRenumberedWithTheirRecordedFields) {
    const std::string file = LogHeader(kStart, 1000) + LogRecord(1, 57, 2500, 9, 2, 2, "hi") +
                             LogRecord(1, 99, 1000, 0, 1, 1, "") +  // 28 bytes, empty
                             LogRecord(2, 7, 0, 0, 0, 0, "") +      // 24 bytes, skipped
                             LogRecord(1, 3, 3999, 4, 7, 5, std::string("\0\xFF", 2));
    const SBinaryLogLoad load = Load(file);
    ASSERT_TRUE(load.accepted);
    EXPECT_EQ(load.records, 3u);
    EXPECT_EQ(load.otherHeads, 1u);
    EXPECT_FALSE(load.truncated);
    ASSERT_EQ(store.RecordCount(), 3u);

    const SDataRecord a = *store.Record(0);
    EXPECT_EQ(a.sequence, 0u);
    EXPECT_EQ(a.tick, 2500u);
    EXPECT_EQ(a.ownerId, 9u);
    EXPECT_EQ(a.direction, 2u);
    EXPECT_EQ(a.source, 2u);
    EXPECT_EQ(a.bytes, "hi");
    EXPECT_EQ(store.Record(1)->length, 0u);
    const SDataRecord c = *store.Record(2);
    EXPECT_EQ(c.sequence, 2u);
    EXPECT_EQ(c.direction, 7u) << "values of the recording are kept as they are";
    EXPECT_EQ(c.source, 5u);
    EXPECT_EQ(c.bytes, std::string("\0\xFF", 2));
    EXPECT_EQ(store.RecordTime(0), (SRecordTime{kStart + 1, 500}));
    EXPECT_EQ(store.NextSequence(), 3u);
}

TEST_F(BinaryLogTest, AFileCutShortKeepsEveryWholeRecordBeforeTheCut) {
    const std::string whole = LogHeader(kStart, 0) + LogRecord(1, 0, 1, 0, 1, 1, "abc");
    const std::string last = LogRecord(1, 1, 2, 0, 1, 1, "defgh");
    // Inside the head, inside the length, inside the data.
    for (const std::size_t cut :
         {std::size_t{1}, std::size_t{23}, std::size_t{26}, std::size_t{30}, last.size() - 1}) {
        for (const bool sizeKnown : {true, false}) {
            const SBinaryLogLoad load = Load(whole + last.substr(0, cut), sizeKnown);
            ASSERT_TRUE(load.accepted);
            EXPECT_TRUE(load.truncated) << cut;
            EXPECT_EQ(load.droppedBytes, cut);
            ASSERT_EQ(store.RecordCount(), 1u) << cut;
            EXPECT_EQ(store.Record(0)->bytes, "abc");
        }
    }
    // A head of another kind needs no length: 24 bytes are all of it.
    const SBinaryLogLoad other = Load(whole + LogRecord(5, 0, 0, 0, 0, 0, ""));
    EXPECT_FALSE(other.truncated);
    EXPECT_EQ(other.otherHeads, 1u);
}

TEST_F(BinaryLogTest, AHugeDeclaredLengthAllocatesNothingBeyondTheFile) {
    const std::string file = LogHeader(kStart, 0) + LogRecord(1, 0, 1, 0, 1, 1, "ok") + Le32(1) +
                             std::string(20, '\0') + Le32(0xFFFFFFF0u) + "tail";
    for (const bool sizeKnown : {true, false}) {
        const SBinaryLogLoad load = Load(file, sizeKnown);
        ASSERT_TRUE(load.accepted);
        EXPECT_TRUE(load.truncated);
        ASSERT_EQ(store.RecordCount(), 1u);
        EXPECT_EQ(store.Record(0)->bytes, "ok");
        EXPECT_LE(store.ReservedBytes(), 2 * CRecordArena::kBlockBytes)
            << "the declared 4 GiB must not be reserved";
    }
}

TEST_F(BinaryLogTest, LoadingStartsANewGenerationAndTellsNoView) {
    store.AddIncoming(0, u"live");
    const SRecordRef live{store.Generation(), 0};
    ASSERT_TRUE(Load(LogHeader(kStart, 0) + LogRecord(1, 0, 1, 0, 1, 1, "file")).accepted);
    EXPECT_FALSE(store.Find(live)) << "a queued notice for the live record must be skipped";
    EXPECT_EQ(store.Find(SRecordRef{store.Generation(), 0})->bytes, "file");
    EXPECT_EQ(channel.PendingCount(), 0u);
}

TEST_F(BinaryLogTest, LoadByMessageTakesAPath) {
    const std::string path = dir.File("by message.wblog");
    ASSERT_TRUE(
        test::WriteFileBytes(path, LogHeader(kStart, 0) + LogRecord(1, 0, 1, 0, 1, 1, "m")));
    EXPECT_EQ(channel.Send(store.Handle(), UM_LOAD_LOG, 0, 0, CPayload::Make(path)), 1);
    EXPECT_EQ(store.Record(0)->bytes, "m");
    EXPECT_EQ(
        channel.Send(store.Handle(), UM_LOAD_LOG, 0, 0, CPayload::Make(dir.File("none.wblog"))), 0);
    EXPECT_EQ(channel.Send(store.Handle(), UM_LOAD_LOG), 0) << "no path at all";
}

TEST_F(BinaryLogTest, SaveBufferWritesEveryRecordAndReloadsIdentically) {
    store.RegisterOwnId(5);
    clock.SetTick(2000);
    store.AddIncoming(0, u"first\r\n");
    clock.SetTick(2001);
    store.AddOutgoing(6, u"");
    clock.SetTick(9999);
    store.AddIncomingBytes(5, std::string(300'000, '\x80'));
    const std::string path = dir.File("saved.wblog");
    ASSERT_TRUE(store.SaveBinaryLog(path));

    const std::string bytes = test::ReadFileBytes(path);
    EXPECT_EQ(bytes.size(), 56u + (28 + 7) + 28 + (28 + 300'000));
    EXPECT_EQ(bytes.substr(0, 56), LogHeader(store.StartTime(), store.StartTick()));
    EXPECT_EQ(bytes.substr(56, 28), LogRecord(1, 0, 2000, 0, 1, 1, "").substr(0, 24) + Le32(7));

    CQueuedChannel otherChannel;
    CDataStore reloaded(otherChannel, clock);
    ASSERT_TRUE(reloaded.LoadLog(path).accepted);
    EXPECT_EQ(reloaded.StartTime(), store.StartTime());
    EXPECT_EQ(reloaded.StartTick(), store.StartTick());
    ASSERT_EQ(reloaded.RecordCount(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const SDataRecord a = *store.Record(i);
        const SDataRecord b = *reloaded.Record(i);
        EXPECT_EQ(a.tick, b.tick);
        EXPECT_EQ(a.ownerId, b.ownerId);
        EXPECT_EQ(a.direction, b.direction);
        EXPECT_EQ(a.source, b.source);
        EXPECT_EQ(a.bytes, b.bytes);
    }
    EXPECT_FALSE(store.SaveBinaryLog(dir.File("no/such/folder.wblog")));
}

TEST_F(BinaryLogTest, LiveLogHandsEachTurnsRecordsOverAtTheTurnsEnd) {
    const std::string path = dir.File("live.wblog");
    clock.SetTick(100);
    store.AddIncoming(0, u"before logging");
    SLogRequest request;
    request.binaryEnabled = true;
    request.binaryPath = path;
    ASSERT_EQ(store.StartLogging(request), 0u);
    EXPECT_EQ(test::ReadFileBytes(path), LogHeader(store.StartTime(), store.StartTick()))
        << "the header is written when logging starts";

    clock.SetTick(200);
    store.AddIncoming(3, u"other source");  // binary takes every source
    EXPECT_EQ(test::ReadFileBytes(path).size(), 56u) << "held until the turn ends";
    store.FlushLiveLogs();
    EXPECT_EQ(test::ReadFileBytes(path).size(), 56u + 28 + 12);
    request.paused = true;
    store.AddIncoming(0, u"paused");
    request.paused = false;
    store.AddOutgoing(0, u"resumed");
    store.StopLogging();
    store.AddIncoming(0, u"after");

    CQueuedChannel otherChannel;
    CDataStore reloaded(otherChannel, clock);
    ASSERT_TRUE(reloaded.LoadLog(path).accepted);
    ASSERT_EQ(reloaded.RecordCount(), 2u);
    EXPECT_EQ(reloaded.Record(0)->bytes, "other source");
    EXPECT_EQ(reloaded.Record(0)->source, kSourceOther);
    EXPECT_EQ(reloaded.Record(1)->bytes, "resumed");
    EXPECT_EQ(reloaded.Record(1)->sequence, 1u) << "renumbered past the paused record";
    // The stored sequence was 3: the gap stays in the file.
    EXPECT_EQ(test::ReadFileBytes(path).substr(56 + 40 + 4, 4), Le32(3));
}

}  // namespace
}  // namespace quillpad
