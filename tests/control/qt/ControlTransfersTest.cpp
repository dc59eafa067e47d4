// Send Break and the transfer commands through the control: the choosers,
// the overwrite question, the requests and their blocks, failures, the
// progress dialogs and the cancel they send back; and a transfer with the
// simulated controller from end to end.

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <deque>
#include <filesystem>

#include "control/qt/CQuillpad2Ctrl.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrDialogEventFile.h"
#include "nxr/qt/CNxrDialogEventTask.h"
#include "platform/CRegistryStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/session/SessionDoubles.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

using test::CFakeSession;
using test::SSessionCall;

class CTransferUi final : public test::CQuietControlUi {
  public:
    std::optional<std::string> ChooseFileToOpen(const QString& filter, const QString& suffix,
                                                const std::string& folder, QWidget*) override {
        choosers.push_back("open " + filter.toStdString() + "|" + suffix.toStdString() + "|" +
                           folder);
        return file;
    }
    std::optional<std::string> ChooseFileToSave(const QString& filter, const std::string& folder,
                                                QWidget*) override {
        choosers.push_back("save " + filter.toStdString() + "|" + folder);
        return file;
    }
    bool ConfirmOverwrite(const std::string& path, QWidget*) override {
        questions.push_back(path);
        return overwrite;
    }
    bool RunAsciiSendDialog(const std::string& path, SAsciiPacing& pacing, QWidget*) override {
        pacingAsked.push_back({path, pacing});
        if (!pacingAnswer) {
            return !cancelPacing;
        }
        pacing = *pacingAnswer;
        return true;
    }

    std::optional<std::string> file;
    bool overwrite = false;
    std::vector<std::string> choosers;
    std::vector<std::string> questions;
    std::optional<SAsciiPacing> pacingAnswer;
    bool cancelPacing = false;
    std::vector<std::pair<std::string, SAsciiPacing>> pacingAsked;
};

// Counts the times a widget is shown.
class CShowCounter final : public QObject {
  public:
    explicit CShowCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            ++shows;
        }
        return false;
    }
    int shows = 0;
};

void Drain() {
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
    }
}

class ControlTransfers : public ::testing::Test, protected test::SFakeSessionRig {
  protected:
    void SetUp() override { std::filesystem::remove_all(CRegistryStore::DefaultFolder()); }
    void TearDown() override { control.reset(); }

    // With the fake session, or (real) with our own session object.
    void Make(bool real = false) {
        SControlServices services;
        if (!real) {
            Wire(services.session);
        } else {
            services.session.ui = std::make_unique<test::CRecordingUi>(shown);
        }
        auto ui = std::make_unique<CTransferUi>();
        answers = ui.get();
        services.ui = std::move(ui);
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(500, 300);
        control->show();
        QApplication::processEvents();
    }
    void Connect(const char* spec = "sim:") {
        control->IWBSetConnectionParameters(spec);
        Drain();
        log->clear();
    }
    std::vector<SSessionCall> Calls(const std::string& op) const {
        std::vector<SSessionCall> calls;
        for (const auto& c : *log) {
            if (c.op == op) {
                calls.push_back(c);
            }
        }
        return calls;
    }
    static CNxrParamBlock Block(const SSessionCall& call) {
        std::string error;
        auto block = CNxrParamBlock::Decode(call.params, &error);
        EXPECT_TRUE(block.has_value()) << error;
        return block.value_or(CNxrParamBlock());
    }
    bool Enabled(cmd::CommandId id) const {
        return CommandState(id, control->CommandContext()).enabled;
    }

    test::CTempDir dir;
    CTransferUi* answers = nullptr;
    std::unique_ptr<CQuillpad2Ctrl> control;
};

