#pragma once
// The environment object the host gives each console control, one per
// console window: the control calls these by name (the IWBENV calls). Each
// returns 0 on success. Strings carry one Latin-1 character per byte.

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

namespace quillpad {

class CConsoleWindow;

// The status of a call the host could not carry out (E_FAIL).
inline constexpr int kEnvironmentCallFailed = static_cast<std::int32_t>(0x80004005u);

class CConsoleEnvironment : public QObject {
    Q_OBJECT

  public:
    // A child of `window`, so it goes with it.
    explicit CConsoleEnvironment(CConsoleWindow* window);

    Q_INVOKABLE int IWBENVUpdateConnectionStatus(short status);
    Q_INVOKABLE int IWBENVUpdateConnectionParams(QString& params);
    Q_INVOKABLE int IWBENVLaunchPlugin(const QString& plugin, const QString& address,
                                       const QString& third);
    Q_INVOKABLE int IWBENVSetPluginWindowSize(int minCx, int minCy, int maxCx, int maxCy,
                                              int preferredCx, int preferredCy);
    Q_INVOKABLE int IWBENVGetCurrentAddress(QString& first, QString& address, QString& third);
    Q_INVOKABLE int IWBENVShowFrameFooter(int show);
    Q_INVOKABLE int IWBENVAppendToWindowTitle(const QString& text);
    Q_INVOKABLE int IWBENVSetWindowTitleTool(const QString& text);
    // Ours: the modem lines for the footer's lamps (-1: the link tells none).
    Q_INVOKABLE int IWBENVUpdateModemLines(int lines);
    // Ours: the shared link for the footer: its TCP port (0: not shared) and
    // how many clients are attached.
    Q_INVOKABLE int IWBENVUpdateShareClients(int port, int clients);

  private:
    QPointer<CConsoleWindow> m_window;
};

}  // namespace quillpad
