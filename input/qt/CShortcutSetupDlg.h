#pragma once
// "Shortcut Setup": the macro and description of every function key of the
// key set. The list is the working copy; the key set changes only at OK
// (every row written back) and at Browse (another file replaces it at once).
// What would run a modal loop of its own goes through IShortcutSetupUi.

#include <QDialog>

#include <optional>
#include <string>

#include "input/CKeySet.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quillpad {

class IShortcutSetupUi {
  public:
    virtual ~IShortcutSetupUi() = default;
    // An open-file dialog for "*.keyset" starting in `folder`; the file need
    // not exist. Nothing when cancelled.
    virtual std::optional<std::string> ChooseKeySetFile(const std::string& folder,
                                                        QWidget* owner) = 0;
    // The "Continue?" question for a file outside the data directory.
    virtual bool ConfirmOutsideDataDirectory(QWidget* owner) = 0;
};

class CQtShortcutSetupUi final : public IShortcutSetupUi {
  public:
    std::optional<std::string> ChooseKeySetFile(const std::string& folder, QWidget* owner) override;
    bool ConfirmOutsideDataDirectory(QWidget* owner) override;
};

class CShortcutSetupDlg final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kHelpTopic = 1038;
    enum EColumn { KeyColumn = 0, ShortcutColumn = 1, DescriptionColumn = 2 };

    CShortcutSetupDlg(std::string dataDirectory, CKeySet& keySet, IShortcutSetupUi& ui,
                      QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_list; }
    QLineEdit* SequenceBox() const { return m_sequence; }
    QLineEdit* DescriptionBox() const { return m_description; }
    QLineEdit* FileNameBox() const { return m_fileName; }
    // Under "Edit Shortcut:": what is wrong with the macro's escapes, hidden
    // while nothing is.
    QLabel* EscapeNote() const { return m_escapeNote; }

    void SetDefaults();
    void Browse();
    void accept() override;

  signals:
    // F1: the maker's help at kHelpTopic.
    void HelpRequested(int topic);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void FillList();
    void OnSelectionChanged();
    void SetBoxes(const QString& sequence, const QString& description, bool enabled);
    void CopyBoxToRow(int column, const QString& text);
    void ShowEscapeNote(const QString& macro);

    std::string m_dataDirectory;
    CKeySet& m_keySet;
    IShortcutSetupUi& m_ui;
    QTreeWidget* m_list = nullptr;
    QLineEdit* m_sequence = nullptr;
    QLineEdit* m_description = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLabel* m_escapeNote = nullptr;
    bool m_settingBoxes = false;  // the boxes' own changes are not edits
    bool m_columnsSized = false;
};

}  // namespace quillpad
