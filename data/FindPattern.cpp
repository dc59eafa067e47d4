#include "data/FindPattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/Hex.h"
#include "platform/Latin1Case.h"
#include "platform/Latin1Pcre2Tables.h"

namespace quillpad {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
// Enough for any pattern a person types; a runaway one stops here and finds
// nothing in that stretch instead of holding the user interface.
constexpr std::uint32_t kMatchLimit = 10'000'000;

bool HasCase(unsigned char byte) {
    return Latin1FlippedCase()[byte] != byte;
}

}  // namespace

std::string ParseFindEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i++];
        if (c != '\\' || i == text.size()) {
            out += c;
            continue;
        }
        const char letter = text[i++];
        switch (letter) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                int value = 0;
                std::size_t digits = 0;
                while (digits < 2 && i < text.size() && IsHexDigit(text[i])) {
                    value = value * 16 + HexDigitValue(text[i++]);
                    ++digits;
                }
                if (digits == 0) {
                    out += 'x';  // "\x" alone is the letter, as any unknown escape
                } else {
                    out += static_cast<char>(value);
                }
                break;
            }
            default:
                out += letter;  // \\ and any other escaped character
        }
    }
    return out;
}

void AppendFindEscapes(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b >= 0x20 && b < 0x7F) {
                    out += c;
                } else {
                    out += "\\x";
                    out += kHexDigits[b >> 4];
                    out += kHexDigits[b & 0x0F];
                }
        }
    }
}

bool ParseFindHex(std::string_view text, std::string& bytes, std::string& error) {
    bytes.clear();
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        const int value = HexDigitValue(c);
        if (value < 0) {
            error = std::string("Not a hex digit: \"") + c + "\"";
            return false;
        }
        if (high < 0) {
            high = value;
        } else {
            bytes += static_cast<char>(high * 16 + value);
            high = -1;
        }
    }
    if (high >= 0) {
        error = "An odd number of hex digits";
        return false;
    }
    return true;
}

struct CFindPattern::SCode {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = nullptr;

    ~SCode() {
        pcre2_match_context_free(context);
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
};

CFindPattern::CFindPattern(const SFindQuery& query) : m_direction(query.direction) {
    switch (query.mode) {
        case EFindMode::Text: {
            m_literal = ParseFindEscapes(query.text);
            const bool folds =
                !query.matchCase && std::any_of(m_literal.begin(), m_literal.end(), [](char c) {
                    return HasCase(static_cast<unsigned char>(c));
                });
            if (folds) {
                // Each byte written as \xhh, so no byte of the text is syntax.
                std::string pattern;
                for (const char c : m_literal) {
                    const auto b = static_cast<unsigned char>(c);
                    pattern += "\\x";
                    pattern += kHexDigits[b >> 4];
                    pattern += kHexDigits[b & 0x0F];
                }
                CompileRegex(pattern, true);
            }
            break;
        }
        case EFindMode::Hex:
            ParseFindHex(query.text, m_literal, m_error);
            break;
        case EFindMode::Pattern:
            CompileRegex(query.text, !query.matchCase);
            break;
    }
    if (m_error.empty() && !m_code && m_literal.empty()) {
        m_error = "Nothing to find";
    }
}

CFindPattern::~CFindPattern() = default;
CFindPattern::CFindPattern(CFindPattern&&) noexcept = default;
CFindPattern& CFindPattern::operator=(CFindPattern&&) noexcept = default;

void CFindPattern::CompileRegex(std::string_view pattern, bool caseless) {
    if (pattern.empty()) {
        m_error = "Nothing to find";
        return;
    }
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_character_tables(context, Latin1CharacterTables());
    // ^ and $ at every line end a console knows: CR, LF or CR LF.
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    std::uint32_t options = PCRE2_MULTILINE | PCRE2_NEVER_UTF;
    if (caseless) {
        options |= PCRE2_CASELESS;
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     options, &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);
    if (code == nullptr) {
        std::array<PCRE2_UCHAR, 256> message{};
        pcre2_get_error_message(errorCode, message.data(), message.size());
        m_error = std::string(reinterpret_cast<const char*>(message.data()));
        if (!m_error.empty()) {
            m_error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(m_error[0])));
        }
        m_error += " at offset " + std::to_string(errorOffset);
        return;
    }
    // A pattern that starts each line (^) lets PCRE2 skip from a CR over its
    // LF to the next try, which makes where ^ matches depend on where the
    // search started; a window's search starts anywhere, so it tries every
    // position instead.
    std::uint32_t firstCode = 0;
    pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &firstCode);
    if (firstCode == 2) {
        pcre2_code_free(code);
        pcre2_compile_context* again = pcre2_compile_context_create(nullptr);
        pcre2_set_character_tables(again, Latin1CharacterTables());
        pcre2_set_newline(again, PCRE2_NEWLINE_ANYCRLF);
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                             options | PCRE2_NO_START_OPTIMIZE, &errorCode, &errorOffset, again);
        pcre2_compile_context_free(again);
        if (code == nullptr) {
            m_error = "The pattern cannot be compiled for searching";
            return;
        }
    }
    // Without the JIT (a system that forbids executable memory) the
    // interpreter matches the same, only slower.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
    m_code = std::make_unique<SCode>();
    m_code->code = code;
    m_code->data = pcre2_match_data_create_from_pattern(code, nullptr);
    m_code->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(m_code->context, kMatchLimit);
    std::uint32_t lookbehind = 0;
    pcre2_pattern_info(code, PCRE2_INFO_MAXLOOKBEHIND, &lookbehind);
    m_context = std::max<std::size_t>(lookbehind, 2);
}

