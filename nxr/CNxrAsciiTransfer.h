#pragma once
// Plain ASCII transfers. Sending hands out the file's bytes as they are, in
// chunks, optionally paced for controllers without flow control: a pause
// after every character and one after every line end. Receiving keeps every
// byte that arrives until the user stops it; the console still shows them.

#include <cstddef>
#include <cstdint>

#include "platform/Bytes.h"

namespace quillpad {

struct SAsciiPacing {
    std::uint32_t charDelayMs = 0;
    std::uint32_t lineDelayMs = 0;
};

class CNxrAsciiSender {
  public:
    static constexpr std::size_t kChunk = 4096;

    CNxrAsciiSender(ByteString data, SAsciiPacing pacing, std::uint32_t nowMs);

    // The bytes that may go at `nowMs`: empty while a pause lasts or once
    // everything went. Call again at NextDeadline().
    ByteString Next(std::uint32_t nowMs);
    // The bytes Next handed out last went to the link at `nowMs`: the pause
    // after them counts from there, so that a write held up (a busy
    // machine) does not shorten the pause a slow controller needs.
    void Sent(std::uint32_t nowMs) { m_due = nowMs + m_pause; }
    bool Done() const { return m_offset >= m_data.size(); }
    std::uint32_t NextDeadline() const { return m_due; }
    std::size_t BytesDone() const { return m_offset; }
    std::size_t Total() const { return m_data.size(); }

  private:
    // Whether the byte at `pos` ends a line: LF, or CR not followed by LF.
    bool EndsLine(std::size_t pos) const;

    ByteString m_data;
    SAsciiPacing m_pacing;
    std::size_t m_offset = 0;
    std::uint32_t m_due = 0;
    std::uint32_t m_pause = 0;  // after the bytes handed out last
};

class CNxrAsciiReceiver {
  public:
    void Feed(std::string_view bytes) {
        m_pending.append(bytes);
        m_received += bytes.size();
    }
    // What arrived since the last call; empties it.
    ByteString TakeData() {
        ByteString data;
        data.swap(m_pending);
        return data;
    }
    std::size_t BytesDone() const { return m_received; }

  private:
    ByteString m_pending;
    std::size_t m_received = 0;
};

}  // namespace quillpad
