#pragma once
// The INI document engine behind every configuration text of the console:
// style sheets, key sets, the settings and the host's saved state.
//
// A document is an ordered list of uniquely named sections, each an ordered
// list of key/value entries. Everything is bytes: names, keys and values are
// compared byte for byte, case-sensitive and whole, and nothing is decoded.
// Keys are not unique: every lookup and update acts on the first entry with
// the key. An entry with an empty key is a bare line (a line without "=").
//
// Reading (LoadFile, LoadText), line by line:
// - "//" and everything after it on the line (its line end included) is cut.
// - A line starting with "[" is a header. The name runs to the last "]" on
//   the line; a header without "]" takes the rest of the line, less its line
//   end (a final LF, then one CR before it). A repeated header continues the
//   section of that name wherever it first stood.
// - An empty line, or one that is a lone LF, is skipped.
// - "key=value" splits at the first "="; spaces stay part of key and value,
//   and the value ends before the first CR or LF. A line without "=" is a
//   bare line whose value is the whole line, including the LF it was read
//   with (from a file) or without it (from text).
// - Lines before the first header are dropped.
// - Lines have no length limit. A line of any length is read, kept and
//   written whole, so that nothing the engine writes reads back different
//   (a fixed 4096-byte line buffer would split a longer line, and its tail
//   could read back as a header, a keyed entry or a bare line).
//
// Files are CR LF on disk: reading turns each CR LF into LF, writing turns
// each LF into CR LF, so a file is the same bytes on every platform. Bytes
// are otherwise untouched: a lone CR stays, and a NUL in a file is an
// ordinary byte (a text given to LoadText ends at its first NUL).
//
// Writing (SaveFile, SaveText) gives "[name]", then "key=value" per entry,
// then one empty line, for every section. A bare line is written as its value
// alone, except where that would read back as something else (nothing, a
// keyed entry, or a header that takes over the following entries): an empty
// value, a value holding "=", starting with "[" or being a lone LF is written
// as "=value", which reads back as an empty-key entry with that value (a lone
// LF comes back empty).
//
// SaveFile never destroys the old file: it writes a temporary file in the
// same folder and renames it over the old one (platform/FileIO.h). When it
// fails (full disk, killed process) the old file stays whole.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"
#include "platform/CRegistryStore.h"

namespace quillpad {

struct SIniEntry {
    ByteString key;  // empty for a bare line
    ByteString value;
};

struct SIniSection {
    ByteString name;
    std::vector<SIniEntry> entries;

    const ByteString& Name() const { return name; }
    std::size_t EntryCount() const { return entries.size(); }
};

// The tokens of `text`: the maximal runs of bytes that are not in
// `delimiters`, in order, never empty. No delimiters: the whole text (if any).
std::vector<ByteString> SplitTokens(std::string_view text, std::string_view delimiters);

class CIniDocument {
  public:
    CIniDocument();
    virtual ~CIniDocument();
    CIniDocument(const CIniDocument& other);
    CIniDocument& operator=(const CIniDocument& other);
    CIniDocument(CIniDocument&&) noexcept;
    CIniDocument& operator=(CIniDocument&&) noexcept;

    // No INI file of ours comes near this; a larger one is refused rather
    // than read whole into memory.
    static constexpr std::size_t kMaxFileBytes = 16u << 20;

    // Reads a file. clearFirst empties the document before anything can fail.
    // createIfMissing creates a missing file empty (an existing one is never
    // truncated) and reads it. True when the file was read; the path is then
    // stored, else it is emptied, the document keeps what it held and
    // LastError() says why.
    bool LoadFile(const std::string& path, bool createIfMissing, bool clearFirst);
    // Why the last LoadFile or SaveFile failed; empty after a success.
    const std::string& LastError() const { return m_lastError; }
    // Writes the document to `path`, or to the stored path when `path` is
    // empty; false (and no file touched) when there is neither. Does not
    // change the stored path.
    bool SaveFile(const std::string& path = std::string()) const;
    // Reads a text, which ends at its first NUL (a saved-state blob may carry
    // its terminating zero). Lines are split at LF; empty lines vanish and a
    // CR before an LF stays in the line. Always true; the path is unchanged.
    bool LoadText(std::string_view text, bool clearFirst);
    // Builds the text (LF line ends) and returns its length plus one. When
    // `buffer` is given and `capacity` is at least that number, the text and
    // a terminating NUL are copied into it; otherwise nothing is copied.
    std::size_t SaveText(char* buffer, std::size_t capacity) const;
    // The same text, without the NUL.
    ByteString SaveText() const;

    // Removes every section; the path and the registry members stay.
    void Clear();
    // The section of that name, appended empty when missing. The handle
    // stays valid until Clear, a clearing load, or the document's end.
    SIniSection* FindOrCreateSection(std::string_view name);
    // Removes every entry; the section keeps its place and is still written.
    void ClearSection(SIniSection* section);

    // Lookups by section name create the section when it is missing. They
    // return copies, so a result stays valid whatever the document does next.
    ByteString ReadString(std::string_view section, std::string_view key,
                          std::string_view defaultValue);
    // The lookup by handle creates nothing.
    ByteString ReadString(const SIniSection* section, std::string_view key,
                          std::string_view defaultValue) const;
    // Decimal, as atoi reads it: leading white space, a sign, digits up to the
    // first other byte; no digits give 0. Saturates at the 32-bit limits.
    std::int32_t ReadInt(std::string_view section, std::string_view key, std::int32_t defaultValue);
    // True exactly when the value is "TRUE".
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);
    // Replaces the first entry with the key, else appends one to the section.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // printf-style; the result is not limited in length.
    void WriteFormatted(std::string_view section, std::string_view key, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    const std::string& GetPath() const { return m_path; }

    std::size_t SectionCount() const { return m_sections.size(); }
    const SIniSection* SectionAt(std::size_t index) const { return m_sections[index].get(); }

    // The registry mirror: each section a subkey of root\keyPath, each entry
    // a text value of it (a bare line the unnamed default value). As in the
    // registry, a section name holding "\" names a deeper key and an empty
    // one the key itself; neither is read back by a load. Loading
    // clears the document first and takes names of up to 255 bytes (longer
    // value names are skipped) and data cut to 4095 bytes. True when every
    // subkey was enumerated; false when the key is missing or the hive cannot
    // be read. The root and path are remembered for SaveToRegistry.
    bool LoadFromRegistry(ERegistryRoot root, std::string_view keyPath);
    // Writes every entry in one locked, atomic update of the hive, using the
    // remembered root and path where none is given. Nothing is ever deleted;
    // of a key held twice the later value is stored; it stops at the first
    // section or entry the registry refuses (what came before is kept).
    // Failures are silent, as the settings have no way to report them.
    void SaveToRegistry(std::optional<ERegistryRoot> root = std::nullopt,
                        std::optional<std::string_view> keyPath = std::nullopt);

    const std::string& GetRegistryKeyPath() const { return m_registryKeyPath; }
    std::optional<ERegistryRoot> GetRegistryRoot() const { return m_registryRoot; }

  private:
    SIniEntry* FindEntry(SIniSection& section, std::string_view key);
    void ParseLine(std::string_view line, SIniSection*& current);
    ByteString BuildText() const;

    // unique_ptr keeps section handles stable while the list grows.
    std::vector<std::unique_ptr<SIniSection>> m_sections;
    std::string m_commentMarker = "//";
    std::string m_path;
    mutable std::string m_lastError;
    std::string m_registryKeyPath;
    std::optional<ERegistryRoot> m_registryRoot;
};

}  // namespace quillpad
