// The console's history beyond its memory budget, through the control: a
// spill file left by a console killed with SIGKILL is kept whole as a log at
// the next start, unasked, the live console untouched; a spill that fails
// warns once; and a flood over a real link, several times the budget, is
// found again byte for byte in the live plain log and through Save Buffer.

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>

#include "control/CQuillpadSettings.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/ControlLogging.h"
#include "data/DataStore.h"
#include "data/LogRequest.h"
#include "data/SpillFile.h"
#include "devsim/CDevSimEngine.h"
#include "platform/CRegistryStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkbayHome.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

constexpr std::int64_t kStart = 1'709'647'629;
constexpr std::uint32_t kStartTick = 1000;

class CHistoryUi final : public test::CQuietControlUi {
  public:
    bool AskYesNo(const std::string& question, QWidget*) override {
        questions.push_back(question);
        return yes;
    }
    std::optional<SLogRequest> RunLogFilesDialog(CQuillpadSettings&, QWidget*) override {
        if (requests.empty()) {
            return std::nullopt;
        }
        auto r = requests.front();
        requests.pop_front();
        return r;
    }

    bool yes = false;
    std::vector<std::string> questions;
    std::deque<SLogRequest> requests;
};

struct SFed {
    std::uint32_t tick;
    bool outgoing;
    std::string bytes;
};

std::vector<SFed> RandomRecords(std::size_t totalBytes, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<SFed> records;
    std::size_t total = 0;
    std::uint32_t tick = kStartTick;
    while (total < totalBytes) {
        std::string bytes(rng() % 8 == 0 ? rng() % 40'000 : rng() % 300, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(rng());
        }
        tick += rng() % 700;
        total += bytes.size();
        records.push_back(SFed{tick, rng() % 5 == 0, std::move(bytes)});
    }
    return records;
}

// A console's store in a child process, fed and killed with SIGKILL after
// its last turn: its spill file is left behind in the cache folder.
void RunAndKillAConsole(const std::vector<SFed>& records) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CQueuedChannel channel;
        CManualClock clock{kStartTick, kStart};
        CDataStore store(channel, clock);
        store.SetHistoryBudget(std::size_t{1} << 20);
        for (std::size_t i = 0; i < records.size(); ++i) {
            clock.SetTick(records[i].tick);
            if (records[i].outgoing) {
                store.AddOutgoingBytes(0, records[i].bytes);
            } else {
                store.AddIncomingBytes(0, records[i].bytes);
            }
            if (i % 23 == 0) {
                store.FlushLiveLogs();
            }
        }
        store.FlushLiveLogs();
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

void RunLoopUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

class HistoryRecovery : public ::testing::Test, protected test::SFakeSessionRig {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        std::filesystem::remove_all(DefaultSpillFolder());
    }
    void TearDown() override {
        control.reset();
        std::filesystem::remove_all(DefaultSpillFolder());
    }
    static void SetBudgetMB(std::uint32_t mb) {
        CQuillpadSettings settings;
        settings.LoadFromRegistry();
        settings.m_historyMemoryMB = mb;
        settings.SaveToRegistry();
    }
    // A console as the host opens one: with the fake session, or a real one.
    std::unique_ptr<CQuillpad2Ctrl> Make(bool yes, bool realSession = false) {
        SControlServices services;
        if (realSession) {
            services.session.ui = std::make_unique<test::CRecordingUi>(shown);
        } else {
            Wire(services.session);
        }
        auto ui = std::make_unique<CHistoryUi>();
        ui->yes = yes;
        answers = ui.get();
        services.ui = std::move(ui);
        auto made = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        made->resize(500, 300);
        made->show();
        for (int i = 0; i < 4; ++i) {
            QApplication::processEvents();
        }
        return made;
    }

    test::CZoneGuard zone{"UTC0"};
    test::CTempDir dir;
    CHistoryUi* answers = nullptr;
    std::unique_ptr<CQuillpad2Ctrl> control;
};