TEST_F(ControlTransfers, EachCommandSendsItsRequestWithThePathAndACancelledChooserNothing) {
    Make();
    Connect();
    const std::string file = dir.File("fw image.bin");
    ASSERT_TRUE(test::WriteFileBytes(file, "abc"));
    const std::pair<cmd::CommandId, std::uint32_t> commands[] = {
        {cmd::XModemSend, nxr_request::XModemSend},
        {cmd::XModemReceive, nxr_request::XModemReceive},
        {cmd::AsciiSend, nxr_request::AsciiSend},
        {cmd::AsciiReceive, nxr_request::AsciiReceive}};
    for (const auto& [id, code] : commands) {
        control->OnCommand(id);
    }
    EXPECT_TRUE(log->empty()) << "every chooser was cancelled";
    EXPECT_EQ(answers->choosers,
              (std::vector<std::string>{"open All Files (*)||", "save All Files (*)|",
                                        "open All Files (*)||", "save All Files (*)|"}));

    answers->file = file;
    answers->overwrite = true;
    for (const auto& [id, code] : commands) {
        control->OnCommand(id);
    }
    const auto requests = Calls("Request");
    ASSERT_EQ(requests.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(requests[i].code, commands[i].second);
        EXPECT_EQ(requests[i].value, 1000) << "time-out";
        EXPECT_FALSE(requests[i].userText.has_value());
        const CNxrParamBlock block = Block(requests[i]);
        EXPECT_EQ(block.Size(), 1u);
        EXPECT_EQ(block.TextAt(0), file);
    }

    log->clear();
    control->OnCommand(cmd::SendBreak);
    const auto breaks = Calls("Request");
    ASSERT_EQ(breaks.size(), 1u);
    EXPECT_EQ(breaks[0].code, nxr_request::SendBreak);
    EXPECT_EQ(breaks[0].value, 1000);
    EXPECT_EQ(Block(breaks[0]).IntegerAt(0), 500);
    EXPECT_EQ(Block(breaks[0]).Size(), 1u);
}

// ASCII Send asks for its pacing after the file: OK sends the pauses and
// remembers them for the next time and the saved state; Cancel sends nothing.
TEST_F(ControlTransfers, AsciiSendAsksForItsPacingAndRemembersIt) {
    Make();
    Connect();
    const std::string file = dir.File("prog.txt");
    ASSERT_TRUE(test::WriteFileBytes(file, "10 PRINT\r"));
    answers->file = file;
    answers->pacingAnswer = SAsciiPacing{.charDelayMs = 5, .lineDelayMs = 250};
    control->OnCommand(cmd::AsciiSend);
    auto requests = Calls("Request");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, nxr_request::AsciiSend);
    CNxrParamBlock block = Block(requests[0]);
    EXPECT_EQ(block.TextAt(0), file);
    EXPECT_EQ(block.IntegerAt(1), 250);
    EXPECT_EQ(block.IntegerAt(2), 5);
    ASSERT_EQ(answers->pacingAsked.size(), 1u);
    EXPECT_EQ(answers->pacingAsked[0].first, file);
    EXPECT_EQ(answers->pacingAsked[0].second.lineDelayMs, 0u);

    log->clear();
    answers->pacingAnswer.reset();
    answers->cancelPacing = true;
    control->OnCommand(cmd::AsciiSend);
    EXPECT_TRUE(Calls("Request").empty()) << "a cancelled ASCII Send sent something";
    ASSERT_EQ(answers->pacingAsked.size(), 2u);
    EXPECT_EQ(answers->pacingAsked[1].second.lineDelayMs, 250u) << "the pauses were forgotten";
    EXPECT_EQ(answers->pacingAsked[1].second.charDelayMs, 5u);

    QByteArray saved;
    int length = 0;
    control->IWBGetSaveData(&saved, &length);
    EXPECT_NE(saved.toStdString().find("AsciiLineDelayMs=250"), std::string::npos)
        << saved.toStdString();
    EXPECT_NE(saved.toStdString().find("AsciiCharDelayMs=5"), std::string::npos);
}

