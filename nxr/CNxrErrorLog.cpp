#include "nxr/CNxrErrorLog.h"

#include <algorithm>

namespace quillpad {

void CNxrErrorLog::Set(std::uint32_t requestId, std::string text) {
    std::erase_if(m_entries, [&](const auto& entry) { return entry.first == requestId; });
    m_entries.emplace_back(requestId, std::move(text));
    while (m_entries.size() > kKept) {
        m_entries.pop_front();
    }
}

std::string CNxrErrorLog::Get(std::uint32_t requestId) const {
    const auto it = std::find_if(m_entries.rbegin(), m_entries.rend(),
                                 [&](const auto& entry) { return entry.first == requestId; });
    return it == m_entries.rend() ? std::string() : it->second;
}

}  // namespace quillpad
