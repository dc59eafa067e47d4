// The control: its order of creation and teardown, keys, menus and
// commands, styles, the history, the host's calls and saved state.

#include "control/qt/CControlMenus.h"
#include "control/qt/CFindBar.h"
#include "control/qt/CQuillpad2Ctrl.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>

#include "control/qt/CQtHostEnvironment.h"
#include "data/DataStore.h"
#include "nxr/NxrCodes.h"
#include "platform/CRegistryStore.h"
#include "platform/qt/EnvironmentStream.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/session/SessionDoubles.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

using test::CFakeSession;
using test::SSessionCall;

class CRecordingControlUi final : public IControlUi {
  public:
    cmd::CommandId TrackPopup(const std::vector<SMenuItem>& items, QPoint, QWidget*) override {
        offered = CommandIds(items);
        return answer;
    }
    void ShowAbout(QWidget*) override { ++abouts; }
    void ShowHelp(int topic, QWidget*) override { helps.push_back(topic); }
    std::optional<ByteString> RunHistoryPopup(CCommandHistory& history, QPoint caret,
                                              QWidget*) override {
        popupCarets.push_back(caret);
        popupEntries = history.Entries();
        if (deleteInPopup) {
            history.Remove(*deleteInPopup);
        }
        return historyAnswer;
    }
    bool RunShortcutSetup(const std::string& dataDirectory, CKeySet& keySet, QWidget*) override {
        setupDirectories.push_back(dataDirectory);
        if (editKeySet) {
            editKeySet(keySet);
        }
        return setupAnswer;
    }
    std::optional<std::string> ChooseFileToOpen(const QString&, const QString&, const std::string&,
                                                QWidget*) override {
        choosers.push_back("open");
        return std::nullopt;
    }
    std::optional<std::string> ChooseFileToSave(const QString&, const std::string&,
                                                QWidget*) override {
        choosers.push_back("save");
        return std::nullopt;
    }

    cmd::CommandId answer = 0;
    std::vector<std::string> choosers;  // "open", "save": all cancelled
    std::optional<ByteString> historyAnswer;
    std::optional<ByteString> deleteInPopup;
    std::vector<QPoint> popupCarets;
    std::vector<ByteString> popupEntries;
    std::function<void(CKeySet&)> editKeySet;
    bool setupAnswer = false;
    std::vector<std::string> setupDirectories;
    std::vector<cmd::CommandId> offered;
    int abouts = 0;
    std::vector<int> helps;
};

// The host's environment as the host offers it: methods called by name.
class CTestEnvironment final : public QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE int IWBENVUpdateConnectionStatus(short status) {
        statuses.push_back(status);
        return 0;
    }
    Q_INVOKABLE int IWBENVAppendToWindowTitle(const QString& text) {
        titles.push_back(text);
        return 0;
    }
    Q_INVOKABLE int IWBENVGetCurrentAddress(QString& first, QString& address, QString& third) {
        first = QStringLiteral("Quillpad2");
        address = QStringLiteral("sim:name=\xe9");
        third.clear();
        return 0;
    }
    // A parameter type no dispatch argument can carry.
    Q_INVOKABLE int IWBENVShowFrameFooter(double) { return 0; }

    std::vector<short> statuses;
    std::vector<QString> titles;
};

std::string DataDirectory() {
    return CQuillpadSettings().m_dataDirectory;
}

void WriteStyleSheet(const std::string& file, const std::string& name) {
    std::ofstream(std::filesystem::path(DataDirectory()) / file)
        << "[Scheme1.Info]\r\nName=" << name << "\r\nBackgroundColor=0\r\n";
}

class Quillpad2Ctrl : public ::testing::Test, protected test::SFakeSessionRig {
  protected:
    void SetUp() override {
        // Every test starts from the built-in defaults.
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        for (const auto& e : std::filesystem::directory_iterator(DataDirectory())) {
            std::filesystem::remove_all(e.path());
        }
    }
    void TearDown() override { control.reset(); }

    void Make() {
        SControlServices services;
        Wire(services.session);
        auto ui = std::make_unique<CRecordingControlUi>();
        controlUi = ui.get();
        services.ui = std::move(ui);
        services.trace = [this](const std::string& step) { log->push_back({"step:" + step}); };
        services.modifiers = [this] { return modifiers; };
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(500, 300);
        control->show();
        QApplication::processEvents();
    }

    std::vector<std::string> Ops() const {
        std::vector<std::string> ops;
        for (const auto& c : *log) {
            ops.push_back(c.op);
        }
        return ops;
    }
    std::string Sent() const {
        std::string bytes;
        for (const auto& c : *log) {
            if (c.op == "Send") {
                bytes += WideToBytes(c.text);
            }
        }
        return bytes;
    }
    void OpenConsole(const char* spec = "sim:") {
        control->IWBSetConnectionParameters(spec);
        QApplication::processEvents();
        session->SetLink(3);
        control->OnLinkUp();
        control->OnRequestCompleted(session->nextRequestId - 1, nxr_request::OpenConsole, true, 0,
                                    std::nullopt);
        ASSERT_TRUE(control->ConsoleOpen());
    }
    QAction* Action(cmd::CommandId id) const {
        for (const auto& popup : control->Menus().MenuBarPopups()) {
            for (QAction* a : popup->findChildren<QAction*>()) {
                if (a->data().toUInt() == id && a->menu() == nullptr) {
                    return a;
                }
            }
        }
        return nullptr;
    }
    // The action's state as the menu shows it when opened.
    QAction* Shown(cmd::CommandId id) const {
        QAction* action = Action(id);
        for (const auto& popup : control->Menus().MenuBarPopups()) {
            control->Menus().Update(*popup);
            for (QMenu* sub : popup->findChildren<QMenu*>()) {
                control->Menus().Update(*sub);
            }
        }
        return action;
    }
    std::string CurrentScheme() const {
        const auto& current = control->Schemes().Current();
        return current ? current->Name : "(none)";
    }

    CRecordingControlUi* controlUi = nullptr;
    SKeyModifiers modifiers;
    std::unique_ptr<CQuillpad2Ctrl> control;
};

