#pragma once
// A fresh folder for one test, removed with everything in it afterwards.

#include <string>

namespace quillpad::test {

class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes bytes to a file, replacing it; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace quillpad::test
