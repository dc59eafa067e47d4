#include "input/HistoryFile.h"

#include <filesystem>
#include <system_error>

#include "platform/FileIO.h"
#include "platform/Hex.h"

namespace quillpad {
namespace {

constexpr std::string_view kHeader = "Quillpad command history 1";
// Far more than kKeptHistoryEntries of any sane length; a larger file is not ours.
constexpr std::size_t kMaxFileBytes = 64u << 20;

bool Plain(unsigned char c) {
    return c >= 0x20 && c < 0x7f && c != '\\';
}

}  // namespace

std::string FormatHistory(const std::vector<ByteString>& entries) {
    std::string text(kHeader);
    text += '\n';
    const std::size_t first =
        entries.size() > kKeptHistoryEntries ? entries.size() - kKeptHistoryEntries : 0;
    for (std::size_t i = first; i < entries.size(); ++i) {
        for (const char ch : entries[i]) {
            const auto c = static_cast<unsigned char>(ch);
            if (Plain(c)) {
                text += ch;
            } else {
                text += "\\x";
                AppendHexByte(text, c);
            }
        }
        text += '\n';
    }
    return text;
}

SHistoryFile ParseHistory(std::string_view text) {
    SHistoryFile result;
    const auto fail = [&result](std::string why) {
        result.ok = false;
        result.entries.clear();
        result.error = std::move(why);
        return result;
    };
    const std::size_t headerEnd = text.find('\n');
    if (headerEnd == std::string_view::npos || text.substr(0, headerEnd) != kHeader) {
        return fail("it does not start with \"" + std::string(kHeader) + "\"");
    }
    std::size_t lineNumber = 1;
    std::size_t pos = headerEnd + 1;
    while (pos < text.size()) {
        ++lineNumber;
        const std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            return fail("line " + std::to_string(lineNumber) + " is cut short");
        }
        ByteString entry;
        for (std::size_t i = pos; i < end; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '\\') {
                char byte = 0;
                if (i + 3 >= end || text[i + 1] != 'x' || !ReadHexByte(text, i + 2, byte)) {
                    return fail("line " + std::to_string(lineNumber) + " has a bad escape");
                }
                entry += byte;
                i += 3;
            } else if (Plain(c)) {
                entry += static_cast<char>(c);
            } else {
                return fail("line " + std::to_string(lineNumber) + " holds an unescaped byte");
            }
        }
        if (entry.empty()) {
            return fail("line " + std::to_string(lineNumber) + " is empty");
        }
        result.entries.push_back(std::move(entry));
        pos = end + 1;
    }
    return result;
}

SHistoryFile ReadHistoryFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return {};
    }
    std::string bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes, &error, kMaxFileBytes)) {
        SHistoryFile result;
        result.ok = false;
        result.error = error;
        return result;
    }
    return ParseHistory(bytes);
}

bool WriteHistoryFile(const std::string& path, const std::vector<ByteString>& entries,
                      std::string* error) {
    return WriteFileAtomically(path, FormatHistory(entries), error, EFileAccess::Private);
}

}  // namespace quillpad
