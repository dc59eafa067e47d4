// The host's command line: the input cut at NUL bytes into words, as the
// system hands them over. Whatever the words, the result makes sense (a spec
// without blanks at its ends, a positive wait, registration alone). And a
// spec or plug-in name given in each of the accepted forms (--connect SPEC,
// --connect=SPEC, /"connect:SPEC" in one word or split at its blanks over
// several) is taken the same way.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <cstdint>

#include "host/qt/CommandLine.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

using quillpad::EWorkbayCommand;
using quillpad::ParseCommandLine;
using quillpad::SCommandLine;

void CheckConnect(const QByteArrayList& words, const QByteArray& spec) {
    const SCommandLine line = ParseCommandLine(words);
    Check(line.error.isEmpty());
    Check(line.command == EWorkbayCommand::Run);
    Check(line.connect.has_value() && *line.connect == spec.trimmed());
    Check(!line.plugin.has_value());
}

void CheckPlugin(const QByteArrayList& words, const QByteArray& name) {
    const SCommandLine line = ParseCommandLine(words);
    Check(line.error.isEmpty());
    Check(line.plugin.has_value() && *line.plugin == QString::fromLatin1(name));
    Check(!line.connect.has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArrayList words = size == 0 ? QByteArrayList() : bytes.split('\0');

    const SCommandLine line = ParseCommandLine(words);
    if (line.error.isEmpty() && line.command != EWorkbayCommand::Help) {
        Check(line.afterMs > 0);
        if (line.connect) {
            Check(*line.connect == line.connect->trimmed());
        }
        if (line.command == EWorkbayCommand::Register ||
            line.command == EWorkbayCommand::Unregister) {
            Check(!line.NamesConsole());
        }
    }

    // The first word as a spec in every form.
    const QByteArray spec = words.isEmpty() ? QByteArray() : words.front();
    if (!spec.contains('"')) {
        CheckConnect({"--connect", spec}, spec);
        CheckConnect({"--connect=" + spec}, spec);
        const QByteArray design = "/\"connect:" + spec + "\"";
        CheckConnect({design}, spec);
        CheckConnect(design.split(' '), spec);
        CheckConnect({"/\"CONNECT:" + spec + "\""}, spec);
        // A plug-in name is one word without blanks.
        if (!spec.isEmpty() && !spec.contains(' ') && !spec.contains('\t')) {
            CheckPlugin({"/plugin:" + spec}, spec);
            CheckPlugin({"--plugin", spec}, spec);
            CheckPlugin({"--plugin=" + spec}, spec);
        }
    }
    return 0;
}
