#include "platform/Hex.h"

namespace quillpad {

bool IsHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::uint32_t ParseHexPrefix(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

void AppendHexByte(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

bool ReadHexByte(std::string_view text, std::size_t at, char& byte) {
    if (at + 1 >= text.size()) {
        return false;
    }
    const int hi = HexDigitValue(text[at]);
    const int lo = HexDigitValue(text[at + 1]);
    if (hi < 0 || lo < 0) {
        return false;
    }
    byte = static_cast<char>(hi * 16 + lo);
    return true;
}

bool ParseHexBytes(std::string_view text, std::string& bytes, std::string& error) {
    bytes.clear();
    const auto separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (separator(c)) {
            ++i;
            continue;
        }
        const auto notDigit = [&](std::size_t at) {
            error = "\"" + std::string(1, text[at]) + "\" at position " + std::to_string(at + 1) +
                    " is not a hex digit";
            bytes.clear();
            return false;
        };
        if (!IsHexDigit(c)) {
            return notDigit(i);
        }
        char byte = 0;
        if (!ReadHexByte(text, i, byte)) {
            if (i + 1 == text.size() || separator(text[i + 1])) {
                error = "the digit at position " + std::to_string(i + 1) + " has no partner";
                bytes.clear();
                return false;
            }
            return notDigit(i + 1);
        }
        bytes.push_back(byte);
        i += 2;
    }
    error.clear();
    return true;
}

std::string EscapedBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else {
            out += "\\x";
            AppendHexByte(out, byte);
        }
    }
    return out;
}

}  // namespace quillpad
