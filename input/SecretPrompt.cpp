#include "input/SecretPrompt.h"

#include <algorithm>
#include <array>

namespace quillpad {
namespace {

constexpr std::array<std::string_view, 3> kSecretPrompts = {"password:", "passphrase:", "pin:"};
// The longest prompt with room for the blanks after it.
constexpr std::size_t kKeptTail = 64;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [](char a, char b) { return a == Lower(b); });
}

}  // namespace

bool AsksForSecret(std::string_view lastLine) {
    while (!lastLine.empty() && (lastLine.back() == ' ' || lastLine.back() == '\t')) {
        lastLine.remove_suffix(1);
    }
    return std::any_of(kSecretPrompts.begin(), kSecretPrompts.end(), [&](std::string_view prompt) {
        if (!EndsWithNoCase(lastLine, prompt)) {
            return false;
        }
        // "PIN:" is a word of its own: "Spin:" asks for no secret.
        const std::size_t before = lastLine.size() - prompt.size();
        const char c = before > 0 ? Lower(lastLine[before - 1]) : ' ';
        return prompt != "pin:" || c < 'a' || c > 'z';
    });
}

void CPromptWatch::Feed(std::string_view received) {
    const std::size_t end = received.find_last_of("\r\n");
    if (end != std::string_view::npos) {
        m_tail.clear();
        received.remove_prefix(end + 1);
    }
    if (received.size() >= kKeptTail) {
        m_tail.assign(received.substr(received.size() - kKeptTail));
    } else {
        m_tail.append(received);
        if (m_tail.size() > kKeptTail) {
            m_tail.erase(0, m_tail.size() - kKeptTail);
        }
    }
}

}  // namespace quillpad
