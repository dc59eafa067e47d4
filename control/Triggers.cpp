#include "control/Triggers.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>

#include "config/CIniDocument.h"
#include "input/Escapes.h"
#include "platform/Hex.h"
#include "platform/Latin1Case.h"
#include "platform/Latin1Pcre2Tables.h"

namespace quillpad {
namespace {

// Enough for a console's patterns; a pathological one gives up, unseen,
// instead of stalling the console.
constexpr std::uint32_t kMatchLimit = 1000000;

template <typename E, std::size_t N>
bool ParseName(std::string_view text, const std::array<const char*, N>& names, E& out) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            out = static_cast<E>(i);
            return true;
        }
    }
    return false;
}

constexpr std::array<const char*, 3> kModeNames = {"Text", "Hex", "Regex"};
constexpr std::array<const char*, 3> kDirectionNames = {"Incoming", "Outgoing", "Both"};
constexpr std::array<const char*, 7> kActionNames = {
    "Send", "Macro", "Mark", "StartLogging", "StopLogging", "Beep", "Script"};

const SIniSection* FindSection(const CIniDocument& document, std::string_view name) {
    for (std::size_t i = 0; i < document.SectionCount(); ++i) {
        if (document.SectionAt(i)->Name() == name) {
            return document.SectionAt(i);
        }
    }
    return nullptr;
}

// "55 AA", "0d0a": pairs of digits, blanks between them.
bool ParseHexBytes(std::string_view text, std::string& bytes, std::string& error) {
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        if (!IsHexDigit(c)) {
            error = std::string("The hex bytes hold \"") + c + "\", which is not a hex digit";
            return false;
        }
        if (high < 0) {
            high = HexDigitValue(c);
        } else {
            bytes += static_cast<char>((high << 4) | HexDigitValue(c));
            high = -1;
        }
    }
    if (high >= 0) {
        error = "The hex bytes have an odd number of digits";
        return false;
    }
    return true;
}

// The settings text cuts a value at "//" (a comment) and at a line end, so a
// value holding one is written as hex under the key with "Hex" added.
bool TextSafe(std::string_view value) {
    return value.find("//") == std::string_view::npos &&
           value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
           (value.empty() || value.back() != '/');
}

void WriteValue(CIniDocument& document, const std::string& key, std::string_view value) {
    // Both keys always: the registry keeps values that a save leaves out,
    // and an old hex value would win over a new plain one.
    std::string hex;
    if (!TextSafe(value)) {
        for (const char c : value) {
            AppendHexByte(hex, static_cast<unsigned char>(c));
        }
    }
    document.WriteString(kTriggersSection, key, hex.empty() ? value : std::string_view());
    document.WriteString(kTriggersSection, key + "Hex", hex);
}

