// The console's logging and review commands, through the control: the Log
// Files dialog's answers, the files, the title status, the failure boxes,
// loading a binary log for review and going back online.

#include "control/qt/ControlLogging.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <deque>
#include <filesystem>
#include <regex>

#include "control/qt/CControlMenus.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "platform/CRegistryStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/data/LogTestSupport.h"
#include "tests/session/SessionDoubles.h"
#include "tests/support/TempDir.h"
#include "view/CStyledRenderer.h"
#include "view/TextInfo.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

using test::CFakeSession;
using test::SSessionCall;

class CAnsweringUi final : public test::CQuietControlUi {
  public:
    std::optional<SLogRequest> RunLogFilesDialog(CQuillpadSettings&, QWidget*) override {
        ++dialogs;
        if (requests.empty()) {
            return std::nullopt;
        }
        auto r = requests.front();
        requests.pop_front();
        return r;
    }
    std::optional<std::string> ChooseFileToOpen(const QString& filter, const QString& suffix,
                                                const std::string& folder, QWidget*) override {
        chooser = {filter, suffix, QString::fromStdString(folder)};
        ++choosersAsked;
        return file;
    }
    std::optional<std::string> ChooseFileToSave(const QString&, const std::string&,
                                                QWidget*) override {
        ++choosersAsked;
        return std::nullopt;
    }

    std::deque<std::optional<SLogRequest>> requests;
    std::optional<std::string> file;
    std::vector<QString> chooser;
    int choosersAsked = 0;
    int dialogs = 0;
};

// The application's cursor shape, -1 for none set.
int AppCursor() {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr ? static_cast<int>(cursor->shape()) : -1;
}

class CRecordingHost final : public CNoHostEnvironment {
  public:
    std::int32_t IWBENVAppendToWindowTitle(const WideString& text) override {
        titles.push_back(WideToBytes(text));
        cursors.push_back(AppCursor());
        return 0;
    }
    std::int32_t IWBENVShowFrameFooter(std::int32_t show) override {
        footers.push_back(show);
        return 0;
    }
    std::int32_t IWBENVGetCurrentAddress(WideString& first, WideString& a,
                                         WideString& third) override {
        first = BytesToWide("Quillpad2");
        a = BytesToWide(address);
        third.clear();
        return 0;
    }
    std::vector<std::string> titles;
    std::vector<int> cursors;  // at each title
    std::vector<int> footers;
    std::string address;
};

class ControlLogging : public ::testing::Test, protected test::SFakeSessionRig {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        SControlServices services;
        Wire(services.session);
        auto ui = std::make_unique<CAnsweringUi>();
        answers = ui.get();
        services.ui = std::move(ui);
        services.modifiers = [this] { return modifiers; };
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->SetHostEnvironment(host);
        control->resize(500, 300);
        control->show();
        QApplication::processEvents();
    }
    void TearDown() override { control.reset(); }

    SLogRequest AllKinds(const std::string& quickName = "") const {
        SLogRequest r;
        r.quickName = quickName;
        r.plainEnabled = r.formattedEnabled = r.binaryEnabled = true;
        r.plainPath = dir.File("p.txt");
        r.formattedPath = dir.File("f.txt");
        r.binaryPath = dir.File("b.wblog");
        return r;
    }
    QAction* Shown(cmd::CommandId id) const {
        QAction* found = nullptr;
        for (const auto& popup : control->Menus().MenuBarPopups()) {
            control->Menus().Update(*popup);
            for (QAction* a : popup->findChildren<QAction*>()) {
                if (a->data().toUInt() == id && a->menu() == nullptr) {
                    found = a;
                }
            }
        }
        return found;
    }
    CDataStore& Store() const { return *control->Store(); }
    // Once the view has indexed what it shows: until then it gives the part indexed.
    std::string ViewText() const {
        for (int turns = 0; control->View()->IsIndexing() && turns < 10'000; ++turns) {
            QApplication::processEvents();
        }
        return std::string(control->View()->Document().Text());
    }
    // What the current style makes of the store's own records.
    std::string Rendered() const {
        std::string out;
        for (std::size_t i = 0; i < Store().RecordCount(); ++i) {
            const SDataRecord r = *Store().Record(i);
            if (r.source == kSourceOwn) {
                CStyledRenderer::AppendToString(out, control->Schemes().Current().get(), r);
            }
        }
        return out;
    }
    std::string WriteLog(std::int64_t startTime, std::initializer_list<const char*> texts) {
        CManualClock clock(5000, startTime);
        CQueuedChannel channel;
        CDataStore store(channel, clock);
        for (const char* t : texts) {
            clock.Advance(1500);
            store.AddIncomingBytes(0, t);
        }
        const std::string path = dir.File("review" + std::to_string(++logs) + ".wblog");
        EXPECT_TRUE(store.SaveBinaryLog(path));
        return path;
    }
    std::size_t Count(const std::string& op) const {
        return static_cast<std::size_t>(
            std::count_if(log->begin(), log->end(), [&](const auto& c) { return c.op == op; }));
    }

    test::CZoneGuard zone{"UTC0"};
    test::CTempDir dir;
    int logs = 0;
    std::shared_ptr<CRecordingHost> host = std::make_shared<CRecordingHost>();
    CAnsweringUi* answers = nullptr;
    SKeyModifiers modifiers;
    std::unique_ptr<CQuillpad2Ctrl> control;
};

