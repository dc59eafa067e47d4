#pragma once
// The dialog of an ability group: each of the group's abilities with its
// answer from the device. The reading abilities run when it opens; the
// actions (a restart, a stop) wait for their button. Answers are bytes from
// the device and are shown as Latin-1.

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <map>
#include <vector>

#include "nxr/NxrLib.h"
#include "nxr/qt/CNxrSession.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillpad {

class CNxrAbilityGroupDlg final : public QDialog {
    Q_OBJECT
  public:
    CNxrAbilityGroupDlg(CNxrSession* session, NxrHandle handle, EAbilityGroup group,
                        QWidget* parent = nullptr);
    // Cancels what still runs: nobody is left to read its answer.
    ~CNxrAbilityGroupDlg() override;

    // Runs the ability at `index` of the group (again).
    void Run(std::size_t index);
    std::size_t Count() const { return m_rows.size(); }
    QString AnswerText(std::size_t index) const;
    QPushButton* RunButton(std::size_t index) const;
    QString StatusText() const;
    // How many abilities still wait for their answer.
    int Running() const;

  private:
    struct SRow {
        SAbilityInfo ability;
        QPlainTextEdit* answer = nullptr;
        QPushButton* button = nullptr;
        std::uint32_t requestId = 0;  // 0: not running
    };
    void Finished(std::size_t index, bool success, const std::string& answer,
                  const std::string& error);

    QPointer<CNxrSession> m_session;
    NxrHandle m_handle;
    std::vector<SRow> m_rows;
    QLabel* m_status = nullptr;
};

}  // namespace quillpad
