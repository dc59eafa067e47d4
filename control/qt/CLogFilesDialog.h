#pragma once
// "Log Files": the files Start Logging and Save Buffer write. The quick name
// rebuilds the three paths at every change; the user may then edit any path.
// "&Select Folder..." makes the chosen folder the console's log folder at
// once; OK keeps the four check boxes as the next opening's defaults.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "control/CQuillpadSettings.h"
#include "data/LogRequest.h"

class QCheckBox;
class QLineEdit;

namespace quillpad {

// What the dialog opens from itself; tests answer them.
struct SLogFilesDialogHooks {
    // The folder browser ("Select Log Folder"); none when cancelled.
    std::function<std::optional<std::string>(QWidget* owner, const std::string& start)>
        chooseFolder;
    // F1: the maker's help at a topic.
    std::function<void(int topic)> showHelp;
    // The calendar time the names carry; null: now.
    std::function<std::int64_t()> now;
};

class CLogFilesDialog final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kHelpTopic = 1055;

    CLogFilesDialog(CQuillpadSettings& settings, SLogFilesDialogHooks hooks,
                    QWidget* parent = nullptr);

    // The request the fields make (paused is always false).
    SLogRequest Request() const;
    // The request once OK closed the dialog.
    const std::optional<SLogRequest>& Result() const { return m_result; }

    // The control with a dialog id (210, 218, ...), for tests and tools.
    QWidget* Control(int id) const;
    void SelectFolder();
    void RebuildPaths();

    void accept() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    CQuillpadSettings& m_settings;
    SLogFilesDialogHooks m_hooks;
    QLineEdit* m_quickName;
    QCheckBox* m_plain;
    QLineEdit* m_plainPath;
    QCheckBox* m_formatted;
    QLineEdit* m_formattedPath;
    QCheckBox* m_binary;
    QLineEdit* m_binaryPath;
    QCheckBox* m_timestamps;
    std::optional<SLogRequest> m_result;
};

}  // namespace quillpad
