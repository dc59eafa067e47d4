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

// Incoming own text, own typed data, another source's data; 3 s apart.
std::string RenderFile() {
    test::CZoneGuard utc("UTC0");
    return LogHeader(1'700'000'000, 1000) + LogRecord(1, 0, 1000, 0, 1, 1, "ok\r\n\x01") +
           LogRecord(1, 1, 1100, 0, 2, 1, "typed\r") + LogRecord(1, 2, 4000, 9, 1, 2, "x<y") +
           LogRecord(1, 3, 4100, 0, 1, 1, "\xe9\r\n");
}

TEST_F(QuillpadLogTest, RenderTextIsTheFormattedLogOfTheRecords) {
    const std::string path = dir.File("r.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, RenderFile()));
    const SRun plain = Run("render " + Quoted(path));
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "ok\n[01h][E9h]\n")
        << "Normal of set B; own outgoing hidden, others filtered";

    const SRun all = Run("render --show-all-sources --timestamps " + Quoted(path));
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out,
              "[22:13:20 11-14-2023]\nok\n[01h]"
              "\n[22:13:23 11-14-2023]\nx<y[E9h]\n");

    // The plain log of the same records: their bytes exactly, same filter and stamps.
    const SRun raw = Run("render --as plain " + Quoted(path));
    EXPECT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(raw.out, "ok\r\n\x01typed\r\xe9\r\n");
    const SRun rawAll = Run("render --as plain --show-all-sources --timestamps " + Quoted(path));
    EXPECT_EQ(rawAll.out,
              "[22:13:20 11-14-2023]\nok\r\n\x01typed\r"
              "\n[22:13:23 11-14-2023]\nx<y\xe9\r\n");

    const SRun hex = Run("render --builtin 'Hex Mode' " + Quoted(path));
    EXPECT_EQ(hex.out,
              "[6Fh][6Bh][0Dh]\r[0Ah]\n[01h][74h][79h][70h][65h][64h][0Dh]\r[E9h][0Dh]\r[0Ah]\n");
    const SRun setA = Run("render --set A --builtin 'High Performance' " + Quoted(path));
    EXPECT_EQ(setA.out, "ok\n\x01typed\n\xe9\n");
}

