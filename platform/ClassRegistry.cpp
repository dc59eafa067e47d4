#include "platform/ClassRegistry.h"

namespace quillpad {

std::string ClassKey(std::string_view progId) {
    std::string key(kClassesKey);
    key += '\\';
    key += progId;
    return key;
}

ERegistryStatus RegisterClassLibrary(CRegistryStore& store, std::string_view progId,
                                     std::string_view libraryPath) {
    if (progId.empty() || progId.find('\\') != std::string_view::npos) {
        return ERegistryStatus::InvalidName;
    }
    const std::string key = ClassKey(progId);
    ERegistryStatus inner = ERegistryStatus::Success;
    const ERegistryStatus status = store.Update([&](CRegistryTree& tree) {
        inner = tree.CreateKey(key);
        if (inner == ERegistryStatus::Success) {
            inner = tree.SetValue(key, kClassLibraryValue, libraryPath);
        }
        return inner == ERegistryStatus::Success;
    });
    return status != ERegistryStatus::Success ? status : inner;
}

ERegistryStatus UnregisterClassLibrary(CRegistryStore& store, std::string_view progId) {
    if (progId.empty() || progId.find('\\') != std::string_view::npos) {
        return ERegistryStatus::InvalidName;
    }
    const ERegistryStatus status = store.DeleteTree(ClassKey(progId));
    return status == ERegistryStatus::NotFound ? ERegistryStatus::Success : status;
}

std::optional<std::string> FindClassLibrary(const CRegistryStore& store, std::string_view progId) {
    std::string path;
    if (progId.empty() ||
        store.QueryValue(ClassKey(progId), kClassLibraryValue, path) != ERegistryStatus::Success ||
        path.empty()) {
        return std::nullopt;
    }
    return path;
}

}  // namespace quillpad
