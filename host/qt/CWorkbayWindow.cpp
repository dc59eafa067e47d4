#include "host/qt/CWorkbayWindow.h"

#include <QActionEvent>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <memory>

#include "host/qt/CConsoleWindow.h"
#include "host/qt/CNewConsoleDialog.h"
#include "host/qt/CPluginCatalog.h"
#include "host/qt/Cascade.h"
#include "host/qt/IWorkbayUi.h"
#include "host/qt/RecentConnections.h"
#include "platform/CRegistryStore.h"
#include "platform/Memory.h"
#include "platform/ProgramInfo.h"
#include "platform/qt/IWorkbayPlugin.h"

namespace quillpad {

CWorkbayWindow::CWorkbayWindow(CPluginCatalog& catalog, IWorkbayUi& ui, CRegistryStore& store,
                               std::string workspacePath, QWidget* parent)
    : QMainWindow(parent),
      m_catalog(catalog),
      m_ui(ui),
      m_store(store),
      m_workspace(std::move(workspacePath)),
      m_releaseMemory(&ReturnFreedMemory) {
    setWindowTitle(QStringLiteral("Workbay"));
    m_area = new QMdiArea(this);
    m_area->setObjectName(QStringLiteral("WorkbayArea"));
    m_area->setTabsClosable(true);
    m_area->setTabsMovable(true);
    setCentralWidget(m_area);
    connect(m_area, &QMdiArea::subWindowActivated, this, &CWorkbayWindow::OnSubWindowActivated);
    BuildMenus();
    ShowInPlaceMenus(nullptr);
    resize(1000, 700);
    menuBar()->installEventFilter(this);
    for (QAction* action : menuBar()->actions()) {
        if (action->menu() != nullptr) {
            action->menu()->installEventFilter(this);
        }
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now == menuBar() && old != nullptr && old != menuBar() && isAncestorOf(old)) {
            m_beforeMenuBar = old;
        }
    });
}

bool CWorkbayWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == menuBar() && event->type() == QEvent::ActionAdded) {
        // The consoles' menus come and go with the active console.
        if (QMenu* menu = static_cast<QActionEvent*>(event)->action()->menu()) {
            menu->removeEventFilter(this);
            menu->installEventFilter(this);
        }
    } else if (event->type() == QEvent::KeyPress && watched != menuBar() &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        QTimer::singleShot(0, this, &CWorkbayWindow::LeaveMenuBar);
    }
    return QMainWindow::eventFilter(watched, event);
}

void CWorkbayWindow::LeaveMenuBar() {
    if (QApplication::activePopupWidget() != nullptr || !menuBar()->hasFocus()) {
        return;  // another menu of the bar opened, or the focus moved on
    }
    QWidget* back = m_beforeMenuBar;
    if (back == nullptr && ActiveConsole() != nullptr) {
        back = ActiveConsole();
    }
    if (back != nullptr) {
        back->setFocus(Qt::PopupFocusReason);
    }
}

CWorkbayWindow::~CWorkbayWindow() {
    // The consoles go first, while everything they may call back still exists.
    disconnect(m_area, nullptr, this, nullptr);
    // Closed ones waiting for deleteLater included: they go with the area,
    // when this is no longer a CWorkbayWindow to be told.
    for (QMdiSubWindow* window : m_area->findChildren<QMdiSubWindow*>()) {
        disconnect(window, nullptr, this, nullptr);
    }
    for (QMdiSubWindow* window : m_area->subWindowList()) {
        delete window;
    }
}

void CWorkbayWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New Console..."), this, [this] { NewConsole(); });
    m_closeConsole =
        file->addAction(QStringLiteral("&Close Console"), m_area, &QMdiArea::closeActiveSubWindow);
    file->addSeparator();
    file->addAction(QStringLiteral("&Save Workspace"), this, &CWorkbayWindow::SaveWorkspaceNow);
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);

    m_windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    connect(m_windowMenu, &QMenu::aboutToShow, this, &CWorkbayWindow::FillWindowMenu);
    m_tabbed = new QAction(QStringLiteral("Ta&bbed"), this);
    m_tabbed->setCheckable(true);
    connect(m_tabbed, &QAction::toggled, this, [this](bool tabbed) {
        m_area->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
    });
    FillWindowMenu();

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("About &Workbay"), this, &CWorkbayWindow::ShowAboutWorkbay);
    m_aboutConsole = help->addAction(QStringLiteral("About Quillpad..."), this, [this] {
        if (CConsoleWindow* console = ActiveConsole()) {
            console->ShowAbout();
        }
    });
}

