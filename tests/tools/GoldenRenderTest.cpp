// The golden renderings: every folder under tests/ref is one case, rendered
// by the built quillpad-log and compared with the expected text and HTML it
// holds. A new case is a new folder (see tests/ref/README.md).
//
// QUILLPAD_REF_UPDATE=1 remakes each case's log from its records.txt and
// writes what the tool prints now as the expected files: for a deliberate
// change, to be read before it is committed.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

namespace fs = std::filesystem;

fs::path RefRoot() {
    return fs::path(quillpad::test::SourceDir()) / "tests" / "ref";
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(RefRoot())) {
        if (entry.is_directory()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Runs a shell command in a folder; its exit status, or -1 when it did not exit.
int RunIn(const fs::path& folder, const std::string& command) {
    const int raw = std::system(("cd " + Quoted(folder.string()) + " && " + command).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The case's own render options, one a line (no shell quoting needed).
std::string CaseOptions(const fs::path& folder) {
    std::ifstream in(folder / "options");
    std::string options;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            options += " " + Quoted(line);
        }
    }
    return options;
}

class GoldenRenderTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        m_tool = (fs::path(quillpad::test::BinaryDir()) / "tools" / "quillpad-log").string();
        ASSERT_TRUE(fs::exists(m_tool)) << "build quillpad-log first";
        m_update = std::getenv("QUILLPAD_REF_UPDATE") != nullptr;
    }

    // Renders the case as `as` and checks the result against `expected`; a
    // difference is shown as a unified diff.
    void Check(const fs::path& folder, const std::string& as, const std::string& expected) {
        const std::string actual = m_dir.File("actual." + as);
        // The log is named relatively: the HTML title holds the name as given.
        // Time stamps are local time, fixed here to UTC.
        const std::string command = "TZ=UTC0 " + Quoted(m_tool) + " render --style style.tss" +
                                    CaseOptions(folder) + " --as " + as + " log.wblog >" +
                                    Quoted(actual);
        ASSERT_EQ(RunIn(folder, command), 0) << command;
        const fs::path want = folder / expected;
        if (m_update) {
            fs::copy_file(actual, want, fs::copy_options::overwrite_existing);
            return;
        }
        ASSERT_TRUE(fs::exists(want)) << want << " is missing; QUILLPAD_REF_UPDATE=1 writes it";
        if (test::ReadFileBytes(want.string()) == test::ReadFileBytes(actual)) {
            return;
        }
        const std::string diff = m_dir.File("diff");
        RunIn(folder, "diff -u " + Quoted(expected) + " " + Quoted(actual) + " >" + Quoted(diff));
        ADD_FAILURE() << GetParam() << ": the " << as << " rendering is not " << expected << "\n"
                      << test::ReadFileBytes(diff);
    }

    bool m_update = false;

  private:
    std::string m_tool;
    test::CTempDir m_dir;
};

TEST_P(GoldenRenderTest, RendersAsExpected) {
    const fs::path folder = RefRoot() / GetParam();
    if (m_update && fs::exists(folder / "records.txt")) {
        const std::string maker =
            (fs::path(quillpad::test::BinaryDir()) / "tests" / "quillpad-ref-log").string();
        ASSERT_EQ(RunIn(folder, Quoted(maker) + " records.txt log.wblog"), 0);
    }
    ASSERT_TRUE(fs::exists(folder / "log.wblog")) << GetParam() << " has no log.wblog";
    ASSERT_TRUE(fs::exists(folder / "style.tss")) << GetParam() << " has no style.tss";
    Check(folder, "text", "expected.txt");
    Check(folder, "html", "expected.html");
}

std::string CaseTestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Ref, GoldenRenderTest, ::testing::ValuesIn(CaseNames()), CaseTestName);

}  // namespace
}  // namespace quillpad
