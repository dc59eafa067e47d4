#pragma once
// The host's command line:
//
//   workbay [--connect SPEC] [--plugin NAME]
//   workbay /plugin:NAME /"connect:SPEC"       (the design's form; the quotes
//                                               are optional, and the words may
//                                               come as one argument or several)
//   workbay --register PATH | --unregister PATH
//   ... --screenshot FILE [--after MS]    saves the window once every console
//                                         is connected (at the latest after MS,
//                                         default 15000, then failing) and quits
//
// The words are bytes, as the system gave them: a connection spec reaches
// the console as Latin-1, never decoded from the locale's encoding.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

namespace quillpad {

enum class EWorkbayCommand { Run, Register, Unregister, Help };

struct SCommandLine {
    EWorkbayCommand command = EWorkbayCommand::Run;
    std::optional<QByteArray> connect;
    std::optional<QString> plugin;
    QString library;  // of --register and --unregister
    QString error;    // not empty when the words make no sense
    QString screenshot;
    int afterMs = 15000;

    // Whether the command line names a console, which then wins over the
    // saved workspace.
    bool NamesConsole() const { return connect.has_value() || plugin.has_value(); }
};

// The words after the program's name.
SCommandLine ParseCommandLine(const QByteArrayList& words);
QString CommandLineUsage();

}  // namespace quillpad