TEST_F(ControlLogging, StartPauseResumeStopDriveTheFilesTheTitleAndTheMenus) {
    EXPECT_EQ(Shown(cmd::StartLogging)->text().remove(u'&'), "Start Logging...");
    EXPECT_FALSE(Shown(cmd::PauseLogging)->isEnabled());
    answers->requests.push_back(std::nullopt);  // Cancel changes nothing
    control->OnCommand(cmd::StartLogging);
    EXPECT_EQ(control->Logging().State(), ELoggingState::NotLogging);
    EXPECT_TRUE(host->titles.empty());

    answers->requests.push_back(AllKinds("run1"));
    control->OnCommand(cmd::StartLogging);
    EXPECT_EQ(Store().LiveLogKinds().size(), 3u);
    EXPECT_EQ(Shown(cmd::StartLogging)->text().remove(u'&'), "Stop Logging");
    EXPECT_EQ(Shown(cmd::PauseLogging)->text().remove(u'&'), "Pause Logging");
    EXPECT_TRUE(Shown(cmd::PauseLogging)->isEnabled());
    EXPECT_FALSE(Shown(cmd::SaveBuffer)->isEnabled());
    EXPECT_FALSE(Shown(cmd::LoadLog)->isEnabled());

    Store().AddIncomingBytes(0, "one\r\n");
    QApplication::processEvents();  // the turn ends: the files have it
    EXPECT_EQ(test::ReadFileBytes(dir.File("p.txt")), "one\r\n");
    control->OnCommand(cmd::PauseLogging);
    EXPECT_EQ(Shown(cmd::PauseLogging)->text().remove(u'&'), "Resume Logging");
    Store().AddIncomingBytes(0, "lost\r\n");
    control->OnCommand(cmd::PauseLogging);
    Store().AddIncomingBytes(0, "two\r\n");
    control->OnCommand(cmd::StartLogging);

    EXPECT_EQ(host->titles,
              (std::vector<std::string>{"Logging \"run1\"", "Logging \"run1\" (Paused)",
                                        "Logging \"run1\"", ""}));
    EXPECT_EQ(test::ReadFileBytes(dir.File("p.txt")), "one\r\ntwo\r\n");
    // Formatted through the view's style, as the screen shows it.
    EXPECT_EQ(test::ReadFileBytes(dir.File("f.txt")), [&] {
        std::string out;
        for (const char* t : {"one\r\n", "two\r\n"}) {
            CStyledRenderer::AppendToString(out, control->Schemes().Current().get(), MakeRecord(t));
        }
        return out;
    }());
    EXPECT_NE(test::ReadFileBytes(dir.File("f.txt")), "one\r\ntwo\r\n");
    EXPECT_FALSE(Store().IsLogging());
    EXPECT_TRUE(Shown(cmd::SaveBuffer)->isEnabled());
}

