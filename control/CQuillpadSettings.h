#pragma once
// What a console remembers between sessions: its folders, default style and
// key set, logging choices, the CR to CR LF and arrow-key options, the hover
// window's fields and the hidden show-all-sources switch.
//
// The document holds the text form (registry defaults, the host's saved
// state); the members hold the values in use. Read copies document to
// members, Store members to document.
//
//   [Schemes]     DefaultSchemeName, DefaultKeySettingName
//   [Logging]     LogToFolder, LogAsPlainText, LogAsFormattedText,
//                 LogAsWorkbayLog, InsertTimestampsInText
//   [General]     OutgoingCRToCRLF, HistoryMemoryMB (0 = no limit),
//                 WaitForDeviceSeconds (0 = as long as the console is open),
//                 ScriptMemoryMB (1 to 4096)
//   [Text Info]   ShowAbsoluteTime, ShowRelativeTime, ShowDataDirection,
//                 ShowRelatedData
//   [Key Mapping] TransmitArrowCharacters, KeepCommandHistory
//   [Transfers]   AsciiLineDelayMs, AsciiCharDelayMs (0 to 10000)
//   [Send Panel]  ShowSendPanel, SendPanelFile (a path; empty: the default)
//   [Triggers]    Count and each trigger's keys (control/Triggers.h)
//   [Time Stamps] Mode ("Off", "Absolute", "Since Start", "Since Previous
//                 Line"), GapMs (1 to 60000)
//   [Hex Pane]    ShowHexPane
//
// Booleans are "TRUE" or "FALSE"; only the exact text "TRUE" reads true.

#include <cstdint>
#include <string>
#include <vector>

#include "config/CIniDocument.h"
#include "control/Triggers.h"
#include "platform/StampMode.h"

namespace quillpad {

inline constexpr const char* kSettingsRegistryKey =
    "Software\\Korvane\\Workbay\\Plugins\\Quillpad2";
inline constexpr const char* kDataFolderName = "Quillpad Data";
inline constexpr std::uint32_t kDefaultHistoryMemoryMB = 256;
inline constexpr std::uint32_t kDefaultScriptMemoryMB = 64;
inline constexpr std::uint32_t kMaxScriptMemoryMB = 4096;
inline constexpr const char* kLogsFolderName = "Quillpad Logs";
inline constexpr const char* kDefaultKeySetName = "My Keys.keyset";
inline constexpr const char* kDefaultSendPanelName = "My Sends.sendpanel";
inline constexpr const char* kShowAllSourcesValue = "X_Open_Monitor";

class CQuillpadSettings : public CIniDocument {
  public:
    // Works out (and creates) the data and logs folders under the host's
    // install path and reads the hidden switch. Reads no settings.
    CQuillpadSettings();

    // Fills the document from the registry defaults, then Read. A missing
    // key leaves every setting at its default.
    bool LoadFromRegistry();
    // Store, then writes the document to the registry defaults.
    void SaveToRegistry();

    void Read();
    void Store();

    // Set at construction.
    std::string m_dataDirectory;
    std::string m_logsDirectory;
    bool m_showAllSources = false;

    std::string m_logFolder;
    std::string m_defaultSchemeName;
    std::string m_keySetPath;
    bool m_logAsPlainText = false;
    bool m_logAsFormattedText = false;
    bool m_logAsBinaryLog = true;
    bool m_insertTimestampsInText = true;
    bool m_outgoingCRToCRLF = false;
    bool m_transmitArrowCharacters = false;
    bool m_keepCommandHistory = true;  // in the data directory, between sessions
    bool m_showAbsoluteTime = true;
    bool m_showRelativeTime = true;
    bool m_showDataDirection = true;
    bool m_showRelatedData = true;
    // ASCII Send's pauses after each line and each character, for
    // controllers without flow control.
    std::uint32_t m_asciiLineDelayMs = 0;
    std::uint32_t m_asciiCharDelayMs = 0;
    // Megabytes of history a console keeps in memory before the rest goes
    // to its spill file; 0 keeps everything in memory.
    std::uint32_t m_historyMemoryMB = kDefaultHistoryMemoryMB;
    // How long a lost link (a device pulled out, a dropped network link
    // with reconnect=on) is waited for; 0: as long as the console is open.
    std::uint32_t m_waitForDeviceSeconds = 0;
    // The memory a script's Lua state may hold; past it the script stops.
    std::uint32_t m_scriptMemoryMB = kDefaultScriptMemoryMB;
    // The send panel beside the console, and the panel file it shows.
    bool m_showSendPanel = false;
    std::string m_sendPanelPath;
    // The triggers, and what Read found wrong with them (one line each).
    std::vector<STrigger> m_triggers;
    std::vector<std::string> m_triggerErrors;
    // Time stamps at the start of each line, and the pause that starts a
    // burst where data has no lines.
    EStampMode m_stampMode = EStampMode::Off;
    std::uint32_t m_stampGapMs = kDefaultGapMs;
    // The hex dump of the history beside the console.
    bool m_showHexPane = false;

    // The key set path used when none is set.
    std::string DefaultKeySetPath() const;
    // The send panel file used when none is set.
    std::string DefaultSendPanelPath() const;

  private:
    // Takes any "LogToFolder" entry out of the document.
    void RemoveLogFolderEntry();
};

}  // namespace quillpad
