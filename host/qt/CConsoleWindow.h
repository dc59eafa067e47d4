#pragma once
// One console in the host: the plug-in's control filling the window, the
// footer under it (connection status and spec, the shared link's clients,
// and the control's notes for a while), and the title. The window is what
// the control's environment object acts on.

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "host/qt/ControlCalls.h"
#include "nxr/CNxrComSpec.h"

class QAction;
class QLabel;
class QStatusBar;
class QTimer;

namespace quillpad {

class CConsoleEnvironment;
class IWorkbayPlugin;

class CConsoleWindow : public QWidget {
    Q_OBJECT

  public:
    // Opens a console of a plug-in on a spec; true when it could.
    using Launcher = std::function<bool(const QString& plugin, const QByteArray& spec)>;

    explicit CConsoleWindow(const QString& pluginName, QWidget* parent = nullptr);
    ~CConsoleWindow() override;

    // Makes the control and takes its sizes; false when the plug-in makes none.
    bool CreateControl(IWorkbayPlugin& plugin);
    // Hands the control its environment, the saved state (when restoring)
    // and then the connection spec, in that order.
    void Start(const QByteArray& spec, const std::optional<QByteArray>& savedState);
    void SetLauncher(Launcher launcher) { m_launcher = std::move(launcher); }
    // Called once, the first time the control reports it is connected.
    void SetOnConnected(std::function<void()> onConnected) {
        m_onConnected = std::move(onConnected);
    }

    QWidget* Control() const { return m_control; }
    CConsoleEnvironment* Environment() const { return m_environment; }
    const QString& PluginName() const { return m_plugin; }
    const QByteArray& ConnectionSpec() const { return m_spec; }
    QString StatusText() const;
    // The control's last note (a status tip it sent), while the footer shows it.
    QString NoteText() const;
    int ConnectionStatus() const { return m_status; }
    bool FooterShown() const;
    std::optional<QByteArray> SaveState() const;
    QList<QAction*> InPlaceMenus() const;
    bool ShowAbout();

    // What the environment calls do.
    void SetConnectionStatus(int status);
    void SetConnectionSpec(const QByteArray& spec);
    void ShowFooter(bool show);
    void SetTitleText(const QString& text);
    void SetTitleTool(const QString& text);
    // The lamps CTS, DSR, DCD and RI (nxr_line bits); -1 hides them.
    void SetModemLines(int lines);
    int ModemLines() const { return m_modemLines; }
    // "Shared on port 5000: 2 clients" while the link is shared; port 0
    // hides it.
    void SetShareClients(int port, int clients);
    void ApplySizes(const SWindowSizes& sizes);
    bool Launch(const QString& plugin, const QByteArray& spec);

    QSize sizeHint() const override;

    // How long a note of the control stays in the footer.
    static constexpr int kNoteMilliseconds = 15000;

  protected:
    bool event(QEvent* event) override;

  private:
    void UpdateTitle();
    void UpdateFooter();

    QString m_plugin;
    QByteArray m_spec;
    QString m_titleTool;
    QString m_titleText;
    int m_status = 0;
    QSize m_preferred;
    QPointer<QWidget> m_control;
    CConsoleEnvironment* m_environment = nullptr;
    QStatusBar* m_footer = nullptr;
    QLabel* m_statusLabel = nullptr;
    // The control's last note, beside the status: a status bar's own
    // message would be painted over it.
    QLabel* m_noteLabel = nullptr;
    QTimer* m_noteTimer = nullptr;
    QLabel* m_specLabel = nullptr;
    QLabel* m_flowLabel = nullptr;   // a serial link's flow control
    QLabel* m_shareLabel = nullptr;  // the shared link's port and clients
    std::vector<QLabel*> m_lamps;    // CTS, DSR, DCD, RI
    int m_modemLines = -1;
    Launcher m_launcher;
    std::function<void()> m_onConnected;
};

// The connection statuses a control reports (docs/CONNECTIONS.md).
inline constexpr int kStatusConnected = 3;

// The words for a connection status.
QString ConnectionStatusText(int status);
// "RTS/CTS", "XON/XOFF", "No flow control".
QString FlowControlText(ENxrFlowControl flow);
// "Shared on port 5000: 2 clients" ("1 client"); empty for port 0.
QString ShareClientsText(int port, int clients);

}  // namespace quillpad
