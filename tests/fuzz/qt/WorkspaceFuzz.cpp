// The host's workspace file, both ways. Arbitrary bytes as the file: a
// workspace read from them is written back as text that reads back to the
// same windows, and a second write changes nothing; a refused text gives a
// reason and no windows. The same bytes cut into windows (plug-in name,
// connection spec, saved state): whatever the host saves, it reads back.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "host/qt/Workspace.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

using quillpad::SWorkspaceWindow;

// Without the spaces at its ends.
QByteArray Unblanked(QByteArray text) {
    while (text.startsWith(' ')) {
        text.remove(0, 1);
    }
    while (text.endsWith(' ')) {
        text.chop(1);
    }
    return text;
}

bool SameWindows(const QList<SWorkspaceWindow>& a, const QList<SWorkspaceWindow>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].plugin != b[i].plugin || a[i].spec != b[i].spec || a[i].state != b[i].state) {
            return false;
        }
    }
    return true;
}

void CheckRoundTrip(const QList<SWorkspaceWindow>& windows) {
    using namespace quillpad;
    const QByteArray text = SerializeWorkspace(windows);
    QList<SWorkspaceWindow> back;
    QString error;
    if (!ParseWorkspace(text, back, error)) {
        // A plug-in name of blanks alone is written, then read as none.
        bool known = false;
        for (const SWorkspaceWindow& window : windows) {
            known = known || Unblanked(window.plugin.toLatin1()).isEmpty();
        }
        std::fprintf(stderr, "written and refused (%s)%s:\n%s\n", qPrintable(error),
                     known ? " (a plug-in name of blanks only)" : "", text.constData());
        Check(false);
    }
    if (!SameWindows(back, windows)) {
        const auto blanksOnly = [](const QByteArray& a, const QByteArray& b) {
            return Unblanked(a) == Unblanked(b);
        };
        bool known = back.size() == windows.size();
        for (qsizetype i = 0; known && i < windows.size(); ++i) {
            known = blanksOnly(windows[i].plugin.toLatin1(), back[i].plugin.toLatin1()) &&
                    blanksOnly(windows[i].spec, back[i].spec) && windows[i].state == back[i].state;
        }
        std::fprintf(stderr, "read back other windows than written%s\n",
                     known ? " (only blanks at the ends differ)" : "");
        Check(false);
    }
    Check(SerializeWorkspace(back) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    QList<SWorkspaceWindow> windows{SWorkspaceWindow{QStringLiteral("stale"), "sim:", {}}};
    QString error;
    if (ParseWorkspace(bytes, windows, error)) {
        for (const SWorkspaceWindow& window : windows) {
            Check(!window.plugin.isEmpty());
        }
        CheckRoundTrip(windows);
    } else {
        Check(windows.isEmpty() && !error.isEmpty());
    }

    // The bytes as windows: fields cut at the first byte's value, three to a
    // window; a state field that is empty stands for none.
    if (size > 1) {
        const char cut = bytes[0];
        const QList<QByteArray> fields = bytes.mid(1).split(cut);
        QList<SWorkspaceWindow> made;
        for (qsizetype i = 0; i + 1 < fields.size(); i += 3) {
            SWorkspaceWindow window;
            window.plugin = QString::fromLatin1(fields[i]);
            if (window.plugin.isEmpty()) {
                continue;  // never saved: a window names its plug-in
            }
            window.spec = fields[i + 1];
            if (i + 2 < fields.size() && !fields[i + 2].isEmpty()) {
                window.state = fields[i + 2];
            }
            made.append(window);
        }
        CheckRoundTrip(made);
    }
    return 0;
}
