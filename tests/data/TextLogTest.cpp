#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cctype>
#include <csignal>
#include <string>

#include "data/BinaryLogFormat.h"
#include "data/DataStore.h"
#include "data/LogRequest.h"
#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

// Stand in for the console view as the formatted log's renderer. Brackets
// each record, so the file shows which records went through it.
SRenderTextStamps Bracket(const SDataRecord& record, std::string& text) {
    text.assign("<" + std::string(record.bytes) + ">");
    return {};
}

// Draws a record's text in capitals and its LF as CR LF, as a style might.
SRenderTextStamps Shout(const SDataRecord& record, std::string& text) {
    text.clear();
    for (const char c : record.bytes) {
        if (c == '\n') {
            text.push_back('\r');
        }
        text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return {};
}

// Draws text without lines, as Hex Mode's view says: gap stamps, at 100 ms.
SRenderTextStamps NoLines(const SDataRecord& record, std::string& text) {
    text.assign("[" + std::string(record.bytes) + "]");
    return {true, 100};
}

class TextLogTest : public ::testing::Test {
  protected:
    // 2024-03-05 14:07:09 UTC
    static constexpr std::int64_t kStart = 1'709'647'629;

    SLogRequest AllKinds(bool timestamps) const {
        SLogRequest r;
        r.plainEnabled = r.formattedEnabled = r.binaryEnabled = true;
        r.plainPath = dir.File("p.txt");
        r.formattedPath = dir.File("f.txt");
        r.binaryPath = dir.File("b.wblog");
        r.insertTimestamps = timestamps;
        return r;
    }
    std::string Plain() const { return test::ReadFileBytes(dir.File("p.txt")); }
    std::string Formatted() const { return test::ReadFileBytes(dir.File("f.txt")); }
    std::size_t BinaryRecords() {
        CQueuedChannel other;
        CDataStore reloaded(other, clock);
        EXPECT_TRUE(reloaded.LoadLog(dir.File("b.wblog")).accepted);
        return reloaded.RecordCount();
    }
    void Add(std::uint32_t tick, std::u16string_view text, std::uint32_t owner = 0) {
        clock.SetTick(tick);
        store.AddIncoming(owner, text);
    }

    test::CZoneGuard zone{"UTC0"};
    test::CTempDir dir;
    CManualClock clock{1000, kStart};
    CQueuedChannel channel;
    CDataStore store{channel, clock};

    void SetUp() override { store.SetTextRenderer(&Bracket); }
};

TEST_F(TextLogTest, StampsStandBeforeTheRecordsAtZeroFivePointTwoAndTenPointFourSeconds) {
    const SLogRequest request = AllKinds(true);
    store.StartLogging(request);
    for (std::uint32_t ms = 0; ms <= 12000; ms += 200) {
        Add(1000 + ms, u"x");
    }
    store.StopLogging();
    const std::string x26(26, 'x');  // 0 .. 5.0 s
    // The first stamp opens the file: no empty line before it.
    std::string expected = "[14:07:09 03-05-2024]\n" + x26 + "\n[14:07:14 03-05-2024]\n" + x26 +
                           "\n[14:07:19 03-05-2024]\n" + std::string(9, 'x');
    EXPECT_EQ(Plain(), expected);
    // The formatted file stamps the same way, around the renderer's text.
    std::string formatted = Formatted();
    EXPECT_EQ(formatted.substr(0, 25), "[14:07:09 03-05-2024]\n<x>");
    EXPECT_EQ(formatted.size(), 3 * 23 - 1 + 61 * 3u);
}

TEST_F(TextLogTest, APauseOfMoreThanASecondStampsTheFirstRecordAfterIt) {
    SLogRequest request = AllKinds(true);
    store.StartLogging(request);
    Add(1000, u"a");
    request.paused = true;
    Add(1500, u"lost");
    Add(2500, u"lost too");
    request.paused = false;
    Add(2600, u"b");
    store.StopLogging();
    EXPECT_EQ(Plain(), "[14:07:09 03-05-2024]\na\n[14:07:10 03-05-2024]\nb");
    EXPECT_EQ(BinaryRecords(), 2u) << "pause drops records for every file";
}

TEST_F(TextLogTest, PlainFileIsTheExactBytesOfOwnRecordsAndOfAllWithShowAllSources) {
    store.RegisterOwnId(7);
    const std::u16string binary(u"\x00\xff\r\n\x1b[0m\x80", 9);
    for (const bool showAll : {false, true}) {
        store.SetShowAllSources(showAll);
        const SLogRequest request = AllKinds(false);
        store.StartLogging(request);
        Add(1000, binary);
        Add(1001, u"other", 9);
        Add(9000, u"own7", 7);
        store.AddOutgoing(0, u"sent");
        store.StopLogging();
        const std::string own = std::string("\x00\xff\r\n\x1b[0m\x80", 9) + "own7sent";
        if (showAll) {
            EXPECT_EQ(Plain(), std::string("\x00\xff\r\n\x1b[0m\x80", 9) + "otherown7sent");
            EXPECT_NE(Formatted().find("<other>"), std::string::npos);
        } else {
            EXPECT_EQ(Plain(), own);
            EXPECT_EQ(Formatted().find("other"), std::string::npos)
                << "another source's record is in neither text file";
        }
        EXPECT_EQ(BinaryRecords(), 4u) << "the binary log keeps every source";
    }
}

TEST_F(TextLogTest, ALiveFormattedLogRendersThroughTheRendererTheStoreHasNow) {
    const SLogRequest request = AllKinds(false);
    store.StartLogging(request);
    Add(1000, u"one");
    store.SetTextRenderer(&Shout);
    Add(1001, u"two");
    store.SetTextRenderer({});  // the view went: nothing to render with
    Add(1002, u"three");
    store.StopLogging();
    EXPECT_EQ(Formatted(), "<one>TWO");
}

TEST_F(TextLogTest, EachLiveFileGetsOneWritePerTurnAndNothingBeforeTheTurnEnds) {
    const SLogRequest request = AllKinds(true);
    store.StartLogging(request);
    const std::size_t header = kBinaryLogHeaderSize;
    for (int turn = 0; turn < 3; ++turn) {
        for (int i = 0; i < 100; ++i) {
            Add(1000 + static_cast<std::uint32_t>(turn), u"0123456789");
        }
        EXPECT_EQ(test::ReadFileBytes(dir.File("b.wblog")).size(),
                  header + static_cast<std::size_t>(turn) * 100 * 38);
        store.FlushLiveLogs();
        store.FlushLiveLogs();  // an empty turn writes nothing
    }
    EXPECT_EQ(test::ReadFileBytes(dir.File("b.wblog")).size(), header + 300 * 38);
    EXPECT_EQ(Plain().size(), 22 + 3000u);
}

TEST_F(TextLogTest, NoBoxTickedStillLogsButWritesNothing) {
    SLogRequest request;
    request.quickName = "run1";
    EXPECT_EQ(store.StartLogging(request), 0u);
    EXPECT_TRUE(store.IsLogging());
    Add(1000, u"x");
    EXPECT_TRUE(store.LiveLogKinds().empty());
    EXPECT_EQ(LoggingTitleStatus(true, SLogRequest{}, {}), "Logging");
    store.StopLogging();
    EXPECT_FALSE(store.IsLogging());
}

TEST_F(TextLogTest, TitleStatusTogglesWithPauseAndQuotesTheQuickName) {
    const std::vector<ELogKind> all{ELogKind::Plain, ELogKind::Formatted, ELogKind::Binary};
    SLogRequest request = AllKinds(true);
    EXPECT_EQ(LoggingTitleStatus(true, request, all), "Logging");
    request.paused = true;
    EXPECT_EQ(LoggingTitleStatus(true, request, all), "Logging (Paused)");
    request.quickName = "run1";
    EXPECT_EQ(LoggingTitleStatus(true, request, all), "Logging \"run1\" (Paused)");
    request.paused = false;
    EXPECT_EQ(LoggingTitleStatus(true, request, all), "Logging \"run1\"");
    EXPECT_EQ(LoggingTitleStatus(false, request, all), "");
    // A kind asked for but not written is never passed off as live.
    EXPECT_EQ(LoggingTitleStatus(true, request, {ELogKind::Plain, ELogKind::Binary}),
              "Logging \"run1\" - Plain Text, Workbay Log only");
    EXPECT_EQ(LoggingTitleStatus(true, request, {}), "Logging \"run1\" - no file is written");
}

TEST_F(TextLogTest, PathsJoinTheTimeAndQuickNameToTheLogFolder) {
    const SLogPaths run1 = BuildLogPaths("/logs", "run1", kStart);
    EXPECT_EQ(run1.plain, "/logs/2024.03.05 14.07.09 - run1 - Plain.txt");
    EXPECT_EQ(run1.formatted, "/logs/2024.03.05 14.07.09 - run1 - Formatted.txt");
    EXPECT_EQ(run1.binary, "/logs/2024.03.05 14.07.09 - run1.wblog");
    const SLogPaths none = BuildLogPaths("/logs/", "", kStart);
    EXPECT_EQ(none.plain, "/logs/2024.03.05 14.07.09 - Plain.txt");
    EXPECT_EQ(none.formatted, "/logs/2024.03.05 14.07.09 - Formatted.txt");
    EXPECT_EQ(none.binary, "/logs/2024.03.05 14.07.09 - .wblog");
}

TEST_F(TextLogTest, AFileThatWillNotOpenIsNamedWithItsReasonAndTheOthersStillRun) {
    std::vector<SLogFileFailure> reported;
    store.SetLogFailureHandler([&](std::vector<SLogFileFailure> f) {
        reported.insert(reported.end(), f.begin(), f.end());
    });
    SLogRequest request = AllKinds(false);
    request.formattedPath = dir.File("no/such/folder/f.txt");
    EXPECT_EQ(store.StartLogging(request), 1u);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].kind, ELogKind::Formatted);
    EXPECT_EQ(reported[0].path, request.formattedPath);
    EXPECT_EQ(reported[0].reason, "No such file or directory");
    EXPECT_EQ(store.LiveLogKinds(), (std::vector<ELogKind>{ELogKind::Plain, ELogKind::Binary}));
    Add(1000, u"kept");
    store.StopLogging();
    EXPECT_EQ(Plain(), "kept");
    EXPECT_EQ(BinaryRecords(), 1u);
}

