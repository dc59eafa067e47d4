#pragma once
// The style editor's "Rule Options": the controls of one rule, the sample of
// its font and the preview of the console's last lines. It shows a rule and
// writes its controls back into one; what changes when is the dialog's
// business, told by signals. Showing a rule sends none.

#include <QGroupBox>

#include "styles/SStyleRule.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillpad {

class CDocumentPreview;

class CRuleForm final : public QGroupBox {
    Q_OBJECT
  public:
    explicit CRuleForm(QWidget* parent = nullptr);

    // Fills the controls from `rule` and enables those its flags allow.
    void ShowRule(const SStyleRule& rule);
    // Writes the controls into `rule` as a click takes them: an empty values
    // or pattern field keeps the rule's old one; no format button checked
    // takes the text format.
    void TakeInto(SStyleRule& rule) const;
    // The font buttons follow "Apply Font", the format controls "Apply Format".
    void EnableFor(const SStyleRule& rule);
    void SetShowDataSource(bool show);
    // The style's pattern rules on: the pattern check box and field are
    // shown and take part; off, they stay hidden as they always were.
    void SetPatternRules(bool on);
    // Why the rule's pattern matches nothing, under the field; none while it
    // compiles, the flag is clear or pattern rules are off.
    void ShowPatternError(const SStyleRule& rule);

    CDocumentPreview& Sample() const { return *m_sample; }
    CDocumentPreview& Preview() const { return *m_preview; }
    QLineEdit& RuleName() const { return *m_ruleName; }

  signals:
    // A radio button or check box was clicked.
    void Clicked();
    void NameEdited(const QString& text);
    void CustomValuesEdited(const QString& text);
    void PatternEdited(const QString& text);
    void FontRequested();
    void FontColourRequested();

  private:
    int m_showing = 0;  // ShowRule at work: the fields' changes are its own

    QLineEdit* m_ruleName = nullptr;
    QButtonGroup* m_direction = nullptr;
    QButtonGroup* m_character = nullptr;
    QButtonGroup* m_source = nullptr;
    QButtonGroup* m_format = nullptr;
    QCheckBox* m_applyFont = nullptr;
    QCheckBox* m_applyFormat = nullptr;
    QCheckBox* m_always = nullptr;
    QCheckBox* m_insert = nullptr;
    QCheckBox* m_pattern = nullptr;
    QLineEdit* m_patternText = nullptr;
    QWidget* m_patternLabel = nullptr;
    QLabel* m_patternError = nullptr;
    bool m_patternRules = false;
    QLineEdit* m_customValues = nullptr;
    QPushButton* m_font = nullptr;
    QPushButton* m_fontColour = nullptr;
    CDocumentPreview* m_sample = nullptr;
    CDocumentPreview* m_preview = nullptr;
    QWidget* m_sourceGroup = nullptr;
};

}  // namespace quillpad
