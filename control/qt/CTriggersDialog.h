#pragma once
// "Triggers": the console's list of triggers, one edited at a time beside
// it. OK keeps the list only when every enabled trigger's pattern can be
// matched; otherwise the first that cannot is selected and its error shown.
// The script chooser behind "Browse..." is the caller's (a seam tests answer).

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/Triggers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace quillpad {

class CTriggersDialog final : public QDialog {
    Q_OBJECT
  public:
    using ScriptChooser = std::function<std::optional<std::string>()>;

    CTriggersDialog(std::vector<STrigger> triggers, std::vector<std::string> notes,
                    ScriptChooser chooseScript, QWidget* parent = nullptr);

    const std::vector<STrigger>& Triggers() const { return m_triggers; }

    // The parts, for tests and screenshots.
    QListWidget* List() const { return m_list; }
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* PatternEdit() const { return m_pattern; }
    QComboBox* ModeBox() const { return m_mode; }
    QCheckBox* MatchCaseBox() const { return m_matchCase; }
    QComboBox* DirectionBox() const { return m_direction; }
    QComboBox* ActionBox() const { return m_action; }
    QLineEdit* ArgumentEdit() const { return m_argument; }
    QCheckBox* OnceBox() const { return m_once; }
    QSpinBox* HoldOffBox() const { return m_holdOff; }
    QCheckBox* EnabledBox() const { return m_enabled; }
    QLabel* ErrorLabel() const { return m_error; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* BrowseButton() const { return m_browse; }

    void accept() override;

  private:
    void Select(int row);
    void ShowError(const QString& text);
    // The editor's fields into the selected trigger, and its row's text.
    void TakeFields();
    void ShowFields();
    void UpdateRow(int row);
    void UpdateArgument();
    void UpdateMatchCase();
    void Add();
    void Remove();
    void Move(int by);

    std::vector<STrigger> m_triggers;
    std::vector<std::string> m_notes;
    ScriptChooser m_chooseScript;
    int m_current = -1;
    bool m_showing = false;  // fields being filled, not edited

    QListWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_pattern = nullptr;
    QComboBox* m_mode = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QComboBox* m_direction = nullptr;
    QComboBox* m_action = nullptr;
    QLabel* m_argumentLabel = nullptr;
    QLineEdit* m_argument = nullptr;
    QPushButton* m_browse = nullptr;
    QCheckBox* m_once = nullptr;
    QSpinBox* m_holdOff = nullptr;
    QCheckBox* m_enabled = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
};

}  // namespace quillpad
