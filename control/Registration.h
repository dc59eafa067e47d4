#pragma once
// The console's self-registration with the host: its class (ProgID to the
// plug-in library) and its plug-in record, in the registry store.

#include <cstdint>
#include <string_view>

#include "platform/CRegistryStore.h"

namespace quillpad {

inline constexpr const char* kQuillpadProgId = "QUILLPAD2.Quillpad2Ctrl.1";
inline constexpr const char* kQuillpadPluginName = "Quillpad2";
// Where the previous generation of the console registered itself.
inline constexpr const char* kPreviousGenerationKey =
    "Software\\Korvane\\Workbay\\Plugins\\Quillpad";

// Records the class, removes the previous generation's key and registers
// the plug-in; kSelfRegOk, or kSelfRegClassFailed when the class or the
// plug-in record cannot be written.
std::int32_t RegisterQuillpad(CRegistryStore& store, std::string_view libraryPath);
// The reverse: the class, then the plug-in record.
std::int32_t UnregisterQuillpad(CRegistryStore& store);

}  // namespace quillpad
