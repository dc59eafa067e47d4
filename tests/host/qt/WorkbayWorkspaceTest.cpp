// The workspace: consoles saved at quit and restored at the next start, and
// a damaged file reported and moved aside, never overwritten.

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>

#include <sys/stat.h>

#include <filesystem>

#include "host/qt/CConsoleWindow.h"
#include "host/qt/CWorkbayWindow.h"
#include "host/qt/Workspace.h"
#include "tests/host/qt/WorkbayTestDoubles.h"
#include "tests/support/KilledWhileSaving.h"

namespace quillpad::test {
namespace {

// The files beside the workspace that a refused one was moved to.
QStringList MovedAside(const CHostRig& rig) {
    return QDir(QString::fromStdString(rig.home.Path()))
        .entryList({QStringLiteral("workspace.ini.corrupt-*")}, QDir::Files | QDir::Dirs);
}

// The windows the workspace file holds now.
QList<SWorkspaceWindow> SavedWindows(const CHostRig& rig) {
    QList<SWorkspaceWindow> saved;
    QString error;
    EXPECT_TRUE(
        ParseWorkspace(QByteArray::fromStdString(ReadFileBytes(rig.WorkspacePath())), saved, error))
        << error.toStdString();
    return saved;
}

TEST(WorkbayWorkspace, TwoConsolesComeBackWithTheirSpecsAndStates) {
    CHostRig rig;
    // Settings text ending in its zero, and one with bytes a text reader would mangle.
    const QByteArray first("[General]\r\nEcho=1\r\n\0", 20);
    const QByteArray second("A\0B\xff\x80\n\0", 7);
    rig.plugin.saveData = {first, second};
    const QByteArray serial = "serial:/dev/ttyUSB0,115200,8N1";
    const QByteArray latin = "telnet:h\xe9te%20x:2424";
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), serial);
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), latin);
    const mode_t mask = ::umask(0);
    rig.window->close();
    ::umask(mask);
    ASSERT_TRUE(std::filesystem::exists(rig.WorkspacePath()));
    // It holds connection specs and every console's settings: the user's alone.
    struct stat st {};
    ASSERT_EQ(::stat(rig.WorkspacePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    rig.NewWindow().Start({});
    EXPECT_EQ(rig.ui.asked, 0) << "a restored workspace needs no dialog";
    const QList<CConsoleWindow*> consoles = rig.window->Consoles();
    ASSERT_EQ(consoles.size(), 2);
    EXPECT_EQ(consoles[0]->ConnectionSpec(), serial);
    EXPECT_EQ(consoles[1]->ConnectionSpec(), latin);
    CStandInControl* a = rig.plugin.Control(2);
    CStandInControl* b = rig.plugin.Control(3);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->loaded, first);
    EXPECT_EQ(a->loadedLength, first.size());
    EXPECT_EQ(b->loaded, second);
    EXPECT_EQ(b->loadedLength, 7);
    EXPECT_EQ(a->parameters, serial);
    EXPECT_EQ(b->parameters, latin);
    EXPECT_TRUE(rig.ui.messages.isEmpty());
}

TEST(WorkbayWorkspace, TheCommandLineConsoleWinsOverTheWorkspace) {
    CHostRig rig;
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), "sim:");
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), "sim:name=B");
    rig.window->close();

    SCommandLine line;
    line.connect = QByteArray("tcp:10.1.1.1:2323");
    rig.NewWindow().Start(line);
    ASSERT_EQ(rig.window->Consoles().size(), 1);
    EXPECT_EQ(rig.window->Consoles()[0]->ConnectionSpec(), QByteArray("tcp:10.1.1.1:2323"));
    EXPECT_EQ(rig.window->Consoles()[0]->PluginName(), QStringLiteral("Quillpad2"));
}

// The File menu's action of that text.
QAction* FileAction(CWorkbayWindow& window, const QString& text) {
    for (QAction* menu : window.menuBar()->actions()) {
        if (menu->text() == QStringLiteral("&File") && menu->menu() != nullptr) {
            for (QAction* action : menu->menu()->actions()) {
                if (action->text() == text) {
                    return action;
                }
            }
        }
    }
    return nullptr;
}

