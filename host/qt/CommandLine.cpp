#include "host/qt/CommandLine.h"

#include <QFile>

namespace quillpad {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Whether the quotes of a word leave one open.
bool OpenQuote(const QByteArray& text) {
    return text.count('"') % 2 != 0;
}

// Splits the design's form into its options: each starts with "/" after a
// blank and runs to the next blank outside quotes; the quotes go.
bool SplitDesignOptions(const QByteArray& text, QByteArrayList& options, QString& error) {
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            break;
        }
        if (text[i] != '/') {
            error = QStringLiteral("unexpected \"%1\"").arg(QString::fromLatin1(text.mid(i)));
            return false;
        }
        ++i;
        QByteArray option;
        bool quoted = false;
        for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
            if (text[i] == '"') {
                quoted = !quoted;
            } else {
                option += text[i];
            }
        }
        if (quoted) {
            error = QStringLiteral("a quote is not closed");
            return false;
        }
        options << option;
    }
    return true;
}

bool TakeDesignOption(const QByteArray& option, SCommandLine& line) {
    const qsizetype colon = option.indexOf(':');
    const QByteArray name = (colon < 0 ? option : option.left(colon)).toLower();
    const QByteArray value = colon < 0 ? QByteArray() : option.mid(colon + 1);
    if (name == "plugin" && !value.isEmpty()) {
        line.plugin = QString::fromLatin1(value);
        return true;
    }
    if (name == "connect") {
        line.connect = value.trimmed();
        return true;
    }
    line.error = QStringLiteral("unknown option /%1").arg(QString::fromLatin1(option));
    return false;
}

}  // namespace

SCommandLine ParseCommandLine(const QByteArrayList& words) {
    SCommandLine line;
    bool registration = false;
    bool console = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray& word = words[i];
        // "--name VALUE" or "--name=VALUE".
        const auto value = [&](const char* name, QByteArray& out) {
            const QByteArray option = QByteArray("--") + name;
            if (word == option) {
                if (i + 1 >= words.size()) {
                    line.error =
                        QStringLiteral("%1 needs a value").arg(QString::fromLatin1(option));
                    return false;
                }
                out = words[++i];
                return true;
            }
            if (word.startsWith(option + '=')) {
                out = word.mid(option.size() + 1);
                return true;
            }
            return false;
        };
        QByteArray v;
        if (word == "--help" || word == "-h") {
            line.command = EWorkbayCommand::Help;
            return line;
        } else if (value("connect", v)) {
            line.connect = v.trimmed();
            console = true;
        } else if (value("plugin", v)) {
            line.plugin = QString::fromLatin1(v);
            console = true;
        } else if (value("screenshot", v)) {
            line.screenshot = QFile::decodeName(v);
        } else if (value("after", v)) {
            bool ok = false;
            line.afterMs = v.toInt(&ok);
            if (!ok || line.afterMs <= 0) {
                line.error = QStringLiteral("--after takes milliseconds");
                return line;
            }
        } else if (value("register", v) || value("unregister", v)) {
            if (registration) {
                line.error = QStringLiteral("one --register or --unregister at a time");
                return line;
            }
            registration = true;
            line.command = word.startsWith("--register") ? EWorkbayCommand::Register
                                                         : EWorkbayCommand::Unregister;
            line.library = QFile::decodeName(v);
        } else if (!line.error.isEmpty()) {
            return line;
        } else if (word.startsWith('/')) {
            // A quoted spec with blanks in it may come split over words.
            QByteArray text = word;
            while (OpenQuote(text) && i + 1 < words.size()) {
                text += ' ' + words[++i];
            }
            QByteArrayList options;
            if (!SplitDesignOptions(text, options, line.error)) {
                return line;
            }
            for (const QByteArray& option : options) {
                if (!TakeDesignOption(option, line)) {
                    return line;
                }
            }
            console = true;
        } else {
            line.error =
                QStringLiteral("unknown argument \"%1\"").arg(QString::fromLocal8Bit(word));
            return line;
        }
        if (!line.error.isEmpty()) {
            return line;
        }
    }
    if (registration && console) {
        line.error = QStringLiteral("--register and --unregister take no other options");
    }
    return line;
}

QString CommandLineUsage() {
    return QStringLiteral(
        "usage: workbay [--connect SPEC] [--plugin NAME]\n"
        "       workbay /plugin:NAME /\"connect:SPEC\"\n"
        "       workbay --register PATH | --unregister PATH\n"
        "       workbay ... --screenshot FILE [--after MS]\n"
        "\n"
        "Without a console named, the saved workspace is restored.\n"
        "SPEC is a connection spec such as serial:/dev/ttyUSB0,115200,8N1, tcp:HOST:PORT,\n"
        "telnet:HOST, rfc2217:HOST:PORT,115200 or sim:.\n");
}

}  // namespace quillpad
