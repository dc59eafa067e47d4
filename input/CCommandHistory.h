#pragma once
// The lines the user sent, for sending again. Typed characters are gathered
// into the current line (the console has no local editing: the bytes go to
// the device as they are typed); a CR or LF completes it. A pasted or resent
// text completes the current line with it, as the device received both.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"

namespace quillpad {

class CCommandHistory {
  public:
    // Every typed byte, before it is sent: Backspace drops the last byte of
    // the current line, CR or LF completes a line that is not empty, any
    // other byte (control characters included) is appended.
    void RecordTypedChar(char byte);
    // The current line followed by `text` becomes the newest entry; an equal
    // older entry goes, and a lone CR or an empty line is not kept. Empties
    // the current line.
    void CommitToHistory(std::string_view text);

    // The current line answers a secret question (a password): it is sent
    // like any other, but when it completes it is dropped, not kept.
    void MarkLineSecret() { m_secret = true; }
    bool LineIsSecret() const { return m_secret; }
    // Forgets every entry and the current line.
    void Clear();

    const ByteString& CurrentLine() const { return m_current; }
    // Oldest first, no two equal.
    const std::vector<ByteString>& Entries() const { return m_entries; }

    // The first entry that begins with `prefix` (case-insensitive), searched
    // from the second entry and wrapping round to the first; -1 for none.
    int FindPrefix(std::string_view prefix) const;

    // Every entry equal to `entry` goes, for good.
    void Remove(std::string_view entry);
    // Replaces the entries (a history read back from its file); equal
    // entries keep only the newest, a lone CR or empty line is dropped.
    void SetEntries(std::vector<ByteString> entries);

  private:
    ByteString m_current;
    bool m_secret = false;
    std::vector<ByteString> m_entries;
};

}  // namespace quillpad
