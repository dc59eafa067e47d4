#pragma once
// Helpers for tests that build binary logs byte by byte, and a time zone that
// a test sets for itself and gives back.

#include <cstdlib>
#include <ctime>
#include <string>

#include "data/BinaryLogFormat.h"

namespace quillpad::test {

// A log header for the given calendar seconds and start tick.
inline std::string LogHeader(std::int64_t startTime, std::uint32_t startTick) {
    const auto h = EncodeBinaryLogHeader(MakeBinaryLogHeader(startTime, startTick));
    return std::string(h.data(), h.size());
}

// One record as the log holds it.
inline std::string LogRecord(std::uint32_t kind, std::uint32_t sequence, std::uint32_t tick,
                             std::uint32_t ownerId, std::uint32_t direction, std::uint32_t source,
                             std::string_view bytes) {
    SDataRecord r;
    r.kind = kind;
    r.sequence = sequence;
    r.tick = tick;
    r.ownerId = ownerId;
    r.direction = direction;
    r.source = source;
    r.bytes = bytes;
    r.length = static_cast<std::uint32_t>(bytes.size());
    std::string out;
    AppendBinaryLogRecord(out, r);
    return out;
}

inline std::string Le32(std::uint32_t v) {
    std::string s(4, '\0');
    WriteLe32(s.data(), v);
    return s;
}

class CZoneGuard {
  public:
    explicit CZoneGuard(const char* zone) {
        const char* tz = std::getenv("TZ");
        m_had = tz != nullptr;
        m_saved = tz ? tz : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~CZoneGuard() {
        if (m_had) {
            setenv("TZ", m_saved.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    CZoneGuard(const CZoneGuard&) = delete;
    CZoneGuard& operator=(const CZoneGuard&) = delete;

  private:
    std::string m_saved;
    bool m_had = false;
};

}  // namespace quillpad::test
