#include "nxr/NxrLinkWatch.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace quillpad {
namespace {

// Where a name leads; the name itself when it leads nowhere (yet).
std::string Resolved(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::canonical(path, error);
    return error ? path : canonical.string();
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool SameUsbProduct(const SNxrPortInfo& a, const SNxrPortInfo& b) {
    return a.vendorId && a.productId && a.vendorId == b.vendorId && a.productId == b.productId;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string SNxrPortIdentity::Describe() const {
    switch (by) {
        case EBy::SerialNumber:
            return port.path + " (serial number " + port.serialNumber + ")";
        case EBy::Location:
            return port.path + " (" + Hex4(*port.vendorId) + ":" + Hex4(*port.productId) +
                   " at USB " + port.location + ")";
        case EBy::Path:
            break;
    }
    return port.path;
}

SNxrPortIdentity NxrIdentifyPort(const std::string& device,
                                 const std::vector<SNxrPortInfo>& ports) {
    SNxrPortIdentity identity;
    identity.port.path = device;
    const std::string target = Resolved(device);
    const auto it = std::find_if(ports.begin(), ports.end(), [&](const SNxrPortInfo& p) {
        return p.path == device || Resolved(p.path) == target;
    });
    if (it == ports.end()) {
        return identity;
    }
    identity.port = *it;
    identity.port.path = device;
    if (!it->serialNumber.empty()) {
        identity.by = SNxrPortIdentity::EBy::SerialNumber;
    } else if (it->vendorId && it->productId && !it->location.empty()) {
        identity.by = SNxrPortIdentity::EBy::Location;
    }
    return identity;
}

std::optional<std::string> NxrFindReturnedPort(const SNxrPortIdentity& identity,
                                               const std::vector<SNxrPortInfo>& ports) {
    const SNxrPortInfo& lost = identity.port;
    const auto matches = [&](const SNxrPortInfo& p) {
        switch (identity.by) {
            case SNxrPortIdentity::EBy::SerialNumber:
                // Serial numbers are the maker's: another maker's may repeat it.
                return p.serialNumber == lost.serialNumber &&
                       (!lost.vendorId || !p.vendorId || SameUsbProduct(p, lost));
            case SNxrPortIdentity::EBy::Location:
                return p.serialNumber.empty() && SameUsbProduct(p, lost) &&
                       p.location == lost.location;
            case SNxrPortIdentity::EBy::Path:
                break;
        }
        return false;
    };
    if (identity.by == SNxrPortIdentity::EBy::Path) {
        return Exists(lost.path) ? std::optional<std::string>(lost.path) : std::nullopt;
    }
    const auto it = std::find_if(ports.begin(), ports.end(), matches);
    if (it == ports.end()) {
        return std::nullopt;
    }
    if (it->path != lost.path && Exists(lost.path) && Resolved(lost.path) == Resolved(it->path)) {
        return lost.path;
    }
    return it->path;
}

std::uint32_t NxrRetryDelay(const SNxrRetryPolicy& policy, unsigned attempt) {
    const std::uint32_t cap = std::max(policy.maxMs, policy.firstMs);
    std::uint64_t delay = std::max<std::uint32_t>(policy.firstMs, 1);
    for (unsigned i = 0; i < attempt && delay < cap; ++i) {
        delay *= 2;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(delay, cap));
}

std::uint32_t NxrNextLook(std::uint32_t delayMs, std::uint32_t waitedMs, std::uint32_t limitMs) {
    if (limitMs == 0) {
        return delayMs;
    }
    const std::uint32_t left = waitedMs >= limitMs ? 0 : limitMs - waitedMs;
    return std::min(delayMs, left);
}

}  // namespace quillpad
