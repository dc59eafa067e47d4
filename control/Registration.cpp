#include "control/Registration.h"

#include "nxr/NxrRegistry.h"
#include "platform/ClassRegistry.h"

namespace quillpad {

std::int32_t RegisterQuillpad(CRegistryStore& store, std::string_view libraryPath) {
    if (RegisterClassLibrary(store, kQuillpadProgId, libraryPath) != ERegistryStatus::Success) {
        return kSelfRegClassFailed;
    }
    const ERegistryStatus old = store.DeleteTree(kPreviousGenerationKey);
    if (old != ERegistryStatus::Success && old != ERegistryStatus::NotFound) {
        return kSelfRegClassFailed;
    }
    return NxrRegisterPlugin(store, kQuillpadPluginName, kQuillpadProgId) ? kSelfRegOk
                                                                          : kSelfRegClassFailed;
}

std::int32_t UnregisterQuillpad(CRegistryStore& store) {
    if (UnregisterClassLibrary(store, kQuillpadProgId) != ERegistryStatus::Success) {
        return kSelfRegClassFailed;
    }
    return NxrUnRegisterPlugin(store, kQuillpadPluginName, kQuillpadProgId) ? kSelfRegOk
                                                                            : kSelfRegClassFailed;
}

}  // namespace quillpad
