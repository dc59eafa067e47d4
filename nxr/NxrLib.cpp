#include "nxr/NxrLib.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/Paths.h"

namespace quillpad {

template <>
const std::vector<SAbilityGroupInfo> CEnumWrapper<EAbilityGroup, SAbilityGroupInfo>::m_vectInfo = {
    {EAbilityGroup::DevInfo, "DevInfo", "Device Information"},
    {EAbilityGroup::Firmware, "Firmware", "Firmware"},
    {EAbilityGroup::SystemClock, "SystemClock", "System Clock"},
    {EAbilityGroup::Program, "Program", "Program"},
    {EAbilityGroup::SerialComm, "SerialComm", "Serial Communication"},
    {EAbilityGroup::End, "", ""},
};

namespace {

using CAbilityGroups = CEnumWrapper<EAbilityGroup, SAbilityGroupInfo>;

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<EAbilityGroup> FindAbilityGroup(std::string_view name) {
    for (const auto& entry : CAbilityGroups::m_vectInfo) {
        if (entry.value == EAbilityGroup::End) {
            break;
        }
        if (SameIgnoringCase(entry.name, name)) {
            return entry.value;
        }
    }
    return std::nullopt;
}

const std::vector<SAbilityInfo>& AbilitiesOfGroup(EAbilityGroup group) {
    static const std::vector<SAbilityInfo> kNone;
    static const std::vector<SAbilityInfo> kDevInfo = {
        {"DevInfo", "Device information", true},
        {"QbusMasterReportDevices 0,true", "Report the devices on bus 0", false},
    };
    static const std::vector<SAbilityInfo> kFirmware = {{"Firmware", "Firmware version", true}};
    static const std::vector<SAbilityInfo> kClock = {{"SystemClock", "Controller clock", true}};
    static const std::vector<SAbilityInfo> kProgram = {
        {"Program", "Program state", true},
        {"ProgramRestart", "Restart the program", false},
        {"ProgramStop", "Stop the program", false},
    };
    static const std::vector<SAbilityInfo> kSerial = {{"SerialComm", "Serial port settings", true}};
    switch (group) {
        case EAbilityGroup::DevInfo:
            return kDevInfo;
        case EAbilityGroup::Firmware:
            return kFirmware;
        case EAbilityGroup::SystemClock:
            return kClock;
        case EAbilityGroup::Program:
            return kProgram;
        case EAbilityGroup::SerialComm:
            return kSerial;
        case EAbilityGroup::End:
            break;
    }
    return kNone;
}

const SAbilityGroupInfo* AbilityGroupInfo(EAbilityGroup group) {
    for (const auto& entry : CAbilityGroups::m_vectInfo) {
        if (entry.value == EAbilityGroup::End) {
            break;
        }
        if (entry.value == group) {
            return &entry;
        }
    }
    return nullptr;
}

bool NxrGetWorkbayInstallPath(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    const std::string path = WorkbayInstallPath();
    if (path.size() + 1 > size) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

std::string NxrStandardErrorText(const INxrSession2* session, std::uint32_t requestId) {
    if (session == nullptr) {
        return "There is no session object.";
    }
    const std::string text = session->ErrorText(requestId);
    if (!text.empty()) {
        return text;
    }
    if (requestId == 0) {
        return "The connection failed, and no reason was recorded.";
    }
    return "Request " + std::to_string(requestId) + " failed, and no reason was recorded.";
}

std::string NxrHelpAnchor(int topic) {
    return "topic-" + std::to_string(topic);
}

std::string NxrFindUserGuide(const std::string& programDir) {
    namespace fs = std::filesystem;
    std::vector<fs::path> candidates;
    if (const char* docs = std::getenv("QUILLPAD_DOCS_DIR"); docs != nullptr && *docs != '\0') {
        candidates.emplace_back(docs);
    }
    if (!programDir.empty()) {
        fs::path dir(programDir);
        candidates.push_back(dir / ".." / "share" / "doc" / "quillpad");
        // A build tree: <build>/docs beside <build>/<folder>/program.
        for (int up = 0; up < 4; ++up) {
            candidates.push_back(dir / "docs");
            dir = dir / "..";
        }
    }
    for (const auto& folder : candidates) {
        std::error_code error;
        const fs::path guide = (folder / "USER_GUIDE.html").lexically_normal();
        if (fs::is_regular_file(guide, error)) {
            return fs::weakly_canonical(guide, error).string();
        }
    }
    return {};
}

}  // namespace quillpad