// Receiving into a new file asks nothing; replacing a file asks first, and
// No sends nothing and leaves the file alone.
TEST_F(ControlTransfers, AReceiveTakesANewNameAndAsksBeforeReplacingAFile) {
    Make();
    Connect();
    answers->file = dir.File("new.bin");
    control->OnCommand(cmd::XModemReceive);
    EXPECT_TRUE(answers->questions.empty());
    ASSERT_EQ(Calls("Request").size(), 1u);

    const std::string old = dir.File("old.bin");
    ASSERT_TRUE(test::WriteFileBytes(old, "keep"));
    answers->file = old;
    log->clear();
    control->OnCommand(cmd::AsciiReceive);
    EXPECT_EQ(answers->questions, std::vector<std::string>{old});
    EXPECT_TRUE(log->empty()) << "No: nothing sent";
    EXPECT_EQ(test::ReadFileBytes(old), "keep");

    answers->overwrite = true;
    control->OnCommand(cmd::XModemReceive);
    EXPECT_EQ(answers->questions.size(), 2u);
    ASSERT_EQ(Calls("Request").size(), 1u);
    EXPECT_EQ(Block(Calls("Request")[0]).TextAt(0), old);

    // A send never asks: the file is read, not written.
    answers->questions.clear();
    control->OnCommand(cmd::XModemSend);
    EXPECT_TRUE(answers->questions.empty());
}

TEST_F(ControlTransfers, FailuresShowTheStandardErrorBoxWithTheRequestId) {
    Make();
    Connect();
    answers->file = dir.File("x.bin");
    session->requestFails = true;
    control->OnCommand(cmd::XModemReceive);
    control->OnCommand(cmd::SendBreak);
    Drain();
    ASSERT_EQ(shown->size(), 2u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, 0u);

    session->requestFails = false;
    shown->clear();
    control->OnCommand(cmd::XModemReceive);
    const std::uint32_t id = session->nextRequestId - 1;
    control->OnRequestCompleted(id, nxr_request::XModemReceive, true, 0, std::nullopt);
    Drain();
    EXPECT_TRUE(shown->empty()) << "success shows nothing";
    control->OnRequestCompleted(id + 1, nxr_request::SendBreak, false, 0, std::nullopt);
    Drain();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, id + 1);
}

TEST_F(ControlTransfers, SendBreakIsOfferedForSerialAndSimulatedLinksOnly) {
    Make();
    EXPECT_FALSE(Enabled(cmd::SendBreak)) << "offline";
    const std::pair<const char*, bool> specs[] = {{"serial:/dev/ttyS0", true},
                                                  {"sim:", true},
                                                  {"tcp:127.0.0.1:23", false},
                                                  {"telnet:127.0.0.1:23", false}};
    for (const auto& [spec, enabled] : specs) {
        Connect(spec);
        EXPECT_EQ(Enabled(cmd::SendBreak), enabled) << spec;
        EXPECT_TRUE(Enabled(cmd::XModemSend)) << spec;
        EXPECT_TRUE(Enabled(cmd::AsciiReceive)) << spec;
    }
}

