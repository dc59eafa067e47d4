#pragma once
// An in-memory registry hive: a tree of keys, each with ordered text values.
//
// It follows the rules of the Windows registry that callers may rely on:
// - A key path is a list of names joined by "\" ("Software\Korvane\Workbay").
//   Empty names are ignored, so "" (or "\") is the hive's root key.
// - Key names are 1 to 255 bytes and cannot hold "\"; value names are up to
//   16383 bytes. The empty value name is the key's unnamed default value.
// - Names compare without regard to case (ASCII and Latin-1 letters) and keep
//   the spelling they were created with.
// - Subkeys enumerate in name order, ignoring case; values in the order they
//   were first set.
// - Every value is text (REG_SZ). Its data is exactly the bytes given: no
//   terminating NUL is stored or added, and bytes are never decoded.
//
// Serialize and Parse give the hive's human-readable file form:
//
//   ; comment
//   [Software\Korvane\Workbay\Plugins\Quillpad2\General]
//   @="unnamed default value"
//   "OutgoingCRToCRLF"="FALSE"
//
// One "[path]" line per key that has values or no subkeys (the keys above it
// are implied). In a path, bytes below 0x20, 0x7F and "%" are written as %HH;
// the path runs to the last "]" of its line. Names and data are quoted: "\\",
// "\"", "\n", "\r", "\t" and "\xHH" stand for the bytes they name, and bytes
// from 0x80 are written as they are.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quillpad {

enum class ERegistryStatus {
    Success,
    NotFound,     // the key or value does not exist
    NoMoreItems,  // an enumeration index past the last item
    InvalidName,  // a name breaks the limits above, or the root key was to be deleted
    Corrupt,      // the hive file cannot be parsed; it is left as it is
    IoError,      // the hive file cannot be read, written or locked
};

const char* RegistryStatusText(ERegistryStatus status);

inline constexpr std::size_t kMaxRegistryKeyName = 255;
inline constexpr std::size_t kMaxRegistryValueName = 16383;

class CRegistryTree {
  public:
    CRegistryTree();
    ~CRegistryTree();
    CRegistryTree(const CRegistryTree&) = delete;
    CRegistryTree& operator=(const CRegistryTree&) = delete;
    CRegistryTree(CRegistryTree&&) noexcept;
    CRegistryTree& operator=(CRegistryTree&&) noexcept;

    // Opens the key, creating it and any missing key above it.
    ERegistryStatus CreateKey(std::string_view path);
    bool KeyExists(std::string_view path) const;
    // The name of subkey number `index` of the key at `path`.
    ERegistryStatus EnumKey(std::string_view path, std::size_t index, std::string& name) const;
    // The name and data of value number `index` of the key at `path`.
    ERegistryStatus EnumValue(std::string_view path, std::size_t index, std::string& name,
                              std::string& data) const;
    ERegistryStatus QueryValue(std::string_view path, std::string_view name,
                               std::string& data) const;
    // Sets a value of an existing key (NotFound when the key is missing).
    ERegistryStatus SetValue(std::string_view path, std::string_view name, std::string_view data);
    ERegistryStatus DeleteValue(std::string_view path, std::string_view name);
    // Deletes the key with all its subkeys and values. The root cannot go.
    ERegistryStatus DeleteTree(std::string_view path);
    // Removes every key and value.
    void Clear();
    bool Empty() const;

    std::string Serialize(std::string_view title) const;
    // Replaces the tree with the text's content. On Corrupt the tree is left
    // as it was and `error` names the line.
    ERegistryStatus Parse(std::string_view text, std::string& error);

    struct SKey;

  private:
    std::unique_ptr<SKey> m_root;
};

}  // namespace quillpad
