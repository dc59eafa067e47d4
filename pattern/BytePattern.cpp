#include "pattern/BytePattern.h"

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

// A message as a sentence: the parsers and PCRE2 start theirs in lower case.
std::string Sentence(std::string text) {
    if (!text.empty()) {
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    }
    return text;
}

// How rare a byte usually is in console traffic, higher for rarer: text is
// mostly lower-case letters, spaces and digits.
int Rarity(unsigned char c) {
    if (c == ' ' || (c >= 'a' && c <= 'z')) {
        return 0;
    }
    if ((c >= '0' && c <= '9') || c == '\r' || c == '\n') {
        return 1;
    }
    if (c >= 'A' && c <= 'Z') {
        return 2;
    }
    if (c > ' ' && c < 0x7F) {
        return 3;
    }
    return 4;
}

std::string Folded(std::string_view bytes) {
    std::string out(bytes);
    for (char& c : out) {
        c = Latin1Fold(c);
    }
    return out;
}

bool HasCase(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return Latin1Flip(c) != c; });
}

// Whether `bytes` folded is `folded` (already folded).
bool EqualsFolded(const char* bytes, std::string_view folded) {
    for (std::size_t i = 0; i < folded.size(); ++i) {
        if (Latin1Fold(bytes[i]) != folded[i]) {
            return false;
        }
    }
    return true;
}

// Caseless, a letter is searched for in both cases, so it is as common as
// its lower case: the space comes first, then the letters English text uses
// most, then the other letters beside digits and line ends. Between equals,
// a byte without a case pair takes a single memchr.
int CaselessRarity(char c) {
    const auto b = static_cast<unsigned char>(c);
    const bool pairs = Latin1Flip(c) != c;
    if (pairs && b < 0x80) {
        const char lower = Latin1Fold(c);
        return std::strchr("etaoinsrhldcu", lower) != nullptr ? 2 : 4;
    }
    if (pairs) {
        return 8;  // a Latin-1 letter, in either case
    }
    return 2 * Rarity(b) + 1;
}

std::size_t RarestByte(std::string_view literal, bool caseless) {
    const auto score = [caseless](char c) {
        return caseless ? CaselessRarity(c) : Rarity(static_cast<unsigned char>(c));
    };
    std::size_t best = 0;
    for (std::size_t i = 1; i < literal.size(); ++i) {
        if (score(literal[i]) > score(literal[best])) {
            best = i;
        }
    }
    return best;
}

// The first place of `literal` in `hay`, or npos. memchr is vectorised; a
// literal's rarest byte seldom occurs where the literal does not (measured
// against memmem and std::boyer_moore_horspool_searcher: bench/FindBench).
// Caseless, `literal` is folded and the rarest byte is looked for in both
// its cases, the nearer hit taken first.
std::size_t FindLiteral(std::string_view hay, std::string_view literal, std::size_t rare,
                        bool caseless) {
    if (literal.size() > hay.size()) {
        return std::string_view::npos;
    }
    const char* const first = hay.data();
    const char* from = first + rare;
    const char* const last = first + (hay.size() - literal.size()) + rare + 1;
    const char one = literal[rare];
    const char other = caseless ? Latin1Flip(one) : one;
    const auto next = [&last](const char* at, char c) {
        const void* hit = std::memchr(at, c, static_cast<std::size_t>(last - at));
        return hit != nullptr ? static_cast<const char*>(hit) : last;
    };
    // A byte beside the rare one is compared first: in a console's traffic
    // the "rare" byte (a colon, a capital) still recurs every few dozen
    // bytes, and a whole compare at each costs more than the search.
    const std::size_t beside = rare + 1 < literal.size() ? rare + 1 : (rare > 0 ? rare - 1 : rare);
    const char besideByte = literal[beside];
    const char* hitOne = next(from, one);
    const char* hitOther = other != one ? next(from, other) : last;
    while (from < last) {
        const char* const hit = std::min(hitOne, hitOther);
        if (hit == last) {
            break;
        }
        const char* const start = hit - rare;
        const char near = caseless ? Latin1Fold(start[beside]) : start[beside];
        if (near == besideByte &&
            (caseless ? EqualsFolded(start, literal)
                      : std::memcmp(start, literal.data(), literal.size()) == 0)) {
            return static_cast<std::size_t>(start - first);
        }
        from = hit + 1;
        if (hitOne < from) {
            hitOne = next(from, one);
        }
        if (hitOther < from) {
            hitOther = next(from, other);
        }
    }
    return std::string_view::npos;
}

