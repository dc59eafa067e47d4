#pragma once
// What the Log Files dialog asks for, the file names it proposes, and the
// logging status the host shows in the window title.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillpad {

struct SLogRequest {
    std::string quickName;
    bool plainEnabled = false;
    std::string plainPath;
    bool formattedEnabled = false;
    std::string formattedPath;
    bool binaryEnabled = false;
    std::string binaryPath;
    bool insertTimestamps = false;
    bool paused = false;  // live logging only
};

enum class ELogKind { Plain, Formatted, Binary };

// "Plain Text", "Formatted Text", "Workbay Log", as the dialog names them.
std::string_view LogKindName(ELogKind kind);
bool LogKindEnabled(const SLogRequest& request, ELogKind kind);
const std::string& LogKindPath(const SLogRequest& request, ELogKind kind);

// A log file that could not be opened or written, and why.
struct SLogFileFailure {
    ELogKind kind = ELogKind::Plain;
    std::string path;
    std::string reason;
    bool whileWriting = false;  // else it would not open
};

struct SLogPaths {
    std::string plain;
    std::string formatted;
    std::string binary;
};

// The names the dialog proposes for a quick name at a calendar time, joined
// to the log folder. Without a quick name the binary name still keeps its
// " - " before the extension.
SLogPaths BuildLogPaths(std::string_view folder, std::string_view quickName,
                        std::int64_t calendarSeconds);

// The title status: "" when not logging, else "Logging", the quoted quick
// name, " (Paused)". When a kind that was asked for is not being written (its
// file would not open, or a write failed), the kinds that are follow, so the
// user never takes a dead capture for a live one.
std::string LoggingTitleStatus(bool logging, const SLogRequest& request,
                               const std::vector<ELogKind>& liveKinds);

}  // namespace quillpad