void CWorkbayWindow::FillWindowMenu() {
    m_windowMenu->clear();
    delete m_windowChoices;
    m_windowChoices = nullptr;
    const bool any = !m_area->subWindowList().isEmpty();
    m_windowMenu
        ->addAction(QStringLiteral("&Tile"), this,
                    [this] {
                        m_tabbed->setChecked(false);
                        m_area->tileSubWindows();
                    })
        ->setEnabled(any);
    m_windowMenu->addAction(QStringLiteral("&Cascade"), this, &CWorkbayWindow::CascadeConsoles)
        ->setEnabled(any);
    m_windowMenu->addAction(m_tabbed);
    m_windowMenu->addSeparator();
    m_windowMenu->addAction(QStringLiteral("Ne&xt"), m_area, &QMdiArea::activateNextSubWindow)
        ->setEnabled(any);
    m_windowMenu
        ->addAction(QStringLiteral("Pre&vious"), m_area, &QMdiArea::activatePreviousSubWindow)
        ->setEnabled(any);
    if (!any) {
        return;
    }
    m_windowMenu->addSeparator();
    m_windowChoices = new QActionGroup(this);
    // The current window, not just the active one: while another program
    // (or, with no window manager, nobody) has the focus, the area activates
    // none, yet this is the console the commands go to.
    QMdiSubWindow* current = CurrentFrame();
    int number = 0;
    for (QMdiSubWindow* window : m_area->subWindowList(QMdiArea::CreationOrder)) {
        ++number;
        const QString text = number < 10
                                 ? QStringLiteral("&%1 %2").arg(number).arg(window->windowTitle())
                                 : QStringLiteral("%1 %2").arg(number).arg(window->windowTitle());
        QAction* action = m_windowMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(window == current);
        m_windowChoices->addAction(action);
        connect(action, &QAction::triggered, m_area,
                [this, target = QPointer<QMdiSubWindow>(window)] {
                    if (target) {
                        m_area->setActiveSubWindow(target);
                    }
                });
    }
}

void CWorkbayWindow::Start(const SCommandLine& commandLine) {
    if (commandLine.NamesConsole()) {
        m_saveAtQuit = false;
        const QString plugin = commandLine.plugin.value_or(m_catalog.DefaultName());
        if (commandLine.plugin && m_catalog.Find(plugin) == nullptr) {
            Report(QStringLiteral("There is no plug-in named \"%1\".").arg(plugin));
            NewConsole();
        } else if (commandLine.connect) {
            OpenConsole(plugin, *commandLine.connect);
        } else {
            NewConsole(plugin);
        }
        return;
    }
    if (RestoreWorkspace() == 0) {
        NewConsole();
    }
}

CConsoleWindow* CWorkbayWindow::CreateConsole(const QString& plugin, const QByteArray& spec,
                                              const std::optional<QByteArray>& state,
                                              bool remember) {
    IWorkbayPlugin* server = m_catalog.Find(plugin);
    if (server == nullptr) {
        return nullptr;
    }
    auto console = std::make_unique<CConsoleWindow>(m_catalog.CanonicalName(plugin));
    if (!console->CreateControl(*server)) {
        return nullptr;
    }
    console->SetLauncher([this](const QString& name, const QByteArray& address) {
        return OpenConsole(name, address) != nullptr;
    });
    if (remember) {
        console->SetOnConnected([this, spec] { RememberConnection(m_store, spec); });
    }
    CConsoleWindow* window = console.get();
    // As in other MDI programs, a console opened while the current one is
    // maximized takes its place maximized: shown at its own size it would
    // lose its title bar and leave the other one restored behind it.
    const QMdiSubWindow* before = CurrentFrame();
    const bool maximized = before != nullptr && before->isMaximized();
    QMdiSubWindow* frame = m_area->addSubWindow(console.release());
    frame->setAttribute(Qt::WA_DeleteOnClose);
    connect(frame, &QObject::destroyed, this, &CWorkbayWindow::OnConsoleDestroyed);
    window->Start(spec, state);
    if (maximized) {
        frame->showMaximized();
    } else {
        frame->show();
        if (m_area->viewMode() == QMdiArea::SubWindowView) {
            frame->resize(frame->sizeHint());
        }
    }
    m_area->setActiveSubWindow(frame);
    return window;
}