bool IsRegexMeta(char c) {
    return std::strchr("\\^$.|?*+()[]{}", c) != nullptr;
}

bool IsQuantifier(char c) {
    return c == '*' || c == '+' || c == '?' || c == '{';
}

// Whether `pattern` has a `|` outside every group and class.
bool HasTopLevelAlternative(std::string_view pattern) {
    int depth = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\') {
            if (i + 1 < pattern.size() && pattern[i + 1] == 'Q') {
                const std::size_t end = pattern.find("\\E", i + 2);
                if (end == std::string_view::npos) {
                    return false;
                }
                i = end + 1;
            } else {
                ++i;
            }
        } else if (c == '[') {
            // A class: `]` first (or after `^`) is a member; escapes and
            // POSIX names such as [:digit:] inside do not end it.
            std::size_t j = i + 1;
            if (j < pattern.size() && pattern[j] == '^') {
                ++j;
            }
            if (j < pattern.size() && pattern[j] == ']') {
                ++j;
            }
            for (; j < pattern.size() && pattern[j] != ']'; ++j) {
                if (pattern[j] == '\\') {
                    ++j;
                } else if (pattern[j] == '[' && j + 1 < pattern.size() && pattern[j + 1] == ':') {
                    const std::size_t end = pattern.find(":]", j + 2);
                    if (end != std::string_view::npos) {
                        j = end + 1;
                    }
                }
            }
            i = j;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == '|' && depth <= 0) {
            return true;
        }
    }
    return false;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
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

std::string RegexLiteralPrefix(std::string_view pattern) {
    if (HasTopLevelAlternative(pattern)) {
        return {};
    }
    std::string prefix;
    std::size_t i = 0;
    while (i < pattern.size()) {
        char literal = 0;
        std::size_t next = i + 1;
        if (pattern[i] == '\\') {
            // An escaped punctuation byte is itself; \d, \x41, \Q and the
            // like are left to the expression.
            if (i + 1 >= pattern.size() ||
                std::isalnum(static_cast<unsigned char>(pattern[i + 1])) != 0) {
                break;
            }
            literal = pattern[i + 1];
            next = i + 2;
        } else if (IsRegexMeta(pattern[i])) {
            break;
        } else {
            literal = pattern[i];
        }
        if (next < pattern.size() && IsQuantifier(pattern[next])) {
            break;  // this one may repeat or be missing
        }
        prefix += literal;
        i = next;
    }
    return prefix;
}

struct CBytePattern::SCode {
    pcre2_code* code = nullptr;
    // For a pattern that starts lines, the same compiled to try every
    // position (see CompileRegex); null for any other.
    pcre2_code* anywhere = nullptr;
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = nullptr;
    bool jit = false;
    bool anywhereJit = false;
    std::uint32_t captures = 0;

    ~SCode() {
        pcre2_match_context_free(context);
        pcre2_match_data_free(data);
        pcre2_code_free(anywhere);
        pcre2_code_free(code);
    }
};

CBytePattern::CBytePattern(const SFindQuery& query) : m_direction(query.direction) {
    const bool caseless = !query.matchCase;
    switch (query.mode) {
        case EFindMode::Text:
            m_literal = ParseFindEscapes(query.text);
            // A text without letters has nothing to fold: the plain search.
            if (caseless && HasCase(m_literal)) {
                m_literal = Folded(m_literal);
                m_caseless = true;
            }
            break;
        case EFindMode::Hex: {
            std::string error;
            if (!ParseHexBytes(query.text, m_literal, error)) {
                m_error = Sentence(error);
                return;
            }
            break;
        }
        case EFindMode::Pattern:
            CompileRegex(query.text, caseless, query.matchLimit);
            if (!IsValid()) {
                return;
            }
            m_literal = RegexLiteralPrefix(query.text);
            if (caseless && HasCase(m_literal)) {
                m_literal = Folded(m_literal);
                m_caseless = true;
            }
            break;
    }
    if (!m_code && m_literal.empty()) {
        m_error = "Nothing to find";
    }
    m_rare = RarestByte(m_literal, m_caseless);
}