// Runs the messages that handlers post in turn.
void Drain() {
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
    }
}

std::ptrdiff_t IndexOf(const std::vector<std::string>& ops, const std::string& op) {
    const auto it = std::find(ops.begin(), ops.end(), op);
    return it == ops.end() ? -1 : it - ops.begin();
}

TEST_F(Quillpad2Ctrl, CreationAndTeardownKeepTheirOrder) {
    Make();
    const auto created = Ops();
    const std::vector<std::string> steps = {
        "step:construct",     "step:create", "step:menus", "step:settings",
        "step:styles",        "step:store",  "step:view",  "step:progress dialogs",
        "step:default style", "step:created"};
    std::ptrdiff_t last = -1;
    for (const auto& step : steps) {
        const auto at = IndexOf(created, step);
        ASSERT_GT(at, last) << step;
        last = at;
    }
    EXPECT_LT(IndexOf(created, "Advise"), IndexOf(created, "step:construct"))
        << "the session base comes first";
    EXPECT_EQ(CurrentScheme(), "Normal");

    OpenConsole();
    log->clear();
    control.reset();
    const auto ops = Ops();
    const std::vector<std::string> teardown = {"step:destroy",
                                               "step:close console",
                                               "RequestWait",
                                               "Close",
                                               "step:session closed",
                                               "step:styles released",
                                               "step:file progress dialog",
                                               "step:task progress dialog",
                                               "step:view",
                                               "step:store",
                                               "step:destruct",
                                               "Unadvise"};
    last = -1;
    for (const auto& step : teardown) {
        const auto at = IndexOf(ops, step);
        ASSERT_GT(at, last) << step;
        last = at;
    }
    const auto& wait = (*log)[static_cast<std::size_t>(IndexOf(ops, "RequestWait"))];
    EXPECT_EQ(wait.code, nxr_request::CloseConsole);
    EXPECT_EQ(wait.value, 2000);

    // With the console closed nobody is asked to close it.
    Make();
    log->clear();
    control.reset();
    EXPECT_EQ(IndexOf(Ops(), "RequestWait"), -1);
    EXPECT_EQ(IndexOf(Ops(), "step:close console"), -1);
}

TEST_F(Quillpad2Ctrl, TheViewFillsTheControlAndTakesTheFocus) {
    Make();
    for (const QSize size : {QSize(400, 200), QSize(1234, 567), QSize(1, 1)}) {
        control->resize(size);
        EXPECT_EQ(control->View()->geometry(), QRect(QPoint(0, 0), size));
    }
    control->activateWindow();
    control->setFocus();
    EXPECT_EQ(control->focusProxy(), control->View());
    short sizes[6] = {};
    ASSERT_TRUE(QMetaObject::invokeMethod(control.get(), "IWBGetWindowSizes",
                                          Q_ARG(short*, &sizes[0]), Q_ARG(short*, &sizes[1]),
                                          Q_ARG(short*, &sizes[2]), Q_ARG(short*, &sizes[3]),
                                          Q_ARG(short*, &sizes[4]), Q_ARG(short*, &sizes[5])));
    EXPECT_EQ(std::vector<short>(sizes, sizes + 6),
              (std::vector<short>{400, 200, 10000, 10000, 650, 400}));
}

TEST_F(Quillpad2Ctrl, TypedKeysGoToTheDeviceAndNeverEditTheView) {
    Make();
    OpenConsole();
    control->Store()->AddIncomingBytes(0, "shown");
    QApplication::processEvents();
    const std::string before(control->View()->Document().Text());
    CConsoleView* view = control->View();
    log->clear();
    QTest::keyClicks(view, "ab");
    QTest::keyClick(view, Qt::Key_Backspace);
    QTest::keyClicks(view, "c\r");
    QTest::keyClick(view, Qt::Key_Return);
    for (const auto key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up, Qt::Key_Delete}) {
        QTest::keyClick(view, key);
    }
    modifiers.ctrl = true;
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);  // Ctrl+A types 0x01
    modifiers = {};
    Drain();
    EXPECT_EQ(Sent(), std::string("ab\bc\r\r\x01"));
    EXPECT_EQ(std::string(view->Document().Text()), before);
    EXPECT_EQ(control->History().Entries(), std::vector<ByteString>{"ac"});
    EXPECT_EQ(control->History().CurrentLine(), "\x01");

    // The option turns typed CR into CR LF, read at the moment of the key.
    Action(cmd::OutgoingCRToCRLF)->trigger();
    log->clear();
    QTest::keyClick(view, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Sent(), "\r\n");
}

