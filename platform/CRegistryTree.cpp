#include "platform/CRegistryTree.h"

#include <algorithm>
#include <vector>

#include "platform/Hex.h"

namespace quillpad {

struct CRegistryTree::SKey {
    struct SValue {
        std::string name;
        std::string data;
    };
    std::string name;
    std::vector<std::unique_ptr<SKey>> subkeys;  // in FoldedLess order of their names
    std::vector<SValue> values;                  // in the order first set
};

namespace {

using SKey = CRegistryTree::SKey;

unsigned char FoldByte(unsigned char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned char>(c - 'a' + 'A');
    }
    // Latin-1 small letters, except the division sign and y with diaeresis
    // (whose capital has no Latin-1 byte).
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<unsigned char>(c - 0x20);
    }
    return c;
}

bool FoldedLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char fa = FoldByte(static_cast<unsigned char>(a[i]));
        const unsigned char fb = FoldByte(static_cast<unsigned char>(b[i]));
        if (fa != fb) {
            return fa < fb;
        }
    }
    return a.size() < b.size();
}

bool FoldedEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldByte(static_cast<unsigned char>(a[i])) !=
            FoldByte(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The non-empty names of a key path.
std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            names.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

bool ValidPath(const std::vector<std::string_view>& names) {
    return std::all_of(names.begin(), names.end(),
                       [](std::string_view n) { return n.size() <= kMaxRegistryKeyName; });
}

std::vector<std::unique_ptr<SKey>>::iterator LowerBound(SKey& key, std::string_view name) {
    return std::lower_bound(
        key.subkeys.begin(), key.subkeys.end(), name,
        [](const std::unique_ptr<SKey>& k, std::string_view n) { return FoldedLess(k->name, n); });
}

SKey* Child(SKey& key, std::string_view name) {
    auto it = LowerBound(key, name);
    return (it != key.subkeys.end() && FoldedEqual((*it)->name, name)) ? it->get() : nullptr;
}

SKey* Find(SKey& root, std::string_view path) {
    const auto names = SplitPath(path);
    if (!ValidPath(names)) {
        return nullptr;
    }
    SKey* key = &root;
    for (std::string_view n : names) {
        key = Child(*key, n);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

SKey::SValue* FindValue(SKey& key, std::string_view name) {
    for (auto& v : key.values) {
        if (FoldedEqual(v.name, name)) {
            return &v;
        }
    }
    return nullptr;
}

// --- File form -------------------------------------------------------------

void AppendPathName(std::string& out, std::string_view name) {
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            AppendHexByte(out, c);
        } else {
            out += ch;
        }
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\x";
                    AppendHexByte(out, c);
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void SerializeKey(const SKey& key, const std::string& path, std::string& out) {
    if (!key.values.empty() || key.subkeys.empty()) {
        out += "\n[";
        out += path;
        out += "]\n";
        for (const auto& v : key.values) {
            if (v.name.empty()) {
                out += '@';
            } else {
                AppendQuoted(out, v.name);
            }
            out += '=';
            AppendQuoted(out, v.data);
            out += '\n';
        }
    }
    for (const auto& sub : key.subkeys) {
        std::string subPath = path;
        if (!subPath.empty()) {
            subPath += '\\';
        }
        AppendPathName(subPath, sub->name);
        SerializeKey(*sub, subPath, out);
    }
}

bool DecodePath(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        char c = 0;
        if (!ReadHexByte(text, i + 1, c)) {
            return false;
        }
        // An escaped separator would be a name holding "\", which no key has.
        if (c == '\\') {
            return false;
        }
        out += c;
        i += 2;
    }
    return true;
}

// Reads a quoted text at `pos`, leaving `pos` after its closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    out.clear();
    if (pos >= line.size() || line[pos] != '"') {
        return false;
    }
    for (++pos; pos < line.size(); ++pos) {
        const char ch = line[pos];
        if (ch == '"') {
            ++pos;
            return true;
        }
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (++pos >= line.size()) {
            return false;
        }
        switch (line[pos]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                char c = 0;
                if (!ReadHexByte(line, pos + 1, c)) {
                    return false;
                }
                out += c;
                pos += 2;
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

void SkipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
        ++pos;
    }
}

}  // namespace

const char* RegistryStatusText(ERegistryStatus status) {
    switch (status) {
        case ERegistryStatus::Success:
            return "success";
        case ERegistryStatus::NotFound:
            return "not found";
        case ERegistryStatus::NoMoreItems:
            return "no more items";
        case ERegistryStatus::InvalidName:
            return "invalid name";
        case ERegistryStatus::Corrupt:
            return "corrupt hive file";
        case ERegistryStatus::IoError:
            return "input/output error";
    }
    return "unknown";
}

CRegistryTree::CRegistryTree() : m_root(std::make_unique<SKey>()) {}
CRegistryTree::~CRegistryTree() = default;
CRegistryTree::CRegistryTree(CRegistryTree&&) noexcept = default;
CRegistryTree& CRegistryTree::operator=(CRegistryTree&&) noexcept = default;

ERegistryStatus CRegistryTree::CreateKey(std::string_view path) {
    const auto names = SplitPath(path);
    if (!ValidPath(names)) {
        return ERegistryStatus::InvalidName;
    }
    SKey* key = m_root.get();
    for (std::string_view n : names) {
        auto it = LowerBound(*key, n);
        if (it == key->subkeys.end() || !FoldedEqual((*it)->name, n)) {
            auto sub = std::make_unique<SKey>();
            sub->name = std::string(n);
            it = key->subkeys.insert(it, std::move(sub));
        }
        key = it->get();
    }
    return ERegistryStatus::Success;
}

bool CRegistryTree::KeyExists(std::string_view path) const {
    return Find(*m_root, path) != nullptr;
}

ERegistryStatus CRegistryTree::EnumKey(std::string_view path, std::size_t index,
                                       std::string& name) const {
    const SKey* key = Find(*m_root, path);
    if (key == nullptr) {
        return ERegistryStatus::NotFound;
    }
    if (index >= key->subkeys.size()) {
        return ERegistryStatus::NoMoreItems;
    }
    name = key->subkeys[index]->name;
    return ERegistryStatus::Success;
}

ERegistryStatus CRegistryTree::EnumValue(std::string_view path, std::size_t index,
                                         std::string& name, std::string& data) const {
    const SKey* key = Find(*m_root, path);
    if (key == nullptr) {
        return ERegistryStatus::NotFound;
    }
    if (index >= key->values.size()) {
        return ERegistryStatus::NoMoreItems;
    }
    name = key->values[index].name;
    data = key->values[index].data;
    return ERegistryStatus::Success;
}

ERegistryStatus CRegistryTree::QueryValue(std::string_view path, std::string_view name,
                                          std::string& data) const {
    SKey* key = Find(*m_root, path);
    const SKey::SValue* value = key ? FindValue(*key, name) : nullptr;
    if (value == nullptr) {
        return ERegistryStatus::NotFound;
    }
    data = value->data;
    return ERegistryStatus::Success;
}

ERegistryStatus CRegistryTree::SetValue(std::string_view path, std::string_view name,
                                        std::string_view data) {
    if (name.size() > kMaxRegistryValueName) {
        return ERegistryStatus::InvalidName;
    }
    SKey* key = Find(*m_root, path);
    if (key == nullptr) {
        return ERegistryStatus::NotFound;
    }
    if (SKey::SValue* value = FindValue(*key, name)) {
        value->data = std::string(data);
    } else {
        key->values.push_back({std::string(name), std::string(data)});
    }
    return ERegistryStatus::Success;
}

ERegistryStatus CRegistryTree::DeleteValue(std::string_view path, std::string_view name) {
    SKey* key = Find(*m_root, path);
    if (key == nullptr) {
        return ERegistryStatus::NotFound;
    }
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const SKey::SValue& v) { return FoldedEqual(v.name, name); });
    if (it == key->values.end()) {
        return ERegistryStatus::NotFound;
    }
    key->values.erase(it);
    return ERegistryStatus::Success;
}