// The records of the log at `path`, each as fed.
void ExpectLogHolds(const std::string& path, const std::vector<SFed>& records) {
    CQueuedChannel channel;
    CDataStore log(channel);
    ASSERT_TRUE(log.LoadLog(path).accepted) << path;
    ASSERT_EQ(log.RecordCount(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const SDataRecord r = *log.Record(i);
        ASSERT_EQ(r.tick, records[i].tick) << i;
        ASSERT_EQ(r.direction, records[i].outgoing ? kDirectionOutgoing : kDirectionIncoming);
        ASSERT_TRUE(r.bytes == records[i].bytes) << i;
    }
    // The dead console's own time base.
    EXPECT_EQ(log.RecordTime(0)->seconds, kStart + (records[0].tick - kStartTick) / 1000);
}

// The marks the console's history holds.
std::vector<std::string> Marks(const CDataStore& store) {
    std::vector<std::string> marks;
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const SDataRecord r = *store.Record(i);
        if (IsMarkRecord(r)) {
            marks.emplace_back(r.bytes);
        }
    }
    return marks;
}

TEST_F(HistoryRecovery, KilledConsolesHistoriesBecomeLogsUnaskedAndTheLiveConsoleGoesOn) {
    test::CWorkbayHome home;  // a log folder of its own
    const auto older = RandomRecords(1 << 20, 23);
    const auto newer = RandomRecords(2 << 20, 24);
    RunAndKillAConsole(older);
    const auto first = FindOrphanSpillFiles(DefaultSpillFolder());
    ASSERT_EQ(first.size(), 1u);
    const timespec written[2] = {{kStart, 0}, {kStart, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, first[0].c_str(), written, 0), 0);
    RunAndKillAConsole(newer);
    const auto orphans = DescribeOrphanSpillFiles(DefaultSpillFolder());
    ASSERT_EQ(orphans.size(), 2u);
    // Beside them, one killed before it spilled a record: nothing to keep.
    const std::string empty = DefaultSpillFolder() + "/console-1-0.wblog";
    ASSERT_TRUE(test::WriteFileBytes(empty, test::LogHeader(kStart, kStartTick)));

    control = Make(true);
    EXPECT_TRUE(answers->questions.empty()) << "nothing waits for an answer";
    EXPECT_EQ(control->Logging().Review(), CControlLogging::EReview::Online);
    EXPECT_FALSE(std::filesystem::exists(empty)) << "removed without a word";
    EXPECT_TRUE(FindOrphanSpillFiles(DefaultSpillFolder()).empty());
    const std::string folder = control->Settings().m_logFolder;
    const std::string keptOlder = BuildLogPaths(folder, "Recovered", kStart).binary;
    const std::string keptNewer = BuildLogPaths(folder, "Recovered", orphans[1].lastWrite).binary;
    ExpectLogHolds(keptOlder, older);
    ExpectLogHolds(keptNewer, newer);
    const auto marks = Marks(*control->Store());
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0],
              "The history of a console that closed unexpectedly (link not recorded, "
              "last written 2024-03-05 14:07:09, " +
                  ByteSizeText(orphans[0].bytes) + ") is kept as the log " + keptOlder +
                  "; Load Workbay Log... reviews it.");
    EXPECT_NE(marks[1].find(keptNewer), std::string::npos) << marks[1];

    // The live console takes its link's bytes as before.
    const std::size_t before = control->Store()->RecordCount();
    control->Store()->AddIncomingBytes(0, "still here");
    EXPECT_EQ(control->Store()->RecordCount(), before + 1);

    // A console started now finds nothing more.
    auto second = Make(true);
    EXPECT_TRUE(Marks(*second->Store()).empty());
}