TEST_F(Quillpad2Ctrl, CopyPasteAndAltKeys) {
    Make();
    OpenConsole();
    CConsoleView* view = control->View();
    control->Store()->AddIncomingBytes(0, "XYZ");
    QApplication::processEvents();

    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    log->clear();
    modifiers.ctrl = true;
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    modifiers = {};
    QTest::keyClick(view, Qt::Key_Insert);
    modifiers.shift = true;
    QTest::keyClick(view, Qt::Key_Insert, Qt::ShiftModifier);
    modifiers = {};
    QApplication::processEvents();
    EXPECT_EQ(Sent(), "pastedpastedpasted");
    EXPECT_EQ(control->History().Entries(), std::vector<ByteString>{"pasted"})
        << "pastes enter the history once";

    view->SelectAll();
    QApplication::clipboard()->clear();
    modifiers.ctrl = true;
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("XYZ"));
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("XYZ"));

    // Alt+H toggles Hex Mode, Alt+C clears, Alt+U and Alt+K are their
    // commands, any other Alt character does nothing.
    modifiers = {false, false, true};
    QTest::keyClick(view, Qt::Key_H, Qt::AltModifier);
    EXPECT_EQ(CurrentScheme(), "Hex Mode");
    log->clear();
    QTest::keyClick(view, Qt::Key_F, Qt::AltModifier);
    QTest::keyClick(view, Qt::Key_1, Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_EQ(Sent(), "");
    QTest::keyClick(view, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(controlUi->choosers, std::vector<std::string>{"open"}) << "XModem Send";
    log->clear();
    QTest::keyClick(view, Qt::Key_K, Qt::AltModifier);
    ASSERT_EQ(Ops(), std::vector<std::string>{"Request"});
    EXPECT_EQ((*log)[0].code, nxr_request::SendBreak);
    QTest::keyClick(view, Qt::Key_C, Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_EQ(control->Store()->RecordCount(), 0u);
    EXPECT_TRUE(view->Document().Text().empty());
}

TEST_F(Quillpad2Ctrl, CtrlFOpensTheFindBarBelowTheViewAndEscapeClosesIt) {
    Make();
    OpenConsole();
    control->resize(600, 300);
    control->show();
    control->Store()->AddIncomingBytes(0, "one ERROR here");
    QApplication::processEvents();
    log->clear();
    modifiers.ctrl = true;
    QTest::keyClick(control->View(), Qt::Key_F, Qt::ControlModifier);
    modifiers = {};
    CFindBar* bar = control->FindBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(Sent(), "") << "Ctrl+F is the console's, not ACK for the device";
    EXPECT_EQ(bar->geometry().bottom(), 299);
    EXPECT_EQ(control->View()->geometry().height(), 300 - bar->height());
    EXPECT_TRUE(bar->TextField()->hasFocus());
    QTest::keyClicks(bar->TextField(), QStringLiteral("ERROR"));
    for (int turns = 0; bar->Searching() && turns < 1000; ++turns) {
        QApplication::processEvents();
    }
    QTest::keyClick(bar->TextField(), Qt::Key_Return);
    EXPECT_EQ(control->View()->SelectedText(), QStringLiteral("ERROR"));
    EXPECT_EQ(Sent(), "") << "typing in the bar sends nothing";
    QTest::keyClick(bar->TextField(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(control->View()->geometry(), QRect(0, 0, 600, 300));
    // The menu's Find... opens it again.
    Action(cmd::Find)->trigger();
    EXPECT_TRUE(bar->isVisible());
}

TEST_F(Quillpad2Ctrl, FunctionKeysAndHelp) {
    Make();
    CConsoleView* view = control->View();
    QTest::keyClick(view, Qt::Key_F1);
    EXPECT_EQ(controlUi->helps, std::vector<int>{1007});
    modifiers.ctrl = true;
    QTest::keyClick(view, Qt::Key_F1, Qt::ControlModifier);
    modifiers = {};
    EXPECT_EQ(controlUi->helps.size(), 1u) << "Ctrl+F1 shows no help";
    QTest::keyClick(view, Qt::Key_F5);
    EXPECT_EQ(controlUi->helps.size(), 1u);
}

TEST_F(Quillpad2Ctrl, FunctionKeysRunTheMacrosOfTheChosenKeySet) {
    Make();
    // A first start writes the default key set and marks it in the popup.
    const std::string mine = (std::filesystem::path(DataDirectory()) / "My Keys.keyset").string();
    ASSERT_TRUE(std::filesystem::exists(mine));
    EXPECT_EQ(control->Settings().m_keySetPath, mine);
    std::ofstream(std::filesystem::path(DataDirectory()) / "Bench.keyset")
        << "[Shortcuts]\r\nCTRL_F3=ver\\r\r\nF2=status\\n\r\n";
    control->LoadKeySet(mine);  // the folder is listed again when the popup opens
    QMenu* popup = control->Menus().KeySetPopup();
    QStringList texts;
    for (QAction* a : popup->actions()) {
        texts << a->text();
    }
    ASSERT_EQ(texts, (QStringList{"Bench.keyset", "My Keys.keyset"}));
    control->Menus().Update(*popup);
    EXPECT_TRUE(popup->actions()[1]->isChecked());
    popup->actions()[0]->trigger();
    control->Menus().Update(*popup);
    EXPECT_TRUE(popup->actions()[0]->isChecked());
    EXPECT_FALSE(popup->actions()[1]->isChecked());

    OpenConsole();
    log->clear();
    CConsoleView* view = control->View();
    modifiers.ctrl = true;
    QTest::keyClick(view, Qt::Key_F3, Qt::ControlModifier);
    modifiers = {};
    QTest::keyClick(view, Qt::Key_F2);
    QTest::keyClick(view, Qt::Key_F7);  // no macro in this set: nothing is sent
    QApplication::processEvents();
    EXPECT_EQ(Sent(), "ver\rstatus\r\n");
    // Saved state brings the chosen key set back.
    QByteArray blob;
    int length = 0;
    control->IWBGetSaveData(&blob, &length);
    control->LoadKeySet(mine);
    control->IWBLoadSaveData(blob, length);
    EXPECT_NE(control->Settings().m_keySetPath.find("Bench.keyset"), std::string::npos);
    EXPECT_EQ(WideToBytes(BytesToWide(control->KeySet().Macro("CTRL_F3"))), "ver\\r");
}

TEST_F(Quillpad2Ctrl, UpResendsAHistoryLineAfterWhatWasTyped) {
    Make();
    OpenConsole();
    CConsoleView* view = control->View();
    QTest::keyClicks(view, "ver\rstatus\r");
    QTest::keyClicks(view, "x");
    Drain();
    log->clear();
    controlUi->historyAnswer = "ver";
    QTest::keyClick(view, Qt::Key_Up);
    Drain();
    ASSERT_EQ(controlUi->popupCarets.size(), 1u);
    EXPECT_EQ(controlUi->popupEntries, (std::vector<ByteString>{"ver", "status"}));
    const QRect viewOnScreen(view->viewport()->mapToGlobal(QPoint(0, 0)), view->viewport()->size());
    EXPECT_TRUE(viewOnScreen.contains(controlUi->popupCarets[0]))
        << "the popup opens at the console's caret";
    EXPECT_EQ(Sent(), "ver\r") << "the line, then one line end";
    EXPECT_EQ(control->History().Entries(), (std::vector<ByteString>{"ver", "status", "xver"}));

    // The command does what Up does; Cancel sends nothing; Delete in the
    // popup is for good; with CR to CR LF on the resent line ends so.
    controlUi->historyAnswer.reset();
    controlUi->deleteInPopup = "status";
    log->clear();
    Action(cmd::CommandHistory)->trigger();
    Drain();
    EXPECT_EQ(controlUi->popupCarets.size(), 2u);
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(control->History().Entries(), (std::vector<ByteString>{"ver", "xver"}));
    controlUi->deleteInPopup.reset();
    controlUi->historyAnswer = "ver";
    Action(cmd::OutgoingCRToCRLF)->trigger();
    QTest::keyClick(view, Qt::Key_Up);
    Drain();
    EXPECT_EQ(Sent(), "ver\r\n");
    EXPECT_EQ(control->History().Entries(), (std::vector<ByteString>{"xver", "ver"}));
}

TEST_F(Quillpad2Ctrl, TransmittedArrowsSendCursorSequencesInsteadOfTheHistory) {
    Make();
    OpenConsole();
    CConsoleView* view = control->View();
    EXPECT_FALSE(Shown(cmd::TransmitArrows)->isChecked());
    Action(cmd::TransmitArrows)->trigger();
    Drain();
    EXPECT_TRUE(Shown(cmd::TransmitArrows)->isChecked());
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ(shown->back().caption, "Notice");
    EXPECT_EQ(shown->back().text.substr(0, 40), "The command history UP key is now disabl");
    // Paragraphs only: the box wraps its lines itself.
    EXPECT_EQ(shown->back().text.find("\n"), shown->back().text.find("\n\n"));
    EXPECT_EQ(shown->back().text.find("\n", shown->back().text.find("\n\n") + 2),
              std::string::npos);
    log->clear();
    for (const auto key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Right, Qt::Key_Left}) {
        QTest::keyClick(view, key);
    }
    Drain();
    EXPECT_EQ(Sent(), "\x1b[A\x1b[B\x1b[C\x1b[D");
    EXPECT_TRUE(controlUi->popupCarets.empty());
    Action(cmd::TransmitArrows)->trigger();  // off: no box, Up is the history again
    Drain();
    EXPECT_EQ(shown->size(), 1u);
    QTest::keyClick(view, Qt::Key_Up);
    Drain();
    EXPECT_EQ(controlUi->popupCarets.size(), 1u);
}

TEST_F(Quillpad2Ctrl, TheHistoryOutlivesTheConsoleUnlessItIsNotKept) {
    const auto file = std::filesystem::path(DataDirectory()) / "Command History.txt";
    Make();
    EXPECT_TRUE(Shown(cmd::KeepCommandHistory)->isChecked());
    OpenConsole();
    QTest::keyClicks(control->View(), "ver\rdump 1\t2\r");
    QApplication::processEvents();
    control.reset();  // a change not yet written is written at teardown
    ASSERT_TRUE(std::filesystem::exists(file));
    Make();
    EXPECT_EQ(control->History().Entries(), (std::vector<ByteString>{"ver", "dump 1\t2"}));

    // Off: nothing more is written, and nothing is read by the next console.
    Action(cmd::KeepCommandHistory)->trigger();
    Action(cmd::MakeDefault)->trigger();
    OpenConsole();
    QTest::keyClicks(control->View(), "new\r");
    control.reset();
    Make();
    EXPECT_TRUE(control->History().Entries().empty());
    Action(cmd::KeepCommandHistory)->trigger();
    Action(cmd::MakeDefault)->trigger();
    control.reset();

    // A file that is not a history is put aside, and the console starts.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "garbage\x01\n";
    Make();
    EXPECT_TRUE(control->History().Entries().empty());
    EXPECT_TRUE(control->LastStatusText().startsWith("The command history could not be read"));
    EXPECT_TRUE(std::filesystem::exists(file.string() + ".bad"));
    EXPECT_TRUE(control->KeySet().GetPath().ends_with("My Keys.keyset")) << "nothing else lost";
}

TEST_F(Quillpad2Ctrl, EditSequenceKeysSavesTheKeySetOnlyAfterOk) {
    Make();
    const std::string mine = control->KeySet().GetPath();
    const std::string other = (std::filesystem::path(DataDirectory()) / "Other.keyset").string();
    // Browse to another file, then Cancel: loaded, unsaved, not the setting.
    controlUi->editKeySet = [&](CKeySet& keySet) {
        keySet.LoadFile(other, true, true);
        keySet.WriteString("Shortcuts", "F2", "status\\r");
    };
    controlUi->setupAnswer = false;
    Action(cmd::EditSequenceKeys)->trigger();
    EXPECT_EQ(controlUi->setupDirectories, std::vector<std::string>{DataDirectory()});
    EXPECT_EQ(control->KeySet().GetPath(), other);
    EXPECT_EQ(control->Settings().m_keySetPath, mine);
    EXPECT_EQ(std::filesystem::file_size(other), 0u);

    // OK saves to the key set's file, makes it the setting and checks it.
    controlUi->editKeySet = [](CKeySet& keySet) { keySet.WriteString("Shortcuts", "F9", "x"); };
    controlUi->setupAnswer = true;
    Action(cmd::EditSequenceKeys)->trigger();
    EXPECT_EQ(control->Settings().m_keySetPath, other);
    CKeySet saved;
    ASSERT_TRUE(saved.LoadFile(other, false, true));
    EXPECT_EQ(saved.Macro("F9"), "x");
    EXPECT_EQ(saved.Macro("F2"), "status\\r");
    QMenu* popup = control->Menus().KeySetPopup();
    control->Menus().Update(*popup);
    ASSERT_EQ(popup->actions().size(), 2);
    EXPECT_EQ(popup->actions()[1]->text(), "Other.keyset");
    EXPECT_TRUE(popup->actions()[1]->isChecked());

    // A key set without a file cannot be saved, and says so.
    controlUi->editKeySet = [](CKeySet& keySet) { keySet.LoadFile("", true, true); };
    Action(cmd::EditSequenceKeys)->trigger();
    QApplication::processEvents();
    ASSERT_FALSE(shown->empty());
    EXPECT_EQ(shown->back().text, "The key set could not be saved: it has no file name.");
    EXPECT_EQ(control->Settings().m_keySetPath, other);
}

TEST_F(Quillpad2Ctrl, EveryCommandSaysInTheStatusBarWhatItDoes) {
    Make();
    std::size_t tips = 0;
    for (const auto& popup : control->Menus().MenuBarPopups()) {
        for (QAction* a : popup->findChildren<QAction*>()) {
            if (a->data().toUInt() != 0 && a->menu() == nullptr) {
                EXPECT_EQ(a->statusTip().toStdString(), CommandStatusText(a->data().toUInt()))
                    << a->text().toStdString();
                ++tips;
            }
        }
    }
    EXPECT_EQ(tips, CommandIds(MakeMainMenu().popups).size()) << "every item has its action";
    EXPECT_FALSE(control->Menus().StylePopup()->actions().front()->statusTip().isEmpty());
    EXPECT_FALSE(control->Menus().KeySetPopup()->actions().front()->statusTip().isEmpty());

    // The host's main window shows it while the pointer is on the item.
    QMainWindow window;
    CQuillpad2Ctrl* console = control.release();
    window.setCentralWidget(console);
    window.statusBar();
    QMenuBar* bar = window.menuBar();
    QAction* quillpad = bar->addMenu(console->Menus().MenuBarPopups().front().get());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    bar->setActiveAction(quillpad);
    QMenu* menu = quillpad->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    QAction* edit = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->data().toUInt() == cmd::EditSequenceKeys) {
            edit = a;
        }
    }
    ASSERT_NE(edit, nullptr);
    QTest::mouseMove(menu, menu->actionGeometry(edit).center());
    menu->setActiveAction(edit);
    EXPECT_EQ(window.statusBar()->currentMessage(), "Define shortcuts for keystrokes.");
    menu->close();
    control.reset(static_cast<CQuillpad2Ctrl*>(window.takeCentralWidget()));
}

TEST_F(Quillpad2Ctrl, EveryMenuCommandIsRoutedAndSaysWhatItDid) {
    Make();
    OpenConsole();
    log->clear();
    control->OnCommand(0);  // nothing
    for (const cmd::CommandId id :
         {cmd::XModemSend, cmd::XModemReceive, cmd::AsciiSend, cmd::AsciiReceive}) {
        QAction* action = Action(id);
        ASSERT_NE(action, nullptr) << id;
        action->trigger();
    }
    EXPECT_EQ(controlUi->choosers, (std::vector<std::string>{"open", "save", "open", "save"}));
    EXPECT_TRUE(Ops().empty()) << "cancelled choosers send nothing";
    Action(cmd::SendBreak)->trigger();
    ASSERT_EQ(Ops(), std::vector<std::string>{"Request"});
    EXPECT_EQ((*log)[0].code, nxr_request::SendBreak);
    log->clear();
    Action(cmd::Reconnect)->trigger();
    Action(cmd::Disconnect)->trigger();
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Request", "Request"}));
    EXPECT_EQ((*log)[0].code, nxr_request::Reconnect);
    EXPECT_EQ((*log)[1].code, nxr_request::Disconnect);

    control->Store()->AddIncomingBytes(0, "data");
    Action(cmd::ClearData)->trigger();
    EXPECT_EQ(control->Store()->RecordCount(), 0u);

    const bool before = control->Settings().m_showRelatedData;
    Action(cmd::ShowRelatedData)->trigger();
    EXPECT_NE(control->Settings().m_showRelatedData, before);
    EXPECT_EQ(control->View()->Settings().textInfo.showRelatedData,
              control->Settings().m_showRelatedData)
        << "the hover window reads the switch at once";
    const auto switches = [&] {
        const CQuillpadSettings& c = control->Settings();
        return std::vector<bool>{c.m_showAbsoluteTime, c.m_showRelativeTime, c.m_showDataDirection,
                                 c.m_showRelatedData};
    };
    const cmd::CommandId order[] = {cmd::ShowCalendarTimestamp, cmd::ShowRelativeTimestamp,
                                    cmd::ShowDataDirection};
    for (std::size_t i = 0; i < 3; ++i) {
        std::vector<bool> expected = switches();
        expected[i] = !expected[i];
        Action(order[i])->trigger();
        EXPECT_EQ(switches(), expected) << order[i] << " flips its own switch only";
    }

    // The right-click menu offers Copy, Paste, Find, Go to Time and Clear,
    // and its Clear is Alt+C's.
    control->Store()->AddIncomingBytes(0, "again");
    controlUi->answer = cmd::ContextClear;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(50, 50));
    QApplication::sendEvent(control->View()->viewport(), &event);
    EXPECT_EQ(controlUi->offered, (std::vector<cmd::CommandId>{1000, 1001, 32803, 32804, 1002}));
    EXPECT_EQ(control->Store()->RecordCount(), 0u);
    QApplication::clipboard()->setText(QStringLiteral("ctx"));
    controlUi->answer = cmd::ContextPaste;
    log->clear();
    QApplication::sendEvent(control->View()->viewport(), &event);
    QApplication::processEvents();
    EXPECT_EQ(Sent(), "ctx");

    // Make THIS my Default writes every setting for the consoles to come.
    Action(cmd::OutgoingCRToCRLF)->trigger();
    Action(cmd::ToggleHexMode)->trigger();
    Action(cmd::MakeDefault)->trigger();
    control.reset();
    Make();
    EXPECT_TRUE(control->Settings().m_outgoingCRToCRLF);
    EXPECT_EQ(CurrentScheme(), "Hex Mode");
    EXPECT_NE(control->Settings().m_showRelatedData, before);
}

