#include "input/Escapes.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

namespace quillpad {

std::size_t ExpandEscapes(std::string_view macro, char* out, std::size_t capacity) {
    std::size_t n = 0;
    auto put = [&](char c) {
        if (n < capacity) {
            out[n++] = c;
        }
    };
    std::size_t i = 0;
    while (i < macro.size()) {
        if (macro[i] != '\\') {
            put(macro[i++]);
            continue;
        }
        if (i + 1 == macro.size()) {
            put('\\');  // not complete: as written
            break;
        }
        const char letter = macro[i + 1];
        i += 2;
        switch (letter) {
            case '\\':
                put('\\');
                break;
            case 'n':
                put('\r');
                put('\n');
                break;
            case 'r':
                put('\r');
                break;
            case 'x': {
                std::size_t digits = 0;
                while (digits < 2 && i + digits < macro.size() && IsHexDigit(macro[i + digits])) {
                    ++digits;
                }
                if (digits == 0) {
                    // Not complete: as written, so that nothing typed is lost.
                    put('\\');
                    put('x');
                    break;
                }
                put(static_cast<char>(ParseHexPrefix(macro.substr(i, digits)) & 0xFF));
                i += digits;
                break;
            }
            default:
                break;  // unknown escapes vanish
        }
    }
    return n;
}

std::string ExpandEscapes(std::string_view macro) {
    std::string out(macro.size(), '\0');
    out.resize(ExpandEscapes(macro, out.data(), out.size()));
    return out;
}

namespace {

// The line escape at `macro[i]` (a backslash) and its length; none when
// there is none there.
std::optional<std::pair<SMacroStep, std::size_t>> LineEscapeAt(std::string_view macro,
                                                               std::size_t i) {
    const std::string_view rest = macro.substr(i);
    for (const auto& [text, kind, value] :
         {std::tuple{"\\{dtr0}", EMacroStep::Dtr, 0}, std::tuple{"\\{dtr1}", EMacroStep::Dtr, 1},
          std::tuple{"\\{rts0}", EMacroStep::Rts, 0}, std::tuple{"\\{rts1}", EMacroStep::Rts, 1}}) {
        if (rest.starts_with(text)) {
            return std::pair{SMacroStep{kind, {}, value}, std::string_view(text).size()};
        }
    }
    constexpr std::string_view kWait = "\\{wait:";
    if (!rest.starts_with(kWait)) {
        return std::nullopt;
    }
    std::size_t j = kWait.size();
    // Any number of digits: past the range the value stays just above it,
    // so that it reads as out of range, never as text or as a wrapped time.
    int ms = 0;
    const std::size_t digitsFrom = j;
    while (j < rest.size() && rest[j] >= '0' && rest[j] <= '9') {
        ms = std::min(ms * 10 + (rest[j] - '0'), kMaxMacroWaitMs + 1);
        ++j;
    }
    if (j == digitsFrom || j >= rest.size() || rest[j] != '}') {
        return std::nullopt;
    }
    return std::pair{SMacroStep{EMacroStep::Wait, {}, ms}, j + 1};
}

}  // namespace

std::vector<SMacroStep> SplitMacroSteps(std::string_view macro) {
    std::vector<SMacroStep> steps;
    std::size_t stretch = 0;
    const auto flush = [&](std::size_t end) {
        if (end > stretch) {
            std::string bytes = ExpandEscapes(macro.substr(stretch, end - stretch));
            if (!bytes.empty()) {
                steps.push_back({EMacroStep::Bytes, std::move(bytes), 0});
            }
        }
    };
    std::size_t i = 0;
    while (i < macro.size()) {
        if (macro[i] != '\\') {
            ++i;
            continue;
        }
        if (const auto escape = LineEscapeAt(macro, i)) {
            flush(i);
            steps.push_back(escape->first);
            i += escape->second;
            stretch = i;
            continue;
        }
        i += 2;  // any other escape, an escaped backslash too, stays in the stretch
    }
    flush(macro.size());
    return steps;
}

bool HasLineEscapes(std::string_view macro) {
    const auto steps = SplitMacroSteps(macro);
    return std::any_of(steps.begin(), steps.end(),
                       [](const SMacroStep& s) { return s.kind != EMacroStep::Bytes; });
}

std::vector<SEscapeProblem> MacroEscapeProblems(std::string_view macro) {
    std::vector<SEscapeProblem> problems;
    std::size_t i = 0;
    while (i < macro.size()) {
        if (macro[i] != '\\') {
            ++i;
            continue;
        }
        if (const auto escape = LineEscapeAt(macro, i)) {
            if (escape->first.kind == EMacroStep::Wait && escape->first.value > kMaxMacroWaitMs) {
                problems.push_back({EEscapeProblem::WaitOutOfRange, i, escape->second});
            }
            i += escape->second;
            continue;
        }
        if (i + 1 == macro.size()) {
            problems.push_back({EEscapeProblem::Incomplete, i, 1});
        } else if (macro[i + 1] == 'x' && (i + 2 == macro.size() || !IsHexDigit(macro[i + 2]))) {
            problems.push_back({EEscapeProblem::Incomplete, i, 2});
        }
        i += 2;
    }
    return problems;
}

std::string DescribeEscapeProblem(std::string_view macro, const SEscapeProblem& problem) {
    const std::string written = "\"" + std::string(macro.substr(problem.at, problem.length)) + "\"";
    switch (problem.kind) {
        case EEscapeProblem::Incomplete:
            return written + (problem.length == 1 ? " at the end" : "") +
                   " is not a complete escape: it is sent as written";
        case EEscapeProblem::WaitOutOfRange:
            return written + " waits longer than " + std::to_string(kMaxMacroWaitMs) +
                   " ms: the macro is not sent";
    }
    return written;
}

EMacroKind MacroKind(std::string_view macro) {
    if (macro.empty()) {
        return EMacroKind::None;
    }
    if (macro.front() == '&') {
        return EMacroKind::Ability;
    }
    if (macro.front() == '@') {
        return EMacroKind::AbilityGroup;
    }
    return EMacroKind::Bytes;
}

}  // namespace quillpad
