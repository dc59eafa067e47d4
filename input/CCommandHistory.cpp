#include "input/CCommandHistory.h"

#include <algorithm>

namespace quillpad {
namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return Lower(a) == Lower(b); });
}

}  // namespace

void CCommandHistory::RecordTypedChar(char byte) {
    if (byte == '\b') {
        if (!m_current.empty()) {
            m_current.pop_back();
        }
    } else if (byte == '\r' || byte == '\n') {
        if (!m_current.empty() || m_secret) {
            CommitToHistory({});
        }
    } else {
        m_current.push_back(byte);
    }
}

void CCommandHistory::CommitToHistory(std::string_view text) {
    if (m_secret) {
        m_secret = false;
        m_current.clear();
        return;
    }
    ByteString entry = m_current;
    entry.append(text.data(), text.size());
    m_current.clear();
    std::erase(m_entries, entry);
    if (entry != "\r" && !entry.empty()) {
        m_entries.push_back(std::move(entry));
    }
}

int CCommandHistory::FindPrefix(std::string_view prefix) const {
    const std::size_t n = m_entries.size();
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (k + 1) % n;
        if (StartsWithNoCase(m_entries[i], prefix)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CCommandHistory::Clear() {
    m_entries.clear();
    m_current.clear();
    m_secret = false;
}

void CCommandHistory::Remove(std::string_view entry) {
    std::erase(m_entries, entry);
}

void CCommandHistory::SetEntries(std::vector<ByteString> entries) {
    m_entries.clear();
    for (auto& entry : entries) {
        std::erase(m_entries, entry);
        if (entry != "\r" && !entry.empty()) {
            m_entries.push_back(std::move(entry));
        }
    }
}

}  // namespace quillpad
