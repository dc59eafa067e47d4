#pragma once
// The workspace: the console windows open when the host quit, each with its
// plug-in, connection spec and saved state, restored at the next start.
//
// The file ("workspace.ini" under the Workbay home) is text:
//
//   [Workspace]
//   Version=1
//   Windows=2
//   [Window 1]
//   Plugin=Quillpad2
//   Connection=serial:/dev/ttyUSB0,115200,8N1     (bytes outside the
//   State=<base64>                                  printable set as %HH)
//
// It is written whole, by an atomic replace. A file that cannot be read or
// parsed is never overwritten: it is renamed aside with a
// ".corrupt-<timestamp>" suffix, and if even that fails, saving is refused
// for the rest of the run.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <string>

namespace quillpad {

struct SWorkspaceWindow {
    QString plugin;
    QByteArray spec;
    std::optional<QByteArray> state;  // none when the control gives none
};

QByteArray SerializeWorkspace(const QList<SWorkspaceWindow>& windows);
// False with the reason (and the line) in `error` when the text is no workspace.
bool ParseWorkspace(const QByteArray& text, QList<SWorkspaceWindow>& windows, QString& error);

// "workspace.ini" in the Workbay home.
std::string DefaultWorkspacePath();

enum class EWorkspaceLoad { Missing, Loaded, Corrupt };

struct SWorkspaceLoad {
    EWorkspaceLoad result = EWorkspaceLoad::Missing;
    QList<SWorkspaceWindow> windows;
    QString error;    // why the file was refused
    QString movedTo;  // where it went; empty when it could not be moved
};

class CWorkspaceFile {
  public:
    explicit CWorkspaceFile(std::string path);

    const std::string& Path() const { return m_path; }
    SWorkspaceLoad Load();
    bool Save(const QList<SWorkspaceWindow>& windows, QString* error = nullptr);
    // True after a refused file could not be moved aside.
    bool SaveRefused() const { return m_refused; }

  private:
    std::string m_path;
    bool m_refused = false;
};

}  // namespace quillpad
