#pragma once
// The device session of a console that lives in the host: it knows the
// host's environment and passes connection changes on to it.
//
// A console whose session object could not be created is still built (the
// control shows the reason instead of vanishing from the host): Usable() is
// false, FailureText() says why, and every connection attempt shows it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "session/CDeviceSession.h"
#include "session/IHostEnvironment.h"

namespace quillpad {

class CHostedSession : public CDeviceSession {
  public:
    explicit CHostedSession(const SessionFactory& factory);

    bool Usable() const { return Session() != nullptr; }
    // The words the console shows when it has no session ("" when it has one).
    std::string FailureText() const;

    // Replaces the environment held so far; null forgets it.
    void SetHostEnvironment(std::shared_ptr<IHostEnvironment> host) { m_host = std::move(host); }
    IHostEnvironment* HostEnvironment() const { return m_host.get(); }

    // The host calls the console makes. Without an environment the status
    // and parameter updates are skipped (0), the others fail (E_FAIL).
    std::int32_t HostUpdateConnectionStatus(std::uint16_t status);
    std::int32_t HostUpdateConnectionParams(const WideString& params);
    // Skipped (0) like the status without an environment.
    std::int32_t HostUpdateModemLines(std::int32_t lines);
    std::int32_t HostUpdateShareClients(std::int32_t port, std::int32_t clients);
    std::int32_t HostGetCurrentAddress(WideString& first, WideString& address, WideString& third);
    std::int32_t HostShowFrameFooter(std::int32_t show);
    std::int32_t HostAppendToWindowTitle(const WideString& text);
    // Opens a console of `plugin` on `address`: through the environment when
    // there is one, else by starting the host with the command line
    // /plugin:NAME /"connect:ADDRESS" (E_FAIL when it cannot be started).
    std::int32_t HostLaunchPlugin(const WideString& plugin, const WideString& address,
                                  const WideString& third);

    // How the host is started without an environment: the command line, true
    // when the host started. Unset, there is no host to start.
    using HostStarter = std::function<bool(const std::string& commandLine)>;
    void SetHostStarter(HostStarter starter) { m_hostStarter = std::move(starter); }
    static std::string LaunchCommandLine(const std::string& plugin, const std::string& address);

  private:
    std::shared_ptr<IHostEnvironment> m_host;
    HostStarter m_hostStarter;
};

}  // namespace quillpad