TEST_F(ControlLogging, TheTimeStampsFormReachesTheLiveTextLogsFromTheirNextLine) {
    answers->requests.push_back(AllKinds());
    control->OnCommand(cmd::StartLogging);
    Store().AddIncomingBytes(0, "one\r\nha");
    control->OnCommand(cmd::StampsSinceStart);
    EXPECT_EQ(Store().StampMode(), EStampMode::SinceStart);
    Store().AddIncomingBytes(0, "lf\r\ntwo\r\n");
    control->OnCommand(cmd::StampsOff);
    Store().AddIncomingBytes(0, "three\r\n");
    control->OnCommand(cmd::StartLogging);  // stops
    const std::string plain = test::ReadFileBytes(dir.File("p.txt"));
    EXPECT_TRUE(
        std::regex_match(plain, std::regex("one\r\nhalf\r\n\\+[0-9]+\\.[0-9]{3} two\r\nthree\r\n")))
        << plain;
    control->OnCommand(cmd::CycleStamps);
    EXPECT_EQ(Store().StampMode(), EStampMode::Absolute) << "the key's form too";
}

TEST_F(ControlLogging, AFileThatWillNotOpenIsNamedInAWarningAndTheTitleSaysWhatRuns) {
    SLogRequest request = AllKinds();
    request.plainPath = dir.File("no/such/folder/p.txt");
    answers->requests.push_back(request);
    control->OnCommand(cmd::StartLogging);
    QApplication::processEvents();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "Warning");
    EXPECT_NE((*shown)[0].text.find(request.plainPath), std::string::npos);
    EXPECT_NE((*shown)[0].text.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(host->titles.back(), "Logging - Formatted Text, Workbay Log only");
    Store().AddIncomingBytes(0, "kept");
    control->OnCommand(cmd::StartLogging);
    EXPECT_EQ(test::ReadFileBytes(dir.File("f.txt")).empty(), false);
}

// A name the file system holds in UTF-8 reaches the box as those bytes, and
// the failure's own text shows it as the file manager does.
TEST_F(ControlLogging, AFailingFileWithANonAsciiNameIsNamedAsTheFileSystemHasIt) {
    const std::string name =
        "Pr\xC3\xBC"
        "fstand-\xCE\xA9.log";
    SLogRequest request = AllKinds();
    request.plainPath = dir.File("\xE6\x97\xA5\xE6\x9C\xAC/") + name;
    answers->requests.push_back(request);
    control->OnCommand(cmd::StartLogging);
    QApplication::processEvents();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_NE((*shown)[0].text.find(request.plainPath), std::string::npos) << (*shown)[0].text;

    const QString text = LogFailureText(
        {SLogFileFailure{ELogKind::Plain, request.plainPath, "No such file or directory", false}});
    EXPECT_TRUE(
        text.contains(QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC/Pr\xC3\xBC"
                                        "fstand-\xCE\xA9.log")))
        << text.toStdString();
}

TEST_F(ControlLogging, AFailedWriteIsReportedOnceAndTheOtherFilesGoOn) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    SLogRequest request = AllKinds("full");
    request.formattedPath = "/dev/full";  // every write fails: the disk is full
    answers->requests.push_back(request);
    control->OnCommand(cmd::StartLogging);
    for (int turn = 0; turn < 5; ++turn) {
        Store().AddIncomingBytes(0, "data\r\n");
        QApplication::processEvents();
        QApplication::processEvents();
    }
    ASSERT_EQ(shown->size(), 1u) << "one box, not one per turn";
    EXPECT_NE((*shown)[0].text.find("/dev/full"), std::string::npos);
    EXPECT_NE((*shown)[0].text.find("No space left on device"), std::string::npos);
    EXPECT_EQ(host->titles.back(), "Logging \"full\" - Plain Text, Workbay Log only");
    control->OnCommand(cmd::StartLogging);
    EXPECT_EQ(test::ReadFileBytes(dir.File("p.txt")), "data\r\ndata\r\ndata\r\ndata\r\ndata\r\n");
}