TEST_F(Quillpad2Ctrl, EnableAndCheckRulesWhenAMenuOpens) {
    // A default style nobody has: no style is selected.
    CQuillpadSettings settings;
    settings.m_defaultSchemeName = "Nope";
    settings.SaveToRegistry();
    Make();
    EXPECT_EQ(CurrentScheme(), "(none)");
    QMenu* styles = control->Menus().StylePopup();
    const auto marked = [&] {
        control->Menus().Update(*styles);
        QStringList texts;
        for (QAction* a : styles->actions()) {
            if (a->isChecked()) {
                texts << a->text();
            }
        }
        return texts;
    };
    EXPECT_TRUE(marked().isEmpty()) << "no current scheme, no mark";
    ASSERT_NE(styles->actions().front()->actionGroup(), nullptr) << "radio marks";
    EXPECT_FALSE(Shown(cmd::EditStyles)->isEnabled());
    EXPECT_FALSE(Shown(cmd::ToggleHexMode)->isChecked());
    EXPECT_TRUE(Shown(cmd::GoBackOnline)->isEnabled()) << "offline";
    EXPECT_FALSE(Shown(cmd::SendBreak)->isEnabled());

    control->OnCommand(cmd::ToggleHexMode);  // no current scheme: Normal
    EXPECT_EQ(CurrentScheme(), "Normal");
    EXPECT_EQ(marked(), QStringList{"Normal"});
    EXPECT_TRUE(Shown(cmd::EditStyles)->isEnabled());
    control->OnCommand(cmd::ToggleHexMode);
    EXPECT_TRUE(Shown(cmd::ToggleHexMode)->isChecked());

    control->IWBSetConnectionParameters("tcp:127.0.0.1:1");
    QApplication::processEvents();
    EXPECT_FALSE(Shown(cmd::SendBreak)->isEnabled());
    EXPECT_FALSE(Shown(cmd::GoBackOnline)->isEnabled());
    control->IWBSetConnectionParameters("sim:");
    QApplication::processEvents();
    EXPECT_TRUE(Shown(cmd::SendBreak)->isEnabled());

    EXPECT_FALSE(Shown(cmd::OutgoingCRToCRLF)->isChecked());
    control->OnCommand(cmd::OutgoingCRToCRLF);
    EXPECT_TRUE(Shown(cmd::OutgoingCRToCRLF)->isChecked());
    EXPECT_TRUE(Shown(cmd::ShowDataDirection)->isChecked());
    control->OnCommand(cmd::ShowDataDirection);
    EXPECT_FALSE(Shown(cmd::ShowDataDirection)->isChecked());
    EXPECT_TRUE(Shown(cmd::PauseLogging) != nullptr && !Shown(cmd::PauseLogging)->isEnabled());
}

