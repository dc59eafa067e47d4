// Runs the built quillpad-log on files made here and checks what it prints.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/data/LogTestSupport.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::Le32;
using test::LogHeader;
using test::LogRecord;

struct SRun {
    int status = -1;
    std::string out;
    std::string err;
};

class QuillpadLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The test binary is <build>/tests/quillpad_core_tests.
        const char* binaryDir = std::getenv("QUILLPAD_BINARY_DIR");
        const std::filesystem::path build =
            binaryDir ? std::filesystem::path(binaryDir)
                      : std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
        m_tool = (build / "tools" / "quillpad-log").string();
        ASSERT_FALSE(test::ReadFileBytes(m_tool).empty()) << "build quillpad-log first";
    }

    SRun Run(const std::string& arguments) {
        const std::string outFile = dir.File("stdout");
        const std::string errFile = dir.File("stderr");
        // The tool prints local time; UTC makes the expected text fixed.
        const std::string command =
            "TZ=UTC0 '" + m_tool + "' " + arguments + " >'" + outFile + "' 2>'" + errFile + "'";
        SRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = test::ReadFileBytes(outFile);
        run.err = test::ReadFileBytes(errFile);
        return run;
    }

    std::string Quoted(const std::string& path) { return "'" + path + "'"; }

    test::CTempDir dir;

  private:
    std::string m_tool;
};

// 2023-11-14 22:13:20 UTC, start tick 4294966796 (500 ms below the wrap).
std::string SessionFile() {
    test::CZoneGuard utc("UTC0");
    return LogHeader(1'700'000'000, 0xFFFFFE0Cu) +
           LogRecord(1, 17, 0xFFFFFE0Cu + 250, 0, 1, 1, std::string("AT\r\n\0\xFF\\", 7)) +
           LogRecord(2, 0, 0, 0, 0, 0, "") + LogRecord(1, 30, 1'250, 42, 2, 2, "");
}

TEST_F(QuillpadLogTest, JsonDumpPrintsHeaderAndRenumberedRecords) {
    const std::string path = dir.File("session.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, SessionFile()));
    const SRun run = Run("dump --json " + Quoted(path));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "{\"name\":\"Workbay Binary Console Log File\",\"version\":1,"
              "\"start\":\"2023-11-14T22:13:20\",\"start_tick\":4294966796}\n"
              "{\"seq\":0,\"tick\":4294967046,\"time\":\"2023-11-14T22:13:20.250\",\"owner\":0,"
              "\"direction\":1,\"source\":1,\"length\":7,\"data\":\"41540d0a00ff5c\"}\n"
              "{\"seq\":1,\"tick\":1250,\"time\":\"2023-11-14T22:13:21.750\",\"owner\":42,"
              "\"direction\":2,\"source\":2,\"length\":0,\"data\":\"\"}\n");
}

TEST_F(QuillpadLogTest, TextDumpEscapesEveryNonPrintableByte) {
    const std::string path = dir.File("session.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, SessionFile()));
    const SRun run = Run("dump " + Quoted(path));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "Workbay Binary Console Log File, version 1, start 2023-11-14 22:13:20, "
              "start tick 4294966796, 2 records\n"
              "2023-11-14 22:13:20.250 in  own   7 AT\\r\\n\\x00\\xff\\\\\n"
              "2023-11-14 22:13:21.750 out other 0 \n");
}

TEST_F(QuillpadLogTest, RefusedFileSaysSoOnStderrWithStatusTwo) {
    const std::string path = dir.File("foreign.wblog");
    std::string header = LogHeader(1'700'000'000, 0);
    header.replace(32, 4, Le32(2));
    ASSERT_TRUE(test::WriteFileBytes(path, header));

    const SRun run = Run("dump --json " + Quoted(path));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("Error loading specified log file.\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("version 2"), std::string::npos) << run.err;

    const SRun missing = Run("dump " + Quoted(dir.File("nothing-here.wblog")));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("Error loading specified log file.\n", 0), 0u);
}

TEST_F(QuillpadLogTest, TruncatedFilePrintsWhatTheLoaderKeptAndWarns) {
    const std::string path = dir.File("cut.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, LogHeader(1'700'000'000, 0) +
                                               LogRecord(1, 0, 0, 0, 1, 1, "kept") +
                                               LogRecord(1, 1, 0, 0, 1, 1, "lost").substr(0, 30)));
    const SRun run = Run("dump --json " + Quoted(path));
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"data\":\"6b657074\""), std::string::npos);
    EXPECT_EQ(run.out.find("\"seq\":1"), std::string::npos);
    EXPECT_NE(run.err.find("warning"), std::string::npos);
}

TEST_F(QuillpadLogTest, BadCommandLinesPrintUsage) {
    for (const char* args : {"", "list x.wblog", "dump", "dump --jsn x.wblog", "dump a b"}) {
        const SRun run = Run(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_NE(run.err.find("usage: quillpad-log dump [--json] FILE.wblog"), std::string::npos)
            << args;
    }
}

}  // namespace
}  // namespace quillpad
