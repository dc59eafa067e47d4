#pragma once
// The "Style Editor": edits one style in place (name, background, rules),
// switches to another style sheet file (Browse), adds, removes, reorders and
// copies rules, and previews the console's last lines through the style as
// it is being edited. Every change is made at once on the scheme object; OK
// writes it to its file unless it is a built-in style, Cancel undoes nothing.
//
// Controls carry their resource number as object name ("id201" the rule
// list, "id247" Browse, ...); the preview is "preview". The rules are edited
// through CRuleListEditor, the selected one through the form (CRuleForm);
// the sample and the preview are drawn by the console's own painter.
// Beyond the rules, the style's options hold "Use Regular Expressions"
// ("patternRules": the rules' patterns take part) and the font and colour of
// the console's time stamps ("ownStamps", "stampFont", "stampColour").

#include <QDialog>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "styles/CStyleScheme.h"
#include "view/CRuleListEditor.h"
#include "view/qt/IStyleEditorUi.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QLineEdit;
class QTreeWidget;

namespace quillpad {

class CDataStore;
class CRuleForm;
class CStoreNotice;

class CStyleEditorDlg final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kHelpTopic = 1054;
    static constexpr int kCopyRules = 2000;
    static constexpr int kPasteRules = 2001;
    static constexpr int kPreviewLines = 20;
    static constexpr std::size_t kPreviewMaxChars = 4096;
    // The preview follows a change within this time.
    static constexpr int kPreviewDelayMs = 20;

    CStyleEditorDlg(std::string dataDirectory, IStyleEditorUi& ui, QWidget* parent = nullptr);
    ~CStyleEditorDlg() override;

    // Before the dialog opens.
    void SetScheme(std::shared_ptr<CStyleScheme> scheme);
    void SetShowDataSource(bool show) { m_showDataSource = show; }
    // The records the preview shows; none: no preview text.
    void SetPreviewSource(const CDataStore* store, bool showAllSources);

    // After it closed: the scheme edited last (Browse replaces it).
    const std::shared_ptr<CStyleScheme>& Scheme() const { return m_scheme; }
    // Rules copied and not yet pasted; none before a copy and after a paste.
    const std::vector<SStyleRule>* RuleClipboard() const { return m_rules.Clipboard(); }
    int PreviewRefreshes() const { return m_previewRefreshes; }

    // The buttons' actions, as a click runs them.
    void Browse();
    void AddRule();
    void RemoveRules();
    void MoveUp();
    void MoveDown();
    void ChooseFontColour();
    void ChooseFont();
    void ChooseBackground();
    // The style's time stamps: in a font and colour of their own, or not.
    void SetOwnStamps(bool on);
    void ChooseStampFont();
    void ChooseStampColour();
    void CopyRules();
    void PasteRules();
    void ShowRuleMenu(QPoint globalPos);
    // Refreshes the preview now rather than when its timer fires.
    void RefreshPreviewNow();

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void Open();
    void FillList();
    // The first selected item's rule, or none.
    SStyleRule* SelectedRule() const;
    std::vector<int> SelectedRows() const;
    void SelectRow(int row);
    void ShowRule();
    void TakeControls();
    void RefreshSample();
    void SchemeChanged();
    void RefreshPreview();
    void ShowStyleOptions();
    void RefreshStampSample();

    std::shared_ptr<CStyleScheme> m_scheme;
    bool m_showDataSource = false;
    // The rules of m_scheme, in their order, which the list only shows.
    CRuleListEditor m_rules;
    std::string m_dataDirectory;
    IStyleEditorUi& m_ui;
    const CDataStore* m_store = nullptr;
    bool m_previewAllSources = false;
    bool m_opened = false;
    int m_updating = 0;  // programmatic changes of the controls
    QTimer m_previewTimer;
    int m_previewRefreshes = 0;
    // New records while the dialog is open reach the preview too.
    std::unique_ptr<CStoreNotice> m_storeNotice;

    QTreeWidget* m_list = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLineEdit* m_styleName = nullptr;
    QCheckBox* m_wrap = nullptr;
    QCheckBox* m_patternRules = nullptr;
    QCheckBox* m_ownStamps = nullptr;
    QPushButton* m_stampFont = nullptr;
    QPushButton* m_stampColour = nullptr;
    QLabel* m_stampSample = nullptr;
    CRuleForm* m_form = nullptr;
};

}  // namespace quillpad
