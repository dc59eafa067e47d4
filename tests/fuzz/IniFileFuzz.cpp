// LoadFile on arbitrary file bytes, then save/load cycles through the disk:
// every save succeeds, writes CR LF line ends only, and from the second cycle
// on the file no longer changes.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "config/CIniDocument.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

// One scratch folder per process, in memory where the system offers it.
class CScratch {
  public:
    CScratch() {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0) {
            base = std::filesystem::temp_directory_path();
        }
        m_path = (base / ("quillpad-inifuzz-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(m_path, ec);
    }
    ~CScratch() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const char* name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

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
    static const CScratch scratch;
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
