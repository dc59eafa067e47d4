#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "data/BinaryLogFormat.h"
#include "data/DataStore.h"
#include "data/LogRequest.h"
#include "data/SpillFile.h"
#include "platform/TurnBudget.h"
#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

constexpr std::size_t kBudget = std::size_t{1} << 20;

struct SFed {
    std::uint32_t tick;
    std::uint32_t owner;
    bool outgoing;
    std::string bytes;
};

// Random records of random sizes, mostly small with some past a block.
std::vector<SFed> RandomRecords(std::size_t totalBytes, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<SFed> records;
    std::size_t total = 0;
    std::uint32_t tick = 1000;
    while (total < totalBytes) {
        const unsigned pick = rng() % 100;
        const std::size_t size = pick < 80   ? rng() % 200
                                 : pick < 98 ? rng() % 20'000
                                             : CRecordArena::kBlockBytes / 2 + rng() % 900'000;
        std::string bytes(size, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(rng());
        }
        tick += rng() % 50;
        records.push_back(SFed{tick, 0, rng() % 4 == 0, std::move(bytes)});
        total += size;
    }
    return records;
}

void Add(CDataStore& store, CManualClock& clock, const SFed& record) {
    clock.SetTick(record.tick);
    if (record.outgoing) {
        store.AddOutgoingBytes(record.owner, record.bytes);
    } else {
        store.AddIncomingBytes(record.owner, record.bytes);
    }
}

void Feed(CDataStore& store, CManualClock& clock, const std::vector<SFed>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        Add(store, clock, records[i]);
        if (i % 37 == 0) {
            store.FlushLiveLogs();  // an event-loop turn ends now and then
        }
    }
}

