#include "nxr/CNxrAbilityJob.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "nxr/NxrTick.h"
#include "platform/Hex.h"

namespace quillpad {
namespace {

constexpr std::string_view kQueryTag = "QUERY ";
constexpr std::string_view kProgressTag = "PROGRESS ";
constexpr std::string_view kPrompt = "> ";

bool StartsWith(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

// Still on the way to, or already past, `tag`.
bool Toward(std::string_view line, std::string_view tag) {
    return line.size() < tag.size() ? StartsWith(tag, line) : StartsWith(line, tag);
}

bool StartsWithErrorWord(std::string_view text) {
    constexpr std::string_view kError = "error:";
    if (text.size() < kError.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kError.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kError[i]) {
            return false;
        }
    }
    return true;
}

std::optional<int> ReadInt(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

CNxrAbilityJob::CNxrAbilityJob(std::string command, std::uint32_t timeoutMs, std::uint32_t nowMs)
    : m_command(std::move(command)), m_timeoutMs(timeoutMs), m_deadline(nowMs + timeoutMs) {
    m_out = m_command + "\r";
    m_echo = m_command;
    m_atLineStart = true;  // a silent device's first line may already be a question
}

bool CNxrAbilityJob::MayBeProtocol() const {
    return m_line.size() <= kMaxLine && (Toward(m_line, kQueryTag) || Toward(m_line, kProgressTag));
}

std::size_t CNxrAbilityJob::Feed(std::string_view bytes, std::uint32_t nowMs) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (m_finished) {
            return i;
        }
        if (!m_asking) {
            m_deadline = nowMs + m_timeoutMs;
        }
        const char c = bytes[i];
        if (c == '\n') {
            LineEnded(nowMs);
            continue;
        }
        if (m_line.size() <= kMaxLine) {
            m_line.push_back(c);
        }
        if (m_atLineStart && (m_lineHeld || m_line.size() == 1)) {
            m_lineHeld = MayBeProtocol();
            if (!m_lineHeld) {
                m_data += m_line;  // what was held, and this byte
                m_atLineStart = false;
            }
        } else {
            m_data.push_back(c);
        }
        if (!m_lineHeld && m_line == kPrompt) {
            if (m_heard) {
                Finish(m_deviceError.empty(), m_deviceError);
                return i + 1;
            }
            // A prompt the device still owed for an earlier line: what
            // follows it on this line is the echo.
            m_line.clear();
            m_atLineStart = true;
        }
    }
    return bytes.size();
}

void CNxrAbilityJob::LineEnded(std::uint32_t nowMs) {
    std::string_view text = m_line;
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    bool consumed = false;
    if (m_lineHeld && StartsWith(text, kQueryTag)) {
        // "QUERY <type>: <prompt>"
        const std::string_view rest = text.substr(kQueryTag.size());
        const std::size_t colon = rest.find(':');
        const auto type =
            colon == std::string_view::npos ? std::nullopt : ReadInt(rest.substr(0, colon));
        if (type) {
            std::string_view prompt = rest.substr(colon + 1);
            if (!prompt.empty() && prompt.front() == ' ') {
                prompt.remove_prefix(1);
            }
            m_events.push_back({ENxrAbilityEventKind::Query, *type, std::string(prompt), false});
            m_asking = true;
            consumed = true;
        }
    } else if (m_lineHeld && StartsWith(text, kProgressTag)) {
        // "PROGRESS <percent> <text>"
        const std::string_view rest = text.substr(kProgressTag.size());
        const std::size_t space = std::min(rest.find(' '), rest.size());
        if (const auto percent = ReadInt(rest.substr(0, space))) {
            const std::string words(rest.substr(std::min(space + 1, rest.size())));
            if (!m_tasked) {
                m_tasked = true;
                m_events.push_back({ENxrAbilityEventKind::TaskStart, 0, words, false});
            }
            m_events.push_back(
                {ENxrAbilityEventKind::TaskProgress, std::clamp(*percent, 0, 100), words, false});
            consumed = true;
        }
    }
    if (!consumed) {
        if (m_lineHeld) {
            m_data += m_line;  // it only looked like the protocol
        }
        m_data.push_back('\n');
        if (m_echo && text == *m_echo) {
            // The device's echo of what it was sent.
            m_echo.reset();
            m_heard = true;
        } else if (!text.empty() || m_heard) {
            if (m_deviceError.empty() && StartsWithErrorWord(text)) {
                m_deviceError = std::string(text);
            }
            m_answer.append(text);
            m_answer.push_back('\n');
            m_echo.reset();  // an echo comes before anything else
            m_heard = true;
        }
        // Blank lines before anything else are what the device still had to
        // say before the command: a prompt after them is not the answer's.
    } else {
        m_heard = true;
    }
    m_line.clear();
    m_lineHeld = false;
    m_atLineStart = true;
    if (!m_asking) {
        m_deadline = nowMs + m_timeoutMs;
    }
}

void CNxrAbilityJob::Tick(std::uint32_t nowMs) {
    if (m_finished || m_asking || !TickReached(nowMs, m_deadline)) {
        return;
    }
    Finish(false, "the device did not answer \"" + EscapedBytes(m_command) + "\" within " +
                      std::to_string(m_timeoutMs) + " ms");
}

void CNxrAbilityJob::Answer(const std::optional<std::string>& answer, std::uint32_t nowMs) {
    if (m_finished || !m_asking) {
        return;
    }
    m_asking = false;
    m_out += answer.value_or(std::string());
    m_out += '\r';
    m_echo = answer.value_or(std::string());
    m_deadline = nowMs + m_timeoutMs;
}

void CNxrAbilityJob::Cancel() {
    if (m_finished) {
        return;
    }
    m_out.push_back(kCancel);
    Finish(false, "\"" + EscapedBytes(m_command) + "\" was cancelled");
}

void CNxrAbilityJob::LinkLost(const std::string& why) {
    Finish(false, "\"" + m_command + "\" ended: " + why);
}

void CNxrAbilityJob::Finish(bool success, std::string error) {
    if (m_finished) {
        return;
    }
    if (m_lineHeld) {
        m_data += m_line;
        m_lineHeld = false;
    }
    m_finished = true;
    m_succeeded = success;
    m_error = std::move(error);
    m_asking = false;
    if (m_tasked) {
        m_events.push_back({ENxrAbilityEventKind::TaskComplete, 0, {}, success});
    }
}

ByteString CNxrAbilityJob::TakeOutput() {
    return std::exchange(m_out, {});
}

ByteString CNxrAbilityJob::TakeData() {
    return std::exchange(m_data, {});
}

std::vector<SNxrAbilityEvent> CNxrAbilityJob::TakeEvents() {
    return std::exchange(m_events, {});
}

std::vector<NxrJobEvent> CNxrAbilityJob::TakeJobEvents() {
    std::vector<NxrJobEvent> events;
    if (!m_data.empty()) {
        events.emplace_back(SNxrJobData{TakeData()});
    }
    for (SNxrAbilityEvent& event : m_events) {
        events.emplace_back(std::move(event));
    }
    m_events.clear();
    return events;
}

}  // namespace quillpad
