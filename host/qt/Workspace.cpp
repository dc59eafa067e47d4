#include "host/qt/Workspace.h"

#include <QDateTime>

#include <filesystem>
#include <system_error>

#include "platform/FileIO.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

constexpr int kWorkspaceVersion = 1;
constexpr std::size_t kMaxWorkspaceBytes = 256u * 1024u * 1024u;
// Kept as they are in the Connection line; everything else outside the
// unreserved characters becomes %HH.
const QByteArray kSpecPlain = ":/,=[]@!$&'()*+;?# ";

// A value as its line holds it. The reader trims each line's value, so a
// space at either end is written as %20, which it keeps.
QByteArray EncodeValue(const QByteArray& bytes) {
    QByteArray text = bytes.toPercentEncoding(kSpecPlain);
    qsizetype lead = 0;
    while (lead < text.size() && text[lead] == ' ') {
        ++lead;
    }
    qsizetype trail = 0;
    while (trail < text.size() - lead && text[text.size() - 1 - trail] == ' ') {
        ++trail;
    }
    if (lead == 0 && trail == 0) {
        return text;
    }
    return QByteArray("%20").repeated(lead) + text.mid(lead, text.size() - lead - trail) +
           QByteArray("%20").repeated(trail);
}

bool ParseKeyValue(const QByteArray& line, QByteArray& key, QByteArray& value) {
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0) {
        return false;
    }
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1);
    return !key.isEmpty();
}

}  // namespace

QByteArray SerializeWorkspace(const QList<SWorkspaceWindow>& windows) {
    QByteArray text = "; Workbay workspace: the console windows open when Workbay quit.\n";
    text += "[Workspace]\nVersion=" + QByteArray::number(kWorkspaceVersion) + "\n";
    text += "Windows=" + QByteArray::number(windows.size()) + "\n";
    for (int i = 0; i < windows.size(); ++i) {
        const SWorkspaceWindow& window = windows[i];
        text += "\n[Window " + QByteArray::number(i + 1) + "]\n";
        text += "Plugin=" + EncodeValue(window.plugin.toLatin1()) + "\n";
        text += "Connection=" + EncodeValue(window.spec) + "\n";
        if (window.state) {
            text += "State=" + window.state->toBase64() + "\n";
        }
    }
    return text;
}