// Without a style selected, "Make THIS my Default" still writes every other
// setting; the default style stays what it was.
TEST_F(Quillpad2Ctrl, MakeDefaultWithoutAStyleWritesTheOtherSettings) {
    CQuillpadSettings settings;
    settings.m_defaultSchemeName = "Nope";
    settings.SaveToRegistry();
    Make();
    ASSERT_EQ(CurrentScheme(), "(none)");
    control->OnCommand(cmd::OutgoingCRToCRLF);
    control->OnCommand(cmd::ShowCalendarTimestamp);
    const std::string keys = (std::filesystem::path(DataDirectory()) / "Bench.keyset").string();
    std::ofstream(keys) << "[Shortcuts]\r\nF2=x\r\n";
    control->LoadKeySet(keys);
    const std::string logs = (std::filesystem::path(DataDirectory()) / "logs here").string();
    control->Settings().m_logFolder = logs;
    control->Settings().m_logAsPlainText = true;
    control->Settings().m_logAsBinaryLog = false;
    control->OnCommand(cmd::MakeDefault);
    control.reset();
    Make();
    EXPECT_TRUE(control->Settings().m_outgoingCRToCRLF);
    EXPECT_FALSE(control->Settings().m_showAbsoluteTime);
    EXPECT_EQ(control->Settings().m_defaultSchemeName, "Nope");
    EXPECT_EQ(control->Settings().m_keySetPath, keys);
    EXPECT_EQ(control->KeySet().Macro("F2"), "x") << "the new console loads that key set";
    EXPECT_EQ(control->Settings().m_logFolder, logs);
    EXPECT_TRUE(control->Settings().m_logAsPlainText);
    EXPECT_FALSE(control->Settings().m_logAsBinaryLog);
}