TEST_F(ControlLogging, SaveBufferAsksForFilesAndWritesEveryRecordOnce) {
    Store().AddIncomingBytes(0, "saved\r\n");
    Store().AddIncomingBytes(0, "\x01\x02");
    answers->requests.push_back(std::nullopt);
    control->OnCommand(cmd::SaveBuffer);
    EXPECT_FALSE(std::filesystem::exists(dir.File("p.txt")));
    answers->requests.push_back(AllKinds());
    control->OnCommand(cmd::SaveBuffer);
    EXPECT_EQ(test::ReadFileBytes(dir.File("p.txt")), "saved\r\n\x01\x02");
    EXPECT_EQ(test::ReadFileBytes(dir.File("f.txt")), Rendered());
    EXPECT_FALSE(Store().IsLogging());
    EXPECT_TRUE(host->titles.empty()) << "Save Buffer leaves the title alone";
}

TEST_F(ControlLogging, SaveBufferAndLoadShowTheWaitCursorWhileTheyRun) {
    Store().AddIncomingBytes(0, "kept");
    // A file that cannot be made is reported from inside the save.
    std::vector<int> during;
    Store().SetLogFailureHandler(
        [&](std::vector<SLogFileFailure>) { during.push_back(AppCursor()); });
    SLogRequest request = AllKinds();
    request.plainPath = dir.File("no such folder/p.txt");
    answers->requests.push_back(request);
    control->OnCommand(cmd::SaveBuffer);
    EXPECT_EQ(during, std::vector<int>{Qt::WaitCursor});
    EXPECT_EQ(AppCursor(), -1) << "and taken down after";

    answers->file = WriteLog(1700000000, {"loaded"});
    control->OnCommand(cmd::LoadLog);
    EXPECT_EQ(host->cursors, std::vector<int>{Qt::WaitCursor});
    EXPECT_EQ(AppCursor(), -1);
}