void ExpectSame(const CDataStore& store, const std::vector<SFed>& records, std::size_t index) {
    const auto r = store.Record(index);
    ASSERT_TRUE(r) << index;
    EXPECT_EQ(r->sequence, index);
    EXPECT_EQ(r->tick, records[index].tick) << index;
    EXPECT_EQ(r->direction, records[index].outgoing ? kDirectionOutgoing : kDirectionIncoming);
    EXPECT_EQ(r->source, kSourceOwn);
    ASSERT_EQ(r->length, records[index].bytes.size()) << index;
    ASSERT_TRUE(r->bytes == records[index].bytes) << index;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The spill file's disk as a test wants it: each write waits while the gate
// is shut (the first `freeWrites` never do), takes `pause` when slow, and
// the disk is full after `room` bytes: a short write, then ENOSPC.
class CTestDisk {
  public:
    CSpillFile::WriteFunction Write() {
        return [this](int fd, const iovec* iov, int count) { return WriteV(fd, iov, count); };
    }
    void Shut(std::size_t freeWrites = 0) {
        std::lock_guard lock(m_mutex);
        m_shut = true;
        m_freeWrites = m_calls + freeWrites;
    }
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_shut = false;
        }
        m_gate.notify_all();
    }
    void SetRoom(std::uint64_t bytes) {
        std::lock_guard lock(m_mutex);
        m_room = bytes;
    }
    void SetPause(std::chrono::microseconds pause) {
        std::lock_guard lock(m_mutex);
        m_pause = pause;
    }
    std::size_t Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // A write waits at the shut gate.
    bool Waiting() const {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

  private:
    ssize_t WriteV(int fd, const iovec* iov, int count) {
        std::unique_lock lock(m_mutex);
        ++m_calls;
        if (m_calls > m_freeWrites) {
            m_waiting = m_shut;
            m_gate.wait(lock, [this] { return !m_shut; });
            m_waiting = false;
        }
        std::this_thread::sleep_for(m_pause);
        std::uint64_t want = 0;
        for (int i = 0; i < count; ++i) {
            want += iov[i].iov_len;
        }
        const std::uint64_t room = m_room - std::min(m_room, m_written);
        if (room == 0) {
            errno = ENOSPC;
            return -1;
        }
        std::vector<iovec> cut(iov, iov + count);
        if (want > room) {
            std::uint64_t left = room;
            std::size_t n = 0;
            for (; n < cut.size() && left > 0; ++n) {
                cut[n].iov_len = std::min<std::uint64_t>(cut[n].iov_len, left);
                left -= cut[n].iov_len;
            }
            cut.resize(n);
        }
        const ssize_t n = ::writev(fd, cut.data(), static_cast<int>(cut.size()));
        if (n > 0) {
            m_written += static_cast<std::uint64_t>(n);
        }
        return n;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_shut = false;
    bool m_waiting = false;
    std::size_t m_freeWrites = 0;
    std::size_t m_calls = 0;
    std::uint64_t m_room = ~std::uint64_t{0};
    std::uint64_t m_written = 0;
    std::chrono::microseconds m_pause{0};
};

// The size of a spill file that holds exactly `records`.
std::uint64_t SpillFileBytes(const std::vector<SFed>& records) {
    std::uint64_t bytes = kBinaryLogHeaderSize;
    for (const SFed& r : records) {
        bytes += kBinaryLogHeadSize + kBinaryLogLengthSize + r.bytes.size();
    }
    return bytes;
}

std::uint64_t FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

const auto late = [] { return std::chrono::steady_clock::now() - std::chrono::seconds(1); };

class HistorySpillTest : public ::testing::Test {
  protected:
    test::CTempDir dir;
    CManualClock clock{1000, 1'709'647'629};
    CQueuedChannel channel;
    test::CZoneGuard zone{"UTC0"};
};

TEST_F(HistorySpillTest, MoreThanTheBudgetIsFoundAgainByLookupSaveBufferAndThePlainLog) {
    CDataStore store(channel, clock);
    store.SetHistoryBudget(kBudget, dir.File("cache"));
    const auto records = RandomRecords(6 * kBudget, 1);
    Feed(store, clock, records);
    store.FlushLiveLogs();

    // Held memory stays near the budget: the last block being filled and
    // the index of what went to disk come on top.
    EXPECT_LE(store.ReservedBytes(), kBudget + 2 * CRecordArena::kBlockBytes);
    EXPECT_FALSE(store.SpillFailed());
    ASSERT_TRUE(Exists(store.SpillPath()));
    struct stat st {};
    ASSERT_EQ(::stat(store.SpillPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.File("cache").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ASSERT_EQ(store.RecordCount(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        ExpectSame(store, records, i);
    }
    // Backwards and at random, so windows are mapped out of order and the
    // sparse index is entered at every offset.
    std::mt19937 rng(7);
    for (int n = 0; n < 2000; ++n) {
        const std::size_t i = rng() % records.size();
        ExpectSame(store, records, i);
        const auto found =
            store.Find(SRecordRef{store.Generation(), static_cast<std::uint32_t>(i)});
        ASSERT_TRUE(found && found->bytes == records[i].bytes);
    }
    for (std::size_t i = records.size(); i-- > 0;) {
        ASSERT_TRUE(store.Record(i)->bytes == records[i].bytes) << i;
    }

    SLogRequest request;
    request.plainEnabled = request.binaryEnabled = true;
    request.plainPath = dir.File("p.txt");
    request.binaryPath = dir.File("b.wblog");
    ASSERT_EQ(store.SaveBuffer(request), 0u);
    std::string all;
    for (const SFed& r : records) {
        all += r.bytes;
    }
    EXPECT_TRUE(test::ReadFileBytes(dir.File("p.txt")) == all);

    // The saved log, and the spill file itself, load back whole.
    for (const std::string& path : {dir.File("b.wblog"), store.SpillPath()}) {
        CQueuedChannel other;
        CDataStore reloaded(other, clock);
        ASSERT_TRUE(reloaded.LoadLog(path).accepted) << path;
        ASSERT_EQ(reloaded.RecordCount(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            ExpectSame(reloaded, records, i);
        }
    }
}

TEST_F(HistorySpillTest, LookupsAcrossTheEdgeBetweenDiskAndMemoryAndLoadingOverTheBudget) {
    CDataStore store(channel, clock);
    store.SetHistoryBudget(kBudget, dir.File("cache"));
    // Equal records, so segment edges fall at known places.
    std::vector<SFed> records;
    for (std::uint32_t i = 0; i < 40'000; ++i) {
        records.push_back(SFed{1000 + i, 0, false, std::string(100, static_cast<char>(i))});
    }
    Feed(store, clock, records);
    const std::string spill = store.SpillPath();
    ASSERT_TRUE(Exists(spill));
    // Every record by itself, each beside its neighbours on either side.
    for (std::size_t i = 1; i + 1 < records.size(); i += 1 + i % 5) {
        ExpectSame(store, records, i - 1);
        ExpectSame(store, records, i + 1);
        ExpectSame(store, records, i);
    }
    EXPECT_LE(store.ReservedBytes(), kBudget + 2 * CRecordArena::kBlockBytes);

    // A load replaces the history and removes the old file; the loaded
    // records stay in the log's mapping, so nothing is spilled again.
    SLogRequest request;
    request.binaryEnabled = true;
    request.binaryPath = dir.File("b.wblog");
    ASSERT_EQ(store.SaveBuffer(request), 0u);
    ASSERT_TRUE(store.LoadLog(dir.File("b.wblog")).accepted);
    EXPECT_FALSE(Exists(spill));
    EXPECT_TRUE(store.SpillPath().empty());
    EXPECT_LE(store.ReservedBytes(), kBudget / 8);
    ASSERT_EQ(store.RecordCount(), records.size());
    for (std::size_t i = 0; i < records.size(); i += 97) {
        ExpectSame(store, records, i);
    }

    // Records added after the load spill as usual; clearing removes the
    // file and new records start a new one.
    Feed(store, clock, records);
    store.FlushLiveLogs();
    const std::string loaded = store.SpillPath();
    ASSERT_TRUE(Exists(loaded));
    ExpectSame(store, records, 5);
    EXPECT_TRUE(store.Record(records.size() + 5)->bytes == records[5].bytes);
    store.ClearData();
    EXPECT_FALSE(Exists(loaded));
    EXPECT_TRUE(store.SpillPath().empty());
    Feed(store, clock, records);
    store.FlushLiveLogs();
    EXPECT_TRUE(Exists(store.SpillPath()));
    ExpectSame(store, records, 0);
}

TEST_F(HistorySpillTest, ASlowDiskHoldsNoTurnAndAFlushWithoutDeadlineWritesEverything) {
    // A disk slower than the flood, and no turn holds the intake back: the
    // turns hand out and return, and sealing a block past twice the slack
    // waits for the writer, so memory stays within them.
    constexpr std::size_t kBig = 8 * kBudget;
    constexpr std::size_t kSlack = kBig / 4;
    CTestDisk disk;
    disk.SetPause(std::chrono::milliseconds(3));
    CDataStore store(channel, clock);
    store.SetSpillWrite(disk.Write());
    store.SetHistoryBudget(kBig, dir.File("cache"));
    const auto records = RandomRecords(12 * kBig, 5);
    std::size_t behind = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        Add(store, clock, records[i]);
        if (i % 80 == 79) {  // a turn's end: about 1.6 MB
            store.FlushLiveLogs(late());
            EXPECT_LE(store.ReservedBytes(), kBig + 2 * kSlack + 3 * CRecordArena::kBlockBytes)
                << i;
            behind = std::max(behind, store.SpillBacklog());
        }
    }
    EXPECT_GT(behind, CRecordArena::kBlockBytes) << "the writer never fell behind";
    // Without a deadline, the flush returns with every record in the file.
    store.FlushLiveLogs();
    EXPECT_EQ(store.SpillBacklog(), 0u);
    EXPECT_EQ(FileBytes(store.SpillPath()), SpillFileBytes(records));
    EXPECT_LE(store.ReservedBytes(), kBig + 2 * CRecordArena::kBlockBytes);
    ASSERT_EQ(store.RecordCount(), records.size());
    for (std::size_t i = 0; i < records.size(); i += 1 + i % 7) {
        ExpectSame(store, records, i);
    }
}

TEST_F(HistorySpillTest, AWriterBehindHoldsTheIntakeBackAndRecordsInFlightReadFromMemory) {
    // Each thread has its own turn; this one's must not outlive the test.
    std::thread([this] {
        constexpr std::size_t kBig = 32 * kBudget;
        constexpr std::size_t kSlack = kBig / 4;
        CTestDisk disk;
        CDataStore store(channel, clock);
        store.SetSpillWrite(disk.Write());
        store.SetHistoryBudget(kBig, dir.File("cache"));
        CTurnBudget& turn = ThreadTurnBudget();
        turn.BeginTurn(SteadyNowNs());
        auto records = RandomRecords(2 * kBig, 11);
        Feed(store, clock, records);
        store.FlushLiveLogs();
        ASSERT_EQ(FileBytes(store.SpillPath()), SpillFileBytes(records));
        const std::size_t onDisk = records.size();

        // The disk stops: turns hand out and return, blocks in flight stay.
        // A turn of its own: on a loaded machine the writer may have fallen
        // behind the feed above, and that spent the turn it ran in.
        disk.Shut();
        turn.BeginTurn(SteadyNowNs());
        std::mt19937 rng(12);
        const auto more = [&] {
            SFed record{records.back().tick + 1, 0, rng() % 4 == 0, std::string(rng() % 4000, 'm')};
            for (char& c : record.bytes) {
                c = static_cast<char>(rng());
            }
            Add(store, clock, record);
            records.push_back(std::move(record));
            if (records.size() % 50 == 0) {
                store.FlushLiveLogs(late());
            }
        };
        while (store.SpillBacklog() < kSlack / 4) {
            more();
        }
        EXPECT_FALSE(store.SpillBehind());
        EXPECT_FALSE(turn.Spent());
        std::size_t fed = 0;
        while (!store.SpillPastSlack()) {
            more();
            fed += records.back().bytes.size();
        }
        EXPECT_TRUE(disk.Waiting());
        EXPECT_TRUE(turn.Spent()) << "sealing a block behind the writer did not spend the turn";
        EXPECT_FALSE(turn.IntakeStopped()) << "only the turns' own flush may stop the intake";
        EXPECT_GE(store.ReservedBytes(), fed) << "a block in flight left memory";
        for (std::size_t i = 0; i < records.size(); i += 1 + i % 5) {
            ExpectSame(store, records, i);
        }
        for (std::size_t i = onDisk; i < records.size(); ++i) {
            ExpectSame(store, records, i);
        }

        // The disk is back: the turns collect; once below a mark, never above.
        disk.Open();
        bool past = true;
        bool behind = true;
        while (store.SpillBacklog() > 0) {
            store.FlushLiveLogs(late());
            EXPECT_TRUE(past || !store.SpillPastSlack());
            EXPECT_TRUE(behind || !store.SpillBehind());
            EXPECT_TRUE(store.SpillBehind() || !store.SpillPastSlack());
            past = store.SpillPastSlack();
            behind = store.SpillBehind();
            std::this_thread::yield();
        }
        EXPECT_FALSE(behind);
        EXPECT_LE(store.ReservedBytes(), kBig + 2 * CRecordArena::kBlockBytes);
        EXPECT_EQ(FileBytes(store.SpillPath()), SpillFileBytes(records));
        ASSERT_EQ(store.RecordCount(), records.size());
        for (std::size_t i = 0; i < records.size(); i += 1 + i % 5) {
            ExpectSame(store, records, i);
        }
    }).join();
}

// Closing a console or clearing its history while pieces are in flight:
// what is queued is dropped, the write in progress ends before the blocks it
// reads are freed, and nothing of the file is left.
TEST_F(HistorySpillTest, ClosingOrClearingWithPiecesInFlightWaitsOnlyForTheWriteInProgress) {
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close ? "close" : "clear");
        CTestDisk disk;
        auto store = std::make_unique<CDataStore>(channel, clock);
        store->SetSpillWrite(disk.Write());
        store->SetHistoryLink("tcp:10.0.0.5:23");
        store->SetHistoryBudget(32 * kBudget, dir.File("cache"));
        disk.Shut(1);  // the header goes; the first records wait
        const auto records = RandomRecords(4 * kBudget, 21);
        for (std::size_t i = 0; i < records.size(); ++i) {
            Add(*store, clock, records[i]);
            if (i % 37 == 0) {
                store->FlushLiveLogs(late());
            }
        }
        while (!disk.Waiting()) {
            std::this_thread::yield();
        }
        const std::string path = store->SpillPath();
        ASSERT_TRUE(Exists(path));
        std::thread closing([&] {
            if (close) {
                store.reset();
            } else {
                store->ClearData();
            }
        });
        // The file goes before the writer is waited for.
        while (Exists(path)) {
            std::this_thread::yield();
        }
        disk.Open();
        closing.join();
        EXPECT_EQ(disk.Calls(), 2u) << "pieces queued behind the one in progress were written";
        EXPECT_FALSE(Exists(SpillLinkPath(path)));
        EXPECT_TRUE(std::filesystem::is_empty(dir.File("cache")));
        if (!close) {
            // The store goes on, into a file of its own.
            Feed(*store, clock, records);
            store->FlushLiveLogs();
            EXPECT_NE(store->SpillPath(), path);
            EXPECT_EQ(FileBytes(store->SpillPath()), SpillFileBytes(records));
            ASSERT_EQ(store->RecordCount(), records.size());
            for (std::size_t i = 0; i < records.size(); i += 3) {
                ExpectSame(*store, records, i);
            }
        }
    }
}

TEST_F(HistorySpillTest, TheIndexOfEverySegmentOnDiskCountsAgainstTheBudget) {
    CRecordArena arena;
    arena.SetSpillTarget(SSpillTarget{dir.File("cache"), kBudget, 1'709'647'629, 1000, {}, {}});
    // Records of 16 bytes: a segment of 1 MiB holds 65,536 of them, and what
    // stays of it in memory once on disk is a sparse index of 2,048 offsets.
    const std::string record(16, 'r');
    const auto feed = [&](std::size_t bytes) {
        for (std::size_t i = 0; i < bytes / record.size(); ++i) {
            arena.Append(1000, 0, kDirectionIncoming, kSourceOwn, record);
            if (i % 4096 == 0) {
                ASSERT_TRUE(arena.FlushSpill());
            }
        }
        ASSERT_TRUE(arena.FlushSpill());
    };
    feed(std::size_t{32} << 20);
    const std::size_t segments = arena.SpilledSegments();
    const std::size_t held = arena.ReservedBytes();
    feed(std::size_t{32} << 20);
    const std::size_t more = arena.SpilledSegments() - segments;
    ASSERT_GE(more, 30u);
    EXPECT_GE(arena.ReservedBytes() - held, more * 2048 * sizeof(std::uint64_t));
}

// Once the history is at its budget, a flood's new blocks take the pages of
// the oldest ones on disk: none comes fresh from the system (a fault a page)
// and none goes back to it (an unmap), and every record is still found.
TEST_F(HistorySpillTest, AtTheBudgetNewBlocksTakeThePagesOfTheOldestOnDisk) {
    constexpr std::size_t kBig = 32 * kBudget;
    CRecordArena arena;
    arena.SetSpillTarget(SSpillTarget{dir.File("cache"), kBig, 1'709'647'629, 1000, {}, {}});
    // A flood's pieces: their heads weigh nothing beside their bytes.
    std::string record(60'000, '\0');
    constexpr std::size_t kTurnRecords = 200;  // a long turn's: more blocks than the spares
    std::size_t appended = 0;
    const auto feed = [&](std::size_t bytes) {
        for (std::size_t i = 0; i < bytes / record.size(); ++i, ++appended) {
            std::memcpy(record.data(), &appended, sizeof appended);
            arena.Append(1000, 0, kDirectionIncoming, kSourceOwn, record);
            if (i % kTurnRecords == 0) {
                ASSERT_TRUE(arena.FlushSpill());
            }
        }
        ASSERT_TRUE(arena.FlushSpill());
    };
    feed(2 * kBig);
    const std::size_t fresh = arena.FreshBlocks();
    EXPECT_LE(fresh, (kBig + kTurnRecords * record.size()) / CRecordArena::kBlockBytes + 1)
        << "more than the budget and a turn came fresh";
    feed(3 * kBig);
    EXPECT_EQ(arena.FreshBlocks(), fresh) << "a block past the budget took fresh pages";
    EXPECT_LE(arena.ReservedBytes(), kBig + CRecordArena::kBlockBytes);
    EXPECT_GT(arena.SpilledSegments(), 60u);
    for (std::size_t index = 0; index < appended; index += 7) {
        const SDataRecord r = arena.At(index);
        ASSERT_EQ(r.length, record.size()) << index;
        std::size_t stored = 0;
        std::memcpy(&stored, r.bytes.data(), sizeof stored);
        ASSERT_EQ(stored, index);
    }
}

TEST_F(HistorySpillTest, NoBudgetMeansNoFileAndClosingRemovesIt) {
    std::string spill;
    {
        CDataStore store(channel, clock);
        store.SetHistoryBudget(0, dir.File("cache"));
        Feed(store, clock, RandomRecords(2 * kBudget, 3));
        store.FlushLiveLogs();
        EXPECT_TRUE(store.SpillPath().empty());
        store.SetHistoryBudget(kBudget, dir.File("cache"));
        spill = store.SpillPath();
        EXPECT_TRUE(Exists(spill));
        EXPECT_LE(store.ReservedBytes(), kBudget + 2 * CRecordArena::kBlockBytes);
    }
    EXPECT_FALSE(Exists(spill));
}

TEST_F(HistorySpillTest, AConsoleKilledMidWayLeavesAnOrphanThatLoadsAsWhatItWasFed) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start threads in a child of a process that has some";
#endif
    const std::string folder = dir.File("cache");
    const auto records = RandomRecords(3 * kBudget, 5);
    // A live console's file is never taken for an orphan.
    CDataStore live(channel, clock);
    live.SetHistoryBudget(kBudget, folder);
    Feed(live, clock, records);
    ASSERT_TRUE(Exists(live.SpillPath()));
    EXPECT_TRUE(FindOrphanSpillFiles(folder).empty());

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CQueuedChannel childChannel;
        CManualClock childClock{1000, 1'709'647'629};
        CDataStore store(childChannel, childClock);
        store.SetHistoryLink("tcp:10.0.0.5:23");
        store.SetHistoryBudget(kBudget, folder);
        Feed(store, childClock, records);
        // A device back under another name: the sidecar follows.
        store.SetHistoryLink("serial:/dev/ttyUSB1,115200");
        store.FlushLiveLogs();
        // Half a record more, as a write cut short by the kill would leave.
        const int fd = ::open(store.SpillPath().c_str(), O_WRONLY | O_APPEND);
        const std::string half = test::LogRecord(1, 0, 1, 0, 1, 1, "cut short").substr(0, 30);
        (void)!::write(fd, half.data(), half.size());
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const auto orphans = FindOrphanSpillFiles(folder);
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_NE(orphans[0], live.SpillPath());
    CQueuedChannel other;
    CDataStore recovered(other, clock);
    const SBinaryLogLoad load = recovered.LoadLog(orphans[0]);
    ASSERT_TRUE(load.accepted);
    EXPECT_TRUE(load.truncated);
    ASSERT_EQ(recovered.RecordCount(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        ExpectSame(recovered, records, i);
    }

    // Its sidecar names the link; a file of an older console has none.
    const std::string older = folder + "/console-1-0.wblog";
    ASSERT_TRUE(test::WriteFileBytes(
        older, test::LogHeader(1'709'600'000, 1000) + test::LogRecord(2, 0, 1000, 0, 1, 1, "")));
    const timespec written[2] = {{1'709'600'000, 0}, {1'709'600'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, older.c_str(), written, 0), 0);
    const auto described = DescribeOrphanSpillFiles(folder);
    ASSERT_EQ(described.size(), 2u);
    EXPECT_EQ(described[0].path, older) << "the one last written first";
    EXPECT_EQ(described[0].link, "");
    EXPECT_EQ(described[0].lastWrite, 1'709'600'000);
    EXPECT_EQ(described[1].path, orphans[0]);
    EXPECT_EQ(described[1].link, "serial:/dev/ttyUSB1,115200");
    EXPECT_EQ(described[1].bytes, std::filesystem::file_size(orphans[0]));
    EXPECT_NEAR(static_cast<double>(described[1].lastWrite),
                static_cast<double>(std::time(nullptr)), 60.0);
    EXPECT_FALSE(Exists(SpillLinkPath(live.SpillPath()))) << "the live console names none";

    // Kept as a log: moved, never over another, the sidecar gone with it.
    std::string error;
    const std::string kept = KeepOrphanAsLog(described[1], dir.File("logs"), error);
    ASSERT_FALSE(kept.empty()) << error;
    EXPECT_FALSE(Exists(orphans[0]));
    EXPECT_FALSE(Exists(SpillLinkPath(orphans[0])));
    EXPECT_TRUE(recovered.LoadLog(kept).accepted);
    SOrphanSpill same = described[0];
    same.lastWrite = described[1].lastWrite;
    const std::string second = KeepOrphanAsLog(same, dir.File("logs"), error);
    ASSERT_FALSE(second.empty()) << error;
    EXPECT_NE(second, kept);
    EXPECT_TRUE(FindOrphanSpillFiles(folder).empty());
}

// What a console that died leaves: only a file with a record in it is an
// orphan to offer; the others go unasked, each with its sidecar.
TEST_F(HistorySpillTest, ALeftoverWithoutARecordIsRemovedUnasked) {
    const std::string folder = dir.File("cache");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string header = test::LogHeader(1'709'600'000, 1000);
    const std::string mark = test::LogRecord(2, 0, 1000, 0, 1, 1, "");
    ASSERT_EQ(mark.size(), kBinaryLogHeadSize);
    const struct {
        std::string name;
        std::string bytes;
        bool offered;
    } kLeftovers[] = {
        {"console-7-0.wblog", "", false},
        {"console-7-1.wblog", header.substr(0, 30), false},
        {"console-7-2.wblog", header, false},
        {"console-7-3.wblog", header + mark.substr(0, kBinaryLogHeadSize - 1), false},
        {"console-7-4.wblog", header + mark, true},
        {"console-7-5.wblog", header + test::LogRecord(1, 0, 1000, 0, 1, 1, "login:"), true},
        {"console-7-6.wblog.new", "", false},  // made, killed before it took its name
    };
    for (const auto& leftover : kLeftovers) {
        ASSERT_TRUE(test::WriteFileBytes(folder + "/" + leftover.name, leftover.bytes));
        if (!leftover.name.ends_with(".new")) {
            ASSERT_TRUE(test::WriteFileBytes(SpillLinkPath(folder + "/" + leftover.name), "sim:"));
        }
    }
    EXPECT_EQ(
        FindOrphanSpillFiles(folder),
        (std::vector<std::string>{folder + "/console-7-4.wblog", folder + "/console-7-5.wblog"}));
    for (const auto& leftover : kLeftovers) {
        const std::string path = folder + "/" + leftover.name;
        EXPECT_EQ(Exists(path), leftover.offered) << leftover.name;
        if (!leftover.name.ends_with(".new")) {
            EXPECT_EQ(Exists(SpillLinkPath(path)), leftover.offered) << leftover.name;
        }
    }

    // A live console's file, however short yet, is held from the moment it
    // has its name, and nothing half made stays beside it.
    std::string error;
    const auto live = CSpillFile::Create(folder, 1'709'600'000, 1000, error);
    ASSERT_TRUE(live) << error;
    EXPECT_EQ(FindOrphanSpillFiles(folder).size(), 2u);
    EXPECT_TRUE(Exists(live->Path()));
    EXPECT_FALSE(Exists(live->Path() + ".new"));
}

TEST(RecoveryNotice, NamesTheOrphansLinkTimeAndSizeAndWhereItIsOrWhyNot) {
    test::CZoneGuard zone{"UTC0"};
    const SOrphanSpill serial{"a", "serial:/dev/ttyUSB0,115200", 1'709'647'629, 2'516'582};
    const SOrphanSpill unknown{"b", "", 0, 900};
    EXPECT_EQ(RecoveryNotice(serial, "/logs/r.wblog", "", "/cache"),
              "The history of a console that closed unexpectedly (serial:/dev/ttyUSB0,115200, "
              "last written 2024-03-05 14:07:09, 2.4 MB) is kept as the log /logs/r.wblog; "
              "Load Workbay Log... reviews it.");
    EXPECT_EQ(RecoveryNotice(unknown, "", "disk full", "/cache"),
              "The history of a console that closed unexpectedly (link not recorded, last "
              "written 1970-01-01 00:00:00, 900 bytes) could not be kept as a log (disk full); "
              "it stays in /cache and is taken at the next start.");
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 bytes"},   {1, "1 byte"},         {1023, "1023 bytes"},   {1024, "1.0 KB"},
        {1536, "1.5 KB"}, {1'048'550, "1.0 MB"}, {5ull << 30, "5.0 GB"}, {3ull << 50, "3072.0 TB"}};
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(ByteSizeText(bytes), text) << bytes;
    }
}

TEST_F(HistorySpillTest, AFullDiskWarnsOnceAndKeepsEveryRecordInMemory) {
    const auto records = RandomRecords(4 * kBudget, 9);
    CTestDisk disk;
    disk.SetRoom(2 * kBudget + 1000);  // a short write, then ENOSPC
    CDataStore store(channel, clock);
    std::vector<std::string> warnings;
    store.SetSpillFailureHandler([&](const std::string& error) { warnings.push_back(error); });
    store.SetSpillWrite(disk.Write());
    store.SetHistoryBudget(kBudget, dir.File("cache"));
    for (std::size_t i = 0; i < records.size(); ++i) {
        Add(store, clock, records[i]);
        if (i % 37 == 0) {
            store.FlushLiveLogs(late());  // the writer learns of it, a turn collects it
        }
    }
    store.FlushLiveLogs();
    const std::size_t calls = disk.Calls();
    store.FlushLiveLogs();
    Feed(store, clock, RandomRecords(kBudget, 10));
    store.FlushLiveLogs();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(std::strerror(ENOSPC)), std::string::npos) << warnings[0];
    EXPECT_TRUE(store.SpillFailed());
    EXPECT_EQ(disk.Calls(), calls) << "the writer went on after the failure";
    EXPECT_EQ(store.SpillBacklog(), 0u) << "a failed spill still holds the intake back";
    ASSERT_GE(store.RecordCount(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        ExpectSame(store, records, i);
    }
    // The records that did reach the disk stay readable from it: the store
    // holds everything else, and the file is what it wrote.
    EXPECT_LE(FileBytes(store.SpillPath()), 2 * kBudget + 1000);
}

}  // namespace
}  // namespace quillpad