ERegistryStatus CRegistryTree::DeleteTree(std::string_view path) {
    auto names = SplitPath(path);
    if (names.empty() || !ValidPath(names)) {
        return ERegistryStatus::InvalidName;
    }
    const std::string_view last = names.back();
    names.pop_back();
    SKey* parent = m_root.get();
    for (std::string_view n : names) {
        parent = Child(*parent, n);
        if (parent == nullptr) {
            return ERegistryStatus::NotFound;
        }
    }
    auto it = LowerBound(*parent, last);
    if (it == parent->subkeys.end() || !FoldedEqual((*it)->name, last)) {
        return ERegistryStatus::NotFound;
    }
    parent->subkeys.erase(it);
    return ERegistryStatus::Success;
}

void CRegistryTree::Clear() {
    m_root = std::make_unique<SKey>();
}

bool CRegistryTree::Empty() const {
    return m_root->subkeys.empty() && m_root->values.empty();
}

std::string CRegistryTree::Serialize(std::string_view title) const {
    std::string out = "; ";
    out += title;
    out +=
        "\n; Written whole by the console. Edit only while no console runs.\n"
        "; [key path], then \"value name\"=\"text\" lines; @ is the unnamed default value.\n";
    if (!Empty()) {
        SerializeKey(*m_root, std::string(), out);
    }
    return out;
}

