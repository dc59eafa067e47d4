#pragma once
// Stand-ins for the host's tests: a console control with the by-name
// methods a real one offers (recording every call), plug-ins making it or
// an older control without them, and an answering machine for the host's
// dialogs and message boxes.

#include <QAction>
#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

#include "host/qt/CPluginCatalog.h"
#include "host/qt/CWorkbayWindow.h"
#include "host/qt/IWorkbayUi.h"
#include "platform/CRegistryStore.h"
#include "platform/qt/IWorkbayPlugin.h"
#include "tests/support/WorkbayHome.h"

class QMenu;

namespace quillpad::test {

struct SControlSizes {
    short minCx = 400, minCy = 200, maxCx = 10000, maxCy = 10000, preferredCx = 650,
          preferredCy = 400;
};

class CStandInControl : public QWidget {
    Q_OBJECT

  public:
    CStandInControl(QWidget* parent, const SControlSizes& sizes, const QString& menuPrefix);
    ~CStandInControl() override;

    Q_INVOKABLE void IWBGetWindowSizes(short* minCx, short* minCy, short* maxCx, short* maxCy,
                                       short* preferredCx, short* preferredCy);
    Q_INVOKABLE void IWBSetConnectionParameters(const QByteArray& parameters);
    Q_INVOKABLE void IWBSetEnvIDispatchViaStream(int stream);
    Q_INVOKABLE void IWBGetSaveData(QByteArray* data, int* length);
    Q_INVOKABLE void IWBLoadSaveData(const QByteArray& data, int length);
    Q_INVOKABLE void AboutBox();
    Q_INVOKABLE QList<QAction*> InPlaceMenuActions();

    // The environment calls, made by name as a control makes them.
    int UpdateConnectionStatus(short status);
    int UpdateConnectionParams(const QString& params);
    int LaunchPlugin(const QString& plugin, const QString& address);
    int SetPluginWindowSize(int minCx, int minCy, int maxCx, int maxCy, int preferredCx,
                            int preferredCy);
    int GetCurrentAddress(QString& first, QString& address, QString& third);
    int ShowFrameFooter(int show);
    int AppendToWindowTitle(const QString& text);
    int SetWindowTitleTool(const QString& text);

    QStringList calls;
    QPointer<QObject> environment;
    QByteArray parameters;
    QByteArray loaded;
    int loadedLength = -1;
    QByteArray saveData;  // what IWBGetSaveData gives, its zero included
    int aboutBoxes = 0;
    QList<QAction*> menus;

  private:
    SControlSizes m_sizes;
    std::vector<std::unique_ptr<QMenu>> m_menus;
};

class CStandInPlugin : public IWorkbayPlugin {
  public:
    QString ProgId() const override { return QStringLiteral("StandIn.Console.1"); }
    QWidget* CreateControl(QWidget* parent) override;
    std::int32_t RegisterServer(const QString&) override { return kSelfRegOk; }
    std::int32_t UnregisterServer() override { return kSelfRegOk; }

    SControlSizes sizes;
    // A control as an older plug-in made it: none of the by-name methods.
    bool older = false;
    bool makesNothing = false;
    QList<QPointer<QWidget>> controls;
    // Save data for the controls to come, in order.
    QList<QByteArray> saveData;

    CStandInControl* Control(int index) const;
};

class CAnsweringUi : public IWorkbayUi {
  public:
    struct SMessage {
        EWorkbayMessage kind;
        QString title;
        QString text;
    };

    void ShowMessage(QWidget*, EWorkbayMessage kind, const QString& title,
                     const QString& text) override {
        messages.append({kind, title, text});
    }
    std::optional<SNewConsoleChoice> AskNewConsole(QWidget*,
                                                   const SNewConsoleOptions& options) override {
        ++asked;
        lastOptions = options;
        return answer;
    }

    QList<SMessage> messages;
    int asked = 0;
    SNewConsoleOptions lastOptions;
    std::optional<SNewConsoleChoice> answer;
};

// Collects what Qt warns about while it lives.
class CQtWarnings {
  public:
    CQtWarnings();
    ~CQtWarnings();
    CQtWarnings(const CQtWarnings&) = delete;
    CQtWarnings& operator=(const CQtWarnings&) = delete;
    static QStringList& Collected();

  private:
    QtMessageHandler m_previous;
};

// A host in a fresh Workbay home with the stand-in plug-in as "Quillpad2".
class CHostRig {
  public:
    CHostRig() {
        catalog.Add(QStringLiteral("Quillpad2"), &plugin);
        NewWindow();
    }
    ~CHostRig() { window.reset(); }

    // A window as a new start of the host makes it; the old one goes first.
    CWorkbayWindow& NewWindow() {
        window.reset();
        window = std::make_unique<CWorkbayWindow>(catalog, ui, store, WorkspacePath());
        window->show();
        return *window;
    }
    std::string WorkspacePath() const { return home.File("workspace.ini"); }

    CWorkbayHome home;
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    CAnsweringUi ui;
    CStandInPlugin plugin;
    CPluginCatalog catalog;
    std::unique_ptr<CWorkbayWindow> window;
};

}  // namespace quillpad::test