bool ParseWorkspace(const QByteArray& text, QList<SWorkspaceWindow>& windows, QString& error) {
    windows.clear();
    QList<SWorkspaceWindow> parsed;
    int declared = -1;
    bool inHeader = false;
    bool sawHeader = false;
    bool sawVersion = false;
    const QList<QByteArray> lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';')) {
            continue;
        }
        const auto fail = [&](const QString& why) {
            error = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return false;
        };
        if (trimmed.startsWith('[')) {
            if (!trimmed.endsWith(']')) {
                return fail(QStringLiteral("a section line without its closing bracket"));
            }
            const QByteArray name = trimmed.mid(1, trimmed.size() - 2).trimmed();
            if (name == "Workspace") {
                if (sawHeader) {
                    return fail(QStringLiteral("a second [Workspace] section"));
                }
                sawHeader = inHeader = true;
                continue;
            }
            bool ok = false;
            const int index = name.startsWith("Window ") ? name.mid(7).toInt(&ok) : 0;
            if (!ok) {
                return fail(
                    QStringLiteral("an unknown section [%1]").arg(QString::fromLatin1(name)));
            }
            if (!sawHeader || index != parsed.size() + 1) {
                return fail(QStringLiteral("window %1 out of order").arg(index));
            }
            inHeader = false;
            parsed.append(SWorkspaceWindow{});
            continue;
        }
        QByteArray key;
        QByteArray value;
        if (!ParseKeyValue(line, key, value)) {
            return fail(QStringLiteral("neither a section nor a key=value line"));
        }
        if (inHeader) {
            bool ok = false;
            const int v = value.trimmed().toInt(&ok);
            if (key == "Version") {
                if (!ok || v != kWorkspaceVersion) {
                    return fail(QStringLiteral("version %1 is not known")
                                    .arg(QString::fromLatin1(value.trimmed())));
                }
                sawVersion = true;
            } else if (key == "Windows") {
                if (!ok || v < 0) {
                    return fail(QStringLiteral("a bad window count"));
                }
                declared = v;
            }
            continue;  // keys a later version adds are no fault
        }
        if (parsed.isEmpty()) {
            return fail(QStringLiteral("a value outside any section"));
        }
        SWorkspaceWindow& window = parsed.last();
        if (key == "Plugin") {
            window.plugin = QString::fromLatin1(QByteArray::fromPercentEncoding(value.trimmed()));
        } else if (key == "Connection") {
            window.spec = QByteArray::fromPercentEncoding(value.trimmed());
        } else if (key == "State") {
            const auto decoded = QByteArray::fromBase64Encoding(
                value.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) {
                return fail(QStringLiteral("the saved state is not base64"));
            }
            window.state = decoded.decoded;
        }
    }
    if (!sawHeader || !sawVersion) {
        error = QStringLiteral("no [Workspace] section with its version");
        return false;
    }
    if (declared != parsed.size()) {
        error = QStringLiteral("%1 windows were written, %2 are there")
                    .arg(declared)
                    .arg(parsed.size());
        return false;
    }
    for (int i = 0; i < parsed.size(); ++i) {
        if (parsed[i].plugin.isEmpty()) {
            error = QStringLiteral("window %1 names no plug-in").arg(i + 1);
            return false;
        }
    }
    windows = parsed;
    return true;
}

std::string DefaultWorkspacePath() {
    return PathCombine(WorkbayInstallPath(), "workspace.ini");
}

CWorkspaceFile::CWorkspaceFile(std::string path) : m_path(std::move(path)) {}

SWorkspaceLoad CWorkspaceFile::Load() {
    namespace fs = std::filesystem;
    SWorkspaceLoad load;
    std::error_code ec;
    // A missing file sets `ec` as well (ENOENT): the type says it is a first start.
    if (fs::symlink_status(m_path, ec).type() == fs::file_type::not_found) {
        return load;
    }
    std::string bytes;
    std::string readError;
    if (ReadWholeFile(m_path, bytes, &readError, kMaxWorkspaceBytes)) {
        if (ParseWorkspace(QByteArray(bytes.data(), qsizetype(bytes.size())), load.windows,
                           load.error)) {
            load.result = EWorkspaceLoad::Loaded;
            return load;
        }
    } else {
        load.error = QString::fromLocal8Bit(readError.c_str());
    }
    load.result = EWorkspaceLoad::Corrupt;
    load.windows.clear();
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    std::string target = m_path + ".corrupt-" + stamp;
    for (int n = 2; fs::exists(fs::symlink_status(target, ec)); ++n) {
        target = m_path + ".corrupt-" + stamp + "-" + std::to_string(n);
    }
    fs::rename(m_path, target, ec);
    if (ec) {
        m_refused = true;  // the next save would destroy it
        return load;
    }
    load.movedTo = QString::fromStdString(target);
    return load;
}

bool CWorkspaceFile::Save(const QList<SWorkspaceWindow>& windows, QString* error) {
    if (m_refused) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 could not be read nor moved aside; it is left as it is")
                         .arg(QString::fromStdString(m_path));
        }
        return false;
    }
    EnsureFolder(PathFolder(m_path), EFileAccess::Private);
    const QByteArray text = SerializeWorkspace(windows);
    std::string why;
    if (!WriteFileAtomically(m_path, std::string_view(text.constData(), std::size_t(text.size())),
                             &why, EFileAccess::Private)) {
        if (error != nullptr) {
            *error = QString::fromLocal8Bit(why.c_str());
        }
        return false;
    }
    return true;
}

}  // namespace quillpad
