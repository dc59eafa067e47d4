#pragma once
// The send panel as data: named sends, each a text with the console's
// escapes or hex bytes, an optional checksum and line end, and how often to
// repeat it. A panel is a file "NAME.sendpanel" in the data folder, an INI
// document like a key set:
//
//   [Send Panel]          marks the file; other entries are kept
//   [Send 1]              one section per send, in the panel's order
//   Name=Status query
//   Text=01 03 00 00 00 0A     (TextHex=... instead where the text holds
//   Format=Hex                  "//", CR or LF, which an INI line cannot)
//   LineEnd=None               None, CR, LF, CR LF
//   Checksum=crc-16/modbus     a key of Checksums.h, any letter case
//   ByteOrder=LowFirst         HighFirst, LowFirst
//   PeriodMs=500               10 to 3600000
//   Count=0                    sends per repeat; 0 until stopped
//
// A send holding a value this program does not know (a checksum from a
// newer version, a line end it has no name for) is refused, named with what
// it did not know, and kept as it was read: a later save writes it back
// unchanged, and the panel asks before any save (AskBeforeSaving), so a file
// from another machine is never rewritten unasked. Sections and keys the
// panel does not know are kept too.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/CIniDocument.h"
#include "input/Checksums.h"
#include "platform/Bytes.h"

namespace quillpad {

enum class ESendFormat { Text, Hex };
enum class ELineEnd { None, CR, LF, CRLF };

inline constexpr std::uint32_t kMinSendPeriodMs = 10;
inline constexpr std::uint32_t kMaxSendPeriodMs = 3'600'000;

struct SSendItem {
    ByteString name;
    ByteString text;
    ESendFormat format = ESendFormat::Text;
    ELineEnd lineEnd = ELineEnd::None;
    EChecksum checksum = EChecksum::None;
    EByteOrder byteOrder = EByteOrder::HighFirst;
    std::uint32_t periodMs = 1000;
    std::uint32_t count = 0;              // 0: until stopped
    std::vector<SIniEntry> otherEntries;  // keys this program does not know
};

// The bytes of a send: the text expanded (escapes) or read (hex), then the
// checksum over those bytes, then the line end, which a checksum never
// covers. False with a reason when hex text is not whole bytes.
bool BuildSendBytes(const SSendItem& item, ByteString& bytes, std::string& error);

// The names the panel shows and writes.
const char* LineEndKey(ELineEnd lineEnd);
std::string_view LineEndBytes(ELineEnd lineEnd);

// A send that was read but cannot be used.
struct SRefusedSend {
    SIniSection section;  // as read, written back as it was
    ByteString name;
    std::string reason;  // what was not known, e.g. "the checksum \"crc-64\""
};

enum class ESendPanelLoad {
    Loaded,
    Missing,     // no such file: an empty panel that saves there
    Unreadable,  // could not be read: empty, and never saved over
    NotAPanel,   // no "Send Panel" section: empty, and never saved over
};

class CSendPanel {
  public:
    static constexpr const char* kSection = "Send Panel";
    static constexpr const char* kExtension = ".sendpanel";

    // Reads a panel file; the items and refused sends are replaced.
    ESendPanelLoad Load(const std::string& path);
    // The same from a file's text (LF or CR LF lines), for tests and the fuzzer.
    void LoadText(std::string_view text);
    // Writes the panel to its path: atomic, a new file 0600. False with a
    // reason, and nothing written, for a file that was not a panel or could
    // not be read.
    bool Save(std::string* error = nullptr) const;
    // The file's text (LF line ends).
    ByteString SaveText() const;

    const std::string& Path() const { return m_path; }
    // A panel that is not yet a file (Missing) gets one here.
    void SetPath(std::string path);
    // The panel's name: its file name less the extension.
    std::string Name() const;

    std::vector<SSendItem>& Items() { return m_items; }
    const std::vector<SSendItem>& Items() const { return m_items; }
    const std::vector<SRefusedSend>& Refused() const { return m_refused; }
    // Whether a save should be confirmed: the file holds refused sends.
    bool AskBeforeSaving() const { return !m_refused.empty(); }
    // Names each refused send with its reason; empty when there are none.
    std::string RefusalMessage() const;
    // Why the last Load did not give a panel; empty after one.
    const std::string& LoadError() const { return m_loadError; }

  private:
    void ReadDocument(const CIniDocument& document);

    std::string m_path;
    std::vector<SSendItem> m_items;
    std::vector<SRefusedSend> m_refused;
    std::vector<SIniEntry> m_panelEntries;     // the [Send Panel] section's
    std::vector<SIniSection> m_otherSections;  // neither the panel's nor a send
    bool m_writable = true;
    std::string m_loadError;
};

// The panel files of a folder ("*.sendpanel", extension in any case), as
// file names in byte order.
std::vector<std::string> ListSendPanels(const std::string& folder);

}  // namespace quillpad