// Raises the soft file-size limit for the test's length only; a write past it
// fails with EFBIG instead of killing the process.
class CFileSizeLimit {
  public:
    explicit CFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

  private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(TextLogTest, TheFirstFailedWriteIsReportedOnceAndThatFileAloneStops) {
    std::vector<SLogFileFailure> reported;
    store.SetLogFailureHandler([&](std::vector<SLogFileFailure> f) {
        reported.insert(reported.end(), f.begin(), f.end());
    });
    const SLogRequest request = AllKinds(false);
    std::string plainBefore;
    {
        CFileSizeLimit limit(4096);
        store.StartLogging(request);
        // The binary log (38 bytes a record) reaches the limit first.
        for (int turn = 0; turn < 30; ++turn) {
            for (int i = 0; i < 10; ++i) {
                Add(1000, u"0123456789");
            }
            store.FlushLiveLogs();
        }
        plainBefore = Plain();
    }
    ASSERT_EQ(reported.size(), 1u) << "reported once, not once per turn";
    EXPECT_EQ(reported[0].kind, ELogKind::Binary);
    EXPECT_EQ(reported[0].path, request.binaryPath);
    EXPECT_EQ(reported[0].reason, "File too large");
    EXPECT_EQ(store.LiveLogKinds(), (std::vector<ELogKind>{ELogKind::Plain, ELogKind::Formatted}));
    EXPECT_LE(test::ReadFileBytes(request.binaryPath).size(), 4096u);
    EXPECT_EQ(plainBefore.size(), 3000u) << "the plain log went on";
    Add(1000, u"after");
    store.StopLogging();
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(Plain().substr(3000), "after");
}

TEST_F(TextLogTest, SaveBufferWritesEveryRecordToEachKindWhetherPausedOrNot) {
    Add(1000, u"one");
    Add(1100, u"hidden", 9);
    Add(7000, u"two");
    SLogRequest request = AllKinds(true);
    request.paused = true;
    EXPECT_EQ(store.SaveBuffer(request), 0u);
    EXPECT_EQ(Plain(), "[14:07:09 03-05-2024]\none\n[14:07:15 03-05-2024]\ntwo");
    EXPECT_EQ(Formatted(), "[14:07:09 03-05-2024]\n<one>\n[14:07:15 03-05-2024]\n<two>");
    EXPECT_EQ(BinaryRecords(), 3u);
    EXPECT_FALSE(store.IsLogging());

    // Through the store's message, with a file that cannot be created.
    request.plainPath = dir.File("missing/p.txt");
    const SLogRequest* r = &request;
    EXPECT_EQ(channel.Send(store.Handle(), UM_SAVE_BUFFER, 0, 0, CPayload::Borrow(r)), 1);
    const auto failures = store.TakeLogFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].kind, ELogKind::Plain);
}