bool ParseDecimal(std::string_view text, std::uint32_t limit, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    std::uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > limit) {
        return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

const char* TriggerModeName(ETriggerMode mode) {
    return kModeNames[static_cast<std::size_t>(mode)];
}
const char* TriggerDirectionName(ETriggerDirection direction) {
    return kDirectionNames[static_cast<std::size_t>(direction) - 1];
}
const char* TriggerActionName(ETriggerAction action) {
    return kActionNames[static_cast<std::size_t>(action)];
}
bool ParseTriggerMode(std::string_view text, ETriggerMode& mode) {
    return ParseName(text, kModeNames, mode);
}
bool ParseTriggerDirection(std::string_view text, ETriggerDirection& direction) {
    int index = 0;
    if (!ParseName(text, kDirectionNames, index)) {
        return false;
    }
    direction = static_cast<ETriggerDirection>(index + 1);
    return true;
}
bool ParseTriggerAction(std::string_view text, ETriggerAction& action) {
    return ParseName(text, kActionNames, action);
}

void StoreTriggers(CIniDocument& document, const std::vector<STrigger>& triggers) {
    SIniSection* section = document.FindOrCreateSection(kTriggersSection);
    document.ClearSection(section);
    document.WriteString(kTriggersSection, "Count", std::to_string(triggers.size()));
    for (std::size_t i = 0; i < triggers.size(); ++i) {
        const STrigger& t = triggers[i];
        const std::string p = std::to_string(i + 1) + ".";
        WriteValue(document, p + "Name", t.name);
        WriteValue(document, p + "Pattern", t.pattern);
        document.WriteString(kTriggersSection, p + "Mode", TriggerModeName(t.mode));
        if (!t.matchCase) {
            document.WriteString(kTriggersSection, TriggerMatchCaseKey(i + 1), "FALSE");
        }
        document.WriteString(kTriggersSection, p + "Direction", TriggerDirectionName(t.direction));
        document.WriteString(kTriggersSection, p + "Action", TriggerActionName(t.action));
        WriteValue(document, p + "Argument", t.argument);
        document.WriteString(kTriggersSection, p + "Once", t.once ? "TRUE" : "FALSE");
        document.WriteString(kTriggersSection, p + "HoldOffMs", std::to_string(t.holdOffMs));
        document.WriteString(kTriggersSection, p + "Enabled", t.enabled ? "TRUE" : "FALSE");
    }
}

std::vector<STrigger> ReadTriggers(const CIniDocument& document, std::vector<std::string>& errors) {
    std::vector<STrigger> triggers;
    const SIniSection* section = FindSection(document, kTriggersSection);
    if (section == nullptr) {
        return triggers;
    }
    const std::string countText = document.ReadString(section, "Count", "0");
    std::uint32_t count = 0;
    if (!ParseDecimal(countText, 0xFFFFFFFFu, count)) {
        errors.push_back("Triggers: the count \"" + countText + "\" is not a number");
        return triggers;
    }
    if (count > kMaxTriggers) {
        errors.push_back("Triggers: " + std::to_string(count) + " are listed; the first " +
                         std::to_string(kMaxTriggers) + " are used");
        count = kMaxTriggers;
    }
    const auto text = [&](const std::string& key) -> std::string {
        return document.ReadString(section, key, "");
    };
    bool badHex = false;
    const auto value = [&](const std::string& key) -> std::string {
        const std::string hex = text(key + "Hex");
        if (hex.empty()) {
            return text(key);
        }
        std::string bytes;
        std::string why;
        if (!ParseHexBytes(hex, bytes, why)) {
            badHex = true;
        }
        return bytes;
    };
    for (std::uint32_t i = 1; i <= count; ++i) {
        const std::string p = std::to_string(i) + ".";
        STrigger t;
        badHex = false;
        t.name = value(p + "Name");
        t.pattern = value(p + "Pattern");
        t.argument = value(p + "Argument");
        const std::string who =
            "Trigger " + std::to_string(i) + (t.name.empty() ? "" : " (" + t.name + ")") + ": ";
        bool bad = false;
        const auto fault = [&](const std::string& what) {
            errors.push_back(who + what);
            bad = true;
        };
        if (badHex) {
            fault("a value written in hex holds other characters");
        }
        const std::string mode = text(p + "Mode");
        if (!mode.empty() && !ParseTriggerMode(mode, t.mode)) {
            fault("the mode \"" + mode + "\" is not Text, Hex or Regex");
        }
        const std::string matchCase = text(TriggerMatchCaseKey(i));
        if (matchCase == "FALSE") {
            t.matchCase = false;
        } else if (!matchCase.empty() && matchCase != "TRUE") {
            fault("the match case \"" + matchCase + "\" is not TRUE or FALSE");
        }
        const std::string direction = text(p + "Direction");
        if (!direction.empty() && !ParseTriggerDirection(direction, t.direction)) {
            fault("the direction \"" + direction + "\" is not Incoming, Outgoing or Both");
        }
        const std::string action = text(p + "Action");
        if (!action.empty() && !ParseTriggerAction(action, t.action)) {
            fault("the action \"" + action + "\" is not one the console knows");
        }
        const std::string holdOff = text(p + "HoldOffMs");
        if (!holdOff.empty() && !ParseDecimal(holdOff, kMaxHoldOffMs, t.holdOffMs)) {
            fault("the hold-off \"" + holdOff + "\" is not a number of ms from 0 to " +
                  std::to_string(kMaxHoldOffMs));
        }
        t.once = text(p + "Once") == "TRUE";
        t.enabled = text(p + "Enabled") != "FALSE";
        if (t.pattern.empty()) {
            fault("it has no pattern");
        } else if (const std::string why = TriggerPatternError(t); !why.empty()) {
            fault(why);
        }
        if (bad) {
            t.enabled = false;
        }
        triggers.push_back(std::move(t));
    }
    return triggers;
}

std::string TriggerMatchCaseKey(std::size_t index) {
    return std::to_string(index) + ".MatchCase";
}

std::string TriggerPatternError(const STrigger& trigger) {
    return CTriggerPattern(trigger).Error();
}

// ---- patterns

namespace {

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

// The first place of `literal` in `hay`, or npos. memchr is vectorised,
// memmem is not; a literal's rarest byte seldom occurs where it does not.
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

}  // namespace

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

struct CTriggerPattern::SCode {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = nullptr;
    bool jit = false;

    ~SCode() {
        pcre2_match_context_free(context);
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
};

CTriggerPattern::CTriggerPattern(const STrigger& trigger) {
    switch (trigger.mode) {
        case ETriggerMode::Text:
            m_literal = ExpandEscapes(trigger.pattern);
            // A text without letters has nothing to fold: the plain search.
            if (!trigger.matchCase && HasCase(m_literal)) {
                m_literal = Folded(m_literal);
                m_caseless = true;
            }
            break;
        case ETriggerMode::Hex:
            ParseHexBytes(trigger.pattern, m_literal, m_error);
            break;
        case ETriggerMode::Regex: {
            if (trigger.pattern.empty()) {
                break;
            }
            pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
            // Latin-1 letters fold as in find, for PCRE2_CASELESS and (?i).
            pcre2_set_character_tables(context, Latin1CharacterTables());
            // ^ and $ at every line end a console knows: CR, LF or CR LF.
            pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
            std::uint32_t options = PCRE2_MULTILINE | PCRE2_NEVER_UTF;
            if (!trigger.matchCase) {
                options |= PCRE2_CASELESS;
            }
            int errorCode = 0;
            PCRE2_SIZE errorOffset = 0;
            pcre2_code* code =
                pcre2_compile(reinterpret_cast<PCRE2_SPTR>(trigger.pattern.data()),
                              trigger.pattern.size(), options, &errorCode, &errorOffset, context);
            pcre2_compile_context_free(context);
            if (code == nullptr) {
                std::array<PCRE2_UCHAR, 256> message{};
                pcre2_get_error_message(errorCode, message.data(), message.size());
                m_error = "the regular expression cannot be used: " +
                          std::string(reinterpret_cast<const char*>(message.data())) +
                          " at offset " + std::to_string(errorOffset);
                return;
            }
            // Without the JIT the interpreter matches the same, only slower.
            const bool jit =
                pcre2_jit_compile(code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0;
            m_code = std::make_unique<SCode>();
            m_code->code = code;
            m_code->jit = jit;
            m_literal = RegexLiteralPrefix(trigger.pattern);
            if (!trigger.matchCase && HasCase(m_literal)) {
                m_literal = Folded(m_literal);
                m_caseless = true;
            }
            m_rare = RarestByte(m_literal, m_caseless);
            m_code->data = pcre2_match_data_create_from_pattern(code, nullptr);
            m_code->context = pcre2_match_context_create(nullptr);
            pcre2_set_match_limit(m_code->context, kMatchLimit);
            return;
        }
    }
    if (m_error.empty() && m_literal.empty()) {
        m_error = "the pattern matches no bytes";
    }
    m_rare = RarestByte(m_literal, m_caseless);
}

CTriggerPattern::~CTriggerPattern() = default;
CTriggerPattern::CTriggerPattern(CTriggerPattern&&) noexcept = default;
CTriggerPattern& CTriggerPattern::operator=(CTriggerPattern&&) noexcept = default;

CTriggerPattern::EResult CTriggerPattern::Match(std::string_view subject, std::size_t start,
                                                std::size_t& begin, std::size_t& end) const {
    m_groups = 0;
    if (!IsValid() || start >= subject.size()) {
        begin = subject.size();
        return EResult::None;
    }
    if (!m_code) {
        const std::size_t found = FindLiteral(subject.substr(start), m_literal, m_rare, m_caseless);
        if (found != std::string_view::npos) {
            begin = start + found;
            end = begin + m_literal.size();
            return EResult::Full;
        }
        // Only the last bytes may still begin a match with what follows.
        begin =
            std::max(start, subject.size() + 1 - std::min(subject.size() + 1, m_literal.size()));
        return begin < subject.size() ? EResult::Partial : EResult::None;
    }
    const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
    for (std::size_t from = start; from < subject.size();) {
        if (!m_literal.empty()) {
            // Every match starts with the prefix: the expression need only
            // run where it is. Where it is not, only its start at the very
            // end may still become a match.
            const std::size_t found =
                FindLiteral(subject.substr(from), m_literal, m_rare, m_caseless);
            if (found == std::string_view::npos) {
                const std::size_t rest = subject.size() - from;
                for (std::size_t k = std::min(rest, m_literal.size() - 1); k > 0; --k) {
                    const char* const tail = subject.data() + (subject.size() - k);
                    // The first byte alone settles most: a compare call for
                    // every length, every record, cost as much as the search.
                    if ((m_caseless ? Latin1Fold(*tail) : *tail) != m_literal[0]) {
                        continue;
                    }
                    const std::string_view head = std::string_view(m_literal).substr(0, k);
                    if (m_caseless ? EqualsFolded(tail, head) : std::string_view(tail, k) == head) {
                        begin = subject.size() - k;
                        return EResult::Partial;
                    }
                }
                break;
            }
            from += found;
        }
        // The JIT's own entry skips the checks pcre2_match makes on every
        // call, which cost as much as a short record's search.
        const int rc = m_code->jit ? pcre2_jit_match(m_code->code, bytes, subject.size(), from,
                                                     PCRE2_NOTEMPTY | PCRE2_PARTIAL_HARD,
                                                     m_code->data, m_code->context)
                                   : pcre2_match(m_code->code, bytes, subject.size(), from,
                                                 PCRE2_NOTEMPTY | PCRE2_PARTIAL_HARD, m_code->data,
                                                 m_code->context);
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_code->data);
        if (rc == PCRE2_ERROR_PARTIAL) {
            begin = std::max<std::size_t>(ovector[0], start);
            return EResult::Partial;
        }
        if (rc < 0) {
            break;  // no match, or over the match limit
        }
        // \K can report a match that ends where it starts or begins before
        // the search's start; that is no match, and the search goes on.
        if (ovector[1] > ovector[0] && ovector[0] >= start) {
            begin = ovector[0];
            end = ovector[1];
            m_groups = rc;
            return EResult::Full;
        }
        from = std::max<std::size_t>(from, ovector[1]) + 1;
    }
    begin = subject.size();
    return EResult::None;
}

std::vector<std::pair<std::size_t, std::size_t>> CTriggerPattern::Groups() const {
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    if (!m_code || m_groups == 0) {
        return groups;
    }
    // The match's count stops at the highest group that took part.
    std::uint32_t count = 0;
    pcre2_pattern_info(m_code->code, PCRE2_INFO_CAPTURECOUNT, &count);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_code->data);
    constexpr auto kNone = std::string::npos;
    for (std::uint32_t i = 1; i <= count; ++i) {
        const bool took = static_cast<int>(i) < m_groups && ovector[2 * i] != PCRE2_UNSET;
        groups.emplace_back(took ? ovector[2 * i] : kNone, took ? ovector[2 * i + 1] : kNone);
    }
    return groups;
}

// ---- the matcher

struct CTriggerMatcher::SState {
    STrigger def;
    CTriggerPattern pattern;
    std::uint64_t resume[2] = {0, 0};  // stream offsets the next search starts at
    bool spent = false;
    bool paused = false;
    bool fired = false;
    std::uint64_t lastFireMs = 0;
    std::deque<std::uint64_t> recent;  // fire times within the last second

    explicit SState(const STrigger& t) : def(t), pattern(t) {}
};

CTriggerMatcher::CTriggerMatcher() = default;
CTriggerMatcher::~CTriggerMatcher() = default;

void CTriggerMatcher::SetTriggers(const std::vector<STrigger>& triggers) {
    m_triggers.clear();
    m_errors.clear();
    for (std::size_t i = 0; i < triggers.size(); ++i) {
        auto state = std::make_unique<SState>(triggers[i]);
        if (!state->pattern.IsValid()) {
            m_errors.push_back("Trigger " + std::to_string(i + 1) +
                               (triggers[i].name.empty() ? "" : " (" + triggers[i].name + ")") +
                               ": " + state->pattern.Error());
        }
        for (std::size_t s = 0; s < 2; ++s) {
            state->resume[s] = m_streams[s].End();
        }
        m_triggers.push_back(std::move(state));
    }
    Trim(0);
    Trim(1);
}

bool CTriggerMatcher::Active(const SState& state, std::size_t stream) const {
    return state.def.enabled && !state.spent && !state.paused && state.pattern.IsValid() &&
           (static_cast<std::uint32_t>(state.def.direction) & (1u << stream)) != 0;
}

bool CTriggerMatcher::Watches(std::uint32_t direction) const {
    if (direction != 1 && direction != 2) {
        return false;
    }
    return std::any_of(m_triggers.begin(), m_triggers.end(),
                       [&](const auto& t) { return Active(*t, direction - 1); });
}

void CTriggerMatcher::Feed(std::uint32_t direction, std::string_view bytes, std::uint64_t nowMs,
                           std::vector<STriggerEvent>& events) {
    if ((direction != 1 && direction != 2) || bytes.empty()) {
        return;
    }
    const std::size_t s = direction - 1;
    SStream& stream = m_streams[s];
    if (!Watches(direction)) {
        // Nothing watches: keep only the context a trigger switched on later
        // would look back at.
        stream.base += stream.window.size();
        stream.window.clear();
        const std::string_view tail = bytes.substr(bytes.size() - std::min(bytes.size(), kContext));
        stream.base += bytes.size() - tail.size();
        stream.window.assign(tail);
        return;
    }
    stream.window.append(bytes);
    for (std::size_t i = 0; i < m_triggers.size(); ++i) {
        SState& t = *m_triggers[i];
        if (!Active(t, s)) {
            continue;
        }
        std::size_t at = static_cast<std::size_t>(std::max(t.resume[s], stream.base) - stream.base);
        for (;;) {
            std::size_t begin = 0;
            std::size_t end = 0;
            const auto result = t.pattern.Match(stream.window, at, begin, end);
            if (result != CTriggerPattern::EResult::Full) {
                t.resume[s] = stream.base + begin;
                break;
            }
            at = end;
            t.resume[s] = stream.base + end;
            if (t.fired && t.def.holdOffMs > 0 && nowMs - t.lastFireMs < t.def.holdOffMs) {
                continue;  // seen, inside the hold-off: not fired
            }
            while (!t.recent.empty() && nowMs - t.recent.front() >= 1000) {
                t.recent.pop_front();
            }
            if (t.recent.size() >= kMaxFiresPerSecond) {
                t.paused = true;
                events.push_back({STriggerEvent::EKind::Paused, i, direction});
                break;
            }
            t.recent.push_back(nowMs);
            t.fired = true;
            t.lastFireMs = nowMs;
            events.push_back({STriggerEvent::EKind::Fired, i, direction});
            if (t.def.once) {
                t.spent = true;
                break;
            }
        }
    }
    Trim(s);
}

void CTriggerMatcher::Trim(std::size_t s) {
    SStream& stream = m_streams[s];
    std::uint64_t keep = stream.End();
    for (const auto& t : m_triggers) {
        if (Active(*t, s)) {
            keep = std::min(keep, t->resume[s]);
        }
    }
    keep = keep > kContext ? keep - kContext : 0;
    // A match that has waited for more than the tail holds is given up.
    if (stream.End() - std::max(keep, stream.base) > kMaxTail + kContext) {
        keep = stream.End() - kMaxTail - kContext;
    }
    if (keep > stream.base) {
        stream.window.erase(0, static_cast<std::size_t>(keep - stream.base));
        stream.base = keep;
    }
}

void CTriggerMatcher::ResetStreams() {
    for (std::size_t s = 0; s < 2; ++s) {
        m_streams[s].base += m_streams[s].window.size();
        m_streams[s].window.clear();
        for (auto& t : m_triggers) {
            t->resume[s] = m_streams[s].base;
        }
    }
}

bool CTriggerMatcher::Spent(std::size_t trigger) const {
    return trigger < m_triggers.size() && m_triggers[trigger]->spent;
}

bool CTriggerMatcher::Paused(std::size_t trigger) const {
    return trigger < m_triggers.size() && m_triggers[trigger]->paused;
}

void CTriggerMatcher::Rearm(std::size_t trigger) {
    if (trigger >= m_triggers.size()) {
        return;
    }
    SState& t = *m_triggers[trigger];
    t.spent = false;
    t.paused = false;
    t.recent.clear();
    for (std::size_t s = 0; s < 2; ++s) {
        t.resume[s] = m_streams[s].End();
    }
}

}  // namespace quillpad
