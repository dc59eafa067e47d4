#include "host/qt/WorkbayMain.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "host/qt/CPluginCatalog.h"
#include "host/qt/CWorkbayDialogs.h"
#include "host/qt/CWorkbayWindow.h"
#include "host/qt/CommandLine.h"
#include "host/qt/Workspace.h"
#include "platform/CRegistryStore.h"

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
    CWorkbayDialogs ui;
    CPluginCatalog catalog;
    catalog.LoadRegistered(store, ui);
    CWorkbayWindow window(catalog, ui, store, DefaultWorkspacePath());
    window.show();
    QTimer::singleShot(0, &window, [&window, &line] { window.Start(line); });
    return QApplication::exec();
}

}  // namespace quillpad
