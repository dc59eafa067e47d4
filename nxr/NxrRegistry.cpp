#include "nxr/NxrRegistry.h"

#include <cstring>
#include <string>

namespace quillpad {
namespace {

std::string PluginKey(std::string_view name) {
    std::string key(kWorkbayRegistryKey);
    key += "\\Plugins\\";
    key += name;
    return key;
}

bool ValidPluginName(const char* name) {
    return name != nullptr && *name != '\0' && std::strchr(name, '\\') == nullptr &&
           std::strlen(name) <= kMaxRegistryKeyName;
}

}  // namespace

bool NxrGetRegistrySetting(const CRegistryStore& store, const char* subKey, const char* valueName,
                           char* buffer, std::size_t size) {
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    std::string path(kWorkbayRegistryKey);
    if (subKey != nullptr && *subKey != '\0') {
        path += '\\';
        path += subKey;
    }
    std::string data;
    if (store.QueryValue(path, valueName != nullptr ? valueName : "", data) !=
        ERegistryStatus::Success) {
        return false;
    }
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(data.size(), size - 1);
        std::memcpy(buffer, data.data(), n);
        buffer[n] = '\0';
    }
    return true;
}

bool NxrRegisterPlugin(CRegistryStore& store, const char* name, const char* progId) {
    if (!ValidPluginName(name) || progId == nullptr || *progId == '\0') {
        return false;
    }
    const std::string key = PluginKey(name);
    bool written = false;
    const auto status = store.Update([&](CRegistryTree& tree) {
        written = tree.CreateKey(key) == ERegistryStatus::Success &&
                  tree.SetValue(key, kPluginProgIdValue, progId) == ERegistryStatus::Success;
        return written;
    });
    return status == ERegistryStatus::Success && written;
}

bool NxrUnRegisterPlugin(CRegistryStore& store, const char* name, const char* progId) {
    if (!ValidPluginName(name) || progId == nullptr) {
        return false;
    }
    const std::string key = PluginKey(name);
    bool removed = false;
    const auto status = store.Update([&](CRegistryTree& tree) {
        std::string registered;
        if (tree.QueryValue(key, kPluginProgIdValue, registered) != ERegistryStatus::Success ||
            registered != progId) {
            return false;  // not ours to remove
        }
        tree.DeleteValue(key, kPluginProgIdValue);
        std::string other;
        std::string data;
        if (tree.EnumKey(key, 0, other) == ERegistryStatus::NoMoreItems &&
            tree.EnumValue(key, 0, other, data) == ERegistryStatus::NoMoreItems) {
            tree.DeleteTree(key);
        }
        removed = true;
        return true;
    });
    return status == ERegistryStatus::Success && removed;
}

bool NxrGetRegistrySetting(const char* subKey, const char* valueName, char* buffer,
                           std::size_t size) {
    const CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    return NxrGetRegistrySetting(store, subKey, valueName, buffer, size);
}

bool NxrRegisterPlugin(const char* name, const char* progId) {
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    return NxrRegisterPlugin(store, name, progId);
}

bool NxrUnRegisterPlugin(const char* name, const char* progId) {
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    return NxrUnRegisterPlugin(store, name, progId);
}

}  // namespace quillpad