// After "New Console..." the user types at once, whatever had the keyboard
// in the host's window before.
TEST_F(Quillpad2Ctrl, NewConnectionParametersGiveTheViewTheKeyboard) {
    Make();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(other);
    control->setParent(&window);
    layout->addWidget(control.get());
    window.show();
    window.activateWindow();
    other->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), other);
    control->IWBSetConnectionParameters("sim:");
    EXPECT_EQ(QApplication::focusWidget(), control->View());
    control.reset();  // before the window that now holds it
}

TEST_F(Quillpad2Ctrl, TheStyleMenuListsEveryStyleASheetNamedLikeABuiltinByItsFileName) {
    WriteStyleSheet("Normal.tss", "Normal");
    WriteStyleSheet("Mine.tss", "Mine");
    // Cut short while written: its last line has no line end.
    std::ofstream(std::filesystem::path(DataDirectory()) / "Cut.tss", std::ios::binary)
        << "[Scheme1.Info]\r\nName=Normal\r\n[Scheme1.Rule1]\r\nFormat_ApplyFormat=TR";
    Make();
    QMenu* popup = control->Menus().StylePopup();
    control->Menus().Update(*popup);
    QStringList texts;
    for (QAction* a : popup->actions()) {
        texts << a->text();
    }
    EXPECT_EQ(texts,
              (QStringList{"Normal", "Normal (Local Echo)", "Hex Mode", "Mine", "Normal.tss"}));
    EXPECT_TRUE(control->LastStatusText().contains("Cut.tss") &&
                control->LastStatusText().contains("cut short"))
        << control->LastStatusText().toStdString();
    // Created with the default "Normal": the built-in.
    ASSERT_EQ(control->Schemes().Current()->Name, "Normal");
    EXPECT_TRUE(control->Schemes().Current()->IsBuiltIn());
    EXPECT_TRUE(popup->actions().front()->isChecked());
    EXPECT_FALSE(popup->actions().back()->isChecked());

    // Each entry picks its own style.
    popup->actions()[3]->trigger();
    EXPECT_EQ(CurrentScheme(), "Mine");
    EXPECT_EQ(control->Settings().m_defaultSchemeName, "Mine");
    popup->actions()[4]->trigger();
    EXPECT_EQ(std::filesystem::path(control->Schemes().Current()->GetPath()).filename(),
              "Normal.tss");
    popup->actions()[0]->trigger();
    EXPECT_TRUE(control->Schemes().Current()->IsBuiltIn());

    // The toggle remembers "Mine" across a menu choice.
    popup->actions()[3]->trigger();
    control->OnCommand(cmd::ToggleHexMode);
    EXPECT_EQ(CurrentScheme(), "Hex Mode");
    popup->actions()[1]->trigger();
    control->OnCommand(cmd::ToggleHexMode);
    EXPECT_EQ(CurrentScheme(), "Mine");

    // The view draws with the scheme the menu chose, after one replay.
    QApplication::processEvents();
    EXPECT_EQ(control->View()->Scheme(), control->Schemes().Current().get());
}