TEST(WorkbayWorkspace, AOneOffConsoleLeavesTheSavedWorkspaceAloneUntilTheUserSavesIt) {
    CHostRig rig;
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), "sim:");
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), "sim:name=B");
    rig.window->close();
    const std::string kept = ReadFileBytes(rig.WorkspacePath());
    ASSERT_FALSE(kept.empty());

    SCommandLine line;
    line.connect = QByteArray("tcp:10.1.1.1:2323");
    rig.NewWindow().Start(line);
    rig.window->close();
    EXPECT_EQ(ReadFileBytes(rig.WorkspacePath()), kept) << "a script's start replaced it";

    // Asked for, it is saved, and from then on at quit as well.
    rig.NewWindow().Start(line);
    QAction* save = FileAction(*rig.window, QStringLiteral("&Save Workspace"));
    ASSERT_NE(save, nullptr);
    save->trigger();
    QList<SWorkspaceWindow> saved = SavedWindows(rig);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].spec, QByteArray("tcp:10.1.1.1:2323"));
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), "sim:name=C");
    rig.window->close();
    EXPECT_EQ(SavedWindows(rig).size(), 2);
    EXPECT_TRUE(rig.ui.messages.isEmpty());
}

TEST(WorkbayWorkspace, AHomeThatNeverHeldAWorkspaceAsksForAConsoleAndQuitSavesIt) {
    CHostRig rig;
    ASSERT_FALSE(std::filesystem::exists(rig.WorkspacePath()));
    rig.ui.answer = SNewConsoleChoice{QStringLiteral("Quillpad2"), "tcp:dev:23"};
    rig.window->Start({});
    EXPECT_EQ(rig.ui.asked, 1);
    ASSERT_TRUE(rig.ui.messages.isEmpty()) << rig.ui.messages[0].text.toStdString();
    ASSERT_EQ(rig.window->Consoles().size(), 1);
    EXPECT_EQ(rig.window->Consoles()[0]->ConnectionSpec(), QByteArray("tcp:dev:23"));
    rig.window->close();
    const QList<SWorkspaceWindow> saved = SavedWindows(rig);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].spec, QByteArray("tcp:dev:23"));
}

TEST(WorkbayWorkspace, ACorruptFileIsReportedAndMovedAsideNeverOverwritten) {
    CHostRig rig;
    const std::string garbage = "[Workspace]\nVersion=1\nWindows=3\n[Window 1]\nPlugin=Quillpad2\n";
    ASSERT_TRUE(WriteFileBytes(rig.WorkspacePath(), garbage));

    rig.window->Start({});
    ASSERT_EQ(rig.ui.messages.size(), 1);
    EXPECT_TRUE(rig.ui.messages[0].text.contains(QStringLiteral("moved to")))
        << rig.ui.messages[0].text.toStdString();
    EXPECT_TRUE(rig.window->Consoles().isEmpty());
    EXPECT_EQ(rig.ui.asked, 1) << "it starts empty, as on a first start";
    const QStringList moved = MovedAside(rig);
    ASSERT_EQ(moved.size(), 1);
    const std::string movedPath = rig.home.File(moved[0].toStdString());
    EXPECT_FALSE(std::filesystem::exists(rig.WorkspacePath()));

    // The next save writes a new workspace and leaves the moved file alone.
    rig.window->OpenConsole(QStringLiteral("Quillpad2"), "sim:");
    rig.window->close();
    EXPECT_EQ(ReadFileBytes(movedPath), garbage);
    QList<SWorkspaceWindow> saved;
    QString error;
    ASSERT_TRUE(
        ParseWorkspace(QByteArray::fromStdString(ReadFileBytes(rig.WorkspacePath())), saved, error))
        << error.toStdString();
    EXPECT_EQ(saved.size(), 1);

    // A second damaged file within the same second gets a name of its own.
    ASSERT_TRUE(WriteFileBytes(rig.WorkspacePath(), "not a workspace"));
    rig.NewWindow().Start({});
    EXPECT_EQ(MovedAside(rig).size(), 2);
    EXPECT_EQ(ReadFileBytes(movedPath), garbage);
}

TEST(WorkbayWorkspace, AnUnreadableFileIsMovedAsideToo) {
    CHostRig rig;
    // A folder where the file should be: it exists and cannot be read as one.
    std::filesystem::create_directory(rig.WorkspacePath());
    rig.window->Start({});
    ASSERT_EQ(rig.ui.messages.size(), 1);
    EXPECT_EQ(MovedAside(rig).size(), 1);
    rig.window->close();
    EXPECT_TRUE(std::filesystem::is_regular_file(rig.WorkspacePath()));
}