CConsoleWindow* CWorkbayWindow::OpenConsole(const QString& plugin, const QByteArray& spec) {
    if (m_catalog.Find(plugin) == nullptr) {
        Report(QStringLiteral("There is no plug-in named \"%1\".").arg(plugin));
        return nullptr;
    }
    CConsoleWindow* console = CreateConsole(plugin, spec, std::nullopt, true);
    if (console == nullptr) {
        Report(QStringLiteral("The plug-in \"%1\" made no console.").arg(plugin));
        return nullptr;
    }
    return console;
}

void CWorkbayWindow::NewConsole(const QString& plugin) {
    if (m_catalog.Names().isEmpty()) {
        Report(
            QStringLiteral("No console plug-in is registered. Register one with\n"
                           "workbay --register PATH"));
        return;
    }
    SNewConsoleOptions options;
    options.plugins = m_catalog.Names();
    QString chosen = m_catalog.CanonicalName(plugin);
    if (chosen.isEmpty() && ActiveConsole() != nullptr) {
        chosen = ActiveConsole()->PluginName();
    }
    options.plugin = chosen.isEmpty() ? m_catalog.DefaultName() : chosen;
    options.recent = LoadRecentConnections(m_store);
    options.ports = AvailableSerialPorts();
    options.listPorts = &AvailableSerialPorts;
    if (const auto choice = m_ui.AskNewConsole(this, options)) {
        OpenConsole(choice->plugin, choice->spec);
    }
}

int CWorkbayWindow::RestoreWorkspace() {
    const SWorkspaceLoad load = m_workspace.Load();
    const QString path = QString::fromStdString(m_workspace.Path());
    if (load.result == EWorkspaceLoad::Corrupt) {
        QString text =
            QStringLiteral("The workspace %1 cannot be read (%2).\n\n").arg(path, load.error);
        text += load.movedTo.isEmpty()
                    ? QStringLiteral(
                          "It could not be moved aside either, so Workbay leaves it as "
                          "it is and will not save the workspace in this run.")
                    : QStringLiteral("It was moved to %1. Workbay starts with no consoles.")
                          .arg(load.movedTo);
        Report(text);
        return 0;
    }
    int opened = 0;
    QStringList missing;
    for (const SWorkspaceWindow& window : load.windows) {
        if (CreateConsole(window.plugin, window.spec, window.state, false) != nullptr) {
            ++opened;
        } else {
            missing
                << QStringLiteral("%1 on %2").arg(window.plugin, QString::fromLatin1(window.spec));
        }
    }
    if (!missing.isEmpty()) {
        Report(QStringLiteral("These consoles of the workspace could not be opened, since their "
                              "plug-in is missing:\n\n") +
               missing.join(QLatin1Char('\n')));
    }
    return opened;
}

bool CWorkbayWindow::SaveWorkspace(QString* error) {
    QList<SWorkspaceWindow> windows;
    for (CConsoleWindow* console : Consoles()) {
        windows.append(SWorkspaceWindow{console->PluginName(), console->ConnectionSpec(),
                                        console->SaveState()});
    }
    return m_workspace.Save(windows, error);
}

void CWorkbayWindow::SaveWorkspaceNow() {
    QString error;
    if (!SaveWorkspace(&error)) {
        Report(QStringLiteral("The workspace could not be saved: %1").arg(error));
        return;
    }
    m_saveAtQuit = true;
}

QList<CConsoleWindow*> CWorkbayWindow::Consoles() const {
    QList<CConsoleWindow*> consoles;
    for (QMdiSubWindow* window : m_area->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* console = qobject_cast<CConsoleWindow*>(window->widget())) {
            consoles << console;
        }
    }
    return consoles;
}

QMdiSubWindow* CWorkbayWindow::CurrentFrame() const {
    QMdiSubWindow* window = m_area->activeSubWindow();
    return window != nullptr ? window : m_area->currentSubWindow();
}