QStringList Texts(QMenu* popup) {
    QStringList texts;
    for (QAction* a : popup->actions()) {
        texts << a->text();
    }
    return texts;
}

TEST_F(Quillpad2Ctrl, SheetsThatAreNoStylesAreLeftOutAndNamedOnce) {
    WriteStyleSheet("Mine.tss", "Mine");
    // Binary bytes: no line of it is a section of a scheme.
    std::ofstream(std::filesystem::path(DataDirectory()) / "junk.tss", std::ios::binary)
        << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe=\x01", 20);
    WriteStyleSheet("nameless.tss", "");
    Make();
    QMenu* popup = control->Menus().StylePopup();
    EXPECT_EQ(Texts(popup),
              (QStringList{"Normal", "Normal (Local Echo)", "Hex Mode", "Mine", "nameless.tss"}));
    EXPECT_TRUE(control->LastStatusText().contains("junk.tss"))
        << control->LastStatusText().toStdString();
    EXPECT_FALSE(control->LastStatusText().contains("nameless"))
        << control->LastStatusText().toStdString();

    // The nameless sheet is chosen by its file name, like any other.
    popup->actions()[4]->trigger();
    EXPECT_EQ(CurrentScheme(), "nameless.tss");
    EXPECT_EQ(control->Schemes().Current()->BackgroundColor, 0u) << "the file's own style";

    // Named once: the next openings of the menu say nothing more of it.
    control->ShowStatus(QStringLiteral("meanwhile"));
    control->Menus().StylePopup();
    control->Menus().StylePopup();
    EXPECT_EQ(control->LastStatusText(), "meanwhile");
}

TEST_F(Quillpad2Ctrl, ASheetAddedWhileTheConsoleIsOpenShowsWhenTheMenuOpens) {
    WriteStyleSheet("Mine.tss", "Mine");
    Make();
    ASSERT_TRUE(control->SelectSchemeByName("Mine"));
    QApplication::processEvents();
    const std::shared_ptr<CStyleScheme> mine = control->Schemes().Current();
    QMenu* popup = control->Menus().StylePopup();
    ASSERT_EQ(Texts(popup).size(), 4);

    WriteStyleSheet("Later.tss", "Later");
    std::ofstream(std::filesystem::path(DataDirectory()) / "broken.tss", std::ios::binary)
        << std::string("\0\x01\x02binary", 9);
    control->ShowStatus(QString());
    // As the menu bar opens it: the popup's own signal.
    emit popup->aboutToShow();
    EXPECT_EQ(Texts(popup),
              (QStringList{"Normal", "Normal (Local Echo)", "Hex Mode", "Later", "Mine"}));
    EXPECT_TRUE(control->LastStatusText().contains("broken.tss"))
        << control->LastStatusText().toStdString();
    // The style in use stays in use: the same scheme, marked, still drawn.
    EXPECT_EQ(control->Schemes().Current(), mine);
    EXPECT_EQ(control->View()->Scheme(), mine.get());
    control->Menus().Update(*popup);
    EXPECT_TRUE(popup->actions()[4]->isChecked());
    EXPECT_FALSE(popup->actions()[3]->isChecked());
    popup->actions()[3]->trigger();
    EXPECT_EQ(CurrentScheme(), "Later");

    // The Hex Mode toggle still goes back to the style used before.
    control->OnCommand(cmd::ToggleHexMode);
    control->Menus().StylePopup();
    control->OnCommand(cmd::ToggleHexMode);
    EXPECT_EQ(CurrentScheme(), "Later");

    // A sheet removed goes from the menu unless it is the one in use.
    std::filesystem::remove(std::filesystem::path(DataDirectory()) / "Mine.tss");
    control->Menus().StylePopup();
    EXPECT_FALSE(Texts(popup).contains("Mine"));
    std::filesystem::remove(std::filesystem::path(DataDirectory()) / "Later.tss");
    control->Menus().StylePopup();
    EXPECT_EQ(Texts(popup).back(), "Later");
    EXPECT_EQ(CurrentScheme(), "Later");
}

TEST_F(Quillpad2Ctrl, AKeySetThatCannotBeReadGivesTheDefaultsAndSaysSoOnce) {
    const auto file = std::filesystem::path(DataDirectory()) / "My Keys.keyset";
    const std::string bytes(
        "\x7f"
        "ELF\x02\x01\x01\0\0\0=\xff",
        13);
    std::ofstream(file, std::ios::binary) << bytes;
    Make();
    EXPECT_EQ(control->KeySet().Macro("F3"), "@DevInfo") << "the default keys";
    EXPECT_TRUE(control->LastStatusText().contains("My Keys.keyset"))
        << control->LastStatusText().toStdString();
    EXPECT_TRUE(control->LastStatusText().contains("default keys"));
    EXPECT_TRUE(control->KeySet().GetPath().empty()) << "never saved over the file";

    // Chosen again from the menu: the defaults again, without a second word.
    control->ShowStatus(QStringLiteral("meanwhile"));
    QMenu* keySets = control->Menus().KeySetPopup();
    ASSERT_EQ(keySets->actions().size(), 1);
    keySets->actions()[0]->trigger();
    EXPECT_EQ(control->LastStatusText(), "meanwhile");
    EXPECT_EQ(control->KeySet().Macro("F5"), "@Firmware");
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
}

