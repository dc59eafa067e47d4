#include "control/Triggers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "config/CIniDocument.h"
#include "platform/Hex.h"

namespace quillpad {
namespace {

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
    document.WriteString(kTriggersSection, "Version", kTriggersVersion);
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
    // A list without a version was written with the macros' escapes in its
    // Text patterns; a later version than this one is read as this one.
    const std::string version = text("Version");
    const bool upgrade = version.empty() || version == "1";
    if (!upgrade && version != kTriggersVersion) {
        errors.push_back("Triggers: the version \"" + version + "\" is not " + kTriggersVersion +
                         "; the list is read as version " + kTriggersVersion);
    }
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
        if (upgrade && t.mode == ETriggerMode::Text) {
            t.pattern = UpgradeTriggerText(t.pattern);
        } else if (upgrade && t.mode == ETriggerMode::Hex) {
            t.pattern = UpgradeTriggerHex(t.pattern);
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

SFindQuery TriggerQuery(const STrigger& trigger) {
    SFindQuery query;
    query.text = trigger.pattern;
    query.mode = trigger.mode == ETriggerMode::Text  ? EFindMode::Text
                 : trigger.mode == ETriggerMode::Hex ? EFindMode::Hex
                                                     : EFindMode::Pattern;
    query.matchCase = trigger.matchCase;
    query.matchLimit = kLiveMatchLimit;
    return query;
}

std::string TriggerPatternError(const STrigger& trigger) {
    std::string why = CBytePattern(TriggerQuery(trigger)).Error();
    if (why.empty()) {
        return why;
    }
    // A clause after the trigger's name: "Trigger 2 (Prompt): the pattern ...".
    why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return "the pattern cannot be used: " + why;
}

std::string UpgradeTriggerText(std::string_view oldText) {
    std::string text;
    text.reserve(oldText.size() + 8);
    std::size_t i = 0;
    while (i < oldText.size()) {
        const char c = oldText[i];
        if (c != '\\' || i + 1 == oldText.size()) {
            text += c;  // a trailing backslash was itself, and is
            ++i;
            continue;
        }
        const char letter = oldText[i + 1];
        i += 2;
        switch (letter) {
            case '\\':
                text += "\\\\";
                break;
            case 'n':
                text += "\\r\\n";  // the macros' \n was CR LF
                break;
            case 'r':
                text += "\\r";
                break;
            case 'x':
                // Both read one or two digits; without one the old text
                // stood for itself, which a backslash now says.
                text += IsHexDigit(i < oldText.size() ? oldText[i] : ' ') ? "\\x" : "\\\\x";
                break;
            default:
                break;  // an unknown escape found nothing, and finds nothing
        }
    }
    return text;
}

std::string UpgradeTriggerHex(std::string_view oldHex) {
    // The old reading took digits in pairs across blanks; anything else was
    // refused and stays as written, to be refused again.
    std::string digits;
    for (const char c : oldHex) {
        if (IsHexDigit(c)) {
            digits += c;
        } else if (c != ' ' && c != '\t') {
            return std::string(oldHex);
        }
    }
    if (digits.size() % 2 != 0) {
        return std::string(oldHex);
    }
    std::string hex;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (!hex.empty()) {
            hex += ' ';
        }
        hex.append(digits, i, 2);
    }
    return hex;
}

// ---- the matcher

struct CTriggerMatcher::SState {
    STrigger def;
    CBytePattern pattern;
    std::uint64_t resume[2] = {0, 0};  // stream offsets the next search starts at
    bool spent = false;
    bool paused = false;
    bool fired = false;
    std::uint64_t lastFireMs = 0;
    std::deque<std::uint64_t> recent;  // fire times within the last second

    explicit SState(const STrigger& t) : def(t), pattern(TriggerQuery(t)) {}
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
                               ": " + TriggerPatternError(triggers[i]));
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
            // The window's start is kept context, taken as a line's start.
            const SPatternMatch m = t.pattern.Match(stream.window, at, EFollow::Live, true);
            if (m.kind != SPatternMatch::EKind::Full) {
                t.resume[s] = stream.base + m.begin;
                break;
            }
            at = m.end;
            t.resume[s] = stream.base + m.end;
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
