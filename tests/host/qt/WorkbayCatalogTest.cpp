// The plug-in catalog: registered libraries loaded with QPluginLoader, the
// ones that fail left out and reported once, and `workbay --register`.

#include <gtest/gtest.h>

#include "host/qt/CConsoleWindow.h"
#include "host/qt/CPluginCatalog.h"
#include "nxr/NxrRegistry.h"
#include "platform/ClassRegistry.h"
#include "tests/host/qt/WorkbayTestDoubles.h"
#include "tests/support/TempDir.h"

namespace quillpad::test {
namespace {

const QString kTestLibrary = QStringLiteral(WORKBAY_TEST_PLUGIN);

TEST(WorkbayCatalog, RegisterRecordsTheLibraryAndTheCatalogLoadsIt) {
    CWorkbayHome home;
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    QString message;
    ASSERT_EQ(RunServerRegistration(kTestLibrary, false, message), 0) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("WorkbayTest.Console.1")));
    EXPECT_EQ(FindClassLibrary(store, "WorkbayTest.Console.1"), kTestLibrary.toStdString());

    CAnsweringUi ui;
    CPluginCatalog catalog;
    catalog.LoadRegistered(store, ui);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(catalog.Names(), QStringList({"WorkbayTest"}));
    EXPECT_EQ(catalog.DefaultName(), QStringLiteral("WorkbayTest"));
    {
        CWorkbayWindow window(catalog, ui, store, home.File("workspace.ini"));
        CConsoleWindow* console = window.OpenConsole(QStringLiteral("workbaytest"), "sim:");
        ASSERT_NE(console, nullptr);
        EXPECT_EQ(console->Control()->objectName(), QStringLiteral("WorkbayTestControl"));
        EXPECT_EQ(console->PluginName(), QStringLiteral("WorkbayTest"));
    }

    ASSERT_EQ(RunServerRegistration(kTestLibrary, true, message), 0) << message.toStdString();
    CPluginCatalog after;
    after.LoadRegistered(store, ui);
    EXPECT_TRUE(after.Names().isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST(WorkbayCatalog, RegisteringWhatIsNoPluginFails) {
    CWorkbayHome home;
    CTempDir folder;
    WriteFileBytes(folder.File("libnot-a-plugin.so"), "just text");
    QString message;
    EXPECT_NE(RunServerRegistration(QString::fromStdString(folder.File("libnot-a-plugin.so")),
                                    false, message),
              0);
    EXPECT_TRUE(message.contains(QStringLiteral("libnot-a-plugin.so"))) << message.toStdString();
    EXPECT_NE(RunServerRegistration(QStringLiteral("/no/such/libplugin.so"), false, message), 0);
}

TEST(WorkbayCatalog, RegistrationsThatDoNotLoadAreSkippedAndReportedOnce) {
    CHostRig rig;  // its catalog already has the stand-in "Quillpad2"
    QString message;
    ASSERT_EQ(RunServerRegistration(kTestLibrary, false, message), 0);
    ASSERT_TRUE(NxrRegisterPlugin(rig.store, "Ghost", "Ghost.Console.1"));
    ASSERT_EQ(RegisterClassLibrary(rig.store, "Ghost.Console.1", "/no/such/libghost.so"),
              ERegistryStatus::Success);
    ASSERT_TRUE(NxrRegisterPlugin(rig.store, "Classless", "Classless.Console.1"));

    rig.catalog.LoadRegistered(rig.store, rig.ui);
    ASSERT_EQ(rig.ui.messages.size(), 1);
    const QString& text = rig.ui.messages[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("Ghost"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Classless"))) << text.toStdString();
    EXPECT_EQ(rig.ui.messages[0].kind, EWorkbayMessage::Warning);

    EXPECT_EQ(rig.catalog.Names(), QStringList({"Quillpad2", "WorkbayTest"}));
    EXPECT_EQ(rig.catalog.Find(QStringLiteral("ghost")), nullptr);
    EXPECT_EQ(rig.catalog.DefaultName(), QStringLiteral("Quillpad2"));

    // Using the catalog afterwards reports nothing more.
    rig.window->NewConsole();
    EXPECT_EQ(rig.ui.lastOptions.plugins, QStringList({"Quillpad2", "WorkbayTest"}));
    EXPECT_EQ(rig.ui.lastOptions.plugin, QStringLiteral("Quillpad2"));
    rig.window->OpenConsole(QStringLiteral("WorkbayTest"), "sim:");
    EXPECT_EQ(rig.ui.messages.size(), 1);
    RunServerRegistration(kTestLibrary, true, message);
}

}  // namespace
}  // namespace quillpad::test
