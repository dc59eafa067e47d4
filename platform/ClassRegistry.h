#pragma once
// Where a plug-in class lives: the replacement for a COM class registration.
// A ProgID maps to the plug-in library that implements it, under
// "Software\Classes\<ProgID>" of the current user (value "Library"), so a
// host finds the library of every plug-in it has a ProgID for.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CRegistryStore.h"

namespace quillpad {

// Self-registration results, as a COM server gives them.
inline constexpr std::int32_t kSelfRegOk = 0;
inline constexpr std::int32_t kSelfRegTypeLibFailed = static_cast<std::int32_t>(0x80040200u);
inline constexpr std::int32_t kSelfRegClassFailed = static_cast<std::int32_t>(0x80040201u);

inline constexpr std::string_view kClassesKey = "Software\\Classes";
inline constexpr std::string_view kClassLibraryValue = "Library";

std::string ClassKey(std::string_view progId);

ERegistryStatus RegisterClassLibrary(CRegistryStore& store, std::string_view progId,
                                     std::string_view libraryPath);
// Removes the class's key with everything in it; a missing key is no error.
ERegistryStatus UnregisterClassLibrary(CRegistryStore& store, std::string_view progId);
// The library registered for the ProgID, if any.
std::optional<std::string> FindClassLibrary(const CRegistryStore& store, std::string_view progId);

}  // namespace quillpad