TEST_F(HistoryRecovery,
       AHistoryThatCannotBeKeptStaysForTheNextStartAndALiveConsolesFileIsNeverTaken) {
    const auto records = RandomRecords(1 << 20, 22);
    RunAndKillAConsole(records);
    const auto orphans = FindOrphanSpillFiles(DefaultSpillFolder());
    ASSERT_EQ(orphans.size(), 1u);
    // A log folder that cannot be made: under a file.
    ASSERT_TRUE(test::WriteFileBytes(dir.File("file"), "x"));
    CQuillpadSettings settings;
    settings.LoadFromRegistry();
    settings.m_logFolder = dir.File("file") + "/logs";
    settings.SaveToRegistry();
    control = Make(false);
    ASSERT_EQ(Marks(*control->Store()).size(), 1u);
    EXPECT_NE(Marks(*control->Store())[0].find("could not be kept as a log (cannot create " +
                                               settings.m_logFolder + "); it stays in " +
                                               DefaultSpillFolder()),
              std::string::npos)
        << Marks(*control->Store())[0];
    EXPECT_TRUE(std::filesystem::exists(orphans[0]));

    // With a folder it can make, the next start keeps it.
    control.reset();
    const std::int64_t lastWrite = DescribeOrphanSpillFiles(DefaultSpillFolder()).at(0).lastWrite;
    settings.m_logFolder = dir.File("logs");
    settings.SaveToRegistry();
    SetBudgetMB(1);
    control = Make(false);
    EXPECT_FALSE(std::filesystem::exists(orphans[0]));
    ExpectLogHolds(BuildLogPaths(dir.File("logs"), "Recovered", lastWrite).binary, records);

    // This console spills under its small budget; its file is held, so a
    // console started beside it takes nothing.
    const std::string chunk(4096, 'x');
    for (int i = 0; i < 1024; ++i) {
        control->Store()->AddIncomingBytes(0, chunk);
    }
    QApplication::processEvents();
    ASSERT_FALSE(control->Store()->SpillPath().empty());
    auto beside = Make(true);
    EXPECT_TRUE(Marks(*beside->Store()).empty());
    EXPECT_TRUE(std::filesystem::exists(control->Store()->SpillPath()));
}

TEST_F(HistoryRecovery, ASpillThatCannotBeWrittenWarnsOnceAndKeepsEveryRecord) {
    // The cache folder cannot be made: a file stands where its parent would be.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::string saved = cache != nullptr ? cache : "";
    ASSERT_TRUE(test::WriteFileBytes(dir.File("not-a-folder"), "x"));
    setenv("XDG_CACHE_HOME", dir.File("not-a-folder/cache").c_str(), 1);
    SetBudgetMB(1);
    control = Make(false);
    std::vector<std::string> fed;
    for (int i = 0; i < 600; ++i) {
        fed.push_back(std::string(5000, static_cast<char>('A' + i % 26)));
        control->Store()->AddIncomingBytes(0, fed.back());
        if (i % 20 == 0) {
            QApplication::processEvents();
            QApplication::processEvents();
        }
    }
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
    }
    setenv("XDG_CACHE_HOME", saved.c_str(), 1);

    ASSERT_EQ(shown->size(), 1u) << "one warning, not one per turn";
    EXPECT_EQ((*shown)[0].caption, "Warning");
    EXPECT_EQ((*shown)[0].text, CControlLogging::kSpillFailedText);
    EXPECT_TRUE(control->Store()->SpillFailed());
    ASSERT_EQ(control->Store()->RecordCount(), fed.size());
    for (std::size_t i = 0; i < fed.size(); ++i) {
        ASSERT_TRUE(control->Store()->Record(i)->bytes == fed[i]) << i;
    }
}

// Whether `text` holds `what` as one run.
bool Holds(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

std::string OwnBytes(const CDataStore& store) {
    std::string all;
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const SDataRecord r = *store.Record(i);
        if (r.source == kSourceOwn) {
            all.append(r.bytes);
        }
    }
    return all;
}

