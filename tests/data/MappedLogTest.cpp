// Loading a log file where it lies: the same records and the same report as
// the stream reader for whole, cut and corrupt logs; the records stay in the
// file through adds and spills, survive a save over their own file, and
// another program's cut or rewrite of it ends the log there, never showing a
// changed record; and the lifetime of a spilled record's bytes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/DataStore.h"
#include "data/LogRequest.h"
#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

constexpr std::int64_t kStart = 1'709'647'629;

// A log of random records: data of random sizes (some empty), heads of
// another kind now and then.
std::string RandomLog(std::mt19937& rng, std::size_t records) {
    std::string log = test::LogHeader(kStart, 777);
    for (std::size_t i = 0; i < records; ++i) {
        if (rng() % 10 == 0) {
            log += test::LogRecord(2 + rng() % 5, 0, rng(), 0, 1, 1, "");
            continue;
        }
        std::string bytes(rng() % 8 == 0 ? 0 : rng() % 300, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(rng());
        }
        log += test::LogRecord(kDataRecordKind, static_cast<std::uint32_t>(i), rng(), rng() % 3,
                               1 + rng() % 2, 1 + rng() % 2, bytes);
    }
    return log;
}

void ExpectSameStores(const CDataStore& mapped, const CDataStore& read, const std::string& what) {
    ASSERT_EQ(mapped.RecordCount(), read.RecordCount()) << what;
    EXPECT_EQ(mapped.StartTime(), read.StartTime()) << what;
    EXPECT_EQ(mapped.StartTick(), read.StartTick()) << what;
    for (std::size_t i = 0; i < read.RecordCount(); ++i) {
        const SDataRecord a = *mapped.Record(i);
        const SDataRecord b = *read.Record(i);
        ASSERT_EQ(a.sequence, i) << what;
        ASSERT_TRUE(a.tick == b.tick && a.ownerId == b.ownerId && a.direction == b.direction &&
                    a.source == b.source && a.length == b.length && a.bytes == b.bytes)
            << what << " record " << i;
    }
}

class MappedLogTest : public ::testing::Test {
  protected:
    test::CTempDir dir;
    CManualClock clock{1000, kStart};
    CQueuedChannel channel;
    test::CZoneGuard zone{"UTC0"};
};

TEST_F(MappedLogTest, WholeCutAndCorruptLogsLoadAsTheStreamReaderLoadsThem) {
    std::mt19937 rng(11);
    const std::string path = dir.File("case.wblog");
    for (int n = 0; n < 300; ++n) {
        std::string log = RandomLog(rng, rng() % 60);
        const unsigned damage = rng() % 4;
        if (damage == 1) {
            log.resize(rng() % (log.size() + 1));  // cut anywhere, header included
        } else if (damage == 2 && log.size() > 60) {
            // A length (or any other head byte) overwritten.
            const std::size_t at = kBinaryLogHeaderSize + rng() % (log.size() - 60);
            WriteLe32(log.data() + at, rng() % 2 ? rng() : rng() % 1000);
        } else if (damage == 3) {
            log[rng() % kBinaryLogHeaderSize] ^= static_cast<char>(1 + rng() % 255);
        }
        ASSERT_TRUE(test::WriteFileBytes(path, log));
        CDataStore mapped(channel, clock);
        CDataStore read(channel, clock);
        mapped.AddIncomingBytes(0, "before");
        read.AddIncomingBytes(0, "before");
        const SBinaryLogLoad a = mapped.LoadLog(path);
        CMemoryByteSource source(log);
        const SBinaryLogLoad b = read.LoadLog(source);
        const std::string what = "case " + std::to_string(n);
        ASSERT_EQ(a.accepted, b.accepted) << what;
        EXPECT_EQ(a.error, b.error) << what;
        EXPECT_EQ(a.records, b.records) << what;
        EXPECT_EQ(a.otherHeads, b.otherHeads) << what;
        EXPECT_EQ(a.truncated, b.truncated) << what;
        EXPECT_EQ(a.droppedBytes, b.droppedBytes) << what;
        ExpectSameStores(mapped, read, what);
        // Read in parts of any size, it ends with the same records.
        CDataStore parts(channel, clock);
        parts.AddIncomingBytes(0, "before");
        parts.SetLoadPartBytes(1 + rng() % 400);
        ASSERT_EQ(parts.LoadLogInParts(path).accepted, b.accepted) << what;
        channel.DrainPending();
        EXPECT_FALSE(parts.LoadingLog()) << what;
        ExpectSameStores(parts, read, what);
    }
    // A missing file is refused with the stream reader's words.
    CDataStore store(channel, clock);
    const SBinaryLogLoad missing = store.LoadLog(dir.File("missing.wblog"));
    EXPECT_FALSE(missing.accepted);
    EXPECT_EQ(missing.error, "cannot open the file: No such file or directory");
}

