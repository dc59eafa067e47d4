#pragma once
// The host's environment: the calls through which a console reports back to
// the Workbay window that holds it. Each returns the host's status (0 for
// success). The host hands it over after creating the console and may
// replace it at any time.

#include <cstdint>

#include "platform/Bytes.h"

namespace quillpad {

// The status of a host call that could not be made (E_FAIL).
inline constexpr std::int32_t kHostCallFailed = static_cast<std::int32_t>(0x80004005u);

class IHostEnvironment {
  public:
    virtual ~IHostEnvironment() = default;

    virtual std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) = 0;
    // The new connection spec, by reference as the host takes it.
    virtual std::int32_t IWBENVUpdateConnectionParams(WideString& params) = 0;
    virtual std::int32_t IWBENVLaunchPlugin(const WideString& plugin, const WideString& address,
                                            const WideString& third) = 0;
    virtual std::int32_t IWBENVSetPluginWindowSize(std::int32_t minCx, std::int32_t minCy,
                                                   std::int32_t maxCx, std::int32_t maxCy,
                                                   std::int32_t preferredCx,
                                                   std::int32_t preferredCy) = 0;
    // The second text is the connection spec of the window's device.
    virtual std::int32_t IWBENVGetCurrentAddress(WideString& first, WideString& address,
                                                 WideString& third) = 0;
    virtual std::int32_t IWBENVShowFrameFooter(std::int32_t show) = 0;
    virtual std::int32_t IWBENVAppendToWindowTitle(const WideString& text) = 0;
    virtual std::int32_t IWBENVSetWindowTitleTool(const WideString& text) = 0;
    // Ours: the link's modem lines for the footer's lamps (nxr_line bits,
    // nxr/NxrLineScript.h; -1 while the link tells none). A host that does
    // not show them fails it.
    virtual std::int32_t IWBENVUpdateModemLines(std::int32_t /*lines*/) { return kHostCallFailed; }
    // Ours: the shared link for the footer: its TCP port (0: not shared) and
    // how many clients are attached. A host that does not show it fails it.
    virtual std::int32_t IWBENVUpdateShareClients(std::int32_t /*port*/, std::int32_t /*clients*/) {
        return kHostCallFailed;
    }
};

// A host that offers nothing: every call fails. Stand-in hosts (tools)
// derive from it and override only what they can do.
class CNoHostEnvironment : public IHostEnvironment {
  public:
    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t) override { return kHostCallFailed; }
    std::int32_t IWBENVUpdateConnectionParams(WideString&) override { return kHostCallFailed; }
    std::int32_t IWBENVLaunchPlugin(const WideString&, const WideString&,
                                    const WideString&) override {
        return kHostCallFailed;
    }
    std::int32_t IWBENVSetPluginWindowSize(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                           std::int32_t, std::int32_t) override {
        return kHostCallFailed;
    }
    std::int32_t IWBENVGetCurrentAddress(WideString&, WideString&, WideString&) override {
        return kHostCallFailed;
    }
    std::int32_t IWBENVShowFrameFooter(std::int32_t) override { return kHostCallFailed; }
    std::int32_t IWBENVAppendToWindowTitle(const WideString&) override { return kHostCallFailed; }
    std::int32_t IWBENVSetWindowTitleTool(const WideString&) override { return kHostCallFailed; }
};

}  // namespace quillpad