ERegistryStatus CRegistryTree::Parse(std::string_view text, std::string& error) {
    CRegistryTree parsed;
    std::string keyPath;
    bool inKey = false;
    std::size_t lineNumber = 0;
    auto corrupt = [&](const char* why) {
        error = "line " + std::to_string(lineNumber) + ": " + why;
        return ERegistryStatus::Corrupt;
    };
    std::size_t start = 0;
    // A byte order mark from an editor that saved the file as UTF-8.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        start = 3;
    }
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        // Raw CRs never appear in names or data; one here came from an editor.
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::size_t pos = 0;
        SkipBlanks(line, pos);
        if (pos == line.size() || line[pos] == ';' || line[pos] == '#') {
            continue;
        }
        if (line[pos] == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < pos) {
                return corrupt("key path without closing \"]\"");
            }
            std::size_t after = close + 1;
            SkipBlanks(line, after);
            if (after != line.size()) {
                return corrupt("text after the key path");
            }
            if (!DecodePath(line.substr(pos + 1, close - pos - 1), keyPath)) {
                return corrupt("bad %-escape in the key path");
            }
            if (parsed.CreateKey(keyPath) != ERegistryStatus::Success) {
                return corrupt("key name longer than 255 bytes");
            }
            inKey = true;
            continue;
        }
        if (!inKey) {
            return corrupt("value before the first key path");
        }
        std::string name;
        if (line[pos] == '@') {
            ++pos;
        } else if (!ReadQuoted(line, pos, name)) {
            return corrupt("bad value name");
        }
        SkipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != '=') {
            return corrupt("missing \"=\" after the value name");
        }
        ++pos;
        SkipBlanks(line, pos);
        std::string data;
        if (!ReadQuoted(line, pos, data)) {
            return corrupt("bad value text");
        }
        SkipBlanks(line, pos);
        if (pos != line.size()) {
            return corrupt("text after the value");
        }
        if (parsed.SetValue(keyPath, name, data) != ERegistryStatus::Success) {
            return corrupt("value name longer than 16383 bytes");
        }
    }
    *this = std::move(parsed);
    error.clear();
    return ERegistryStatus::Success;
}

}  // namespace quillpad
