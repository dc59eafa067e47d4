#pragma once
// Workbay's main window: console windows in an MDI area, the host's menus
// with the active console's own menus between File and Window, and the
// workspace saved at quit and restored at the next start.

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <string>

#include "host/qt/CommandLine.h"
#include "host/qt/Workspace.h"

class QAction;
class QActionGroup;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace quillpad {

class CConsoleWindow;
class CPluginCatalog;
class CRegistryStore;
class IWorkbayUi;

class CWorkbayWindow : public QMainWindow {
    Q_OBJECT

  public:
    CWorkbayWindow(CPluginCatalog& catalog, IWorkbayUi& ui, CRegistryStore& store,
                   std::string workspacePath, QWidget* parent = nullptr);
    ~CWorkbayWindow() override;

    // What the window opens first: the console the command line names; else
    // the saved workspace; else, with nothing restored, the New Console dialog.
    void Start(const SCommandLine& commandLine);
    // A console the person asked for (dialog, command line, a control's
    // launch): remembered among the recent connections. Null when the
    // plug-in is unknown or makes no control.
    CConsoleWindow* OpenConsole(const QString& plugin, const QByteArray& spec);
    // Asks through the New Console dialog and opens what it gives.
    void NewConsole(const QString& plugin = {});
    // The consoles of the saved workspace; how many were opened.
    int RestoreWorkspace();
    bool SaveWorkspace(QString* error = nullptr);
    // File > Save Workspace: saves now, and from then on at quit too.
    void SaveWorkspaceNow();
    // Whether quitting saves the workspace. A start that names its console
    // (a script's one-off `--connect`) is not the user's workspace: saving
    // it at quit would replace the consoles the user keeps there.
    bool SavesAtQuit() const { return m_saveAtQuit; }

    QList<CConsoleWindow*> Consoles() const;
    CConsoleWindow* ActiveConsole() const;
    QMdiArea* Area() const { return m_area; }
    QMenu* WindowMenu() const { return m_windowMenu; }
    // Window > Cascade (host/qt/Cascade.h); the active console stays on top.
    void CascadeConsoles();
    // What gives freed memory back to the system, run once in the turn after
    // a console is destroyed (ReturnFreedMemory unless replaced).
    void SetMemoryRelease(std::function<void()> release) { m_releaseMemory = std::move(release); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // With remember set, the connection joins the recent connections once the console
    // reports that it is connected; one that never opens is not offered again.
    CConsoleWindow* CreateConsole(const QString& plugin, const QByteArray& spec,
                                  const std::optional<QByteArray>& state, bool remember);
    void BuildMenus();
    void FillWindowMenu();
    void OnSubWindowActivated(QMdiSubWindow* window);
    void ShowInPlaceMenus(CConsoleWindow* console);
    void ShowAboutWorkbay();
    QMdiSubWindow* CurrentFrame() const;
    void Report(const QString& text);
    void OnConsoleDestroyed();
    // A menu of the bar closed with Escape leaves the bar in its keyboard
    // mode, where Alt+H opens Help: the focus goes back to where it was, so
    // that the console's Alt keys are its own again.
    void LeaveMenuBar();

    CPluginCatalog& m_catalog;
    IWorkbayUi& m_ui;
    CRegistryStore& m_store;
    CWorkspaceFile m_workspace;
    bool m_saved = false;
    bool m_saveAtQuit = true;
    QMdiArea* m_area = nullptr;
    QMenu* m_windowMenu = nullptr;
    QAction* m_closeConsole = nullptr;
    QAction* m_aboutConsole = nullptr;
    QAction* m_tabbed = nullptr;
    QActionGroup* m_windowChoices = nullptr;
    QPointer<CConsoleWindow> m_menuConsole;
    QList<QPointer<QAction>> m_inPlace;
    std::function<void()> m_releaseMemory;
    bool m_releasePending = false;
    QPointer<QWidget> m_beforeMenuBar;  // what had the focus when the bar took it
};

}  // namespace quillpad