TEST_F(TextLogTest, WithLineStampsBothTextLogsStampEachLineAsTheScreenDoes) {
    store.SetTextRenderer(&Shout);
    store.SetStampMode(EStampMode::SinceStart);
    const SLogRequest stamped = AllKinds(true);
    store.StartLogging(stamped);
    Add(1100, u"one");
    Add(1350, u"\ntw");
    Add(1900, u"o\nthree\n");
    Add(1950, u"hidden", 9);
    Add(2500, u"four");
    store.StopLogging();
    EXPECT_EQ(Plain(), "+0.100 one\n+0.350 two\n+0.900 three\n+1.500 four")
        << "line stamps stand in for the bracketed ones; another source starts no line";
    EXPECT_EQ(Formatted(), "+0.100 ONE\r\n+0.350 TWO\r\n+0.900 THREE\r\n+1.500 FOUR")
        << "the rendered text is stamped, at its own line ends";

    const SLogRequest unticked = AllKinds(false);
    store.SetStampMode(EStampMode::Absolute);
    store.StartLogging(unticked);
    Add(3000, u"a\nb");
    store.StopLogging();
    EXPECT_EQ(Plain(), "14:07:11.000 a\n14:07:11.000 b");
    store.SetStampMode(EStampMode::SincePrevious);
    store.StartLogging(unticked);
    Add(3000, u"a\n");
    Add(3250, u"b");
    store.StopLogging();
    EXPECT_EQ(Plain(), "+0.000 a\n+0.250 b") << "a new log's first line has no line before it";
}

