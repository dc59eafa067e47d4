#include "host/qt/WorkbayMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

#include <cstdio>

#include "host/qt/CConsoleWindow.h"
#include "host/qt/CPluginCatalog.h"
#include "host/qt/CWorkbayDialogs.h"
#include "host/qt/CWorkbayWindow.h"
#include "host/qt/CommandLine.h"
#include "host/qt/Workspace.h"
#include "platform/CRegistryStore.h"
#include "platform/Memory.h"
#include "platform/ProgramInfo.h"
#include "platform/qt/QuitSignals.h"

namespace quillpad {
namespace {

QByteArrayList Words(int argc, char** argv) {
    QByteArrayList words;
    for (int i = 1; i < argc; ++i) {
        words << QByteArray(argv[i]);
    }
    return words;
}

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}

// Qt's own options (-platform, -style, ...) start with one dash; ours never do.
bool HasQtOptions(const QByteArrayList& words) {
    for (const QByteArray& word : words) {
        if (word.startsWith('-') && !word.startsWith("--")) {
            return true;
        }
    }
    return false;
}

}  // namespace

int WorkbayMain(int& argc, char** argv) {
    ReturnLargeAllocationsToTheSystem();
    if (AnswerVersion(argc, argv, "workbay")) {
        return 0;
    }
    SCommandLine line = ParseCommandLine(Words(argc, argv));
    // A wrong command line is told without a display, unless Qt's options
    // may be what made it wrong.
    if (!line.error.isEmpty() && !HasQtOptions(Words(argc, argv))) {
        Print(stderr, QStringLiteral("workbay: ") + line.error + '\n' + CommandLineUsage());
        return 2;
    }
    if (line.error.isEmpty() && line.command == EWorkbayCommand::Help) {
        Print(stdout, CommandLineUsage());
        return 0;
    }
    // Registration needs no display.
    if (line.error.isEmpty() && (line.command == EWorkbayCommand::Register ||
                                 line.command == EWorkbayCommand::Unregister)) {
        QCoreApplication app(argc, argv);
        QString message;
        const int code = RunServerRegistration(
            line.library, line.command == EWorkbayCommand::Unregister, message);
        Print(code == 0 ? stdout : stderr, QStringLiteral("workbay: ") + message + '\n');
        return code;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Workbay"));
    // Qt has taken its own options (-platform, ...) out by now.
    line = ParseCommandLine(Words(argc, argv));
    if (!line.error.isEmpty()) {
        Print(stderr, QStringLiteral("workbay: ") + line.error + '\n' + CommandLineUsage());
        return 2;
    }
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    for (const QString& message :
         RegisterBundledPlugins(store, QApplication::applicationDirPath())) {
        Print(stdout, QStringLiteral("workbay: ") + message + '\n');
    }
    CWorkbayDialogs ui;
    CPluginCatalog catalog;
    catalog.LoadRegistered(store, ui);
    CWorkbayWindow window(catalog, ui, store, DefaultWorkspacePath());
    // SIGTERM, SIGINT and SIGHUP quit as File > Quit does: the workspace is
    // saved, and each console closes its logs and removes its spill file as
    // the window goes. Before the start has opened the workspace's consoles,
    // saving would put an empty one over it; and no other window (help) may
    // keep the program running.
    bool started = false;
    CQuitSignals quitSignals([&window, &started] {
        if (started) {
            window.close();
        }
        QCoreApplication::exit(0);
    });
    window.show();
    QTimer::singleShot(0, &window, [&window, &line, &started] {
        started = true;
        window.Start(line);
    });
    int result = 0;
    QTimer shot;
    QElapsedTimer clock;
    qint64 connectedAt = -1;
    if (!line.screenshot.isEmpty()) {
        // Once every console is connected, a moment for its first lines, then the picture.
        clock.start();
        shot.setInterval(100);
        QObject::connect(&shot, &QTimer::timeout, &window, [&] {
            const auto consoles = window.Consoles();
            const bool connected =
                !consoles.isEmpty() &&
                std::all_of(consoles.begin(), consoles.end(),
                            [](const CConsoleWindow* c) { return c->ConnectionStatus() == 3; });
            if (connected && connectedAt < 0) {
                connectedAt = clock.elapsed();
            }
            const bool ready = connectedAt >= 0 && clock.elapsed() - connectedAt >= 1000;
            if (!ready && clock.elapsed() < line.afterMs) {
                return;
            }
            shot.stop();
            if (!ready) {
                Print(stderr, QStringLiteral("workbay: no connected console after %1 ms\n")
                                  .arg(line.afterMs));
                result = 1;
            }
            if (!window.grab().save(line.screenshot)) {
                Print(stderr, QStringLiteral("workbay: cannot write %1\n").arg(line.screenshot));
                result = 1;
            }
            window.close();
            QApplication::quit();
        });
        shot.start();
    }
    const int code = QApplication::exec();
    return code != 0 ? code : result;
}

}  // namespace quillpad