bool TailHas(const CDataStore& store, std::string_view what) {
    std::string tail;
    const std::size_t count = store.RecordCount();
    for (std::size_t i = count > 16 ? count - 16 : 0; i < count; ++i) {
        tail.append(store.Record(i)->bytes);
    }
    return tail.find(what) != std::string::npos;
}

TEST_F(HistoryRecovery, AFloodOverARealLinkPastTheBudgetIsFoundAgainInThePlainLogAndSaveBuffer) {
    SetBudgetMB(1);
    control = Make(false, true);
    SLogRequest live;
    live.plainEnabled = true;
    live.plainPath = dir.File("live.txt");
    answers->requests.push_back(live);
    control->OnCommand(cmd::StartLogging);
    ASSERT_TRUE(control->Store()->IsLogging());
    control->IWBSetConnectionParameters("sim:");
    RunLoopUntil([&] { return control->ConsoleOpen() && TailHas(*control->Store(), "> "); }, 20000);
    ASSERT_TRUE(control->ConsoleOpen());

    // Numbered lines, then every byte value in turn.
    constexpr std::uint64_t kFlood = 3'500'000;
    constexpr std::uint64_t kBurst = 200'000;
    auto send = [&](const std::string& line) {
        control->MessageChannel().Post(control->Handle(), UM_SEND_TEXT, 0, 0,
                                       CPayload::Make(ByteString(line)));
    };
    send("flood 0 " + std::to_string(kFlood) + "\r");
    RunLoopUntil([&] { return TailHas(*control->Store(), "flood done"); }, 120000);
    ASSERT_TRUE(TailHas(*control->Store(), "flood done"));
    send("burst " + std::to_string(kBurst) + "\r");
    RunLoopUntil([&] { return TailHas(*control->Store(), "burst done"); }, 60000);
    ASSERT_TRUE(TailHas(*control->Store(), "burst done"));
    control->OnCommand(cmd::StartLogging);  // stops it
    ASSERT_FALSE(control->Store()->IsLogging());

    const CDataStore& store = *control->Store();
    EXPECT_FALSE(store.SpillPath().empty()) << "the history went past the budget";
    EXPECT_FALSE(store.SpillFailed());
    EXPECT_LE(store.ReservedBytes(), (std::size_t{1} << 20) + 2 * CRecordArena::kBlockBytes);

    SLogRequest save;
    save.plainEnabled = save.binaryEnabled = true;
    save.plainPath = dir.File("saved.txt");
    save.binaryPath = dir.File("saved.wblog");
    answers->requests.push_back(save);
    control->OnCommand(cmd::SaveBuffer);

    const std::string all = OwnBytes(store);
    std::string burst;
    for (std::uint64_t i = 0; i < kBurst; ++i) {
        burst.push_back(CDevSimEngine::BurstByte(i));
    }
    ASSERT_TRUE(Holds(all, CDevSimEngine::FloodBytes(0, kFlood))) << "every flood byte arrived";
    ASSERT_TRUE(Holds(all, burst)) << "every burst byte arrived";
    const std::string livePlain = test::ReadFileBytes(dir.File("live.txt"));
    EXPECT_EQ(livePlain.size(), all.size());
    EXPECT_TRUE(livePlain == all) << "the live plain log";
    const std::string savedPlain = test::ReadFileBytes(dir.File("saved.txt"));
    EXPECT_EQ(savedPlain.size(), all.size());
    EXPECT_TRUE(savedPlain == all) << "Save Buffer's plain text";

    CQueuedChannel channel;
    CDataStore reloaded(channel);
    ASSERT_TRUE(reloaded.LoadLog(dir.File("saved.wblog")).accepted);
    ASSERT_EQ(reloaded.RecordCount(), store.RecordCount());
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const SDataRecord a = *store.Record(i);
        const SDataRecord b = *reloaded.Record(i);
        ASSERT_TRUE(a.bytes == b.bytes && a.tick == b.tick && a.direction == b.direction) << i;
    }
}

}  // namespace
}  // namespace quillpad
