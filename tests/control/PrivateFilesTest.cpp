// What was typed at a device or received from it is the user's alone: on a
// fresh home every file that holds it is created 0600 and every folder the
// program makes for it 0700, whatever the umask lets through; a file that
// already exists keeps the mode its owner gave it.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "control/CQuillpadSettings.h"
#include "data/DataStore.h"
#include "data/LogRequest.h"
#include "input/HistoryFile.h"
#include "platform/CRegistryStore.h"
#include "platform/FileIO.h"
#include "platform/MessageChannel.h"
#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

// The permission bits, or -1 when the path does not exist.
int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// A permissive umask for the test's length: what is private must not rely on it.
class CUmask {
  public:
    explicit CUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~CUmask() { ::umask(m_old); }
    CUmask(const CUmask&) = delete;
    CUmask& operator=(const CUmask&) = delete;

  private:
    mode_t m_old;
};

// WORKBAY_HOME at a folder that does not exist yet, two levels down.
class PrivateFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("WORKBAY_HOME")) {
            m_old = old;
        }
        ::setenv("WORKBAY_HOME", home.c_str(), 1);
    }
    void TearDown() override {
        if (m_old.empty()) {
            ::unsetenv("WORKBAY_HOME");
        } else {
            ::setenv("WORKBAY_HOME", m_old.c_str(), 1);
        }
    }

    CUmask umask{0};
    test::CTempDir dir;
    const std::string home = dir.File("users/Workbay");

  private:
    std::string m_old;
};

TEST_F(PrivateFiles, AFreshHomeKeepsHistoryLogsAndTheRegistryPrivate) {
    const CQuillpadSettings settings;
    EXPECT_EQ(Mode(dir.File("users")), 0700);
    EXPECT_EQ(Mode(home), 0700);
    EXPECT_EQ(Mode(settings.m_dataDirectory), 0700);
    EXPECT_EQ(Mode(settings.m_logsDirectory), 0700);

    const std::string history = PathCombine(settings.m_dataDirectory, "Command History.txt");
    ASSERT_TRUE(WriteHistoryFile(history, {ByteString("login admin"), ByteString("secret")}));
    EXPECT_EQ(Mode(history), 0600);

    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    ASSERT_EQ(store.CreateKey("Software\\Korvane\\Workbay"), ERegistryStatus::Success)
        << store.LastError();
    EXPECT_EQ(Mode(PathFolder(store.FilePath())), 0700);
    EXPECT_EQ(Mode(store.FilePath()), 0600);
    for (const auto& entry : std::filesystem::directory_iterator(PathFolder(store.FilePath()))) {
        EXPECT_EQ(Mode(entry.path().string()), 0600) << entry.path() << ": the lock file too";
    }

    CQueuedChannel channel;
    CDataStore data(channel);
    data.AddIncomingBytes(0, "Password: hunter2\r\n");
    SLogRequest request;
    request.plainEnabled = request.formattedEnabled = request.binaryEnabled = true;
    request.plainPath = PathCombine(settings.m_logsDirectory, "live.txt");
    request.formattedPath = PathCombine(settings.m_logsDirectory, "live.rtf.txt");
    request.binaryPath = PathCombine(settings.m_logsDirectory, "live.wblog");
    EXPECT_EQ(data.StartLogging(request), 0u) << "files failed";
    data.AddIncomingBytes(0, "more\r\n");
    data.StopLogging();
    for (const std::string* path :
         {&request.plainPath, &request.formattedPath, &request.binaryPath}) {
        EXPECT_EQ(Mode(*path), 0600) << *path;
    }
    request.plainPath = PathCombine(settings.m_logsDirectory, "saved.txt");
    request.formattedPath = PathCombine(settings.m_logsDirectory, "saved.rtf.txt");
    request.binaryPath = PathCombine(settings.m_logsDirectory, "saved.wblog");
    EXPECT_EQ(data.SaveBuffer(request), 0u) << "files failed";
    for (const std::string* path :
         {&request.plainPath, &request.formattedPath, &request.binaryPath}) {
        EXPECT_EQ(Mode(*path), 0600) << *path;
    }
}

TEST_F(PrivateFiles, AnExistingFileOrFolderKeepsItsMode) {
    ASSERT_TRUE(EnsureFolder(home));  // shared: the umask of 0 lets everything through
    ASSERT_EQ(Mode(home), 0777);
    const CQuillpadSettings settings;
    EXPECT_EQ(Mode(home), 0777) << "an existing folder was changed";
    EXPECT_EQ(Mode(settings.m_dataDirectory), 0700);

    const std::string history = PathCombine(settings.m_dataDirectory, "Command History.txt");
    const std::string log = PathCombine(settings.m_logsDirectory, "shared.txt");
    for (const std::string& path : {history, log}) {
        ASSERT_TRUE(WriteFileAtomically(path, "old"));
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    }
    ASSERT_TRUE(WriteHistoryFile(history, {ByteString("ls")}));
    EXPECT_EQ(Mode(history), 0644);
    CQueuedChannel channel;
    CDataStore data(channel);
    data.AddIncomingBytes(0, "x");
    SLogRequest request;
    request.plainEnabled = true;
    request.plainPath = log;
    EXPECT_EQ(data.SaveBuffer(request), 0u) << "files failed";
    EXPECT_EQ(Mode(log), 0644);
    EXPECT_EQ(test::ReadFileBytes(log), "x");

    // A shared file is still the umask's to decide.
    const std::string sheet = PathCombine(settings.m_dataDirectory, "a.tss");
    ASSERT_TRUE(WriteFileAtomically(sheet, "[Scheme]\n"));
    EXPECT_EQ(Mode(sheet), 0666);
}

}  // namespace
}  // namespace quillpad
