#include "data/LogRequest.h"

#include <algorithm>

#include "platform/LocalTime.h"
#include "platform/Paths.h"

namespace quillpad {

std::string_view LogKindName(ELogKind kind) {
    switch (kind) {
        case ELogKind::Plain:
            return "Plain Text";
        case ELogKind::Formatted:
            return "Formatted Text";
        case ELogKind::Binary:
            return "Workbay Log";
    }
    return {};
}

bool LogKindEnabled(const SLogRequest& request, ELogKind kind) {
    switch (kind) {
        case ELogKind::Plain:
            return request.plainEnabled;
        case ELogKind::Formatted:
            return request.formattedEnabled;
        case ELogKind::Binary:
            return request.binaryEnabled;
    }
    return false;
}

const std::string& LogKindPath(const SLogRequest& request, ELogKind kind) {
    switch (kind) {
        case ELogKind::Plain:
            return request.plainPath;
        case ELogKind::Formatted:
            return request.formattedPath;
        case ELogKind::Binary:
            break;
    }
    return request.binaryPath;
}

SLogPaths BuildLogPaths(std::string_view folder, std::string_view quickName,
                        std::int64_t calendarSeconds) {
    const std::string t = FormatCalendarSeconds("%Y.%m.%d %H.%M.%S", calendarSeconds);
    const std::string q(quickName);
    SLogPaths paths;
    if (q.empty()) {
        paths.plain = t + " - Plain.txt";
        paths.formatted = t + " - Formatted.txt";
    } else {
        paths.plain = t + " - " + q + " - Plain.txt";
        paths.formatted = t + " - " + q + " - Formatted.txt";
    }
    paths.binary = t + " - " + q + ".wblog";
    paths.plain = PathCombine(folder, paths.plain);
    paths.formatted = PathCombine(folder, paths.formatted);
    paths.binary = PathCombine(folder, paths.binary);
    return paths;
}

std::string LoggingTitleStatus(bool logging, const SLogRequest& request,
                               const std::vector<ELogKind>& liveKinds) {
    if (!logging) {
        return {};
    }
    std::string text = "Logging";
    if (!request.quickName.empty()) {
        text += " \"" + request.quickName + "\"";
    }
    if (request.paused) {
        text += " (Paused)";
    }
    bool allLive = true;
    bool anyAsked = false;
    for (const ELogKind kind : {ELogKind::Plain, ELogKind::Formatted, ELogKind::Binary}) {
        if (LogKindEnabled(request, kind)) {
            anyAsked = true;
            allLive = allLive && std::ranges::find(liveKinds, kind) != liveKinds.end();
        }
    }
    if (!anyAsked || allLive) {
        return text;
    }
    if (liveKinds.empty()) {
        return text + " - no file is written";
    }
    text += " - ";
    for (std::size_t i = 0; i < liveKinds.size(); ++i) {
        text += (i == 0 ? "" : ", ");
        text += LogKindName(liveKinds[i]);
    }
    return text + " only";
}

}  // namespace quillpad