TEST_F(MappedLogTest, LoadedRecordsStayInTheFileThroughAddsAndSpills) {
    std::mt19937 rng(5);
    // About 8 MB, several times the budget below.
    std::string log = test::LogHeader(kStart, 777);
    std::vector<std::string> data;
    for (std::uint32_t i = 0; i < 40'000; ++i) {
        data.push_back(std::string(100 + rng() % 200, static_cast<char>('a' + i % 26)));
        log += test::LogRecord(kDataRecordKind, i, 1000 + i, 0, 1, 1, data.back());
    }
    const std::string path = dir.File("big.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, log));

    CDataStore store(channel, clock);
    store.SetHistoryBudget(std::size_t{1} << 20, dir.File("cache"));
    ASSERT_TRUE(store.LoadLog(path).accepted);
    ASSERT_EQ(store.RecordCount(), data.size());
    // Only the sparse index and the check hashes are held: no copy of the
    // bytes, no spill file.
    EXPECT_LT(store.ReservedBytes(), data.size() / CRecordArena::kSparseStep * 8 +
                                         log.size() / kCheckBlockBytes * 8 + 4096);
    EXPECT_TRUE(store.SpillPath().empty());

    // New records past the budget go to a spill file of their own.
    const std::string added(3000, 'N');
    for (int i = 0; i < 1500; ++i) {
        store.AddIncomingBytes(0, added);
        if (i % 50 == 0) {
            store.FlushLiveLogs();
        }
    }
    store.FlushLiveLogs();
    EXPECT_FALSE(store.SpillPath().empty());
    // Whole passes, forwards and back, so the log's windows are dropped and
    // read again on the way.
    for (int pass = 0; pass < 3; ++pass) {
        for (std::size_t k = 0; k < data.size(); ++k) {
            const std::size_t i = pass == 1 ? data.size() - 1 - k : k;
            const SDataRecord r = *store.Record(i);
            ASSERT_TRUE(r.bytes == data[i] && r.tick == 1000 + i && r.sequence == i) << i;
            if (k % 1000 == 0) {
                store.TrimWindows();
            }
        }
    }
    for (std::size_t i = data.size(); i < store.RecordCount(); i += 7) {
        ASSERT_TRUE(store.Record(i)->bytes == added) << i;
    }
    EXPECT_EQ(store.RecordTime(0)->seconds, kStart);
}

TEST_F(MappedLogTest, SavingOrLoggingOverTheLoadedFileKeepsEveryRecord) {
    std::mt19937 rng(3);
    const std::string original = RandomLog(rng, 3000);
    const std::string path = dir.File("self.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, original));
    CDataStore store(channel, clock);
    ASSERT_TRUE(store.LoadLog(path).accepted);
    CDataStore expected(channel, clock);
    CMemoryByteSource source(original);
    ASSERT_TRUE(expected.LoadLog(source).accepted);

    // Save Buffer to the loaded file itself, and beside it.
    SLogRequest request;
    request.binaryEnabled = true;
    request.binaryPath = path;
    ASSERT_EQ(store.SaveBuffer(request), 0u);
    ExpectSameStores(store, expected, "after the save");
    ASSERT_TRUE(store.SaveBinaryLog(path));
    CDataStore reloaded(channel, clock);
    ASSERT_TRUE(reloaded.LoadLog(path).accepted);
    ExpectSameStores(reloaded, expected, "the saved file");

    // A live log started over the file it was loaded from.
    ASSERT_TRUE(store.LoadLog(path).accepted);
    SLogRequest live;
    live.plainEnabled = true;
    live.plainPath = path;
    ASSERT_EQ(store.StartLogging(live), 0u);
    store.AddIncomingBytes(0, "new");
    store.StopLogging();
    EXPECT_EQ(test::ReadFileBytes(path), "new");
    ASSERT_EQ(store.RecordCount(), expected.RecordCount() + 1);
    for (std::size_t i = 0; i < expected.RecordCount(); ++i) {
        ASSERT_TRUE(store.Record(i)->bytes == expected.Record(i)->bytes) << i;
    }
}

// Counts the append notices and the records the store holds at each.
class CCountingView final : public CMessageTarget {
  public:
    CCountingView(CMessageChannel& channel, const CDataStore& store)
        : CMessageTarget(channel), m_store(store) {}
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_APPEND_RECORD && m_store.Find(AppendNoticeRef(message))) {
            held.push_back(m_store.RecordCount());
        }
        return 0;
    }
    std::vector<std::size_t> held;

  private:
    const CDataStore& m_store;
};

