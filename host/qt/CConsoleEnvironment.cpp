#include "host/qt/CConsoleEnvironment.h"

#include "host/qt/CConsoleWindow.h"

namespace quillpad {

CConsoleEnvironment::CConsoleEnvironment(CConsoleWindow* window)
    : QObject(window), m_window(window) {}

int CConsoleEnvironment::IWBENVUpdateConnectionStatus(short status) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->SetConnectionStatus(status);
    return 0;
}

int CConsoleEnvironment::IWBENVUpdateConnectionParams(QString& params) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->SetConnectionSpec(params.toLatin1());
    return 0;
}

int CConsoleEnvironment::IWBENVLaunchPlugin(const QString& plugin, const QString& address,
                                            const QString&) {
    if (!m_window || !m_window->Launch(plugin, address.toLatin1())) {
        return kEnvironmentCallFailed;
    }
    return 0;
}

int CConsoleEnvironment::IWBENVSetPluginWindowSize(int minCx, int minCy, int maxCx, int maxCy,
                                                   int preferredCx, int preferredCy) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->ApplySizes(
        {QSize(minCx, minCy), QSize(maxCx, maxCy), QSize(preferredCx, preferredCy)});
    return 0;
}

int CConsoleEnvironment::IWBENVGetCurrentAddress(QString& first, QString& address, QString& third) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    first = m_window->PluginName();
    address = QString::fromLatin1(m_window->ConnectionSpec());
    third.clear();
    return 0;
}

int CConsoleEnvironment::IWBENVShowFrameFooter(int show) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->ShowFooter(show != 0);
    return 0;
}

int CConsoleEnvironment::IWBENVAppendToWindowTitle(const QString& text) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->SetTitleText(text);
    return 0;
}

int CConsoleEnvironment::IWBENVUpdateModemLines(int lines) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->SetModemLines(lines);
    return 0;
}

int CConsoleEnvironment::IWBENVUpdateShareClients(int port, int clients) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->SetShareClients(port, clients);
    return 0;
}

int CConsoleEnvironment::IWBENVSetWindowTitleTool(const QString& text) {
    if (!m_window) {
        return kEnvironmentCallFailed;
    }
    m_window->SetTitleTool(text);
    return 0;
}

}  // namespace quillpad
