#pragma once
// The console's one byte pattern, compiled once: the bytes of a text, the
// bytes a run of hex digits names, or a regular expression over bytes (PCRE2,
// 8-bit, no UTF, the JIT on). One byte is one Latin-1 character; nothing is
// decoded. Find, the triggers, a script's expect and a style's pattern rules
// all match with it, so a pattern box means the same everywhere.
//
// A pattern is matched against a buffer that holds only part of a stream at
// a time, so Match says when a match might go on past the buffer's end
// (partial) and the caller brings more bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillpad {

enum class EFindMode { Text, Hex, Pattern };

// Steps PCRE2 may take for one search: enough for any pattern a person
// types; a runaway one stops there and finds nothing in that stretch instead
// of holding the user interface. A live stream (triggers) takes the lower
// limit, since it searches with every record.
inline constexpr std::uint32_t kFindMatchLimit = 10'000'000;
inline constexpr std::uint32_t kLiveMatchLimit = 1'000'000;

struct SFindQuery {
    std::string text;  // as typed
    EFindMode mode = EFindMode::Text;
    // Off: Latin-1 letters match either case (Text and Pattern; hex names bytes).
    bool matchCase = true;
    // 0 searches both directions, else kDirectionIncoming or kDirectionOutgoing.
    std::uint32_t direction = 0;
    std::uint32_t matchLimit = kFindMatchLimit;
};

// Text mode's escapes: \\ \r \n (one LF) \t and \xHH (one or two digits); any
// other escape stands for the escaped character itself, a trailing backslash
// for itself. A device's line ends vary, so \n is one LF and "\r\n" finds
// CR LF.
std::string ParseFindEscapes(std::string_view text);
// Bytes written back in those escapes: printable ASCII as itself, \\ \r \n \t,
// every other byte as \xhh. ParseFindEscapes reads it back unchanged.
void AppendFindEscapes(std::string& out, std::string_view bytes);

// The bytes every match of a regular expression starts with (empty when it
// cannot tell): its leading literal characters, none of them quantified,
// when the expression has no alternative at its top level.
std::string RegexLiteralPrefix(std::string_view pattern);

struct SPatternMatch {
    enum class EKind { None, Full, Partial };
    EKind kind = EKind::None;
    // Full: the match. Partial: where a match may start that needs bytes past
    // the end; nothing before `begin` matches. None: the subject's size.
    std::size_t begin = 0;
    std::size_t end = 0;
};

// What may follow the subject of a search.
enum class EFollow {
    Nothing,  // its end is the stream's end
    // More bytes: a match that reaches the end is partial, and so are the
    // last line-end bytes, after which ^ may yet match.
    More,
    // More bytes, but a match they complete is taken at once (a live stream
    // cannot wait for the next record to fire): only a match that reaches
    // the end is partial.
    Live,
};

class CBytePattern {
  public:
    // Compiles; a query that cannot be searched is invalid with its reason.
    explicit CBytePattern(const SFindQuery& query);
    ~CBytePattern();
    CBytePattern(CBytePattern&&) noexcept;
    CBytePattern& operator=(CBytePattern&&) noexcept;

    bool IsValid() const { return m_error.empty(); }
    // Why the query cannot be searched, a sentence for the person who typed it.
    const std::string& Error() const { return m_error; }
    std::uint32_t Direction() const { return m_direction; }
    bool IsRegex() const { return m_code != nullptr; }

    // The first match in subject[start, size). `lineStart` says that the
    // subject's first byte starts a line (^). An invalid pattern matches
    // nothing.
    SPatternMatch Match(std::string_view subject, std::size_t start, EFollow follow,
                        bool lineStart) const;
    SPatternMatch Match(std::string_view subject, std::size_t start, bool more,
                        bool lineStart) const {
        return Match(subject, start, more ? EFollow::More : EFollow::Nothing, lineStart);
    }
    // Bytes before a search's start that the pattern may look at (lookbehind,
    // \b, ^ after a line end).
    std::size_t Context() const { return m_context; }
    // The capture groups of the last Full match of a regular expression, as
    // [begin, end) in its subject, {npos, npos} for a group that took no
    // part. Empty for text and hex and after any other result.
    std::vector<std::pair<std::size_t, std::size_t>> Groups() const;

  private:
    struct SCode;
    void CompileRegex(std::string_view pattern, bool caseless, std::uint32_t matchLimit);
    SPatternMatch MatchRegex(std::string_view subject, std::size_t start, EFollow follow,
                             bool lineStart) const;

    std::string m_error;
    std::uint32_t m_direction = 0;
    // A text's bytes, or the bytes a regular expression's matches start with;
    // folded to lower case when the pattern ignores case.
    std::string m_literal;
    bool m_caseless = false;
    // The literal's byte that is likely rarest in console traffic: memchr
    // finds it, and only there is the whole literal compared.
    std::size_t m_rare = 0;
    std::unique_ptr<SCode> m_code;
    std::size_t m_context = 0;
    mutable int m_groups = 0;  // ovector pairs the last Full match set
};

}  // namespace quillpad
