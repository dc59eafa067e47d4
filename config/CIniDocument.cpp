#include "config/CIniDocument.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/FileIO.h"

namespace quillpad {
namespace {

// Windows text mode, made explicit: CR LF on disk is LF in memory.
ByteString CrLfToLf(std::string_view bytes) {
    ByteString out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        out += bytes[i];
    }
    return out;
}

ByteString LfToCrLf(std::string_view text) {
    ByteString out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// Whether an empty-key entry, written as its value alone, reads back as the
// same entry. Otherwise it is written "=value".
bool WritesAsBareLine(std::string_view value) {
    return !value.empty() && value != "\n" && value.front() != '[' &&
           value.find('=') == std::string_view::npos;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::int32_t ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated as a negative number so that INT32_MIN fits.
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = -static_cast<std::int64_t>(INT32_MIN);
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < kLimit) {
            value = value * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(std::max<std::int64_t>(-value, INT32_MIN));
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, INT32_MAX));
}

std::string JoinKeyPath(std::string_view path, std::string_view name) {
    std::string out(path);
    out += '\\';
    out += name;
    return out;
}

// Names of up to 255 bytes fit the loader's name buffer; data is cut to 4095.
constexpr std::size_t kRegistryNameLimit = 255;
constexpr std::size_t kRegistryDataLimit = 4095;

}  // namespace

std::vector<ByteString> SplitTokens(std::string_view text, std::string_view delimiters) {
    std::vector<ByteString> tokens;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(delimiters, pos);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find_first_of(delimiters, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        tokens.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return tokens;
}

CIniDocument::CIniDocument() = default;
CIniDocument::~CIniDocument() = default;
CIniDocument::CIniDocument(CIniDocument&&) noexcept = default;
CIniDocument& CIniDocument::operator=(CIniDocument&&) noexcept = default;

CIniDocument::CIniDocument(const CIniDocument& other)
    : m_commentMarker(other.m_commentMarker),
      m_path(other.m_path),
      m_registryKeyPath(other.m_registryKeyPath),
      m_registryRoot(other.m_registryRoot) {
    m_sections.reserve(other.m_sections.size());
    for (const auto& section : other.m_sections) {
        m_sections.push_back(std::make_unique<SIniSection>(*section));
    }
}

CIniDocument& CIniDocument::operator=(const CIniDocument& other) {
    if (this != &other) {
        CIniDocument copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool CIniDocument::LoadFile(const std::string& path, bool createIfMissing, bool clearFirst) {
    if (clearFirst) {
        Clear();
    }
    m_lastError.clear();
    if (path.empty()) {
        m_path.clear();
        m_lastError = "no file name";
        return false;
    }
    if (createIfMissing) {
        // Created empty when missing; an existing file is neither truncated nor
        // required to be writable.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            m_lastError = "cannot create " + path + ": " + std::strerror(errno);
            m_path.clear();
            return false;
        }
        ::close(fd);
    }
    ByteString bytes;
    if (!ReadWholeFile(path, bytes, &m_lastError, kMaxFileBytes)) {
        m_path.clear();
        return false;
    }
    const ByteString text = CrLfToLf(bytes);
    SIniSection* current = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == ByteString::npos ? text.size() : lf + 1;
        ParseLine(std::string_view(text).substr(start, end - start), current);
        start = end;
    }
    m_path = path;
    return true;
}

bool CIniDocument::SaveFile(const std::string& path) const {
    const std::string& target = path.empty() ? m_path : path;
    m_lastError.clear();
    if (target.empty()) {
        m_lastError = "no file name";
        return false;
    }
    return WriteFileAtomically(target, LfToCrLf(BuildText()), &m_lastError);
}

bool CIniDocument::LoadText(std::string_view text, bool clearFirst) {
    if (clearFirst) {
        Clear();
    }
    text = text.substr(0, text.find('\0'));
    SIniSection* current = nullptr;
    for (const ByteString& line : SplitTokens(text, "\n")) {
        ParseLine(line, current);
    }
    return true;
}

std::size_t CIniDocument::SaveText(char* buffer, std::size_t capacity) const {
    const ByteString text = BuildText();
    const std::size_t needed = text.size() + 1;
    if (buffer != nullptr && capacity >= needed) {
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = '\0';
    }
    return needed;
}

ByteString CIniDocument::SaveText() const {
    return BuildText();
}

void CIniDocument::Clear() {
    m_sections.clear();
}

SIniSection* CIniDocument::FindOrCreateSection(std::string_view name) {
    for (const auto& section : m_sections) {
        if (section->name == name) {
            return section.get();
        }
    }
    m_sections.push_back(std::make_unique<SIniSection>());
    m_sections.back()->name = ByteString(name);
    return m_sections.back().get();
}

void CIniDocument::ClearSection(SIniSection* section) {
    if (section != nullptr) {
        section->entries.clear();
    }
}

ByteString CIniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) {
    const SIniEntry* entry = FindEntry(*FindOrCreateSection(section), key);
    return ByteString(entry ? std::string_view(entry->value) : defaultValue);
}

ByteString CIniDocument::ReadString(const SIniSection* section, std::string_view key,
                                    std::string_view defaultValue) const {
    if (section != nullptr) {
        for (const SIniEntry& entry : section->entries) {
            if (entry.key == key) {
                return entry.value;
            }
        }
    }
    return ByteString(defaultValue);
}

