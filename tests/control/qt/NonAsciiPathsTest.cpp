// File names that are not ASCII, through the real choosers: a home, data
// folder and log folder whose names hold "Ü" and "日本". Each chooser must
// start in the folder as the file system names it and give back the chosen
// name's bytes, unchanged.

#include <gtest/gtest.h>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "control/qt/CLogFilesDialog.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/ControlLogging.h"
#include "control/qt/IControlUi.h"
#include "data/DataStore.h"
#include "input/qt/CShortcutSetupDlg.h"
#include "platform/Clock.h"
#include "platform/MessageChannel.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

// The test's own decoding of its UTF-8 literals, apart from the code's.
QString U(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// What a file chooser showed when it came up.
struct SChooserSeen {
    QString title;
    QStringList filters;
    QString folder;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen;
};

// Answers the next file chooser by picking `pick` (a name in its folder or
// a whole path); an empty `pick` cancels.
void PickInNextChooser(SChooserSeen& seen, const QString& pick, bool* answered = nullptr) {
    test::AnswerNextModal<QFileDialog>(
        [&seen, pick](QFileDialog& dialog) {
            seen.title = dialog.windowTitle();
            seen.filters = dialog.nameFilters();
            seen.folder = dialog.directory().absolutePath();
            seen.mode = dialog.fileMode();
            seen.accept = dialog.acceptMode();
            if (pick.isEmpty()) {
                dialog.reject();
                return;
            }
            dialog.selectFile(pick);
            // QFileDialog's own accept, which is protected there.
            static_cast<QDialog&>(dialog).accept();
            // A name it refused brings up a box of its own: that and the
            // chooser are closed, as a user would give up.
            QTimer::singleShot(200, [chooser = QPointer<QFileDialog>(&dialog)] {
                while (chooser && chooser->isVisible()) {
                    QWidget* modal = QApplication::activeModalWidget();
                    if (modal == nullptr || modal == chooser) {
                        chooser->reject();
                        break;
                    }
                    modal->close();
                }
            });
        },
        answered);
}

class NonAsciiPaths : public ::testing::Test, protected test::SFakeSessionRig {
  protected:
    NonAsciiPaths() {
        // A chooser left open would hang the test: after a while every
        // modal window is closed, and the test fails on what it expected.
        watchdog.setInterval(3000);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            while (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "left open: " << modal->metaObject()->className() << " "
                              << modal->windowTitle().toStdString();
                if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                    dialog->reject();
                } else {
                    modal->close();
                }
                QApplication::processEvents();
            }
        });
        watchdog.start();
        std::filesystem::create_directories(logs);
        if (const char* old = std::getenv("WORKBAY_HOME")) {
            oldHome = old;
        }
        ::setenv("WORKBAY_HOME", home.c_str(), 1);
    }
    ~NonAsciiPaths() override {
        control.reset();
        if (oldHome) {
            ::setenv("WORKBAY_HOME", oldHome->c_str(), 1);
        } else {
            ::unsetenv("WORKBAY_HOME");
        }
    }
    // A control with the real choosers and a fake session.
    void MakeControl() {
        SControlServices services;
        Wire(services.session);
        services.ui = std::make_unique<CQtControlUi>();
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(400, 200);
    }
    // A binary log of one incoming text.
    void WriteLog(const std::string& path, const char* text) {
        CManualClock clock(5000, 1'700'000'000);
        CQueuedChannel channel;
        CDataStore store(channel, clock);
        store.AddIncomingBytes(0, text);
        ASSERT_TRUE(store.SaveBinaryLog(path));
    }

    test::CTempDir dir;
    const std::string home = dir.File("Ü日本 home");
    const std::string logs = home + "/Messungen 日本";
    std::optional<std::string> oldHome;
    QTimer watchdog;
    std::unique_ptr<CQuillpad2Ctrl> control;
};