CConsoleWindow* CWorkbayWindow::ActiveConsole() const {
    QMdiSubWindow* window = CurrentFrame();
    return window != nullptr ? qobject_cast<CConsoleWindow*>(window->widget()) : nullptr;
}

void CWorkbayWindow::CascadeConsoles() {
    // Asked for windows, the tabs give way to them.
    m_tabbed->setChecked(false);
    QMdiSubWindow* current = CurrentFrame();
    QList<QMdiSubWindow*> frames;
    for (QMdiSubWindow* frame : m_area->subWindowList(QMdiArea::StackingOrder)) {
        if (frame->isVisible() && !frame->isMinimized() && frame != current) {
            frames << frame;
        }
    }
    if (current != nullptr && current->isVisible() && !current->isMinimized()) {
        frames << current;
    }
    if (frames.isEmpty()) {
        return;
    }
    QList<SCascadeWindow> windows;
    for (QMdiSubWindow* frame : frames) {
        if (frame->isMaximized() || frame->isShaded()) {
            frame->showNormal();
        }
        windows.append(
            {frame->sizeHint(), frame->minimumSizeHint().expandedTo(frame->minimumSize())});
    }
    const int title = frames.front()->widget() != nullptr ? frames.front()->widget()->y() : 0;
    const QList<QRect> placed = CascadeLayout(m_area->viewport()->size(), title, windows);
    for (int i = 0; i < frames.size(); ++i) {
        frames[i]->setGeometry(placed[i]);
        frames[i]->raise();
    }
}

void CWorkbayWindow::closeEvent(QCloseEvent* event) {
    if (!m_saved && m_saveAtQuit) {
        QString error;
        if (!SaveWorkspace(&error)) {
            Report(QStringLiteral("The workspace could not be saved: %1").arg(error));
        }
        m_saved = true;
    }
    event->accept();
}

void CWorkbayWindow::OnSubWindowActivated(QMdiSubWindow* window) {
    CConsoleWindow* console =
        window != nullptr ? qobject_cast<CConsoleWindow*>(window->widget()) : nullptr;
    // Losing the focus to another application activates nothing, yet the
    // console stays the current one and keeps its menus.
    if (window == nullptr && m_area->currentSubWindow() != nullptr) {
        console = qobject_cast<CConsoleWindow*>(m_area->currentSubWindow()->widget());
    }
    ShowInPlaceMenus(console);
}

void CWorkbayWindow::ShowInPlaceMenus(CConsoleWindow* console) {
    m_closeConsole->setEnabled(console != nullptr);
    m_aboutConsole->setEnabled(console != nullptr);
    if (console == m_menuConsole && console != nullptr) {
        return;
    }
    for (const QPointer<QAction>& action : m_inPlace) {
        if (action) {
            menuBar()->removeAction(action);
        }
    }
    m_inPlace.clear();
    m_menuConsole = console;
    if (console == nullptr) {
        return;
    }
    const QList<QAction*> actions = console->InPlaceMenus();
    menuBar()->insertActions(m_windowMenu->menuAction(), actions);
    for (QAction* action : actions) {
        m_inPlace << action;
    }
}

void CWorkbayWindow::ShowAboutWorkbay() {
    const QStringList plugins = m_catalog.Names();
    m_ui.ShowMessage(
        this, EWorkbayMessage::About, QStringLiteral("About Workbay"),
        QStringLiteral("Workbay, version %1\nQt %2\n\nThe host of Quillpad consoles, one "
                       "window per device.\n\nPlug-ins: %3")
            .arg(QString::fromLatin1(QuillpadVersion()), QString::fromLatin1(qVersion()),
                 plugins.isEmpty() ? QStringLiteral("none") : plugins.join(", ")));
}

void CWorkbayWindow::OnConsoleDestroyed() {
    // The next turn, when the whole console is gone (its control and the
    // objects it left to deleteLater); consoles closed together share one.
    if (m_releasePending) {
        return;
    }
    m_releasePending = true;
    QTimer::singleShot(0, this, [this] {
        m_releasePending = false;
        if (m_releaseMemory) {
            m_releaseMemory();
        }
    });
}

void CWorkbayWindow::Report(const QString& text) {
    m_ui.ShowMessage(this, EWorkbayMessage::Warning, QStringLiteral("Workbay"), text);
}

}  // namespace quillpad