// Another program cuts the log under review, writes over its second half or
// removes it. A removed file reads on; otherwise the log ends before the
// first block that no longer matches, the records before stay as they were
// first read, and the user is told once how many remain. No record is ever
// shown with bytes other than its own.
TEST_F(MappedLogTest, ALogChangedOnDiskEndsWhereItChangedAndSaysSo) {
    std::mt19937 rng(7);
    std::string log = test::LogHeader(kStart, 777);
    std::vector<std::string> data;
    std::vector<std::size_t> ends;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        data.push_back(std::string(50 + rng() % 200, '\0'));
        for (char& c : data.back()) {
            c = static_cast<char>(rng());
        }
        log += test::LogRecord(kDataRecordKind, i, 1000 + i, 0, 1, 1, data.back());
        ends.push_back(log.size());
    }
    const std::size_t changeAt = log.size() / 2 + 1000;
    // Records whose every block is before the change stay.
    const std::size_t intact = changeAt / kCheckBlockBytes * kCheckBlockBytes;
    const std::size_t kept =
        static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), intact) - ends.begin());

    enum class EChange { Cut, Rewrite, Remove };
    const struct {
        const char* what;
        EChange change;
        std::size_t shown;
    } cases[] = {
        {"cut", EChange::Cut, kept},
        {"rewritten", EChange::Rewrite, kept},
        {"removed", EChange::Remove, data.size()},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File(std::string(c.what) + ".wblog");
        ASSERT_TRUE(test::WriteFileBytes(path, log));
        CDataStore store(channel, clock);
        CCountingView view(channel, store);
        store.RegisterView(view.Handle());
        std::vector<std::string> told;
        store.SetLoadedLogChangeHandler([&told](const std::string& text) { told.push_back(text); });
        ASSERT_TRUE(store.LoadLog(path).accepted) << c.what;
        ASSERT_EQ(store.RecordCount(), data.size());
        // Read before the change: both ends, so their windows are held.
        for (const std::size_t i : {std::size_t{0}, data.size() - 1}) {
            ASSERT_TRUE(store.Record(i)->bytes == data[i]) << c.what;
        }
        store.FlushLiveLogs();
        channel.DrainPending();

        if (c.change == EChange::Cut) {
            ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(changeAt)), 0);
        } else if (c.change == EChange::Rewrite) {
            std::string other = log.substr(changeAt);
            for (char& ch : other) {
                ch = static_cast<char>(~ch);
            }
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(changeAt));
            file.write(other.data(), static_cast<std::streamsize>(other.size()));
            ASSERT_TRUE(file.good());
        } else {
            ASSERT_EQ(::unlink(path.c_str()), 0);
        }
        // A pass over every record, the last first, as a view or a find makes it.
        for (std::size_t k = 0; k <= data.size(); ++k) {
            const std::size_t i = k == 0 ? data.size() - 1 : k - 1;
            if (const auto r = store.Record(i)) {
                ASSERT_TRUE(r->bytes == data[i] || r->bytes.empty()) << c.what << " record " << i;
            }
            if (k % 500 == 0) {
                store.FlushLiveLogs();
            }
        }
        channel.DrainPending();
        const std::string what = c.what;
        ASSERT_EQ(store.RecordCount(), c.shown) << what;
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            ASSERT_TRUE(store.Record(i)->bytes == data[i]) << what << " record " << i;
        }
        if (c.change == EChange::Remove) {
            EXPECT_TRUE(told.empty()) << what;
        } else {
            EXPECT_EQ(told, std::vector<std::string>{LoadedLogChangedText(c.shown)}) << what;
            EXPECT_EQ(
                LoadedLogChangedText(c.shown),
                "the log file changed on disk; " + std::to_string(c.shown) + " records shown");
            // The views were refilled with what remains.
            ASSERT_FALSE(view.held.empty());
            EXPECT_EQ(view.held.back(), c.shown) << what;
            // What needs every record stops where the log now ends.
            EXPECT_TRUE(store.SaveBinaryLog(dir.File("saved.wblog")));
            CDataStore saved(channel, clock);
            ASSERT_TRUE(saved.LoadLog(dir.File("saved.wblog")).accepted);
            EXPECT_EQ(saved.RecordCount(), c.shown) << what;
        }
        store.UnregisterView(view.Handle());
    }
}

