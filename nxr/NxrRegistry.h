#pragma once
// The host's registry settings and its list of plug-ins, on the registry
// store (platform/CRegistryStore.h), under the host's key
// "Software\Korvane\Workbay" of the current user.

#include <cstddef>
#include <string_view>

#include "platform/CRegistryStore.h"

namespace quillpad {

inline constexpr std::string_view kWorkbayRegistryKey = "Software\\Korvane\\Workbay";
inline constexpr std::string_view kPluginProgIdValue = "ProgID";

// True when the value `valueName` exists in `subKey` of the host's key (""
// or null: the key itself). With a buffer, its data is copied there with a
// terminating zero, cut to fit `size`.
bool NxrGetRegistrySetting(const char* subKey, const char* valueName, char* buffer,
                           std::size_t size);
// Records the plug-in as "Software\Korvane\Workbay\Plugins\<name>", value
// "ProgID" = progId. A name must be one key name (no "\").
bool NxrRegisterPlugin(const char* name, const char* progId);
// Removes that record when it names this ProgID; the plug-in's key goes too
// when nothing else (settings) is left in it.
bool NxrUnRegisterPlugin(const char* name, const char* progId);

// The same on a given store.
bool NxrGetRegistrySetting(const CRegistryStore& store, const char* subKey, const char* valueName,
                           char* buffer, std::size_t size);
bool NxrRegisterPlugin(CRegistryStore& store, const char* name, const char* progId);
bool NxrUnRegisterPlugin(CRegistryStore& store, const char* name, const char* progId);

}  // namespace quillpad
