#pragma once
// What Find looks for, compiled once: the bytes of a text, the bytes a run of
// hex digits names, or a regular expression over bytes (PCRE2, 8-bit, no UTF,
// the JIT on). One byte is one Latin-1 character; nothing is decoded.
//
// A pattern is matched against a buffer that holds only part of the history
// at a time, so Match says when a match might go on past the buffer's end
// (partial) and the caller reads on; see CHistoryScan.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillpad {

enum class EFindMode { Text, Hex, Pattern };

struct SFindQuery {
    std::string text;  // as typed
    EFindMode mode = EFindMode::Text;
    // Off: Latin-1 letters match either case (Text and Pattern; hex names bytes).
    bool matchCase = true;
    // 0 searches both directions, else kDirectionIncoming or kDirectionOutgoing.
    std::uint32_t direction = 0;
};

// Text mode's escapes: \\ \r \n (one LF) \t and \xHH (one or two digits); any
// other escape stands for the escaped character itself, a trailing backslash
// for itself. A device's line ends vary, so \n is one LF here and "\r\n"
// finds CR LF.
std::string ParseFindEscapes(std::string_view text);
// Bytes written back in those escapes: printable ASCII as itself, \\ \r \n \t,
// every other byte as \xhh. ParseFindEscapes reads it back unchanged.
void AppendFindEscapes(std::string& out, std::string_view bytes);
// "55 AA", "0d0a": pairs of hex digits, spaces and tabs anywhere between
// them. False, with the reason in `error`, on any other character or an odd
// number of digits.
bool ParseFindHex(std::string_view text, std::string& bytes, std::string& error);

struct SPatternMatch {
    enum class EKind { None, Full, Partial };
    EKind kind = EKind::None;
    // Full: the match. Partial: where a match may start that needs bytes past
    // the end; nothing before `begin` matches.
    std::size_t begin = 0;
    std::size_t end = 0;
};

class CFindPattern {
  public:
    // Compiles; a query that cannot be searched is invalid with its reason.
    explicit CFindPattern(const SFindQuery& query);
    ~CFindPattern();
    CFindPattern(CFindPattern&&) noexcept;
    CFindPattern& operator=(CFindPattern&&) noexcept;

    bool IsValid() const { return m_error.empty(); }
    // Why the query cannot be searched, for the person who typed it.
    const std::string& Error() const { return m_error; }
    std::uint32_t Direction() const { return m_direction; }
    bool IsRegex() const { return m_code != nullptr; }

    // The first match in subject[start, size). `more` says that bytes may
    // follow the subject, so a match that reaches its end is reported as
    // partial; without it the subject's end is the end of the stream.
    // `lineStart` says that the subject's first byte starts a line (^).
    // An invalid pattern matches nothing.
    SPatternMatch Match(std::string_view subject, std::size_t start, bool more,
                        bool lineStart) const;
    // Bytes before a search's start that the pattern may look at (lookbehind,
    // \b, ^ after a line end).
    std::size_t Context() const { return m_context; }

  private:
    struct SCode;
    void CompileRegex(std::string_view pattern, bool caseless);

    std::string m_error;
    std::uint32_t m_direction = 0;
    std::string m_literal;  // used when there is no regular expression
    std::unique_ptr<SCode> m_code;
    std::size_t m_context = 0;
};

}  // namespace quillpad