TEST_F(MappedLogTest, ALogReadInPartsGrowsATurnAtATimeAndWhatNeedsEveryRecordReadsTheRest) {
    std::string log = test::LogHeader(kStart, 777);
    for (std::uint32_t i = 0; i < 200; ++i) {
        log +=
            test::LogRecord(kDataRecordKind, i, 1000 + i, 0, 1, 1, "record " + std::to_string(i));
    }
    const std::string path = dir.File("parts.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, log));
    CDataStore store(channel, clock);
    CCountingView view(channel, store);
    store.RegisterView(view.Handle());
    store.SetLoadPartBytes(400);
    ASSERT_TRUE(store.LoadLogInParts(path).accepted);
    const std::size_t first = store.RecordCount();
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, 20u);
    EXPECT_TRUE(store.LoadingLog());
    // One part a turn, and the views hear of each as of records arriving.
    channel.DeliverOne();
    EXPECT_GT(store.RecordCount(), first);
    EXPECT_LT(store.RecordCount(), 40u);
    channel.DrainPending();
    EXPECT_FALSE(store.LoadingLog());
    ASSERT_EQ(store.RecordCount(), 200u);
    EXPECT_GT(view.held.size(), 10u);
    EXPECT_TRUE(std::is_sorted(view.held.begin(), view.held.end()));
    EXPECT_EQ(view.held.back(), 200u);

    // Saving while the rest is unread saves every record.
    ASSERT_TRUE(store.LoadLogInParts(path).accepted);
    ASSERT_TRUE(store.LoadingLog());
    SLogRequest save;
    save.binaryEnabled = true;
    save.binaryPath = dir.File("saved.wblog");
    EXPECT_EQ(store.SaveBuffer(save), 0u);
    CDataStore saved(channel, clock);
    ASSERT_TRUE(saved.LoadLog(save.binaryPath).accepted);
    ExpectSameStores(saved, store, "saved during the load");

    // A record added meanwhile comes after the whole log.
    ASSERT_TRUE(store.LoadLogInParts(path).accepted);
    store.AddIncomingBytes(0, "live");
    ASSERT_EQ(store.RecordCount(), 201u);
    EXPECT_EQ(store.Record(199)->bytes, "record 199");
    EXPECT_EQ(store.Record(200)->bytes, "live");

    // A clear ends the load; its queued part finds nothing to do.
    ASSERT_TRUE(store.LoadLogInParts(path).accepted);
    store.ClearData();
    EXPECT_FALSE(store.LoadingLog());
    channel.DrainPending();
    EXPECT_EQ(store.RecordCount(), 0u);
    store.UnregisterView(view.Handle());
}

TEST_F(MappedLogTest, ASpilledRecordOutlivesLookupsOfEveryOtherSegment) {
    CDataStore store(channel, clock);
    store.SetHistoryBudget(std::size_t{1} << 20, dir.File("cache"));
    std::vector<std::string> data;
    for (std::uint32_t i = 0; i < 60'000; ++i) {
        data.push_back(std::string(100, static_cast<char>(i * 7)));
        store.AddIncomingBytes(0, data.back());
        if (i % 100 == 0) {
            store.FlushLiveLogs();
        }
    }
    store.FlushLiveLogs();
    const SDataRecord first = *store.Record(0);
    ASSERT_TRUE(first.bytes == data[0]);
    // Far more segments than the windows kept between turns.
    for (std::size_t i = data.size(); i-- > 1;) {
        ASSERT_TRUE(store.Record(i)->bytes == data[i]) << i;
    }
    EXPECT_TRUE(first.bytes == data[0]);
    // The turn ends and the windows go; asked again, the record is there.
    store.FlushLiveLogs();
    EXPECT_TRUE(store.Record(0)->bytes == data[0]);
}

}  // namespace
}  // namespace quillpad