// What a console finds wrong while it is made, before the host has put it
// in a window, reaches the window's status bar once it shows.
TEST_F(Quillpad2Ctrl, ANoteFromCreationReachesTheStatusBarWhenTheConsoleShows) {
    std::ofstream(std::filesystem::path(DataDirectory()) / "My Keys.keyset", std::ios::binary)
        << std::string("\0\x01\x02", 3);
    SControlServices services;
    Wire(services.session);
    services.ui = std::make_unique<CRecordingControlUi>();
    QMainWindow window;
    window.statusBar();
    auto* console = new CQuillpad2Ctrl(nullptr, std::move(services));
    window.setCentralWidget(console);
    EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());
    window.show();
    EXPECT_TRUE(window.statusBar()->currentMessage().contains("My Keys.keyset"))
        << window.statusBar()->currentMessage().toStdString();
}

TEST_F(Quillpad2Ctrl, MoreThanAHundredStylesLeaveTheKeySetRangeAlone) {
    for (int i = 0; i < 105; ++i) {
        WriteStyleSheet("s" + std::to_string(1000 + i) + ".tss", "Style " + std::to_string(i));
    }
    Make();
    const auto actions = control->Menus().StylePopup()->actions();
    ASSERT_EQ(actions.size(), 101);
    EXPECT_EQ(actions[99]->data().toUInt(), 34099u);
    EXPECT_FALSE(actions[100]->isEnabled());
    EXPECT_EQ(actions[100]->text(), QStringLiteral("8 more styles are not shown"));
    for (QAction* a : actions) {
        EXPECT_LT(a->data().toUInt(), 34100u);
    }
}

TEST_F(Quillpad2Ctrl, SavedStateRoundTripsAndIsReadNoFurtherThanItsLength) {
    Make();
    control->OnCommand(cmd::OutgoingCRToCRLF);
    control->OnCommand(cmd::ShowRelativeTimestamp);
    control->OnCommand(cmd::ToggleHexMode);
    QByteArray blob;
    int length = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(control.get(), "IWBGetSaveData",
                                          Q_ARG(QByteArray*, &blob), Q_ARG(int*, &length)));
    ASSERT_GT(length, 0);
    EXPECT_EQ(length, blob.size());
    EXPECT_EQ(blob.back(), '\0') << "the length counts the zero";
    EXPECT_NE(blob.indexOf("DefaultSchemeName=Hex Mode"), -1);

    control.reset();
    Make();
    EXPECT_EQ(CurrentScheme(), "Normal");
    ASSERT_TRUE(QMetaObject::invokeMethod(control.get(), "IWBLoadSaveData", Q_ARG(QByteArray, blob),
                                          Q_ARG(int, length)));
    EXPECT_TRUE(control->Settings().m_outgoingCRToCRLF);
    EXPECT_FALSE(control->Settings().m_showRelativeTime);
    EXPECT_FALSE(control->View()->Settings().textInfo.showRelativeTime);
    EXPECT_EQ(CurrentScheme(), "Hex Mode");

    // Only `length` bytes are read, with or without a zero among them.
    const QByteArray noZero =
        "[Schemes]\nDefaultSchemeName=Normal (Local Echo)\n[General]\nOutgoingCRToCRLF=TRUE";
    control->IWBLoadSaveData(noZero, static_cast<int>(noZero.indexOf("[General]")));
    EXPECT_EQ(CurrentScheme(), "Normal (Local Echo)");
    EXPECT_FALSE(control->Settings().m_outgoingCRToCRLF) << "cut off before [General]: the default";
    control->IWBLoadSaveData(noZero, 1 << 20);  // a length past the blob
    EXPECT_TRUE(control->Settings().m_outgoingCRToCRLF);
}

TEST_F(Quillpad2Ctrl, TheHostsEnvironmentIsCalledByNameOrNotAtAll) {
    Make();
    session->SetLink(3);  // no environment yet: the host hears nothing
    EXPECT_EQ(control->ConnectionStatus(), 3u);

    CTestEnvironment environment;
    control->IWBSetEnvIDispatchViaStream(MarshalEnvironment(&environment));
    session->SetLink(4);
    EXPECT_EQ(environment.statuses, std::vector<short>{4});
    EXPECT_EQ(control->HostAppendToWindowTitle(BytesToWide("Logging")), 0);
    EXPECT_EQ(environment.titles, std::vector<QString>{QStringLiteral("Logging")});
    WideString first;
    WideString address;
    WideString third;
    EXPECT_EQ(control->HostGetCurrentAddress(first, address, third), 0);
    EXPECT_EQ(WideToBytes(address), "sim:name=\xe9") << "one character per byte, both ways";
    EXPECT_EQ(control->HostShowFrameFooter(1), kInvalidArgument) << "a double is no dispatch type";
    EXPECT_EQ(InvokeByName(&environment, "IWBENVNoSuchCall", {}), kDispUnknownName);

    // An unknown stream leaves no environment; calls are then skipped or fail.
    control->IWBSetEnvIDispatchViaStream(987654);
    session->SetLink(2);
    EXPECT_EQ(environment.statuses.size(), 1u);
    EXPECT_EQ(control->HostShowFrameFooter(1), kHostCallFailed);
    EXPECT_EQ(control->ConnectionStatus(), 2u);

    ASSERT_TRUE(QMetaObject::invokeMethod(control.get(), "AboutBox"));
    EXPECT_EQ(controlUi->abouts, 1);
    QList<QAction*> menus;
    ASSERT_TRUE(QMetaObject::invokeMethod(control.get(), "InPlaceMenuActions",
                                          Q_RETURN_ARG(QList<QAction*>, menus)));
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Lo&gging"));
}

}  // namespace
}  // namespace quillpad

#include "Quillpad2CtrlTest.moc"