CBytePattern::~CBytePattern() = default;
CBytePattern::CBytePattern(CBytePattern&&) noexcept = default;
CBytePattern& CBytePattern::operator=(CBytePattern&&) noexcept = default;

void CBytePattern::CompileRegex(std::string_view pattern, bool caseless, std::uint32_t matchLimit) {
    if (pattern.empty()) {
        m_error = "Nothing to find";
        return;
    }
    // A history's end is only where its bytes end for now: a line starts after
    // its last newline as after any other, or "\r^" would match where a window
    // ends a byte later than where the whole history is read at once.
    std::uint32_t options = PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX | PCRE2_NEVER_UTF;
    if (caseless) {
        options |= PCRE2_CASELESS;
    }
    const auto compile = [&](std::uint32_t more, int& errorCode, PCRE2_SIZE& errorOffset) {
        pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
        // Latin-1 letters fold as in every pattern box, for PCRE2_CASELESS and (?i).
        pcre2_set_character_tables(context, Latin1CharacterTables());
        // ^ and $ at every line end a console knows: CR, LF or CR LF.
        pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
        pcre2_code* code =
            pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          options | more, &errorCode, &errorOffset, context);
        pcre2_compile_context_free(context);
        return code;
    };
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = compile(0, errorCode, errorOffset);
    if (code == nullptr) {
        std::array<PCRE2_UCHAR, 256> message{};
        pcre2_get_error_message(errorCode, message.data(), message.size());
        m_error = Sentence(reinterpret_cast<const char*>(message.data())) + " at offset " +
                  std::to_string(errorOffset);
        return;
    }
    // Without the JIT (a system that forbids executable memory) the
    // interpreter matches the same, only slower.
    const auto jit = [](pcre2_code* c) {
        return pcre2_jit_compile(c, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0;
    };
    m_code = std::make_unique<SCode>();
    m_code->code = code;
    m_code->jit = jit(code);
    // A pattern that starts each line (^) lets PCRE2 skip from a CR over its
    // LF to the next try, which makes where ^ matches depend on where the
    // search started; a window's search starts anywhere, so it tries every
    // position instead. A live stream keeps the skips, several times
    // quicker: its searches resume where a match or a partial one left off.
    std::uint32_t firstCode = 0;
    pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &firstCode);
    if (firstCode == 2) {
        m_code->anywhere = compile(PCRE2_NO_START_OPTIMIZE, errorCode, errorOffset);
        if (m_code->anywhere == nullptr) {
            m_code.reset();
            m_error = "The pattern cannot be compiled for searching";
            return;
        }
        m_code->anywhereJit = jit(m_code->anywhere);
    }
    m_code->data = pcre2_match_data_create_from_pattern(code, nullptr);
    m_code->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(m_code->context, matchLimit);
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &m_code->captures);
    std::uint32_t lookbehind = 0;
    pcre2_pattern_info(code, PCRE2_INFO_MAXLOOKBEHIND, &lookbehind);
    m_context = std::max<std::size_t>(lookbehind, 2);
}