TEST(WorkbayWorkspace, ConsolesOfAMissingPluginAreReportedTheRestRestored) {
    CHostRig rig;
    QList<SWorkspaceWindow> windows = {
        {QStringLiteral("Gone"), "sim:", std::nullopt},
        {QStringLiteral("Quillpad2"), "tcp:a:1", QByteArray("x\0", 2)}};
    ASSERT_TRUE(CWorkspaceFile(rig.WorkspacePath()).Save(windows));
    rig.window->Start({});
    ASSERT_EQ(rig.window->Consoles().size(), 1);
    EXPECT_EQ(rig.window->Consoles()[0]->ConnectionSpec(), QByteArray("tcp:a:1"));
    ASSERT_EQ(rig.ui.messages.size(), 1);
    EXPECT_TRUE(rig.ui.messages[0].text.contains(QStringLiteral("Gone")));
}

TEST(WorkbayWorkspace, TextRoundTripsAndDamageIsRefused) {
    const QList<SWorkspaceWindow> windows = {
        {QStringLiteral("Quillpad2"), QByteArray("serial:/dev/x,9600,7E1\n%\xff\0", 27),
         QByteArray("\0\0", 2)},
        {QStringLiteral("Other"), QByteArray(), std::nullopt}};
    const QByteArray text = SerializeWorkspace(windows);
    QList<SWorkspaceWindow> back;
    QString error;
    ASSERT_TRUE(ParseWorkspace(text, back, error)) << error.toStdString();
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].spec, windows[0].spec);
    EXPECT_EQ(back[0].state, windows[0].state);
    EXPECT_EQ(back[1].plugin, QStringLiteral("Other"));
    EXPECT_FALSE(back[1].state.has_value());
    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    EXPECT_TRUE(ParseWorkspace(crlf, back, error)) << "an editor's line ends are no damage";

    // The reader trims each value: blanks at the ends of a name or spec still come back.
    const QList<SWorkspaceWindow> blanks = {{QStringLiteral(" Quillpad2 "), "  sim: ", {}},
                                            {QStringLiteral("Q"), "tcp:a b:23 ", {}}};
    ASSERT_TRUE(ParseWorkspace(SerializeWorkspace(blanks), back, error)) << error.toStdString();
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].plugin, blanks[0].plugin);
    EXPECT_EQ(back[0].spec, blanks[0].spec);
    EXPECT_EQ(back[1].spec, blanks[1].spec);

    const char* damaged[] = {
        "",                                                           // empty
        "[Window 1]\nPlugin=Q\n",                                     // no header
        "[Workspace]\nVersion=9\nWindows=0\n",                        // unknown version
        "[Workspace]\nVersion=1\nWindows=2\n[Window 1]\nPlugin=Q\n",  // cut short
        "[Workspace]\nVersion=1\nWindows=1\n[Window 1]\nPlugin=Q\nState=@@@\n",
        "[Workspace]\nVersion=1\nWindows=1\n[Window 2]\nPlugin=Q\n",
        "[Workspace]\nVersion=1\nWindows=1\n[Window 1]\nConnection=sim:\n",
        "[Workspace]\nVersion=1\nWindows=1\n[Window 1]\nPlugin=Q\njunk\n",
        "[Workspace]\nVersion=1\nWindows=0\n[Other]\n",
        "[Workspace\nVersion=1\nWindows=0\n",
    };
    for (const char* bad : damaged) {
        error.clear();
        EXPECT_FALSE(ParseWorkspace(QByteArray(bad), back, error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
        EXPECT_TRUE(back.isEmpty()) << bad;
    }
}

// Killed (SIGKILL) a few hundred times in the middle of saving, the host
// leaves the old workspace or the new one, whole, and still private.
TEST(WorkbayWorkspace, AKilledSaveLeavesTheOldFileOrTheNewOneWhole) {
    CSaveFolder dir;
    ASSERT_TRUE(dir.Made());
    const std::string path = dir.File("workspace.ini");
    const auto saves = KillWhileSaving(
        path,
        [&](int version) {
            QList<SWorkspaceWindow> windows;
            for (int i = 0; i < (version == 0 ? 2 : 12); ++i) {
                SWorkspaceWindow window;
                window.plugin = QStringLiteral("Quillpad2");
                window.spec = "serial:/dev/ttyUSB" + QByteArray::number(i) + ",115200,8N1";
                window.state = QByteArray(2000 + i, static_cast<char>('A' + i));
                windows.push_back(window);
            }
            return CWorkspaceFile(path).Save(windows);
        },
        KillRounds(80), 4);
    EXPECT_GT(saves.oldKept, 0) << "no kill came before the new file was in place";
    EXPECT_GT(saves.newWhole, 0) << "no save ever ended";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace quillpad::test
