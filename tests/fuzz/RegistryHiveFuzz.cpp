// The registry hive's file form on arbitrary bytes: a file is either refused
// as corrupt, leaving the tree as it was, or parsed into a tree whose own
// file form parses back to the same tree.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/CRegistryTree.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CRegistryTree tree;
    Check(tree.CreateKey("Before") == ERegistryStatus::Success);
    std::string error;
    if (tree.Parse(text, error) != ERegistryStatus::Success) {
        Check(!error.empty());
        Check(tree.KeyExists("Before"));
        return 0;
    }
    const std::string form = tree.Serialize("fuzz");
    CRegistryTree back;
    Check(back.Parse(form, error) == ERegistryStatus::Success);
    Check(back.Serialize("fuzz") == form);
    return 0;
}