// Inlined into Match: a live stream calls it for every trigger and record.
inline SPatternMatch CBytePattern::MatchRegex(std::string_view subject, std::size_t start,
                                              EFollow follow, bool lineStart) const {
    SPatternMatch result;
    result.begin = subject.size();
    const auto partial = [&result](std::size_t at) {
        result.kind = SPatternMatch::EKind::Partial;
        result.begin = at;
        return result;
    };
    std::uint32_t options = PCRE2_NOTEMPTY;
    if (follow != EFollow::Nothing) {
        options |= PCRE2_PARTIAL_HARD;
    }
    if (!lineStart) {
        options |= PCRE2_NOTBOL;
    }
    // ^ after a line end that ends the buffer fails without looking past the
    // end, so a partial match would not show it: with more to come, the last
    // line-end bytes wait for what follows them.
    std::size_t size = subject.size();
    if (follow == EFollow::More) {
        for (int held = 0; held < 2 && size > start && IsLineEnd(subject[size - 1]); ++held) {
            --size;
        }
        if (size == start) {
            return partial(start);
        }
    }
    const bool anywhere = m_code->anywhere != nullptr && follow != EFollow::Live;
    pcre2_code* const code = anywhere ? m_code->anywhere : m_code->code;
    const bool jit = anywhere ? m_code->anywhereJit : m_code->jit;
    const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
    for (std::size_t from = start; from < size;) {
        if (!m_literal.empty()) {
            // Every match starts with the prefix: the expression need only
            // run where it is. Where it is not, only its start at the very
            // end may still become a match.
            const std::size_t found =
                FindLiteral(subject.substr(from, size - from), m_literal, m_rare, m_caseless);
            if (found == std::string_view::npos) {
                if (follow != EFollow::Nothing) {
                    const std::size_t rest = size - from;
                    for (std::size_t k = std::min(rest, m_literal.size() - 1); k > 0; --k) {
                        const char* const tail = subject.data() + (size - k);
                        // The first byte alone settles most: a compare call
                        // for every length, every record, cost as much as the
                        // search.
                        if ((m_caseless ? Latin1Fold(*tail) : *tail) != m_literal[0]) {
                            continue;
                        }
                        const std::string_view head = std::string_view(m_literal).substr(0, k);
                        if (m_caseless ? EqualsFolded(tail, head)
                                       : std::string_view(tail, k) == head) {
                            return partial(size - k);
                        }
                    }
                }
                break;
            }
            from += found;
        }
        // The JIT's own entry skips the checks pcre2_match makes on every
        // call, which cost as much as a short record's search.
        const int rc =
            jit ? pcre2_jit_match(code, bytes, size, from, options, m_code->data, m_code->context)
                : pcre2_match(code, bytes, size, from, options, m_code->data, m_code->context);
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_code->data);
        if (rc == PCRE2_ERROR_PARTIAL) {
            return partial(std::max<std::size_t>(ovector[0], start));
        }
        if (rc < 0) {
            break;  // no match, or over the match limit
        }
        // \K can report a match that ends where it starts, or before the
        // search's start; such a match is no match, and the search goes on.
        if (ovector[1] > ovector[0] && ovector[0] >= start) {
            result.kind = SPatternMatch::EKind::Full;
            result.begin = ovector[0];
            result.end = ovector[1];
            m_groups = rc;
            return result;
        }
        from = std::max<std::size_t>(from, ovector[1]) + 1;
    }
    if (size < subject.size()) {
        return partial(size);  // nothing before the held bytes: they start the next search
    }
    return result;
}

SPatternMatch CBytePattern::Match(std::string_view subject, std::size_t start, EFollow follow,
                                  bool lineStart) const {
    m_groups = 0;
    if (m_code && start < subject.size()) {
        return MatchRegex(subject, start, follow, lineStart);
    }
    SPatternMatch result;
    result.begin = subject.size();
    if (!IsValid() || start >= subject.size()) {
        return result;
    }
    const std::size_t found = FindLiteral(subject.substr(start), m_literal, m_rare, m_caseless);
    if (found != std::string_view::npos) {
        result.kind = SPatternMatch::EKind::Full;
        result.begin = start + found;
        result.end = result.begin + m_literal.size();
    } else if (follow != EFollow::Nothing && m_literal.size() > 1) {
        // Only the last bytes may still start a match with what follows.
        result.begin =
            std::max(start, subject.size() + 1 - std::min(subject.size() + 1, m_literal.size()));
        if (result.begin < subject.size()) {
            result.kind = SPatternMatch::EKind::Partial;
        }
    }
    return result;
}

std::vector<std::pair<std::size_t, std::size_t>> CBytePattern::Groups() const {
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    if (!m_code || m_groups == 0) {
        return groups;
    }
    // The match's count stops at the highest group that took part.
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_code->data);
    constexpr auto kNone = std::string::npos;
    for (std::uint32_t i = 1; i <= m_code->captures; ++i) {
        const bool took = static_cast<int>(i) < m_groups && ovector[2 * i] != PCRE2_UNSET;
        groups.emplace_back(took ? ovector[2 * i] : kNone, took ? ovector[2 * i + 1] : kNone);
    }
    return groups;
}

}  // namespace quillpad
