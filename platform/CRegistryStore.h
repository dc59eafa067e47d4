#pragma once
// The registry, kept as one human-readable file per hive (see CRegistryTree.h
// for the file form and the rules of names and values).
//
// HKEY_CURRENT_USER is the file "HKEY_CURRENT_USER.hive" in the folder
// $WORKBAY_HOME/registry, else $XDG_CONFIG_HOME/Workbay/registry, else
// ~/.config/Workbay/registry. The folder is created by the first write.
//
// Every call is whole and durable on its own: readers take a shared lock on
// "HKEY_CURRENT_USER.lock" beside the hive, writers an exclusive one, read
// the current file, change it and replace it atomically (platform/FileIO.h),
// so several console processes may write at the same time without losing or
// tearing each other's changes, and a killed process leaves the old file.
// Update groups several changes into one such write.
//
// A hive file that cannot be parsed is never overwritten: every call reports
// Corrupt and LastError names the file and line, until a person mends or
// removes it. A missing file is an empty hive.

#include <functional>
#include <string>
#include <string_view>

#include "platform/CRegistryTree.h"

namespace quillpad {

enum class ERegistryRoot {
    CurrentUser,  // HKEY_CURRENT_USER
};

class CRegistryStore {
  public:
    // The store of a hive file `<hiveName>.hive` in `folder`.
    CRegistryStore(std::string folder, std::string hiveName);
    // The store of a root hive, in the folder the environment names now.
    static CRegistryStore Open(ERegistryRoot root);
    static std::string DefaultFolder();

    const std::string& FilePath() const { return m_file; }
    // Why the last call failed ("" after a success).
    const std::string& LastError() const { return m_error; }

    // Runs `reader` on a consistent snapshot of the hive.
    ERegistryStatus Read(const std::function<void(const CRegistryTree&)>& reader) const;
    // Runs `editor` on the current hive under an exclusive lock; when it
    // returns true the hive is written back, whole, before the lock is freed.
    ERegistryStatus Update(const std::function<bool(CRegistryTree&)>& editor);

    // One-call forms of the CRegistryTree operations; each is one Read or Update.
    ERegistryStatus CreateKey(std::string_view path);
    bool KeyExists(std::string_view path) const;
    ERegistryStatus EnumKey(std::string_view path, std::size_t index, std::string& name) const;
    ERegistryStatus EnumValue(std::string_view path, std::size_t index, std::string& name,
                              std::string& data) const;
    ERegistryStatus QueryValue(std::string_view path, std::string_view name,
                               std::string& data) const;
    ERegistryStatus SetValue(std::string_view path, std::string_view name, std::string_view data);
    ERegistryStatus DeleteValue(std::string_view path, std::string_view name);
    ERegistryStatus DeleteTree(std::string_view path);

  private:
    ERegistryStatus Load(CRegistryTree& tree) const;

    std::string m_folder;
    std::string m_hiveName;
    std::string m_file;
    std::string m_lockFile;
    mutable std::string m_error;
};

}  // namespace quillpad
