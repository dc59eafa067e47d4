#include "control/CQuillpadSettings.h"

#include <algorithm>
#include <vector>

#include "nxr/NxrLib.h"
#include "nxr/NxrRegistry.h"
#include "platform/CRegistryStore.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

constexpr const char* kSchemes = "Schemes";
constexpr const char* kLogging = "Logging";
constexpr const char* kGeneral = "General";
constexpr const char* kTextInfo = "Text Info";
constexpr const char* kKeyMapping = "Key Mapping";
constexpr const char* kTransfers = "Transfers";
constexpr const char* kTimeStamps = "Time Stamps";
constexpr std::int32_t kMaxStampGapMs = 60000;

std::uint32_t StampGapMs(std::int32_t value) {
    return value >= 1 && value <= kMaxStampGapMs ? static_cast<std::uint32_t>(value)
                                                 : kDefaultGapMs;
}
constexpr const char* kSendPanel = "Send Panel";
constexpr const char* kHexPane = "Hex Pane";
constexpr const char* kLogToFolder = "LogToFolder";
constexpr std::int32_t kMaxDelayMs = 10000;

// The install path as the maker's library gives it. Its classic 260-byte
// buffer would cut a longer path to nothing and put the folders in the
// current directory, so the buffer grows until the path fits.
std::string InstallPath() {
    for (std::size_t size = 260; size <= (1u << 20); size *= 4) {
        std::vector<char> buffer(size, '\0');
        if (NxrGetWorkbayInstallPath(buffer.data(), buffer.size())) {
            return std::string(buffer.data());
        }
    }
    return WorkbayInstallPath();
}

// A pause read back from text someone may have edited: out of range is none.
std::uint32_t DelayMs(std::int32_t value) {
    return value >= 0 && value <= kMaxDelayMs ? static_cast<std::uint32_t>(value) : 0;
}

// A budget read back from edited text: a negative one is the default.
std::uint32_t HistoryMemoryMB(std::int32_t value) {
    return value >= 0 ? static_cast<std::uint32_t>(value) : kDefaultHistoryMemoryMB;
}

const char* BoolText(bool value) {
    return value ? "TRUE" : "FALSE";
}

}  // namespace

CQuillpadSettings::CQuillpadSettings() {
    m_dataDirectory = PathCombine(InstallPath(), kDataFolderName);
    EnsureFolder(m_dataDirectory,
                 EFileAccess::Private);  // a failure shows where the files are used
    m_logsDirectory = PathCombine(InstallPath(), kLogsFolderName);
    EnsureFolder(m_logsDirectory, EFileAccess::Private);
    m_showAllSources = NxrGetRegistrySetting("", kShowAllSourcesValue, nullptr, 0);
    m_logFolder = m_logsDirectory;
    m_defaultSchemeName = "Normal";
    m_keySetPath = DefaultKeySetPath();
    m_sendPanelPath = DefaultSendPanelPath();
}

std::string CQuillpadSettings::DefaultKeySetPath() const {
    return PathCombine(m_dataDirectory, kDefaultKeySetName);
}

std::string CQuillpadSettings::DefaultSendPanelPath() const {
    return PathCombine(m_dataDirectory, kDefaultSendPanelName);
}

bool CQuillpadSettings::LoadFromRegistry() {
    const bool complete =
        CIniDocument::LoadFromRegistry(ERegistryRoot::CurrentUser, kSettingsRegistryKey);
    Read();
    return complete;
}

void CQuillpadSettings::SaveToRegistry() {
    Store();
    CIniDocument::SaveToRegistry(ERegistryRoot::CurrentUser, kSettingsRegistryKey);
    if (m_logFolder == m_logsDirectory) {
        // Saving never deletes, so an old folder would come back on the next
        // load and the return to the default would be lost.
        CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
        store.DeleteValue(std::string(kSettingsRegistryKey) + "\\" + kLogging, kLogToFolder);
    }
    // A trigger that matches case has no MatchCase key; an old "FALSE" of a
    // trigger at the same place would come back. Places past the list go
    // too, so that a list grown again starts clean.
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    const std::string triggersKey = std::string(kSettingsRegistryKey) + "\\" + kTriggersSection;
    store.Update([&](CRegistryTree& tree) {
        bool changed = false;
        for (std::size_t i = 0; i < kMaxTriggers; ++i) {
            if (i >= m_triggers.size() || m_triggers[i].matchCase) {
                changed |= tree.DeleteValue(triggersKey, TriggerMatchCaseKey(i + 1)) ==
                           ERegistryStatus::Success;
            }
        }
        return changed;
    });
}