TEST_F(ControlTransfers, TheFileDialogFollowsTheEventsAndCancelsOnceThenTheConsoleGoesOn) {
    Make();
    Connect();
    CNxrDialogEventFile* dialog = control->FileProgress();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible()) << "hidden until its events come";
    const std::uint32_t id = 41;
    control->OnFileBatchStart(id, BytesToWide("XModem Receive"), 1, 2048);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), "XModem Receive");
    control->OnFileStart(id, BytesToWide("device"), BytesToWide("/tmp/dir/fw.bin"), 2048, false,
                         BytesToWide("XModem"));
    EXPECT_EQ(dialog->FileText(), "XModem receive: fw.bin");
    QTest::qWait(20);
    control->OnFileProgress(id, 1024, 2048, 1, 2);
    EXPECT_EQ(dialog->BytesText(), "1,024 of 2,048 bytes (50 %)");
    EXPECT_EQ(dialog->Percent(), 50);
    EXPECT_TRUE(dialog->RateText().contains("left")) << dialog->RateText().toStdString();
    control->OnFileProgress(id + 1, 2048, 2048, 0, 0);
    EXPECT_EQ(dialog->Percent(), 50) << "another request's events are not this one's";

    dialog->CancelButton()->click();
    dialog->reject();  // Escape after the button: still one cancel
    Drain();
    const auto cancels = Calls("Cancel");
    ASSERT_EQ(cancels.size(), 1u);
    EXPECT_EQ(cancels[0].code, id);
    EXPECT_EQ(cancels[0].value, 2);
    EXPECT_TRUE(dialog->isVisible()) << "open until the batch ends";

    control->OnFileFinish(id, false);
    control->OnFileBatchFinish(id, false);
    EXPECT_FALSE(dialog->isVisible());

    // The console is still the console: typing goes out.
    log->clear();
    control->MessageChannel().Post(control->Handle(), UM_SEND_TEXT, 0, 0,
                                   CPayload::Make(ByteString("help")));
    Drain();
    ASSERT_EQ(Calls("Send").size(), 1u);

    // A receive of unknown size counts bytes and is stopped, not cancelled.
    control->OnFileBatchStart(id + 2, BytesToWide("ASCII Receive"), 1, 0);
    control->OnFileStart(id + 2, BytesToWide("device"), BytesToWide("log.txt"), 0, false,
                         BytesToWide("ASCII"));
    control->OnFileProgress(id + 2, 12345, 0, 0, 0);
    EXPECT_EQ(dialog->BytesText(), "12,345 bytes");
    EXPECT_EQ(dialog->CancelButton()->text(), "Stop");
    dialog->CancelButton()->click();
    Drain();
    ASSERT_EQ(Calls("Cancel").size(), 1u);
    EXPECT_EQ(Calls("Cancel")[0].code, id + 2);
    control->OnFileBatchFinish(id + 2, true);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ControlTransfers, TheTaskDialogFollowsItsTaskAndCancelsIt) {
    Make();
    Connect();
    CNxrDialogEventTask* dialog = control->TaskProgress();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());
    control->OnTaskStart(7, BytesToWide("Program"), BytesToWide("Erasing"));
    EXPECT_TRUE(dialog->isVisible());
    control->OnTaskProgress(7, 30, BytesToWide("Writing"), 0);
    EXPECT_EQ(dialog->Text(), "Writing");
    EXPECT_EQ(dialog->Percent(), 30);
    dialog->CancelButton()->click();
    dialog->CancelButton()->click();
    Drain();
    ASSERT_EQ(Calls("Cancel").size(), 1u);
    EXPECT_EQ(Calls("Cancel")[0].code, 7u);
    control->OnTaskComplete(7, false);
    EXPECT_FALSE(dialog->isVisible());
}

// The real session and the simulated controller: the controller sends a
// file by XModem, the console receives it through the menu command with the
// dialog up, then an ASCII receive runs until its Stop.
TEST_F(ControlTransfers, ReceivesFromTheSimulatedControllerFromEndToEnd) {
    Make(true);
    control->IWBSetConnectionParameters("sim:");
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->ConsoleOpen(); }, 5000));
    const auto viewText = [&] { return std::string(control->View()->Document().Text()); };
    const auto type = [&](const char* text) {
        control->MessageChannel().Post(control->Handle(), UM_SEND_TEXT, 0, 0,
                                       CPayload::Make(ByteString(text)));
    };

    type("xmodem send 3000\r");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return viewText().find("start your XModem Receive") != std::string::npos; }, 5000));
    const std::string target = dir.File("from device.bin");
    answers->file = target;
    CNxrDialogEventFile* dialog = control->FileProgress();
    CShowCounter counter(dialog);
    control->OnCommand(cmd::XModemReceive);
    // The dialog shows during the transfer and closes at its end.
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.shows > 0 && !dialog->isVisible(); }, 10000));
    EXPECT_EQ(counter.shows, 1);
    ASSERT_TRUE(std::filesystem::exists(target));
    std::string expected(3000, '\0');
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = static_cast<char>(i & 0xff);
    }
    std::string got = test::ReadFileBytes(target);
    // The last block is padded with 0x1A, as peers do.
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(got.substr(0, expected.size()), expected);
    EXPECT_EQ(got.find_first_not_of('\x1a', expected.size()), std::string::npos);
    EXPECT_TRUE(shown->empty());

    const std::string capture = dir.File("capture.txt");
    answers->file = capture;
    control->OnCommand(cmd::AsciiReceive);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->isVisible(); }, 5000));
    type("help\r");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return dialog->BytesText().contains("bytes") && !dialog->BytesText().startsWith("0 ");
        },
        5000));
    EXPECT_EQ(dialog->CancelButton()->text(), "Stop");
    QTest::qWait(200);
    dialog->CancelButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(capture); }, 5000));
    EXPECT_NE(test::ReadFileBytes(capture).find("xmodem send <n>"), std::string::npos)
        << "the help text went into the file";
    Drain();
    EXPECT_TRUE(shown->empty()) << "a stopped ASCII receive is a success";
}

