#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/TempDir.h"
#include "tools/depcheck/IncludeGraph.h"

using namespace quillpad::depcheck;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

bool Mentions(const std::vector<std::string>& findings, const std::string& part) {
    for (const auto& f : findings) {
        if (f.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(DepCheck, IncludesFollowTheDirectDependenciesOnly) {
    quillpad::test::CTempDir dir;
    const fs::path root = dir.Path();
    const LibraryGraph graph = {
        {"platform", {}}, {"data", {"platform"}}, {"view", {"data"}}, {"view/qt", {"view"}}};
    Write(root / "platform/Bytes.h", "#pragma once\n");
    Write(root / "data/Store.h", "#include \"platform/Bytes.h\"\n#include <vector>\n");
    Write(root / "view/Doc.cpp",
          "#include \"view/Doc.h\"\n#include \"data/Store.h\"\n"
          "#include \"Local.h\"\n");
    Write(root / "view/qt/Widget.cpp", "#include \"view/qt/Widget.h\"\n#include \"view/Doc.h\"\n");
    EXPECT_TRUE(CheckIncludes(root, graph).empty());

    // Reaching past a dependency to its own dependency is not allowed:
    // a library names everything it uses.
    Write(root / "view/Doc.cpp", "#include \"data/Store.h\"\n  #  include \"platform/Bytes.h\"\n");
    auto findings = CheckIncludes(root, graph);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0],
              "view/Doc.cpp:2: includes platform/Bytes.h, but view does not depend on platform");

    // The core part may not reach its Qt part, nor a folder that is no library.
    Write(root / "view/Doc.cpp", "#include \"view/qt/Widget.h\"\n#include \"tests/Helper.h\"\n");
    findings = CheckIncludes(root, graph);
    EXPECT_TRUE(Mentions(findings, "view does not depend on view/qt")) << findings.size();
    EXPECT_TRUE(Mentions(findings, "tests is no library"));
}

TEST(DepCheck, CyclesAndUnknownLibrariesAreReported) {
    EXPECT_TRUE(CheckGraph({{"a", {}}, {"b", {"a"}}, {"c", {"a", "b"}}}).empty());

    const auto cycle = CheckGraph({{"a", {"c"}}, {"b", {"a"}}, {"c", {"b"}}, {"d", {"a"}}});
    ASSERT_EQ(cycle.size(), 1u);
    EXPECT_EQ(cycle[0], "cycle: a -> c -> b -> a");

    const auto unknown = CheckGraph({{"a", {"a", "ghost"}}});
    EXPECT_TRUE(Mentions(unknown, "a depends on itself"));
    EXPECT_TRUE(Mentions(unknown, "ghost, which is no library"));
}

TEST(DepCheck, TheDocumentMustGiveTheSameGraph) {
    quillpad::test::CTempDir dir;
    const fs::path doc = fs::path(dir.Path()) / "ARCH.md";
    const LibraryGraph graph = {{"platform", {}}, {"data", {"platform"}}};
    Write(doc,
          "| library | depends on |\n|---|---|\n| `platform` | |\n"
          "| `data` | `platform` |\n| `host` | something else |\n");
    EXPECT_TRUE(CheckDocument(doc, graph).empty());
    Write(doc, "| `platform` | |\n| `data` | `platform`, `view` |\n");
    EXPECT_TRUE(Mentions(CheckDocument(doc, graph), "gives data other dependencies"));
    Write(doc, "| `platform` | |\n");
    EXPECT_TRUE(Mentions(CheckDocument(doc, graph), "does not list data"));
}

// The real tree passes, and the same tree with one wrong include planted
// does not: the check reads what the build wrote, not a copy of its own.
TEST(DepCheck, TheTreeHoldsToTheBuildsGraphAndAPlantedIncludeBreaksIt) {
    const fs::path source = std::getenv("QUILLPAD_SOURCE_DIR");
    const fs::path binary = std::getenv("QUILLPAD_BINARY_DIR");
    const LibraryGraph graph = ReadGraph(binary / "library-graph.txt");
    ASSERT_TRUE(graph.contains("platform"));
    ASSERT_TRUE(graph.contains("styles"));
    EXPECT_TRUE(CheckGraph(graph).empty());
    EXPECT_TRUE(CheckIncludes(source, graph).empty());

    quillpad::test::CTempDir dir;
    const fs::path copy = dir.Path();
    for (const auto& [name, deps] : graph) {
        fs::create_directories(copy / name);
        for (const auto& entry : fs::directory_iterator(source / name)) {
            if (entry.is_regular_file()) {
                fs::copy_file(entry.path(), copy / name / entry.path().filename());
            }
        }
    }
    ASSERT_TRUE(CheckIncludes(copy, graph).empty());
    std::ofstream(copy / "styles/Planted.cpp") << "#include \"input/Escapes.h\"\n";
    const auto findings = CheckIncludes(copy, graph);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0],
              "styles/Planted.cpp:1: includes input/Escapes.h, but styles does not depend on "
              "input");
}
