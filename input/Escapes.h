#pragma once
// Function-key macros: their kind and the escape syntax of byte sequences.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Hex.h"

namespace quillpad {

// Expands \\, \n (CR LF), \r (CR) and \xHH (one or two hexadecimal
// digits); any other escape letter vanishes with its backslash. An escape
// that is not complete (a "\x" without a digit, a trailing backslash) is
// sent as the characters written. Writes at most `capacity` bytes to `out`
// and returns how many it wrote. The result is never longer than the text.
std::size_t ExpandEscapes(std::string_view macro, char* out, std::size_t capacity);
// The same into a string.
std::string ExpandEscapes(std::string_view macro);

// A byte macro may also turn the modem lines and wait between its bytes:
// \{dtr0} \{dtr1} \{rts0} \{rts1} turn DTR or RTS off or on, \{wait:MS}
// waits MS milliseconds (0 to kMaxMacroWaitMs). Only these exact forms are
// line escapes; any other "\{" stays what it always was (an unknown
// escape: the backslash and the brace vanish). A wait of more digits or a
// longer time is still a wait, out of range: it is never sent as text, and
// a function key refuses the macro (MacroEscapeProblems says why).
inline constexpr int kMaxMacroWaitMs = 10000;

enum class EMacroStep { Bytes, Dtr, Rts, Wait };

struct SMacroStep {
    EMacroStep kind = EMacroStep::Bytes;
    std::string bytes;  // Bytes: expanded
    int value = 0;      // Dtr, Rts: 1 on, 0 off; Wait: ms
    bool operator==(const SMacroStep&) const = default;
};

// The macro cut at its line escapes, each stretch between them expanded
// (ExpandEscapes); one Bytes step when it has none, no step for an empty
// stretch. An out-of-range wait is a Wait step of more than
// kMaxMacroWaitMs.
std::vector<SMacroStep> SplitMacroSteps(std::string_view macro);
// Whether the macro holds a line escape.
bool HasLineEscapes(std::string_view macro);

// What is wrong with an escape of a byte macro, for the user to be told.
enum class EEscapeProblem {
    Incomplete,      // sent as the characters written
    WaitOutOfRange,  // the macro is refused
};

struct SEscapeProblem {
    EEscapeProblem kind = EEscapeProblem::Incomplete;
    std::size_t at = 0;      // the backslash, in bytes of the macro
    std::size_t length = 0;  // the escape as written
    bool operator==(const SEscapeProblem&) const = default;
};

// The escapes of a byte macro that are not what they seem, in order.
std::vector<SEscapeProblem> MacroEscapeProblems(std::string_view macro);
// One problem said in a sentence, naming the escape as written (no full stop).
std::string DescribeEscapeProblem(std::string_view macro, const SEscapeProblem& problem);

enum class EMacroKind { None, Ability, AbilityGroup, Bytes };

// What a macro does, decided by its first byte: "&" runs an ability, "@"
// shows an ability group, anything else sends bytes; empty does nothing.
EMacroKind MacroKind(std::string_view macro);

}  // namespace quillpad