// Recorded on 2021-12-31 from 23:59:59, 500 ms below the wrap of the tick
// counter; its first record comes 244 ms after the log's start.
std::string NewYearFile() {
    test::CZoneGuard utc("UTC0");
    return LogHeader(1'640'995'199, 0xFFFFFE0Cu) + LogRecord(1, 0, 0xFFFFFF00u, 0, 1, 1, "a\r\n") +
           LogRecord(1, 1, 0x00000100u, 0, 1, 1, "b\r\n") +
           LogRecord(1, 2, 0x00000500u, 0, 1, 1, "c");
}

TEST_F(QuillpadLogTest, RenderStampsEveryLineInEachFormAcrossTheWrapAndMidnight) {
    const std::string path = dir.File("newyear.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, NewYearFile()));
    const SRun absolute = Run("render --stamps absolute " + Quoted(path));
    EXPECT_EQ(absolute.status, 0) << absolute.err;
    EXPECT_EQ(absolute.out, "23:59:59.244 a\n23:59:59.756 b\n00:00:00.780 c")
        << "the log's own day and times";
    const SRun start = Run("render --stamps start " + Quoted(path));
    EXPECT_EQ(start.out, "+0.000 a\n+0.512 b\n+1.536 c") << "from the log's first record";
    const SRun delta = Run("render --stamps delta " + Quoted(path));
    EXPECT_EQ(delta.out, "+0.000 a\n+0.512 b\n+1.024 c");
    const SRun plain = Run("render --as plain --stamps delta " + Quoted(path));
    EXPECT_EQ(plain.out, "+0.000 a\r\n+0.512 b\r\n+1.024 c") << "CR LF ends one line";
}

TEST_F(QuillpadLogTest, RenderStampsBurstsWhereTheStyleHidesTheLines) {
    const std::string path = dir.File("bursts.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, LogHeader(1'640'995'199, 0x1000u) +
                                               LogRecord(1, 0, 0x1000u, 0, 1, 1, "ab") +
                                               LogRecord(1, 1, 0x1000u + 100, 0, 1, 1, "cd") +
                                               LogRecord(1, 2, 0x1000u + 201, 0, 1, 1, "e\n")));
    const SRun hex = Run("render --builtin 'Hex Mode' --stamps start " + Quoted(path));
    EXPECT_EQ(hex.status, 0) << hex.err;
    EXPECT_EQ(hex.out, "+0.000 [61h][62h][63h][64h]\n+0.201 [65h][0Ah]\n")
        << "100 ms is no gap, 101 ms is; the burst starts a line of its own";
    const SRun fine = Run("render --builtin 'Hex Mode' --stamps delta --gap 50 " + Quoted(path));
    EXPECT_EQ(fine.out, "+0.000 [61h][62h]\n+0.100 [63h][64h]\n+0.101 [65h][0Ah]\n");
    const SRun lines = Run("render --stamps start --gap 50 " + Quoted(path));
    EXPECT_EQ(lines.out, "+0.000 abcde") << "a style with lines keeps line stamps";
    for (const char* bad : {"0", "-5", "ten", "99999999999"}) {
        const SRun refused =
            Run(std::string("render --stamps start --gap ") + bad + " " + Quoted(path));
        EXPECT_EQ(refused.status, 1) << bad;
        EXPECT_NE(refused.err.find("--gap takes a number of milliseconds"), std::string::npos)
            << refused.err;
    }
}

TEST_F(QuillpadLogTest, RenderStampsGoWhereTheLogsPutThem) {
    const std::string path = dir.File("r.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, RenderFile()));
    // The hidden typed record starts nothing; line stamps stand in for --timestamps.
    const SRun text = Run("render --timestamps --stamps start " + Quoted(path));
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "+0.000 ok\n+0.000 [01h][E9h]\n");
    const SRun raw = Run("render --as plain --show-all-sources --stamps delta " + Quoted(path));
    EXPECT_EQ(raw.out, "+0.000 ok\r\n+0.000 \x01typed\r+3.000 x<y\xe9\r\n")
        << "a lone CR ends a line too";
}

TEST_F(QuillpadLogTest, RenderRefusesBadStampsAsAUsageError) {
    const std::string path = dir.File("r.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, RenderFile()));
    const SRun bad = Run("render --stamps hourly " + Quoted(path));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("--stamps takes absolute, start or delta, not \"hourly\""),
              std::string::npos)
        << bad.err;
    EXPECT_NE(bad.err.find("[--stamps absolute|start|delta]"), std::string::npos) << bad.err;
    EXPECT_EQ(Run("render " + Quoted(path) + " --stamps").status, 1) << "no value";
    const SRun html = Run("render --as html --stamps start " + Quoted(path));
    EXPECT_EQ(html.status, 1);
    EXPECT_NE(html.err.find("--stamps goes with --as text or --as plain"), std::string::npos);
    const SRun help = Run("--help");
    EXPECT_NE(help.out.find("[--stamps absolute|start|delta]"), std::string::npos);
}

TEST_F(QuillpadLogTest, RenderAnsiAndHtmlDrawTheRuns) {
    const std::string path = dir.File("r.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, RenderFile()));
    const SRun ansi = Run("render --as ansi " + Quoted(path));
    EXPECT_EQ(ansi.status, 0);
    EXPECT_NE(ansi.out.find("\x1b[38;2;255;0;0m\x1b[1m\x1b[K\n[01h]"), std::string::npos)
        << ansi.out;
    const SRun html = Run("render --as html --show-all-sources " + Quoted(path));
    EXPECT_EQ(html.out.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.out.find("x&lt;y"), std::string::npos);
}

TEST_F(QuillpadLogTest, RenderRefusesUnknownStylesWithStatusTwo) {
    const std::string path = dir.File("r.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, RenderFile()));
    const SRun unknown = Run("render --builtin Fancy " + Quoted(path));
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("no built-in style named \"Fancy\""), std::string::npos);
    EXPECT_EQ(unknown.out, "");
    const SRun missing = Run("render --style " + Quoted(dir.File("none.tss")) + " " + Quoted(path));
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read style file"), std::string::npos);
    EXPECT_EQ(Run("render --as pdf " + Quoted(path)).status, 1);
    EXPECT_EQ(Run("render --style").status, 1);
}

TEST_F(QuillpadLogTest, StyleFilesDriveRenderAndShow) {
    const std::string log = dir.File("r.wblog");
    ASSERT_TRUE(test::WriteFileBytes(log, RenderFile()));
    const std::string tss = dir.File("mine.tss");
    ASSERT_TRUE(test::WriteFileBytes(
        tss,
        "[Scheme1.Info]\r\nName=Mine\r\nBackgroundColor=255\r\n\r\n"
        "[Scheme1.Rule1]\r\nName=CR as name\r\nCharRange_MatchValue=4\r\n"
        "CharRange_CustomValues=0D,0A\r\nFormat_ApplyFormat=TRUE\r\nFormat_CharacterFormat=3\r\n"
        "\r\n"));
    const SRun rendered = Run("render --style " + Quoted(tss) + " " + Quoted(log));
    EXPECT_EQ(rendered.status, 0) << rendered.err;
    EXPECT_EQ(rendered.out, "ok[CR][LF]\x01typed[CR]\xe9[CR][LF]");

    const SRun shown = Run("style show " + Quoted(tss));
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("Name: Mine\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("BackgroundColor: 255 (0x0000FF)"), std::string::npos);
    EXPECT_NE(shown.out.find("CharRange_CustomValues: 0D,0A (2 values)"), std::string::npos);
    EXPECT_NE(shown.out.find("Format_FontSize: 12\n"), std::string::npos) << "the reader's default";
    EXPECT_EQ(Run("style show " + Quoted(dir.File("no.tss"))).status, 2);
}

TEST_F(QuillpadLogTest, StyleNewWritesABuiltinAsAStyleSheetAndShowReadsItBack) {
    const std::string tss = dir.File("hex.tss");
    const SRun made = Run("style new --from 'Hex Mode' --set A " + Quoted(tss));
    EXPECT_EQ(made.status, 0) << made.err;
    const std::string text = test::ReadFileBytes(tss);
    EXPECT_EQ(text.rfind("[Scheme1.Info]\r\nName=Hex Mode\r\nDescription=\r\nBackgroundColor=0\r\n"
                         "LineWrap=TRUE\r\n\r\n[Scheme1.Rule1]\r\nName=Others outgoing hex\r\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("[Scheme1.Rule4]\r\nName=My incoming\r\n"), std::string::npos);
    EXPECT_TRUE(
        text.ends_with("Format_InsertCRLFIfTranslated=TRUE\r\n\r\n[Scheme1.Rule5]\r\n\r\n"));
    const SRun shown = Run("style show " + Quoted(tss));
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("Name: Hex Mode\nDescription: \nBackgroundColor: 0 (0x000000)\n"
                             "LineWrap: TRUE\nRules: 4\n"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("  Format_FontSize: 240\n"), std::string::npos);

    const SRun again = Run("style new --from Normal " + Quoted(tss));
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("exists; not overwritten"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(tss), text);
    const SRun unknown = Run("style new --from 'High Performance' " + Quoted(dir.File("hp.tss")));
    EXPECT_EQ(unknown.status, 2) << "set B has no such style";
    EXPECT_NE(unknown.err.find("no built-in style named \"High Performance\" in set B"),
              std::string::npos);
    EXPECT_TRUE(test::ReadFileBytes(dir.File("hp.tss")).empty());
    EXPECT_EQ(Run("style new " + Quoted(dir.File("x.tss"))).status, 1);
    EXPECT_EQ(Run("style new --from Normal --set C " + Quoted(dir.File("x.tss"))).status, 1);
    EXPECT_EQ(Run("style new --from Normal").status, 1);
    const SRun noFolder = Run("style new --from Normal " + Quoted(dir.File("none/x.tss")));
    EXPECT_EQ(noFolder.status, 2);
    EXPECT_NE(noFolder.err.find("cannot create"), std::string::npos) << noFolder.err;
}

// Traffic where what is looked for is split over records and directions.
std::string FindFile() {
    test::CZoneGuard utc("UTC0");
    return LogHeader(1'700'000'000, 1000) + LogRecord(1, 0, 1250, 0, 1, 1, "boot ERR") +
           LogRecord(1, 1, 1300, 0, 2, 1, "status\r") +
           LogRecord(1, 2, 2007, 0, 1, 1, "OR: 12\r\n") +
           LogRecord(1, 3, 3000, 0, 1, 1, std::string("\x55\xAA\0 ERROR: 7\r\n", 14));
}

TEST_F(QuillpadLogTest, FindPrintsEveryMatchWithItsTimeDirectionAndOffset) {
    const std::string path = dir.File("find.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, FindFile()));
    const SRun text = Run("find '\\r\\n' " + Quoted(path));
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out,
              "2023-11-14 22:13:21.007 in 21 \\r\\n\n"
              "2023-11-14 22:13:22.000 in 35 \\r\\n\n")
        << text.out;
    EXPECT_EQ(Run("find 's\\r' " + Quoted(path)).out, "2023-11-14 22:13:20.300 out 13 s\\r\n");
    // Incoming only: the error split by the outgoing record is one match.
    const SRun in = Run("find --regex --direction in 'ERR(OR)?:\\s+\\d+' " + Quoted(path));
    EXPECT_EQ(in.status, 0) << in.err;
    EXPECT_EQ(in.out,
              "2023-11-14 22:13:20.250 in 5 ERROR: 12\n"
              "2023-11-14 22:13:22.000 in 27 ERROR: 7\n");
    const SRun both = Run("find --regex --count 'ERR(OR)?:\\s+\\d+' " + Quoted(path));
    EXPECT_EQ(both.out, "1\n");
    const SRun hex = Run("find --hex '55 aa 00' " + Quoted(path));
    EXPECT_EQ(hex.out, "2023-11-14 22:13:22.000 in 23 U\\xaa\\x00\n");
    const SRun folded = Run("find --ignore-case --count 'error' " + Quoted(path));
    EXPECT_EQ(folded.out, "1\n");
    EXPECT_EQ(folded.status, 0);
}

TEST_F(QuillpadLogTest, FindSaysNotFoundBadPatternAndBadFileApart) {
    const std::string path = dir.File("find.wblog");
    ASSERT_TRUE(test::WriteFileBytes(path, FindFile()));
    const SRun none = Run("find --count WARNING " + Quoted(path));
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "0\n");
    EXPECT_EQ(Run("find --direction out ERR " + Quoted(path)).status, 1);
    const SRun bad = Run("find --regex 'ERR(' " + Quoted(path));
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("bad pattern: Missing closing parenthesis"), std::string::npos)
        << bad.err;
    EXPECT_EQ(Run("find --hex 5 " + Quoted(path)).status, 2);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("notes.txt"), "not a log"));
    const SRun file = Run("find ERR " + Quoted(dir.File("notes.txt")));
    EXPECT_EQ(file.status, 2);
    EXPECT_NE(file.err.find("Error loading specified log file."), std::string::npos);
    EXPECT_EQ(Run("find ERR").status, 2);
    EXPECT_EQ(Run("find --hex --regex 55 " + Quoted(path)).status, 2);
    EXPECT_EQ(Run("find --direction up ERR " + Quoted(path)).status, 2);
}

}  // namespace
}  // namespace quillpad
