#pragma once
// One scratch folder per process for the fuzz targets that go through the
// disk, in memory where the system offers it: a fuzzer runs the target
// millions of times, and a real disk would make that its bottleneck.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace quillpad::fuzz {

class CScratch {
  public:
    // `tag` names the folder, so that two targets run at once never share one.
    explicit CScratch(const std::string& tag) {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0) {
            base = std::filesystem::temp_directory_path();
        }
        m_path = (base / ("quillpad-" + tag + "-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(m_path, ec);
    }
    ~CScratch() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;

    std::string File(const char* name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

}  // namespace quillpad::fuzz
