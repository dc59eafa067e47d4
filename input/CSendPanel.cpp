#include "input/CSendPanel.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "input/Escapes.h"
#include "platform/FileIO.h"
#include "platform/Hex.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

constexpr std::string_view kSendPrefix = "Send ";

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool IsSendSection(std::string_view name) {
    if (name.size() <= kSendPrefix.size() || name.substr(0, kSendPrefix.size()) != kSendPrefix) {
        return false;
    }
    const std::string_view number = name.substr(kSendPrefix.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An INI line cannot hold CR or LF, "//" starts a comment, and text read
// back ends at a NUL: such a value is written as hex under "<key>Hex".
bool NeedsHex(std::string_view value) {
    return value.find("//") != std::string_view::npos ||
           value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string ToHex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        AppendHexByte(out, static_cast<unsigned char>(c));
    }
    return out;
}

bool ParseNumber(std::string_view text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end && !text.empty();
}

const char* FormatKey(ESendFormat format) {
    return format == ESendFormat::Hex ? "Hex" : "Text";
}

const char* ByteOrderKey(EByteOrder order) {
    return order == EByteOrder::LowFirst ? "LowFirst" : "HighFirst";
}

// What one send section says; the reason is set when a value is not known.
struct SReadSend {
    SSendItem item;
    std::string reason;
};

SReadSend ReadSend(const SIniSection& section) {
    SReadSend read;
    SSendItem& item = read.item;
    std::vector<std::string_view> seen;
    auto refuse = [&](const char* what, std::string_view value) {
        if (read.reason.empty()) {
            read.reason = std::string(what) + " \"" + std::string(value) + "\"";
        }
    };
    bool haveNameHex = false;
    bool haveTextHex = false;
    for (const SIniEntry& entry : section.entries) {
        const std::string_view key = entry.key;
        const std::string_view value = entry.value;
        // The first of a key counts, as every INI lookup takes it; later
        // ones are taken in (not kept) so they cannot come back over an edit.
        const bool first = std::find(seen.begin(), seen.end(), key) == seen.end();
        if (first) {
            seen.push_back(key);
        }
        if (key == "Name" || key == "Text") {
            ByteString& target = key == "Name" ? item.name : item.text;
            const bool hexSeen = key == "Name" ? haveNameHex : haveTextHex;
            if (first && !hexSeen) {
                target = entry.value;
            }
        } else if (key == "NameHex" || key == "TextHex") {
            ByteString bytes;
            std::string error;
            if (!ParseHexBytes(value, bytes, error)) {
                refuse(key == "NameHex" ? "the name bytes" : "the text bytes", value);
            }
            if (first) {
                (key == "NameHex" ? item.name : item.text) = bytes;
                (key == "NameHex" ? haveNameHex : haveTextHex) = true;
            }
        } else if (key == "Format") {
            if (!first) {
                continue;
            }
            if (SameIgnoringCase(value, "Text")) {
                item.format = ESendFormat::Text;
            } else if (SameIgnoringCase(value, "Hex")) {
                item.format = ESendFormat::Hex;
            } else {
                refuse("the format", value);
            }
        } else if (key == "LineEnd") {
            if (!first) {
                continue;
            }
            bool known = false;
            for (const ELineEnd end :
                 {ELineEnd::None, ELineEnd::CR, ELineEnd::LF, ELineEnd::CRLF}) {
                if (SameIgnoringCase(value, LineEndKey(end))) {
                    item.lineEnd = end;
                    known = true;
                }
            }
            if (!known) {
                refuse("the line end", value);
            }
        } else if (key == "Checksum") {
            if (!first) {
                continue;
            }
            if (value.empty()) {
                item.checksum = EChecksum::None;
            } else if (const auto kind = ChecksumFromKey(value)) {
                item.checksum = *kind;
            } else {
                refuse("the checksum", value);
            }
        } else if (key == "ByteOrder") {
            if (!first) {
                continue;
            }
            if (SameIgnoringCase(value, "HighFirst")) {
                item.byteOrder = EByteOrder::HighFirst;
            } else if (SameIgnoringCase(value, "LowFirst")) {
                item.byteOrder = EByteOrder::LowFirst;
            } else {
                refuse("the byte order", value);
            }
        } else if (key == "PeriodMs" || key == "Count") {
            if (!first) {
                continue;
            }
            std::uint32_t number = 0;
            if (!ParseNumber(value, number)) {
                refuse(key == "Count" ? "the count" : "the period", value);
            } else if (key == "Count") {
                item.count = number;
            } else {
                item.periodMs = std::clamp(number, kMinSendPeriodMs, kMaxSendPeriodMs);
            }
        } else {
            item.otherEntries.push_back(entry);
        }
    }
    return read;
}

void PutValue(SIniSection& section, const char* key, std::string_view value) {
    if (NeedsHex(value)) {
        section.entries.push_back({std::string(key) + "Hex", ToHex(value)});
    } else {
        section.entries.push_back({key, ByteString(value)});
    }
}

std::string LfToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace

const char* LineEndKey(ELineEnd lineEnd) {
    switch (lineEnd) {
        case ELineEnd::None:
            return "None";
        case ELineEnd::CR:
            return "CR";
        case ELineEnd::LF:
            return "LF";
        case ELineEnd::CRLF:
            return "CR LF";
    }
    return "None";
}

std::string_view LineEndBytes(ELineEnd lineEnd) {
    switch (lineEnd) {
        case ELineEnd::None:
            return {};
        case ELineEnd::CR:
            return "\r";
        case ELineEnd::LF:
            return "\n";
        case ELineEnd::CRLF:
            return "\r\n";
    }
    return {};
}

bool BuildSendBytes(const SSendItem& item, ByteString& bytes, std::string& error) {
    if (item.format == ESendFormat::Hex) {
        if (!ParseHexBytes(item.text, bytes, error)) {
            return false;
        }
    } else {
        bytes = ExpandEscapes(item.text);
    }
    AppendChecksum(bytes, item.checksum, item.byteOrder);
    bytes.append(LineEndBytes(item.lineEnd));
    error.clear();
    return true;
}

// ---- the panel

ESendPanelLoad CSendPanel::Load(const std::string& path) {
    m_path = path;
    m_items.clear();
    m_refused.clear();
    m_panelEntries.clear();
    m_otherSections.clear();
    m_writable = true;
    m_loadError.clear();
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error) {
        return ESendPanelLoad::Missing;
    }
    CIniDocument document;
    if (!document.LoadFile(path, false, true)) {
        m_writable = false;
        m_loadError = document.LastError();
        return ESendPanelLoad::Unreadable;
    }
    bool marked = document.SectionCount() == 0 && std::filesystem::file_size(path, error) == 0;
    for (std::size_t i = 0; i < document.SectionCount(); ++i) {
        marked = marked || document.SectionAt(i)->Name() == kSection;
    }
    if (!marked) {
        // Another program's file, or bytes: never written over.
        m_writable = false;
        m_loadError = "it has no [Send Panel] section";
        return ESendPanelLoad::NotAPanel;
    }
    ReadDocument(document);
    return ESendPanelLoad::Loaded;
}