TEST_F(NonAsciiPaths, TheOpenChooserStartsInTheFolderAndGivesBackTheFilesBytes) {
    const std::string file = logs + "/Übersicht.wblog";
    test::WriteFileBytes(file, "x");
    CQtControlUi ui;
    SChooserSeen seen;
    bool answered = false;
    PickInNextChooser(seen, U("Übersicht.wblog"), &answered);
    const auto chosen = ui.ChooseFileToOpen(QStringLiteral("Workbay Log Files (*.wblog)"),
                                            QStringLiteral("wblog"), logs, nullptr);
    ASSERT_TRUE(answered);
    EXPECT_EQ(seen.title, "Open");
    EXPECT_EQ(seen.folder.toStdString(), logs);
    EXPECT_EQ(seen.filters, QStringList{QStringLiteral("Workbay Log Files (*.wblog)")});
    EXPECT_EQ(seen.mode, QFileDialog::ExistingFile);
    EXPECT_EQ(seen.accept, QFileDialog::AcceptOpen);
    EXPECT_EQ(chosen, std::optional<std::string>(file));

    PickInNextChooser(seen, QString());
    EXPECT_EQ(ui.ChooseFileToOpen(QStringLiteral("All Files (*)"), QString(), logs, nullptr),
              std::nullopt);
}

TEST_F(NonAsciiPaths, TheSaveChooserTakesANewNameInTheFolderAndAsksNothing) {
    CQtControlUi ui;
    SChooserSeen seen;
    bool answered = false;
    PickInNextChooser(seen, U("Empfang 日本.txt"), &answered);
    const auto chosen = ui.ChooseFileToSave(QStringLiteral("All Files (*)"), logs, nullptr);
    ASSERT_TRUE(answered);
    EXPECT_EQ(seen.title, "Save As");
    EXPECT_EQ(seen.folder.toStdString(), logs);
    EXPECT_EQ(seen.filters, QStringList{QStringLiteral("All Files (*)")});
    EXPECT_EQ(seen.accept, QFileDialog::AcceptSave);
    EXPECT_EQ(chosen, std::optional<std::string>(logs + "/Empfang 日本.txt"));
}

