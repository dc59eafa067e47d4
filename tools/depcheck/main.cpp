// quillpad-depcheck SOURCE_DIR GRAPH_FILE [DOCUMENT]: holds the sources and the
// document to the library graph the build wrote. Prints every finding and
// exits 1 when there is one.

#include <cstdio>
#include <exception>

#include "tools/depcheck/IncludeGraph.h"

int main(int argc, char** argv) {
    using namespace quillpad::depcheck;
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: quillpad-depcheck SOURCE_DIR GRAPH_FILE [DOCUMENT]\n");
        return 2;
    }
    try {
        const LibraryGraph graph = ReadGraph(argv[2]);
        auto findings = CheckGraph(graph);
        for (auto& f : CheckIncludes(argv[1], graph)) {
            findings.push_back(std::move(f));
        }
        if (argc == 4) {
            for (auto& f : CheckDocument(argv[3], graph)) {
                findings.push_back(std::move(f));
            }
        }
        for (const auto& f : findings) {
            std::printf("%s\n", f.c_str());
        }
        std::printf("%zu libraries, %zu findings\n", graph.size(), findings.size());
        return findings.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillpad-depcheck: %s\n", e.what());
        return 2;
    }
}
