#include "tools/depcheck/IncludeGraph.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

namespace quillpad::depcheck {
namespace fs = std::filesystem;

LibraryGraph ReadGraph(const fs::path& file) {
    std::ifstream in(file);
    if (!in) {
        throw std::runtime_error("cannot read the library graph " + file.string());
    }
    LibraryGraph graph;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        if (!(words >> name)) {
            continue;
        }
        auto& deps = graph[name];
        for (std::string dep; words >> dep;) {
            deps.push_back(dep);
        }
    }
    return graph;
}

std::vector<std::string> CheckGraph(const LibraryGraph& graph) {
    std::vector<std::string> findings;
    for (const auto& [name, deps] : graph) {
        for (const auto& dep : deps) {
            if (dep == name) {
                findings.push_back(name + " depends on itself");
            } else if (!graph.contains(dep)) {
                findings.push_back(name + " depends on " + dep + ", which is no library");
            }
        }
    }
    // Depth-first, reporting each cycle by the path that closes it.
    enum class EMark { None, Open, Done };
    std::map<std::string, EMark> marks;
    std::vector<std::string> path;
    std::function<void(const std::string&)> visit = [&](const std::string& name) {
        marks[name] = EMark::Open;
        path.push_back(name);
        for (const auto& dep : graph.at(name)) {
            if (!graph.contains(dep) || dep == name) {
                continue;
            }
            if (marks[dep] == EMark::Open) {
                std::string cycle;
                for (auto it = std::find(path.begin(), path.end(), dep); it != path.end(); ++it) {
                    cycle += *it + " -> ";
                }
                findings.push_back("cycle: " + cycle + dep);
            } else if (marks[dep] == EMark::None) {
                visit(dep);
            }
        }
        path.pop_back();
        marks[name] = EMark::Done;
    };
    for (const auto& [name, deps] : graph) {
        if (marks[name] == EMark::None) {
            visit(name);
        }
    }
    return findings;
}

namespace {

// The library a quoted include names: "view/qt/X.h" -> "view/qt",
// "view/X.h" -> "view"; empty for a bare file name (the including folder).
std::string LibraryOfInclude(const std::string& include) {
    const auto first = include.find('/');
    if (first == std::string::npos) {
        return {};
    }
    const std::string folder = include.substr(0, first);
    const auto second = include.find('/', first + 1);
    if (second != std::string::npos && include.substr(first + 1, second - first - 1) == "qt") {
        return folder + "/qt";
    }
    return folder;
}

bool IsSource(const fs::path& p) {
    const auto ext = p.extension().string();
    return ext == ".h" || ext == ".cpp" || ext == ".hpp" || ext == ".cc";
}

}  // namespace

std::vector<std::string> CheckIncludes(const fs::path& root, const LibraryGraph& graph) {
    std::vector<std::string> findings;
    static const std::regex includeLine(R"re(^\s*#\s*include\s*"([^"]+)")re");
    for (const auto& [name, deps] : graph) {
        const fs::path folder = root / name;
        if (!fs::is_directory(folder)) {
            findings.push_back(name + ": no such folder");
            continue;
        }
        const std::set<std::string> allowed(deps.begin(), deps.end());
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && IsSource(entry.path())) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch match;
                if (line.find("include") == std::string::npos ||
                    !std::regex_search(line, match, includeLine)) {
                    continue;
                }
                const std::string target = LibraryOfInclude(match[1]);
                if (target.empty() || target == name || allowed.contains(target)) {
                    continue;
                }
                const std::string where =
                    fs::relative(file, root).generic_string() + ":" + std::to_string(number);
                if (!graph.contains(target)) {
                    findings.push_back(where + ": includes " + match[1].str() + ", and " + target +
                                       " is no library");
                } else {
                    findings.push_back(where + ": includes " + match[1].str() + ", but " + name +
                                       " does not depend on " + target);
                }
            }
        }
    }
    return findings;
}

std::vector<std::string> CheckDocument(const fs::path& document, const LibraryGraph& graph) {
    std::ifstream in(document);
    if (!in) {
        return {"cannot read " + document.string()};
    }
    static const std::regex row(R"(^\|\s*`([a-z/]+)`\s*\|([^|]*)\|)");
    static const std::regex name(R"(`([a-z/]+)`)");
    LibraryGraph written;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_search(line, match, row)) {
            continue;
        }
        const std::string library = match[1];
        if (!graph.contains(library)) {
            continue;  // another table's row
        }
        auto& deps = written[library];
        const std::string cell = match[2];
        for (std::sregex_iterator it(cell.begin(), cell.end(), name), end; it != end; ++it) {
            deps.push_back((*it)[1]);
        }
    }
    std::vector<std::string> findings;
    for (const auto& [library, deps] : graph) {
        const auto it = written.find(library);
        if (it == written.end()) {
            findings.push_back(document.filename().string() + " does not list " + library);
            continue;
        }
        std::set<std::string> a(deps.begin(), deps.end());
        std::set<std::string> b(it->second.begin(), it->second.end());
        if (a != b) {
            findings.push_back(document.filename().string() + " gives " + library +
                               " other dependencies than the build");
        }
    }
    return findings;
}

}  // namespace quillpad::depcheck
