#pragma once
// The library graph and the include check that holds the sources to it.
//
// A library is a folder ("view": every file directly in view/) or a folder's
// Qt part ("view/qt"). A file may include headers of its own library and of
// the libraries its library depends on directly; a quoted include that names
// any other library's folder, or a folder that is no library, is a violation.
// The graph itself must have no cycle and name only known libraries.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quillpad::depcheck {

// Library name -> the names it depends on directly.
using LibraryGraph = std::map<std::string, std::vector<std::string>>;

// Reads "<name> <dep>..." lines, as the build writes them. Throws
// std::runtime_error on a file it cannot read.
LibraryGraph ReadGraph(const std::filesystem::path& file);

// One finding, ready to print: "file:line: ..." or a graph problem.
std::vector<std::string> CheckGraph(const LibraryGraph& graph);
std::vector<std::string> CheckIncludes(const std::filesystem::path& root,
                                       const LibraryGraph& graph);

// The rows "| `name` | `dep`, `dep` |" of the document's graph table must
// list the same libraries with the same dependencies.
std::vector<std::string> CheckDocument(const std::filesystem::path& document,
                                       const LibraryGraph& graph);

}  // namespace quillpad::depcheck
