#pragma once
// Error texts by request id, for the standard error box. Id 0 holds the last
// failed open or send. Only the newest texts are kept, so a long session that
// keeps failing does not grow without end.

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace quillpad {

class CNxrErrorLog {
  public:
    static constexpr std::size_t kKept = 256;

    void Set(std::uint32_t requestId, std::string text);
    // "" when the id has no text (never failed, or long forgotten).
    std::string Get(std::uint32_t requestId) const;
    void Clear() { m_entries.clear(); }

  private:
    std::deque<std::pair<std::uint32_t, std::string>> m_entries;
};

}  // namespace quillpad