SPatternMatch CFindPattern::Match(std::string_view subject, std::size_t start, bool more,
                                  bool lineStart) const {
    SPatternMatch result;
    if (!IsValid() || start >= subject.size()) {
        return result;
    }
    if (!m_code) {
        const void* found = memmem(subject.data() + start, subject.size() - start, m_literal.data(),
                                   m_literal.size());
        if (found != nullptr) {
            result.kind = SPatternMatch::EKind::Full;
            result.begin =
                static_cast<std::size_t>(static_cast<const char*>(found) - subject.data());
            result.end = result.begin + m_literal.size();
        } else if (more && m_literal.size() > 1) {
            // Only the last bytes may still start a match with what follows.
            result.kind = SPatternMatch::EKind::Partial;
            result.begin = std::max(
                start, subject.size() + 1 - std::min(subject.size() + 1, m_literal.size()));
        }
        return result;
    }

    std::uint32_t options = PCRE2_NOTEMPTY;
    if (more) {
        options |= PCRE2_PARTIAL_HARD;
    }
    if (!lineStart) {
        options |= PCRE2_NOTBOL;
    }
    // ^ after a line end that ends the buffer fails without looking past the
    // end, so a partial match would not show it: with more to come, the last
    // line-end bytes wait for what follows them.
    std::size_t size = subject.size();
    if (more) {
        for (int held = 0;
             held < 2 && size > start && (subject[size - 1] == '\r' || subject[size - 1] == '\n');
             ++held) {
            --size;
        }
        if (size == start) {
            result.kind = SPatternMatch::EKind::Partial;
            result.begin = start;
            return result;
        }
    }
    const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
    for (std::size_t from = start; from < size;) {
        const int rc =
            pcre2_match(m_code->code, bytes, size, from, options, m_code->data, m_code->context);
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_code->data);
        if (rc == PCRE2_ERROR_PARTIAL) {
            result.kind = SPatternMatch::EKind::Partial;
            result.begin = std::max<std::size_t>(ovector[0], start);
            return result;
        }
        if (rc < 0) {
            if (size < subject.size()) {
                // Nothing before the held bytes: they start the next search.
                result.kind = SPatternMatch::EKind::Partial;
                result.begin = size;
            }
            return result;  // no match, or over the match limit
        }
        // \K can report a match that ends where it starts, or before the
        // search's start; such a match is no match, and the search goes on.
        if (ovector[1] > ovector[0] && ovector[0] >= start) {
            result.kind = SPatternMatch::EKind::Full;
            result.begin = ovector[0];
            result.end = ovector[1];
            return result;
        }
        from = std::max<std::size_t>(from, ovector[1]) + 1;
    }
    if (size < subject.size()) {
        result.kind = SPatternMatch::EKind::Partial;
        result.begin = size;
    }
    return result;
}

}  // namespace quillpad
