// LoadFile on arbitrary file bytes, then save/load cycles through the disk:
// every save succeeds, writes CR LF line ends only, and from the second cycle
// on the file no longer changes.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "config/CIniDocument.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/FuzzScratch.h"

using quillpad::fuzz::Check;
using quillpad::fuzz::CScratch;

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool OnlyCrLf(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quillpad::CIniDocument;
    static const CScratch scratch("inifuzz");
    const std::string input = scratch.File("input.ini");
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        Check(static_cast<bool>(out));
    }

    CIniDocument doc;
    Check(doc.LoadFile(input, false, true));
    Check(doc.GetPath() == input);
    const char* names[] = {"one.ini", "two.ini", "three.ini"};
    std::string previous;
    for (int cycle = 0; cycle < 3; ++cycle) {
        const std::string path = scratch.File(names[cycle]);
        Check(doc.SaveFile(path));
        const std::string bytes = Read(path);
        Check(OnlyCrLf(bytes));
        if (cycle == 2) {
            Check(bytes == previous);
        }
        previous = bytes;
        CIniDocument next;
        Check(next.LoadFile(path, false, true));
        doc = next;
    }
    return 0;
}
