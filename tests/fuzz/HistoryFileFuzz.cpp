// The command history file, both ways. Arbitrary bytes as a file: a history
// read from them is written back as text of printable ASCII lines that reads
// back to the same entries, and a second write changes nothing. The same
// bytes cut into entries: any entries but empty ones survive the round trip.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/HistoryFile.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

using quillpad::ByteString;

// What a write keeps: the newest kKeptHistoryEntries.
std::vector<ByteString> Kept(const std::vector<ByteString>& entries) {
    const std::size_t n = entries.size();
    const std::size_t first =
        n > quillpad::kKeptHistoryEntries ? n - quillpad::kKeptHistoryEntries : 0;
    return std::vector<ByteString>(entries.begin() + static_cast<std::ptrdiff_t>(first),
                                   entries.end());
}

bool PrintableLines(const std::string& text) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c != '\n' && (c < 0x20 || c >= 0x7f)) {
            return false;
        }
    }
    return !text.empty() && text.back() == '\n';
}

void CheckRoundTrip(const std::vector<ByteString>& entries) {
    using namespace quillpad;
    const std::string text = FormatHistory(entries);
    Check(PrintableLines(text));
    const SHistoryFile back = ParseHistory(text);
    Check(back.ok && back.error.empty());
    Check(back.entries == Kept(entries));
    Check(FormatHistory(back.entries) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const SHistoryFile read = ParseHistory(bytes);
    if (read.ok) {
        Check(read.error.empty());
        for (const ByteString& entry : read.entries) {
            Check(!entry.empty());
        }
        CheckRoundTrip(read.entries);
    } else {
        Check(read.entries.empty() && !read.error.empty());
    }

    // The bytes as entries, cut at the first byte's value (any byte may be
    // in an entry, the line ends too).
    if (size > 1) {
        const char cut = bytes[0];
        std::vector<ByteString> entries;
        std::size_t pos = 1;
        while (pos <= size) {
            std::size_t end = bytes.find(cut, pos);
            if (end == std::string_view::npos) {
                end = size;
            }
            if (end > pos) {
                entries.emplace_back(bytes.substr(pos, end - pos));
            }
            pos = end + 1;
        }
        CheckRoundTrip(entries);
    }
    return 0;
}
