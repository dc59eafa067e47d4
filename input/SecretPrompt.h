#pragma once
// Whether the device is asking for a secret: its last line, the bytes after
// the last line end it sent, ends in "password:", "passphrase:" or "PIN:"
// (any case, blanks after it allowed). What is typed then is sent as usual
// but kept out of the command history.

#include <string>
#include <string_view>

namespace quillpad {

bool AsksForSecret(std::string_view lastLine);

class CPromptWatch {
  public:
    // The device's bytes as they arrive, cut anywhere.
    void Feed(std::string_view received);
    bool AsksForSecret() const { return quillpad::AsksForSecret(m_tail); }
    // A fresh start: a new connection, a loaded log.
    void Reset() { m_tail.clear(); }

  private:
    // The end of the last line, no longer than any prompt this looks for
    // with its blanks: a device line of megabytes costs nothing.
    std::string m_tail;
};

}  // namespace quillpad