TEST_F(TextLogTest, WhereTheScreenShowsGapStampsTheFormattedLogWritesThem) {
    store.SetTextRenderer(&NoLines);
    store.SetStampMode(EStampMode::SinceStart);
    const SLogRequest request = AllKinds(true);
    store.StartLogging(request);
    Add(1100, u"a\n");
    Add(1200, u"b");  // exactly the gap: the same burst
    Add(1301, u"c");
    Add(1302, u"d\n");
    store.StopLogging();
    EXPECT_EQ(Formatted(), "+0.100 [a\n][b]\n+0.301 [c][d\n]")
        << "each burst on a line of its own, with its first record's stamp";
    EXPECT_EQ(Plain(), "+0.100 a\n+0.200 bcd\n") << "the plain log keeps its line stamps";
}

TEST_F(TextLogTest, AStampFormChosenWhileLoggingTakesEffectFromTheNextLine) {
    const SLogRequest request = AllKinds(true);
    store.StartLogging(request);
    Add(1000, u"x\ny");
    store.SetStampMode(EStampMode::SinceStart);
    Add(1200, u"z\n");
    Add(1300, u"w\n");
    store.SetStampMode(EStampMode::SincePrevious);
    Add(1700, u"v");
    store.SetStampMode(EStampMode::Off);
    Add(1800, u"u\n");
    Add(3000, u"t");
    store.StopLogging();
    EXPECT_EQ(Plain(),
              "[14:07:09 03-05-2024]\nx\nyz\n+0.300 w\n+0.400 v"
              "\n[14:07:09 03-05-2024]\nu\n"  // stamps off: the file's own come back at once
              "\n[14:07:11 03-05-2024]\nt");
}

TEST_F(TextLogTest, SaveBufferWritesTheLineStampsToo) {
    Add(1000, u"one\n");
    Add(61000, u"two");
    store.SetStampMode(EStampMode::Absolute);
    EXPECT_EQ(store.SaveBuffer(AllKinds(true)), 0u);
    EXPECT_EQ(Plain(), "14:07:09.000 one\n14:08:09.000 two");
}

TEST_F(TextLogTest, StartAndStopThroughTheStoresMessageAndDestructionStopsFirst) {
    const SLogRequest request = AllKinds(false);
    {
        CDataStore local(channel, clock);
        const SLogRequest* r = &request;
        EXPECT_EQ(channel.Send(local.Handle(), UM_SET_LOGGING, 1, 0, CPayload::Make(r)), 0);
        EXPECT_TRUE(local.IsLogging());
        clock.SetTick(1000);
        local.AddIncoming(0, u"last words");
    }
    EXPECT_EQ(Plain(), "last words") << "destroying the store flushed and closed the logs";
    store.StartLogging(request);
    EXPECT_EQ(channel.Send(store.Handle(), UM_SET_LOGGING, 0), 0);
    EXPECT_FALSE(store.IsLogging());
}

}  // namespace
}  // namespace quillpad