void CQuillpadSettings::Read() {
    m_defaultSchemeName = ReadString(kSchemes, "DefaultSchemeName", "Normal");
    m_keySetPath = ReadString(kSchemes, "DefaultKeySettingName", "");
    if (m_keySetPath.empty()) {
        m_keySetPath = DefaultKeySetPath();
    }
    m_logFolder = ReadString(kLogging, kLogToFolder, m_logsDirectory);
    m_logAsPlainText = ReadBool(kLogging, "LogAsPlainText", false);
    m_logAsFormattedText = ReadBool(kLogging, "LogAsFormattedText", false);
    m_logAsBinaryLog = ReadBool(kLogging, "LogAsWorkbayLog", true);
    m_insertTimestampsInText = ReadBool(kLogging, "InsertTimestampsInText", true);
    m_outgoingCRToCRLF = ReadBool(kGeneral, "OutgoingCRToCRLF", false);
    m_historyMemoryMB =
        HistoryMemoryMB(ReadInt(kGeneral, "HistoryMemoryMB", kDefaultHistoryMemoryMB));
    // A negative number is no limit, as 0 is.
    m_waitForDeviceSeconds =
        static_cast<std::uint32_t>(std::max(0, ReadInt(kGeneral, "WaitForDeviceSeconds", 0)));
    // Out of range is the default: no script runs without a state to run in.
    const std::int32_t scriptMB = ReadInt(kGeneral, "ScriptMemoryMB", kDefaultScriptMemoryMB);
    m_scriptMemoryMB = scriptMB >= 1 && scriptMB <= static_cast<std::int32_t>(kMaxScriptMemoryMB)
                           ? static_cast<std::uint32_t>(scriptMB)
                           : kDefaultScriptMemoryMB;
    m_showAbsoluteTime = ReadBool(kTextInfo, "ShowAbsoluteTime", true);
    m_showRelativeTime = ReadBool(kTextInfo, "ShowRelativeTime", true);
    m_showDataDirection = ReadBool(kTextInfo, "ShowDataDirection", true);
    m_showRelatedData = ReadBool(kTextInfo, "ShowRelatedData", true);
    m_transmitArrowCharacters = ReadBool(kKeyMapping, "TransmitArrowCharacters", false);
    m_keepCommandHistory = ReadBool(kKeyMapping, "KeepCommandHistory", true);
    m_asciiLineDelayMs = DelayMs(ReadInt(kTransfers, "AsciiLineDelayMs", 0));
    m_asciiCharDelayMs = DelayMs(ReadInt(kTransfers, "AsciiCharDelayMs", 0));
    m_stampMode = StampModeFromName(ReadString(kTimeStamps, "Mode", "Off"));
    m_stampGapMs = StampGapMs(ReadInt(kTimeStamps, "GapMs", kDefaultGapMs));
    m_showSendPanel = ReadBool(kSendPanel, "ShowSendPanel", false);
    m_sendPanelPath = ReadString(kSendPanel, "SendPanelFile", "");
    if (m_sendPanelPath.empty()) {
        m_sendPanelPath = DefaultSendPanelPath();
    }
    m_triggerErrors.clear();
    m_triggers = ReadTriggers(*this, m_triggerErrors);
    m_showHexPane = ReadBool(kHexPane, "ShowHexPane", false);
}

void CQuillpadSettings::RemoveLogFolderEntry() {
    auto& entries = FindOrCreateSection(kLogging)->entries;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const SIniEntry& e) { return e.key == kLogToFolder; }),
                  entries.end());
}

void CQuillpadSettings::Store() {
    WriteString(kSchemes, "DefaultSchemeName", m_defaultSchemeName);
    WriteString(kSchemes, "DefaultKeySettingName", m_keySetPath);
    if (m_logFolder != m_logsDirectory) {
        WriteString(kLogging, kLogToFolder, m_logFolder);
    } else {
        // A folder read earlier would otherwise stay in the document and
        // override the return to the default.
        RemoveLogFolderEntry();
    }
    WriteString(kLogging, "LogAsPlainText", BoolText(m_logAsPlainText));
    WriteString(kLogging, "LogAsFormattedText", BoolText(m_logAsFormattedText));
    WriteString(kLogging, "LogAsWorkbayLog", BoolText(m_logAsBinaryLog));
    WriteString(kLogging, "InsertTimestampsInText", BoolText(m_insertTimestampsInText));
    WriteString(kGeneral, "OutgoingCRToCRLF", BoolText(m_outgoingCRToCRLF));
    WriteString(kGeneral, "HistoryMemoryMB", std::to_string(m_historyMemoryMB));
    WriteString(kGeneral, "WaitForDeviceSeconds", std::to_string(m_waitForDeviceSeconds));
    WriteString(kGeneral, "ScriptMemoryMB", std::to_string(m_scriptMemoryMB));
    WriteString(kTextInfo, "ShowAbsoluteTime", BoolText(m_showAbsoluteTime));
    WriteString(kTextInfo, "ShowRelativeTime", BoolText(m_showRelativeTime));
    WriteString(kTextInfo, "ShowDataDirection", BoolText(m_showDataDirection));
    WriteString(kTextInfo, "ShowRelatedData", BoolText(m_showRelatedData));
    WriteString(kKeyMapping, "TransmitArrowCharacters", BoolText(m_transmitArrowCharacters));
    WriteString(kKeyMapping, "KeepCommandHistory", BoolText(m_keepCommandHistory));
    WriteString(kTransfers, "AsciiLineDelayMs", std::to_string(m_asciiLineDelayMs));
    WriteString(kTransfers, "AsciiCharDelayMs", std::to_string(m_asciiCharDelayMs));
    WriteString(kSendPanel, "ShowSendPanel", BoolText(m_showSendPanel));
    WriteString(kSendPanel, "SendPanelFile", m_sendPanelPath);
    StoreTriggers(*this, m_triggers);
    WriteString(kTimeStamps, "Mode", StampModeName(m_stampMode));
    WriteString(kTimeStamps, "GapMs", std::to_string(m_stampGapMs));
    WriteString(kHexPane, "ShowHexPane", BoolText(m_showHexPane));
}

}  // namespace quillpad
