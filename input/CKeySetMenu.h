#pragma once
// The "Select Key Set" popup as data: one item per key set file of the data
// folder. The control turns the items into its menu.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillpad {

struct SKeySetMenuItem {
    std::uint16_t command = 0;
    std::string text;
    bool enabled = true;
    bool checked = false;
};

class CKeySetMenu {
  public:
    static constexpr std::uint16_t kFirstCommand = 34100;
    static constexpr std::size_t kMaxFiles = 99;  // 34100 to 34198
    static constexpr std::uint16_t kNoFilesCommand = 34199;
    static constexpr const char* kNoFilesText = "No Files Found";

    // Lists the key set files of the folder, in byte order of their names, so
    // that the menu does not depend on the file system's order. A missing
    // folder has none.
    void Rebuild(const std::string& dataDirectory);

    // The items, or the single disabled "No Files Found". An item is checked
    // when it is the very file `currentPath` names: same name, byte for byte,
    // and same file, so that a key set of that name loaded from another folder
    // checks nothing.
    std::vector<SKeySetMenuItem> Items(const std::string& currentPath) const;

    // The file a command chooses, if the command is one of the files and the
    // file is still there.
    std::optional<std::string> FileForCommand(std::uint16_t command) const;

    // How many files the menu has no room for.
    std::size_t HiddenCount() const { return m_hidden; }
    const std::string& DataDirectory() const { return m_dataDirectory; }

  private:
    std::string m_dataDirectory;
    std::vector<std::string> m_names;
    std::size_t m_hidden = 0;
};

}  // namespace quillpad
