#include "session/CHostedSession.h"

namespace quillpad {

CHostedSession::CHostedSession(const SessionFactory& factory) : CDeviceSession(factory) {
    if (Session() != nullptr) {
        Session()->SetTextSetting(u"%D");
    }
}

std::string CHostedSession::FailureText() const {
    if (Usable()) {
        return {};
    }
    const std::string reason = CreationError().empty()
                                   ? std::string("the session object has no session interface")
                                   : CreationError();
    return "The console cannot reach devices: " + reason + ".";
}

std::int32_t CHostedSession::HostUpdateConnectionStatus(std::uint16_t status) {
    return m_host ? m_host->IWBENVUpdateConnectionStatus(status) : 0;
}

std::int32_t CHostedSession::HostUpdateConnectionParams(const WideString& params) {
    if (!m_host) {
        return 0;
    }
    WideString copy = params;  // the host may change what it is handed
    return m_host->IWBENVUpdateConnectionParams(copy);
}

std::int32_t CHostedSession::HostUpdateModemLines(std::int32_t lines) {
    return m_host ? m_host->IWBENVUpdateModemLines(lines) : 0;
}

std::int32_t CHostedSession::HostUpdateShareClients(std::int32_t port, std::int32_t clients) {
    return m_host ? m_host->IWBENVUpdateShareClients(port, clients) : 0;
}

std::int32_t CHostedSession::HostGetCurrentAddress(WideString& first, WideString& address,
                                                   WideString& third) {
    return m_host ? m_host->IWBENVGetCurrentAddress(first, address, third) : kHostCallFailed;
}

std::int32_t CHostedSession::HostShowFrameFooter(std::int32_t show) {
    return m_host ? m_host->IWBENVShowFrameFooter(show) : kHostCallFailed;
}

std::int32_t CHostedSession::HostAppendToWindowTitle(const WideString& text) {
    return m_host ? m_host->IWBENVAppendToWindowTitle(text) : kHostCallFailed;
}

std::string CHostedSession::LaunchCommandLine(const std::string& plugin,
                                              const std::string& address) {
    return "/plugin:" + plugin + " /\"connect:" + address + "\"";
}

std::int32_t CHostedSession::HostLaunchPlugin(const WideString& plugin, const WideString& address,
                                              const WideString& third) {
    if (m_host) {
        return m_host->IWBENVLaunchPlugin(plugin, address, third);
    }
    if (!m_hostStarter) {
        return kHostCallFailed;
    }
    return m_hostStarter(LaunchCommandLine(WideToBytes(plugin), WideToBytes(address)))
               ? 0
               : kHostCallFailed;
}

}  // namespace quillpad
