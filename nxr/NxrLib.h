#pragma once
// The utility side of our session library: the table of ability groups, the
// host's install path, the standard error text and where help topics live.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nxr/INxrSession2.h"

namespace quillpad {

enum class EAbilityGroup : std::uint32_t {
    DevInfo = 1,
    Firmware = 2,
    SystemClock = 3,
    Program = 4,
    SerialComm = 5,
    End = 0xFFFFFFFF,  // ends the table
};

struct SAbilityGroupInfo {
    EAbilityGroup value;
    const char* name;     // as key macros write it after "@"
    const char* caption;  // the group dialog's title
};

// A table of an enumeration's values and their descriptions, ended by the
// entry whose value is 0xFFFFFFFF.
template <class E, class I>
struct CEnumWrapper {
    static const std::vector<I> m_vectInfo;
};

template <>
const std::vector<SAbilityGroupInfo> CEnumWrapper<EAbilityGroup, SAbilityGroupInfo>::m_vectInfo;

// One ability of a group dialog.
struct SAbilityInfo {
    const char* command;  // what the session sends to the device
    const char* caption;  // the dialog's words for it
    bool onOpen;          // read when the dialog opens; actions wait for the user
};

// The abilities a group's dialog offers, in the dialog's order.
const std::vector<SAbilityInfo>& AbilitiesOfGroup(EAbilityGroup group);

// The first group whose name equals `name` ignoring ASCII case, in table order.
std::optional<EAbilityGroup> FindAbilityGroup(std::string_view name);
const SAbilityGroupInfo* AbilityGroupInfo(EAbilityGroup group);

// Writes the host's install path with its terminating zero; false (and an
// empty buffer when it has room for one byte) when the path does not fit.
bool NxrGetWorkbayInstallPath(char* buffer, std::size_t size);

// The words the standard error box shows for a request id (0: the last open
// or send); never empty.
std::string NxrStandardErrorText(const INxrSession2* session, std::uint32_t requestId);

// Help topics of the user guide (docs/USER_GUIDE.md): "topic-1007".
std::string NxrHelpAnchor(int topic);
// The user guide as the build renders it, USER_GUIDE.html: in
// $QUILLPAD_DOCS_DIR, else where an installed program finds it
// (`programDir`/../share/doc/quillpad), else in the docs folder of the build
// tree the program runs from (`programDir` and upwards). "" when none.
std::string NxrFindUserGuide(const std::string& programDir);

}  // namespace quillpad