void CSendPanel::LoadText(std::string_view text) {
    m_items.clear();
    m_refused.clear();
    m_panelEntries.clear();
    m_otherSections.clear();
    m_writable = true;
    m_loadError.clear();
    CIniDocument document;
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            lf.push_back(text[i]);
        }
    }
    document.LoadText(lf, true);
    ReadDocument(document);
}

void CSendPanel::ReadDocument(const CIniDocument& document) {
    for (std::size_t i = 0; i < document.SectionCount(); ++i) {
        const SIniSection& section = *document.SectionAt(i);
        if (section.Name() == kSection) {
            m_panelEntries = section.entries;
        } else if (IsSendSection(section.Name())) {
            SReadSend read = ReadSend(section);
            if (read.reason.empty()) {
                m_items.push_back(std::move(read.item));
            } else {
                m_refused.push_back({section, std::move(read.item.name), std::move(read.reason)});
            }
        } else {
            m_otherSections.push_back(section);
        }
    }
}

ByteString CSendPanel::SaveText() const {
    CIniDocument document;
    document.FindOrCreateSection(kSection)->entries = m_panelEntries;
    std::size_t number = 0;
    for (const SSendItem& item : m_items) {
        SIniSection& section =
            *document.FindOrCreateSection(std::string(kSendPrefix) + std::to_string(++number));
        PutValue(section, "Name", item.name);
        PutValue(section, "Text", item.text);
        section.entries.push_back({"Format", FormatKey(item.format)});
        section.entries.push_back({"LineEnd", LineEndKey(item.lineEnd)});
        section.entries.push_back({"Checksum", ChecksumInfo(item.checksum).key});
        section.entries.push_back({"ByteOrder", ByteOrderKey(item.byteOrder)});
        section.entries.push_back({"PeriodMs", std::to_string(item.periodMs)});
        section.entries.push_back({"Count", std::to_string(item.count)});
        section.entries.insert(section.entries.end(), item.otherEntries.begin(),
                               item.otherEntries.end());
    }
    for (const SRefusedSend& refused : m_refused) {
        document.FindOrCreateSection(std::string(kSendPrefix) + std::to_string(++number))->entries =
            refused.section.entries;
    }
    for (const SIniSection& other : m_otherSections) {
        SIniSection& copy = *document.FindOrCreateSection(other.name);
        copy.entries.insert(copy.entries.end(), other.entries.begin(), other.entries.end());
    }
    return document.SaveText();
}

bool CSendPanel::Save(std::string* error) const {
    if (!m_writable || m_path.empty()) {
        if (error != nullptr) {
            *error = m_path.empty() ? "the panel has no file" : "the file is not a send panel";
        }
        return false;
    }
    return WriteFileAtomically(m_path, LfToCrLf(SaveText()), error, EFileAccess::Private);
}

void CSendPanel::SetPath(std::string path) {
    m_path = std::move(path);
    m_writable = true;
}

std::string CSendPanel::Name() const {
    std::string name = PathFileName(m_path);
    const std::string_view extension = kExtension;
    if (name.size() > extension.size() &&
        SameIgnoringCase(std::string_view(name).substr(name.size() - extension.size()),
                         extension)) {
        name.resize(name.size() - extension.size());
    }
    return name;
}

std::string CSendPanel::RefusalMessage() const {
    if (m_refused.empty()) {
        return {};
    }
    std::string message = "The send panel \"" + Name() +
                          "\" holds sends this program cannot use; they stay in the file as "
                          "they are: ";
    for (std::size_t i = 0; i < m_refused.size(); ++i) {
        const SRefusedSend& refused = m_refused[i];
        message += (i == 0 ? "" : ", ") +
                   (refused.name.empty() ? refused.section.name : "\"" + refused.name + "\"") +
                   " (" + refused.reason + ")";
    }
    return message + ".";
}

std::vector<std::string> ListSendPanels(const std::string& folder) {
    std::vector<std::string> names;
    const std::string_view extension = CSendPanel::kExtension;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.size() > extension.size() &&
            SameIgnoringCase(std::string_view(name).substr(name.size() - extension.size()),
                             extension) &&
            it->is_regular_file(typeError)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace quillpad