TEST_F(ControlLogging, ALoadedLogIsReviewedThroughAnyStyleAndSavedAsFormattedText) {
    control->IWBSetConnectionParameters("sim:");
    QApplication::processEvents();
    Store().AddIncomingBytes(0, "live data");
    // 2019-06-01 08:00:00 UTC: another day.
    const std::string path = WriteLog(1'559'376'000, {"ok\r\n", "\x01reviewed\r\n"});
    answers->file = path;
    EXPECT_TRUE(Shown(cmd::LoadLog)->isEnabled());
    EXPECT_FALSE(Shown(cmd::GoBackOnline)->isEnabled());
    const std::size_t closesBefore = Count("Close");
    control->OnCommand(cmd::LoadLog);
    EXPECT_EQ(answers->chooser[0], "Workbay Log Files (*.wblog)");
    EXPECT_EQ(answers->chooser[1], "wblog");
    EXPECT_EQ(answers->chooser[2], QString::fromStdString(control->Settings().m_logFolder));
    EXPECT_GT(Count("Close"), closesBefore) << "the session is closed";
    EXPECT_EQ(host->footers, std::vector<int>{0});
    EXPECT_EQ(host->titles.back(), "review1.wblog");
    EXPECT_EQ(control->Logging().Review(), CControlLogging::EReview::Reviewing);
    QApplication::processEvents();
    ASSERT_EQ(Store().RecordCount(), 2u);
    EXPECT_EQ(ViewText(), Rendered());
    // The recorded times, not today's, as the SHIFT window tells them.
    EXPECT_EQ(Store().RecordTime(0)->seconds, 1'559'376'001);
    const std::string info =
        DescribeDisplayed(control->View()->Document(), Store(), 0, 0, 1, STextInfoSwitches{});
    EXPECT_NE(info.find("June 1, 2019 08:00:01"), std::string::npos) << info;
    EXPECT_TRUE(Shown(cmd::GoBackOnline)->isEnabled());

    ASSERT_TRUE(control->SelectSchemeByName("Hex Mode"));
    QApplication::processEvents();
    EXPECT_EQ(ViewText(), Rendered());
    EXPECT_NE(ViewText().find("[6Fh][6Bh]"), std::string::npos);

    SLogRequest formattedOnly;
    formattedOnly.formattedEnabled = true;
    formattedOnly.formattedPath = dir.File("review.txt");
    answers->requests.push_back(formattedOnly);
    control->OnCommand(cmd::SaveBuffer);
    EXPECT_EQ(test::ReadFileBytes(dir.File("review.txt")), Rendered());

    // A second load replaces the first.
    answers->file = WriteLog(1'559'376'000, {"second"});
    control->OnCommand(cmd::LoadLog);
    QApplication::processEvents();
    ASSERT_EQ(Store().RecordCount(), 1u);
    EXPECT_EQ(Store().Record(0)->bytes, "second");
    EXPECT_EQ(host->titles.back(), "review2.wblog");
}

TEST_F(ControlLogging, ALargeLogShowsItsFirstPartAtOnceAndTheRestAsItIsRead) {
    CManualClock clock(5000, 1'559'376'000);
    CQueuedChannel channel;
    CDataStore written(channel, clock);
    for (int i = 0; i < 3000; ++i) {
        clock.Advance(10);
        written.AddIncomingBytes(0, "line " + std::to_string(i) + "\r\n");
    }
    const std::string path = dir.File("large.wblog");
    ASSERT_TRUE(written.SaveBinaryLog(path));
    answers->file = path;
    Store().SetLoadPartBytes(4096);
    control->OnCommand(cmd::LoadLog);
    QApplication::processEvents();
    ASSERT_TRUE(Store().LoadingLog());
    ASSERT_GT(Store().RecordCount(), 0u);
    EXPECT_LT(Store().RecordCount(), 3000u);
    // The replay took one notice, not one a record.
    EXPECT_FALSE(ViewText().empty());
    for (int turns = 0; Store().LoadingLog() && turns < 10'000; ++turns) {
        QApplication::processEvents();
    }
    ASSERT_EQ(Store().RecordCount(), 3000u);
    EXPECT_EQ(ViewText(), Rendered());
    // The view followed the log to its end.
    control->View()->viewport()->repaint();
    EXPECT_EQ(control->View()->verticalScrollBar()->value(),
              control->View()->verticalScrollBar()->maximum());
}

TEST_F(ControlLogging, ARefusedFileShowsTheErrorBoxAndLeavesTheViewEmpty) {
    Store().AddIncomingBytes(0, "earlier");
    QApplication::processEvents();
    ASSERT_FALSE(ViewText().empty());
    answers->file = std::nullopt;  // cancelled: nothing happens
    control->OnCommand(cmd::LoadLog);
    EXPECT_TRUE(host->footers.empty());

    const std::string bad = dir.File("bad.wblog");
    ASSERT_TRUE(test::WriteFileBytes(bad, "not a log"));
    answers->file = bad;
    control->OnCommand(cmd::LoadLog);
    QApplication::processEvents();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "Error Loading");
    EXPECT_EQ((*shown)[0].text, "Error loading specified log file.");
    EXPECT_EQ(control->Logging().Review(), CControlLogging::EReview::Refused);
    EXPECT_EQ(ViewText(), "");
    EXPECT_EQ(Store().RecordCount(), 1u) << "the earlier records stay, unshown";
    EXPECT_EQ(host->titles.back(), "bad.wblog");
    EXPECT_EQ(control->ConnectionSpec().m_nConnectionKind, 0u);
}

TEST_F(ControlLogging, GoBackOnlineRestoresTitleAndFooterAndReconnectsToTheHostsAddress) {
    answers->file = WriteLog(1'559'376'000, {"old"});
    control->OnCommand(cmd::LoadLog);
    QApplication::processEvents();

    host->address = "";  // without an address the console stays offline
    const std::size_t opensBefore = Count("Open");
    control->OnCommand(cmd::GoBackOnline);
    EXPECT_EQ(host->titles.back(), "");
    EXPECT_EQ(host->footers, (std::vector<int>{0, 1}));
    EXPECT_EQ(Count("Open"), opensBefore);
    EXPECT_EQ(Store().RecordCount(), 1u);

    host->address = "sim:";
    control->OnCommand(cmd::GoBackOnline);
    EXPECT_EQ(Count("Open"), opensBefore + 1);
    EXPECT_EQ(Store().RecordCount(), 0u);
    EXPECT_EQ(ViewText(), "");
    EXPECT_EQ(control->Logging().Review(), CControlLogging::EReview::Online);
}

TEST_F(ControlLogging, WhileALogIsReviewedTheSessionCommandsSaySoBeforeAnyChooser) {
    const cmd::CommandId needSession[] = {cmd::Reconnect,   cmd::Disconnect,    cmd::SendBreak,
                                          cmd::XModemSend,  cmd::XModemReceive, cmd::AsciiSend,
                                          cmd::AsciiReceive};
    // Online the footer shows the word: no box.
    control->OnCommand(cmd::XModemSend);
    QApplication::processEvents();
    EXPECT_EQ(control->LastStatusText(), "The device session is not open.");
    EXPECT_TRUE(shown->empty());
    control->IWBSetConnectionParameters("sim:");
    QApplication::processEvents();
    for (const cmd::CommandId id : needSession) {
        EXPECT_TRUE(Shown(id)->isEnabled()) << id << " online";
    }
    answers->file = WriteLog(1'559'376'000, {"old"});
    control->OnCommand(cmd::LoadLog);
    QApplication::processEvents();
    ASSERT_EQ(control->Logging().Review(), CControlLogging::EReview::Reviewing);

    answers->choosersAsked = 0;
    const std::size_t requests = Count("Request");
    // The footer is hidden while reviewing: the word comes in a box too,
    // posted, and only the one.
    const auto saysSoInABox = [&](std::size_t before, const std::string& what) {
        EXPECT_EQ(control->LastStatusText(), "The device session is not open.") << what;
        ASSERT_EQ(shown->size(), before + 1) << what;
        EXPECT_EQ(shown->back().text, "The device session is not open.") << what;
    };
    for (const cmd::CommandId id : needSession) {
        EXPECT_FALSE(Shown(id)->isEnabled()) << id << " greyed while reviewing";
        control->ShowStatus(QString());
        const std::size_t boxes = shown->size();
        control->OnCommand(id);
        EXPECT_EQ(shown->size(), boxes) << id << " not from inside the command";
        QApplication::processEvents();
        saysSoInABox(boxes, std::to_string(id));
    }
    // Alt+U as the user presses it, past the greyed menu.
    control->ShowStatus(QString());
    const std::size_t boxes = shown->size();
    modifiers = {false, false, true};
    QTest::keyClick(control->View(), Qt::Key_U, Qt::AltModifier);
    modifiers = {};
    QApplication::processEvents();
    saysSoInABox(boxes, "Alt+U");
    EXPECT_EQ(answers->choosersAsked, 0) << "no file is asked for a transfer that cannot run";
    EXPECT_EQ(Count("Request"), requests) << "nothing asked of a closed session";
    EXPECT_TRUE(Shown(cmd::GoBackOnline)->isEnabled());

    // Back online the commands are there again.
    host->address = "sim:";
    control->OnCommand(cmd::GoBackOnline);
    QApplication::processEvents();
    EXPECT_TRUE(Shown(cmd::XModemSend)->isEnabled());
    control->OnCommand(cmd::XModemSend);
    EXPECT_EQ(answers->choosersAsked, 1);
}

}  // namespace
}  // namespace quillpad
