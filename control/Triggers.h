#pragma once
// Triggers: a pattern watched for in what the device sends, what the console
// sends, or both, and an action run when it is seen (send a text, run a key
// macro, mark the history, start or stop logging, beep, run a script).
//
// The matcher sees the bytes record by record as they come and matches
// across records: it keeps a bounded tail of each direction's stream, the
// bytes a match that has begun may still need (a regular expression's
// partial match, the last bytes of a text). A match longer than the tail is
// not seen. Matches of one trigger do not overlap.
//
// The matcher only says which trigger fired; the console runs the action.
// A trigger that fires more than kMaxFiresPerSecond times within a second is
// paused, so that a trigger that answers its own echo cannot flood the link.
//
// In the settings, group [Triggers]:
//   Version=2 (absent in a list whose Text patterns have the macros' escapes:
//   read, they are upgraded to find's, see UpgradeTriggerText),
//   Count=N, then for each trigger i = 1..N the keys
//   i.Name, i.Pattern, i.Mode (Text, Hex, Regex), i.MatchCase ("FALSE"
//   only, written only for a trigger that ignores case, so that a list
//   written before it existed reads the same), i.Direction (Incoming, Outgoing, Both),
//   i.Action (Send, Macro, Mark, StartLogging, StopLogging, Beep, Script),
//   i.Argument (Send: a text with the console's escapes; Macro: a key name
//   such as F5 or CTRL_F3; Script: a .lua file), i.Once, i.Enabled ("TRUE"
//   or "FALSE") and i.HoldOffMs (0 to kMaxHoldOffMs). A name, pattern or
//   argument that the text form would cut ("//" starts a comment there, a
//   line end ends the value) is written in hex as i.NameHex, i.PatternHex or
//   i.ArgumentHex instead.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/BytePattern.h"

namespace quillpad {

class CIniDocument;

inline constexpr const char* kTriggersSection = "Triggers";
// The list's version, written with every store: a list without it was
// written when Text patterns had the macros' escapes.
inline constexpr const char* kTriggersVersion = "2";

enum class ETriggerMode { Text, Hex, Regex };
enum class ETriggerDirection { Incoming = 1, Outgoing = 2, Both = 3 };
enum class ETriggerAction { Send, Macro, Mark, StartLogging, StopLogging, Beep, Script };

struct STrigger {
    std::string name;
    std::string pattern;  // Text: find's escapes (\n one LF); Hex: "55 AA"; Regex: PCRE2
    ETriggerMode mode = ETriggerMode::Text;
    // Off: Latin-1 letters match either case, as find's "Match case" off
    // (Text and Regex; hex names bytes).
    bool matchCase = true;
    ETriggerDirection direction = ETriggerDirection::Incoming;
    ETriggerAction action = ETriggerAction::Mark;
    std::string argument;
    bool once = false;
    std::uint32_t holdOffMs = 0;
    bool enabled = true;

    bool operator==(const STrigger&) const = default;
};

inline constexpr std::size_t kMaxTriggers = 100;
inline constexpr std::uint32_t kMaxHoldOffMs = 3600000;

// The texts the settings use for the choices, and back; false for a text
// that names none of them.
const char* TriggerModeName(ETriggerMode mode);
const char* TriggerDirectionName(ETriggerDirection direction);
const char* TriggerActionName(ETriggerAction action);
bool ParseTriggerMode(std::string_view text, ETriggerMode& mode);
bool ParseTriggerDirection(std::string_view text, ETriggerDirection& direction);
bool ParseTriggerAction(std::string_view text, ETriggerAction& action);

// Replaces the document's [Triggers] group with the triggers.
void StoreTriggers(CIniDocument& document, const std::vector<STrigger>& triggers);
// The document's triggers. A value that cannot be read is named in `errors`
// (one line each, "Trigger 2 (Prompt): ..."); its trigger is kept with the
// default for that value and disabled, so that nothing runs that the user
// did not write. No group: no triggers.
std::vector<STrigger> ReadTriggers(const CIniDocument& document, std::vector<std::string>& errors);

// The key of a trigger's MatchCase in the group (`index` from 1). A store
// leaves it out for a trigger that matches case, so a store that keeps old
// values (the registry) must remove it.
std::string TriggerMatchCaseKey(std::size_t index);

// Why a trigger's pattern cannot be matched (empty when it can).
std::string TriggerPatternError(const STrigger& trigger);

// The query a trigger's pattern is compiled from: Text and Regex are find's
// Text and Pattern, with the live stream's match limit.
SFindQuery TriggerQuery(const STrigger& trigger);

// A Text pattern of a list written before the version key (its escapes were
// the macros': \n CR LF, an unknown escape nothing, "\x" without a digit
// itself) in today's escapes, finding exactly the bytes it found then. A
// Hex pattern the old reading took ("1 F" as one byte) in pairs.
std::string UpgradeTriggerText(std::string_view oldText);
std::string UpgradeTriggerHex(std::string_view oldHex);

struct STriggerEvent {
    enum class EKind { Fired, Paused };
    EKind kind = EKind::Fired;
    std::size_t trigger = 0;      // its index in the list given to SetTriggers
    std::uint32_t direction = 0;  // 1 incoming, 2 outgoing

    bool operator==(const STriggerEvent&) const = default;
};

class CTriggerMatcher {
  public:
    // Bytes of a stream kept for matches that have begun.
    static constexpr std::size_t kMaxTail = 4096;
    // Bytes before a search's start kept for ^, \b and lookbehind.
    static constexpr std::size_t kContext = 16;
    static constexpr std::size_t kMaxFiresPerSecond = 100;

    CTriggerMatcher();
    ~CTriggerMatcher();

    // Compiles the list and starts every trigger afresh (not spent, not
    // paused, at the streams' ends). A trigger whose pattern cannot be
    // compiled never fires; Errors() names it.
    void SetTriggers(const std::vector<STrigger>& triggers);
    const std::vector<std::string>& Errors() const { return m_errors; }
    std::size_t Count() const { return m_triggers.size(); }
    // Whether any enabled trigger watches the direction (1 or 2).
    bool Watches(std::uint32_t direction) const;

    // The bytes of one record of a direction (1 incoming, 2 outgoing) at
    // `nowMs`; what fired or was paused is appended to `events`, in order.
    void Feed(std::uint32_t direction, std::string_view bytes, std::uint64_t nowMs,
              std::vector<STriggerEvent>& events);
    // Forgets both streams' tails (a cleared history, a new connection).
    void ResetStreams();

    bool Spent(std::size_t trigger) const;
    bool Paused(std::size_t trigger) const;
    // Lets a paused or spent trigger fire again, from the streams' ends.
    void Rearm(std::size_t trigger);

  private:
    struct SState;
    struct SStream {
        std::string window;
        std::uint64_t base = 0;  // stream offset of window[0]
        std::uint64_t End() const { return base + window.size(); }
    };
    bool Active(const SState& state, std::size_t stream) const;
    void Trim(std::size_t stream);

    std::vector<std::unique_ptr<SState>> m_triggers;
    std::vector<std::string> m_errors;
    SStream m_streams[2];
};

}  // namespace quillpad