std::int32_t CIniDocument::ReadInt(std::string_view section, std::string_view key,
                                   std::int32_t defaultValue) {
    const SIniEntry* entry = FindEntry(*FindOrCreateSection(section), key);
    return entry ? ParseDecimal(entry->value) : defaultValue;
}

bool CIniDocument::ReadBool(std::string_view section, std::string_view key, bool defaultValue) {
    const SIniEntry* entry = FindEntry(*FindOrCreateSection(section), key);
    return entry ? entry->value == "TRUE" : defaultValue;
}

void CIniDocument::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
    SIniSection& target = *FindOrCreateSection(section);
    if (SIniEntry* entry = FindEntry(target, key)) {
        entry->value = ByteString(value);
    } else {
        target.entries.push_back({ByteString(key), ByteString(value)});
    }
}

void CIniDocument::WriteFormatted(std::string_view section, std::string_view key,
                                  const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    ByteString text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(args);
    WriteString(section, key, text);
}

SIniEntry* CIniDocument::FindEntry(SIniSection& section, std::string_view key) {
    for (SIniEntry& entry : section.entries) {
        if (entry.key == key) {
            return &entry;
        }
    }
    return nullptr;
}

void CIniDocument::ParseLine(std::string_view line, SIniSection*& current) {
    if (const std::size_t cut = line.find(m_commentMarker); cut != std::string_view::npos) {
        line = line.substr(0, cut);
    }
    if (!line.empty() && line.front() == '[') {
        const std::size_t close = line.rfind(']');
        std::string_view name;
        if (close != std::string_view::npos) {
            name = line.substr(1, close - 1);
        } else {
            name = line.substr(1);
            if (!name.empty() && name.back() == '\n') {
                name.remove_suffix(1);
            }
            if (!name.empty() && name.back() == '\r') {
                name.remove_suffix(1);
            }
        }
        current = FindOrCreateSection(name);
        return;
    }
    if (line.empty() || line == "\n" || current == nullptr) {
        return;
    }
    SIniEntry entry;
    if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
        entry.key = ByteString(line.substr(0, eq));
        const std::string_view rest = line.substr(eq + 1);
        entry.value = ByteString(rest.substr(0, rest.find_first_of("\r\n")));
    } else {
        entry.value = ByteString(line);
    }
    current->entries.push_back(std::move(entry));
}

ByteString CIniDocument::BuildText() const {
    ByteString out;
    for (const auto& section : m_sections) {
        out += '[';
        out += section->name;
        out += "]\n";
        for (const SIniEntry& entry : section->entries) {
            if (!entry.key.empty()) {
                out += entry.key;
                out += '=';
            } else if (!WritesAsBareLine(entry.value)) {
                out += '=';
            }
            out += entry.value;
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

bool CIniDocument::LoadFromRegistry(ERegistryRoot root, std::string_view keyPath) {
    Clear();
    m_registryRoot = root;
    m_registryKeyPath = std::string(keyPath);
    bool complete = false;
    const CRegistryStore store = CRegistryStore::Open(root);
    const ERegistryStatus status = store.Read([&](const CRegistryTree& tree) {
        if (!tree.KeyExists(m_registryKeyPath)) {
            return;
        }
        std::string subkey;
        for (std::size_t i = 0;; ++i) {
            const ERegistryStatus next = tree.EnumKey(m_registryKeyPath, i, subkey);
            if (next != ERegistryStatus::Success) {
                complete = next == ERegistryStatus::NoMoreItems;
                break;
            }
            if (subkey.size() > kRegistryNameLimit) {
                continue;  // cannot be named within the limit; the hive never holds one
            }
            const std::string subPath = JoinKeyPath(m_registryKeyPath, subkey);
            std::string name;
            std::string data;
            for (std::size_t j = 0;
                 tree.EnumValue(subPath, j, name, data) == ERegistryStatus::Success; ++j) {
                // A longer name would come back cut, as a different key.
                if (name.size() > kRegistryNameLimit) {
                    continue;
                }
                if (data.size() > kRegistryDataLimit) {
                    data.resize(kRegistryDataLimit);
                }
                WriteString(subkey, name, data);
            }
        }
    });
    return status == ERegistryStatus::Success && complete;
}

void CIniDocument::SaveToRegistry(std::optional<ERegistryRoot> root,
                                  std::optional<std::string_view> keyPath) {
    if (root) {
        m_registryRoot = root;
    }
    if (keyPath) {
        m_registryKeyPath = std::string(*keyPath);
    }
    if (!m_registryRoot) {
        return;
    }
    CRegistryStore store = CRegistryStore::Open(*m_registryRoot);
    store.Update([&](CRegistryTree& tree) {
        if (tree.CreateKey(m_registryKeyPath) != ERegistryStatus::Success) {
            return false;
        }
        for (const auto& section : m_sections) {
            const std::string subPath = JoinKeyPath(m_registryKeyPath, section->name);
            if (tree.CreateKey(subPath) != ERegistryStatus::Success) {
                return true;
            }
            for (const SIniEntry& entry : section->entries) {
                if (tree.SetValue(subPath, entry.key, entry.value) != ERegistryStatus::Success) {
                    return true;
                }
            }
        }
        return true;
    });
}

}  // namespace quillpad