TEST_F(NonAsciiPaths, TheOverwriteQuestionNamesTheFileAsItIsCalled) {
    CQtControlUi ui;
    QString title;
    QString text;
    test::AnswerNextModal<QMessageBox>([&](QMessageBox& box) {
        title = box.windowTitle();
        text = box.text();
        box.button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(ui.ConfirmOverwrite(logs + "/Übersicht.wblog", nullptr));
    EXPECT_EQ(title, "Confirm Save As");
    EXPECT_EQ(text, U(logs + "/Übersicht.wblog already exists.\nDo you want to replace it?"));
}

// "Select Folder..." in the real Log Files dialog: the browser starts in the
// log folder, and the files named afterwards lie in the folder chosen.
TEST_F(NonAsciiPaths, SelectFolderLogsIntoTheFolderChosen) {
    const std::string target = home + "/Ziel Ü";
    std::filesystem::create_directories(target);
    CQuillpadSettings settings;
    settings.m_logFolder = logs;
    settings.m_logAsBinaryLog = true;
    CQtControlUi ui;
    QString shownBefore;
    QString shownAfter;
    SChooserSeen seen;
    bool browsed = false;
    test::AnswerNextModal<CLogFilesDialog>([&](CLogFilesDialog& dialog) {
        auto* binary = qobject_cast<QLineEdit*>(dialog.Control(212));
        shownBefore = binary->text();
        PickInNextChooser(seen, U(target), &browsed);
        dialog.SelectFolder();
        qobject_cast<QLineEdit*>(dialog.Control(210))->setText(U("Übersicht"));
        shownAfter = binary->text();
        dialog.accept();
    });
    const std::optional<SLogRequest> request = ui.RunLogFilesDialog(settings, nullptr);
    ASSERT_TRUE(browsed);
    EXPECT_EQ(seen.title, "Select Log Folder");
    EXPECT_EQ(seen.folder.toStdString(), logs);
    EXPECT_TRUE(shownBefore.startsWith(U(logs + "/"))) << shownBefore.toStdString();
    EXPECT_TRUE(shownAfter.startsWith(U(target + "/"))) << shownAfter.toStdString();
    EXPECT_TRUE(shownAfter.endsWith(U(" - Übersicht.wblog"))) << shownAfter.toStdString();
    EXPECT_EQ(settings.m_logFolder, target);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->quickName, "Übersicht");
    EXPECT_EQ(std::filesystem::path(request->binaryPath).parent_path(), target);
    EXPECT_TRUE(request->binaryPath.ends_with(" - Übersicht.wblog")) << request->binaryPath;
}

// "Load Workbay Log..." through the control and the real chooser: the log in
// a folder named with "Ü" and "日本" is loaded for review.
TEST_F(NonAsciiPaths, LoadWorkbayLogReviewsALogInsideTheFolders) {
    const std::string file = logs + "/Übersicht.wblog";
    WriteLog(file, "gelesen");
    MakeControl();
    control->Settings().m_logFolder = logs;
    SChooserSeen seen;
    bool answered = false;
    PickInNextChooser(seen, U("Übersicht.wblog"), &answered);
    control->OnCommand(cmd::LoadLog);
    ASSERT_TRUE(answered);
    EXPECT_EQ(seen.folder.toStdString(), logs);
    EXPECT_EQ(control->Logging().Review(), CControlLogging::EReview::Reviewing);
    ASSERT_EQ(control->Store()->RecordCount(), 1u);
    EXPECT_EQ(control->Store()->Record(0)->bytes, "gelesen");
    EXPECT_TRUE(shown->empty()) << "no \"Error Loading\" box";
}

// "Edit Sequence Keys..." with the real dialog and its chooser: Browse starts
// in the data folder and a new name there becomes the key set's file.
TEST_F(NonAsciiPaths, ShortcutSetupBrowsesTheDataFolderToANewKeySet) {
    MakeControl();
    const std::string data = control->Settings().m_dataDirectory;
    ASSERT_EQ(data, home + "/Quillpad Data");
    SChooserSeen seen;
    bool browsed = false;
    QString fileBox;
    test::AnswerNextModal<CShortcutSetupDlg>([&](CShortcutSetupDlg& dialog) {
        PickInNextChooser(seen, U("Tasten 日本"), &browsed);
        dialog.Browse();
        fileBox = dialog.FileNameBox()->text();
        dialog.accept();
    });
    control->OnCommand(cmd::EditSequenceKeys);
    ASSERT_TRUE(browsed);
    EXPECT_EQ(seen.title, "Open");
    EXPECT_EQ(seen.folder.toStdString(), data);
    EXPECT_EQ(seen.filters, QStringList{QStringLiteral("Sequence Keyset Files (*.keyset)")});
    const std::string keySet = data + "/Tasten 日本.keyset";
    EXPECT_EQ(fileBox, U(keySet));
    EXPECT_EQ(control->KeySet().GetPath(), keySet);
    EXPECT_EQ(control->Settings().m_keySetPath, keySet);
    EXPECT_TRUE(std::filesystem::is_regular_file(keySet));
}

// A key set file outside the data folder is asked about, in the real box.
TEST_F(NonAsciiPaths, TheKeySetQuestionIsTheContinueBox) {
    CQtShortcutSetupUi ui;
    QString title;
    QString text;
    test::AnswerNextModal<QMessageBox>([&](QMessageBox& box) {
        title = box.windowTitle();
        text = box.text();
        box.button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(ui.ConfirmOutsideDataDirectory(nullptr));
    EXPECT_EQ(title, "Continue?");
    EXPECT_TRUE(text.startsWith("Only keyset files found in the Quillpad Data directory"));
}

}  // namespace
}  // namespace quillpad