// A serial line that vanishes in the middle of an XModem receive (socat, the
// pseudo-terminal's other side, killed): the dialog closes, the error box
// says why and names the partial file, and once a new line is there the
// console's Reconnect brings it back and a key press reaches it.
TEST_F(ControlTransfers, ALineLostMidReceiveIsExplainedAndTheConsoleGoesOnOnANewLine) {
    for (const char* tool : {"socat", "sx"}) {
        if (!test::HaveProgram(tool)) {
            QUILLPAD_PEER_MISSING(tool << " is not installed (tools/install-deps.sh installs it)");
        }
    }
    const std::string link = dir.File("link");
    std::filesystem::create_directory(link);
    auto pty = std::make_unique<test::CPtyPeer>(link, false);
    ASSERT_TRUE(pty->Ready());
    ASSERT_TRUE(test::WriteFileBytes(link + "/out.bin", test::RandomBytes(4 << 20, 6)));
    Make(true);
    const std::string spec = "serial:" + pty->Near() + ",115200,8N1";
    control->IWBSetConnectionParameters(QByteArray::fromStdString(spec));
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->ConsoleOpen(); }, 5000));

    pty->Start({"sx", "-q", "-b", "-k", "out.bin"});
    answers->file = dir.File("fw.bin");
    CNxrDialogEventFile* dialog = control->FileProgress();
    control->OnCommand(cmd::XModemReceive);
    // Some blocks in the file before the line goes: the first ones counted
    // may not be written yet on a busy machine.
    const auto received = [&] {
        return dialog->BytesText().section(QLatin1Char(' '), 0, 0).remove(u',').toLongLong();
    };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog->isVisible() && received() >= 64 * 1024; }, 20000));
    pty->Vanish();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible() && !shown->empty(); }, 10000));
    Drain();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    const std::string& text = (*shown)[0].text;
    EXPECT_NE(text.find("the device " + pty->Near() + " went away"), std::string::npos) << text;
    EXPECT_NE(text.find("\"fw.bin.partial\""), std::string::npos) << text;
    EXPECT_GT(test::ReadFileBytes(dir.File("fw.bin.partial")).size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("fw.bin")));

    pty.reset();
    pty = std::make_unique<test::CPtyPeer>(link, false);
    ASSERT_TRUE(pty->Ready());
    pty->Start({"sh", "-c", "head -c 1 > typed.txt"});
    control->OnCommand(cmd::Reconnect);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->ConnectionStatus() == 3; }, 5000));
    QTest::keyClicks(control->View(), "x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty->PollExit() >= 0; }, 5000));
    EXPECT_EQ(test::ReadFileBytes(link + "/typed.txt"), "x");
    EXPECT_EQ(shown->size(), 1u) << (shown->size() > 1 ? shown->back().text : "");
}

// The picture in docs/screenshots/, taken by tools/take-screenshots.sh (not a test:
// it is disabled in the suite and asserts only that the picture was written).
TEST_F(ControlTransfers, DISABLED_Screenshot) {
    const char* file = std::getenv("QUILLPAD_SCREENSHOT");
    if (file == nullptr) {
        FAIL() << "set QUILLPAD_SCREENSHOT to the picture's file";
    }
    Make(true);
    control->IWBSetConnectionParameters("sim:");
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->ConsoleOpen(); }, 5000));
    control->MessageChannel().Post(control->Handle(), UM_SEND_TEXT, 0, 0,
                                   CPayload::Make(ByteString("xmodem receive\r")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::string(control->View()->Document().Text()).find("waiting for your") !=
                   std::string::npos;
        },
        5000));
    const std::string firmware = dir.File("controller-firmware-v2.bin");
    ASSERT_TRUE(test::WriteFileBytes(firmware, std::string(4 << 20, 'Q')));
    answers->file = firmware;
    CNxrDialogEventFile* dialog = control->FileProgress();
    control->OnCommand(cmd::XModemSend);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Percent() >= 30; }, 60000))
        << dialog->BytesText().toStdString();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->grab().save(QString::fromLocal8Bit(file)));
    dialog->CancelButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 5000));
}

}  // namespace
}  // namespace quillpad
