// What the device asks as a secret stays out of the command history: typed
// at the simulated controller's "Password: ", the line reaches the device
// and never the history or its file; and Forget Command History empties both.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <filesystem>

#include "control/Commands.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "platform/CRegistryStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/session/SessionDoubles.h"
#include "tests/support/TempDir.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

class CSecretUi final : public test::CQuietControlUi {
  public:
    bool HandleQuery(int /*type*/, const WideString& /*prompt*/, WideString& answer,
                     QWidget* /*owner*/) override {
        answer = BytesToWide("s3cret-answer");
        return true;
    }
};

class SecretHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        // A history of an earlier test goes before the console that reads it.
        Make();
        control.reset();
        std::filesystem::remove(HistoryFile());
        Make();
    }
    void TearDown() override { control.reset(); }

    void Make() {
        SControlServices services;
        services.session.ui = std::make_unique<test::CRecordingUi>(shown);
        services.ui = std::make_unique<CSecretUi>();
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(500, 300);
        control->show();
        control->IWBSetConnectionParameters("sim:");
        m_historyFile =
            std::filesystem::path(control->Settings().m_dataDirectory) / "Command History.txt";
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->ConsoleOpen(); }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Count("> ") > 0; }, 5000));
    }
    std::string Text() const { return std::string(control->View()->Document().Text()); }
    std::size_t Count(std::string_view words) const {
        const std::string text = Text();
        std::size_t n = 0;
        for (auto at = text.find(words); at != std::string::npos; at = text.find(words, at + 1)) {
            ++n;
        }
        return n;
    }
    // Typed, and waited for until the device has answered it.
    void Type(const char* keys, std::string_view answer) {
        const std::size_t before = Count(answer);
        QTest::keyClicks(control->View(), keys);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Count(answer) > before; }, 5000)) << Text();
    }
    ByteString Sent() const {
        ByteString bytes;
        const CDataStore& store = *control->Store();
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            if (store.Record(i)->direction == 2) {
                bytes += store.Record(i)->bytes;
            }
        }
        return bytes;
    }
    // Known while no console is open, too.
    const std::filesystem::path& HistoryFile() const { return m_historyFile; }

    std::shared_ptr<std::vector<test::SShownBox>> shown =
        std::make_shared<std::vector<test::SShownBox>>();
    std::unique_ptr<CQuillpad2Ctrl> control;

  private:
    std::filesystem::path m_historyFile;
};

TEST_F(SecretHistory, APasswordReachesTheDeviceButNeverTheHistory) {
    Type("login\r", "Password: ");
    Type("hunter2\r", "Logged in.");
    Type("ver\r", "firmware");
    EXPECT_NE(Sent().find("hunter2\r"), ByteString::npos) << "the device got it";
    EXPECT_EQ(control->History().Entries(), (std::vector<ByteString>{"login", "ver"}));

    // Pasted at the prompt, the same.
    Type("login\r", "Password: ");
    control->MessageChannel().Post(control->Handle(), UM_SEND_TEXT, 0, 0,
                                   CPayload::Make(ByteString("pasted-secret\r")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Text().find("Logged in.") != Text().rfind("Logged in."); }));
    // The answer to a secret question (type 3) is not a typed line either.
    WideString answer;
    EXPECT_EQ(control->OnQuery(0, 3, BytesToWide("Key:"), answer, 0), 0);
    EXPECT_EQ(WideToBytes(answer), "s3cret-answer");

    control.reset();  // writes the history file
    const std::string file = test::ReadFileBytes(HistoryFile().string());
    EXPECT_NE(file.find("ver"), std::string::npos);
    for (const char* secret : {"hunter2", "pasted-secret", "s3cret-answer"}) {
        EXPECT_EQ(file.find(secret), std::string::npos) << secret;
    }
}

TEST_F(SecretHistory, ForgetCommandHistoryEmptiesItInMemoryAndOnDisk) {
    Type("ver\r", "firmware");
    Type("info\r", "SIM-000042");
    control.reset();
    ASSERT_TRUE(std::filesystem::exists(HistoryFile()));
    Make();
    ASSERT_EQ(control->History().Entries().size(), 2u);

    control->OnCommand(cmd::ForgetCommandHistory);
    EXPECT_TRUE(control->History().Entries().empty());
    EXPECT_FALSE(std::filesystem::exists(HistoryFile()));
    control.reset();
    Make();
    EXPECT_TRUE(control->History().Entries().empty()) << "nothing came back";
}

}  // namespace
}  // namespace quillpad
