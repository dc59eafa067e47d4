// LoadText on arbitrary bytes, then the properties every caller relies on:
// SaveText sizes and copies exactly, what it writes reads back to the same
// text, and lookups find the first entry of a key.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/CIniDocument.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    CIniDocument doc;
    Check(doc.LoadText(text, true));
    const std::size_t needed = doc.SaveText(nullptr, 0);
    std::string buffer(needed, '#');
    Check(doc.SaveText(buffer.data(), needed - 1) == needed);
    Check(buffer == std::string(needed, '#'));
    Check(doc.SaveText(buffer.data(), needed) == needed);
    Check(buffer.back() == '\0');
    const std::string written = buffer.substr(0, needed - 1);
    Check(written == doc.SaveText());
    Check(written.find('\0') == std::string::npos);

    // What the engine writes, it reads back as the same text.
    CIniDocument again;
    again.LoadText(written, true);
    Check(again.SaveText() == written);

    for (std::size_t i = 0; i < doc.SectionCount(); ++i) {
        const SIniSection* section = doc.SectionAt(i);
        for (const SIniEntry& entry : section->entries) {
            const SIniEntry* first = nullptr;
            for (const SIniEntry& e : section->entries) {
                if (e.key == entry.key) {
                    first = &e;
                    break;
                }
            }
            Check(doc.ReadString(section, entry.key, "") == first->value);
            (void)doc.ReadInt(section->name, entry.key, 0);
            (void)doc.ReadBool(section->name, entry.key, false);
        }
    }
    const std::size_t sections = doc.SectionCount();
    doc.WriteString("fuzz", "key", text.substr(0, 64));
    Check(doc.SectionCount() <= sections + 1);

    // SplitTokens: tokens are never empty and never hold a delimiter.
    const std::string_view delimiters = text.substr(0, 2);
    std::size_t kept = 0;
    for (const ByteString& token : SplitTokens(text, delimiters)) {
        Check(!token.empty());
        Check(delimiters.empty() || token.find_first_of(delimiters) == std::string::npos);
        kept += token.size();
    }
    Check(kept <= text.size());
    return 0;
}
