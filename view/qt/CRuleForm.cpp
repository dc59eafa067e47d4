#include "view/qt/CRuleForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/qt/Latin1.h"
#include "view/PatternRules.h"
#include "view/qt/CDocumentPreview.h"
#include "view/qt/DialogControls.h"

namespace quillpad {
namespace {

int GroupValue(const QButtonGroup& group, int unchecked) {
    const int id = group.checkedId();
    return id == -1 ? unchecked : id;
}

void SetGroupValue(QButtonGroup& group, int value) {
    // Unchecking every button takes a group that is not exclusive for a moment.
    group.setExclusive(false);
    for (QAbstractButton* b : group.buttons()) {
        b->setChecked(group.id(b) == value);
    }
    group.setExclusive(true);
}

}  // namespace

CRuleForm::CRuleForm(QWidget* parent) : QGroupBox(QStringLiteral("Rule Options"), parent) {
    auto button = [this](int id, const char* text) { return MakeIdButton(this, id, text); };
    auto radio = [this](QButtonGroup* group, int id, const char* text, int value) {
        return MakeIdRadio(this, group, id, text, value);
    };
    auto check = [this](int id, const char* text) { return MakeIdCheck(this, id, text); };
    auto edit = [this](int id) { return MakeIdEdit(this, id); };

    m_ruleName = edit(243);
    m_direction = new QButtonGroup(this);
    QRadioButton* incoming = radio(m_direction, 202, "Incoming Data", 1);
    QRadioButton* outgoing = radio(m_direction, 203, "Outgoing Data", 2);
    QRadioButton* both = radio(m_direction, 204, "Both", 0);
    m_applyFont = check(232, "Apply Font");
    m_font = button(246, "Font...");
    m_fontColour = button(217, "Font Color...");
    m_sample = new CDocumentPreview(false, this);
    m_sample->setObjectName(IdName(244));
    m_sample->setFixedHeight(44);
    m_preview = new CDocumentPreview(true, this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setMinimumHeight(180);
    m_preview->setToolTip(QStringLiteral("The console's last lines in this style"));
    m_applyFormat = check(233, "Apply Format");
    m_format = new QButtonGroup(this);
    QRadioButton* ascii = radio(m_format, 222, "ASCII", 1);
    QRadioButton* hide = radio(m_format, 225, "Hide", 0);
    QRadioButton* translated = radio(m_format, 224, "Hex (Translated)", 3);
    QRadioButton* hex = radio(m_format, 223, "Hex", 2);
    m_always = check(234, "Always Interpret LF,CR,BS,TB");
    m_insert = check(235, "Insert real LF,CR if translated");
    m_character = new QButtonGroup(this);
    QRadioButton* all = radio(m_character, 207, "All", 0);
    QRadioButton* low = radio(m_character, 205, "Low (00-1F)", 1);
    QRadioButton* mid = radio(m_character, 206, "Mid (20-7E)", 2);
    QRadioButton* high = radio(m_character, 208, "High (7F-FF)", 3);
    QRadioButton* other = radio(m_character, 209, "Other:", 4);
    m_customValues = edit(238);
    m_customValues->setMinimumWidth(120);
    m_source = new QButtonGroup(this);
    m_sourceGroup = new QWidget(this);
    m_sourceGroup->setObjectName(QStringLiteral("dataSourceGroup"));
    auto* sourceLabel = new QLabel(QStringLiteral("Data Source:"), m_sourceGroup);
    sourceLabel->setObjectName(IdName(253));
    QRadioButton* anySource = radio(m_source, 211, "All", 0);
    QRadioButton* own = radio(m_source, 212, "Quillpad(s)", 1);
    QRadioButton* external = radio(m_source, 213, "External Source", 2);
    QRadioButton* marks = radio(m_source, 260, "Marks", kOwnerMarks);
    m_pattern = check(231, "");
    m_pattern->setEnabled(false);
    m_patternText = edit(216);
    auto* patternLabel = new QLabel(QStringLiteral("Regular Expression:"), this);
    patternLabel->setObjectName(QStringLiteral("patternLabel"));
    m_patternLabel = patternLabel;
    m_patternError = new QLabel(this);
    m_patternError->setObjectName(QStringLiteral("patternError"));
    m_patternError->setWordWrap(true);
    m_patternError->setStyleSheet(QStringLiteral("color: #c00000"));
    for (QWidget* hidden :
         {static_cast<QWidget*>(m_pattern), static_cast<QWidget*>(m_patternText),
          static_cast<QWidget*>(patternLabel), static_cast<QWidget*>(m_patternError)}) {
        hidden->setVisible(false);
    }

    auto* rule = new QVBoxLayout(this);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("Rule Name:"), this));
    nameRow->addWidget(m_ruleName, 1);
    rule->addLayout(nameRow);
    auto* applyTo = new QHBoxLayout;
    applyTo->addWidget(new QLabel(QStringLiteral("Apply To:"), this));
    for (QRadioButton* r : {incoming, outgoing, both}) {
        applyTo->addWidget(r);
    }
    applyTo->addStretch();
    rule->addLayout(applyTo);
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(m_applyFont);
    fontRow->addWidget(m_font);
    fontRow->addWidget(m_fontColour);
    fontRow->addWidget(m_sample, 1);
    rule->addLayout(fontRow);
    rule->addWidget(m_preview, 1);
    auto* formatRow = new QGridLayout;
    formatRow->addWidget(m_applyFormat, 0, 0);
    formatRow->addWidget(ascii, 0, 1);
    formatRow->addWidget(hide, 0, 2);
    formatRow->addWidget(translated, 1, 1);
    formatRow->addWidget(hex, 1, 2);
    formatRow->addWidget(m_always, 2, 1, 1, 2);
    formatRow->addWidget(m_insert, 3, 1, 1, 2);
    rule->addLayout(formatRow);
    rule->addWidget(new QLabel(QStringLiteral("Additional Match Conditions:"), this));
    auto* characterRow = new QHBoxLayout;
    characterRow->addWidget(new QLabel(QStringLiteral("Character:"), this));
    for (QRadioButton* r : {all, low, mid, high, other}) {
        characterRow->addWidget(r);
    }
    characterRow->addWidget(m_customValues, 1);
    rule->addLayout(characterRow);
    auto* sourceRow = new QHBoxLayout(m_sourceGroup);
    sourceRow->setContentsMargins(0, 0, 0, 0);
    sourceRow->addWidget(sourceLabel);
    for (QRadioButton* r : {anySource, own, external, marks}) {
        r->setParent(m_sourceGroup);
        sourceRow->addWidget(r);
    }
    sourceRow->addStretch();
    rule->addWidget(m_sourceGroup);
    auto* patternRow = new QHBoxLayout;
    patternRow->addWidget(m_pattern);
    patternRow->addWidget(patternLabel);
    patternRow->addWidget(m_patternText, 1);
    rule->addLayout(patternRow);
    rule->addWidget(m_patternError);

    for (QButtonGroup* group : {m_direction, m_character, m_source, m_format}) {
        connect(group, &QButtonGroup::buttonClicked, this, [this] { emit Clicked(); });
    }
    for (QCheckBox* box : {m_pattern, m_applyFont, m_applyFormat, m_always, m_insert}) {
        connect(box, &QCheckBox::clicked, this, [this] { emit Clicked(); });
    }
    connect(m_font, &QPushButton::clicked, this, &CRuleForm::FontRequested);
    connect(m_fontColour, &QPushButton::clicked, this, &CRuleForm::FontColourRequested);
    const std::pair<QLineEdit*, void (CRuleForm::*)(const QString&)> fields[] = {
        {m_ruleName, &CRuleForm::NameEdited},
        {m_customValues, &CRuleForm::CustomValuesEdited},
        {m_patternText, &CRuleForm::PatternEdited}};
    for (const auto& [field, signal] : fields) {
        connect(field, &QLineEdit::textChanged, this, [this, signal](const QString& text) {
            if (m_showing == 0) {
                emit(this->*signal)(text);
            }
        });
    }
}

void CRuleForm::SetShowDataSource(bool show) {
    m_sourceGroup->setVisible(show);
}

void CRuleForm::SetPatternRules(bool on) {
    m_patternRules = on;
    m_pattern->setVisible(on);
    m_pattern->setEnabled(on);
    m_patternText->setVisible(on);
    m_patternLabel->setVisible(on);
    if (!on) {
        m_patternError->clear();
        m_patternError->setVisible(false);
    }
}

void CRuleForm::ShowPatternError(const SStyleRule& rule) {
    const std::string error =
        m_patternRules && rule.RegEx_Match ? PatternRuleError(rule) : std::string();
    m_patternError->setText(BytesToQString(error));
    m_patternError->setVisible(!error.empty());
}

void CRuleForm::EnableFor(const SStyleRule& rule) {
    m_patternText->setEnabled(rule.RegEx_Match);
    ShowPatternError(rule);
    m_font->setEnabled(rule.Format_ApplyColor);
    m_fontColour->setEnabled(rule.Format_ApplyColor);
    for (QAbstractButton* b : m_format->buttons()) {
        b->setEnabled(rule.Format_ApplyFormat);
    }
    m_always->setEnabled(rule.Format_ApplyFormat);
    m_insert->setEnabled(rule.Format_ApplyFormat);
}

void CRuleForm::ShowRule(const SStyleRule& rule) {
    ++m_showing;
    m_ruleName->setText(BytesToQString(rule.Name));
    SetGroupValue(*m_direction, rule.Direction_MatchValue);
    SetGroupValue(*m_character, rule.CharRange_MatchValue);
    m_customValues->setText(
        rule.CharRange_CustomValues ? BytesToQString(*rule.CharRange_CustomValues) : QString());
    SetGroupValue(*m_source, rule.Owner_MatchValue);
    m_pattern->setChecked(rule.RegEx_Match);
    m_patternText->setText(rule.RegEx_MatchValue ? BytesToQString(*rule.RegEx_MatchValue)
                                                 : QString());
    m_applyFont->setChecked(rule.Format_ApplyColor);
    m_applyFormat->setChecked(rule.Format_ApplyFormat);
    SetGroupValue(*m_format, rule.Format_CharacterFormat);
    m_always->setChecked(rule.Format_AlwaysInterpretCRLFBSTB);
    m_insert->setChecked(rule.Format_InsertCRLFIfTranslated);
    EnableFor(rule);
    --m_showing;
}

void CRuleForm::TakeInto(SStyleRule& rule) const {
    rule.SetName(QStringToBytes(m_ruleName->text()));
    rule.Direction_MatchValue = GroupValue(*m_direction, 0);
    rule.CharRange_MatchValue = GroupValue(*m_character, 0);
    if (!m_customValues->text().isEmpty()) {
        rule.SetCustomValues(QStringToBytes(m_customValues->text()));
    }
    rule.Owner_MatchValue = GroupValue(*m_source, 0);
    rule.RegEx_Match = m_pattern->isChecked();
    if (!m_patternText->text().isEmpty()) {
        rule.RegEx_MatchValue = QStringToBytes(m_patternText->text());
    }
    rule.Format_ApplyColor = m_applyFont->isChecked();
    rule.Format_ApplyFormat = m_applyFormat->isChecked();
    rule.Format_CharacterFormat = GroupValue(*m_format, kFormatText);
    rule.Format_AlwaysInterpretCRLFBSTB = m_always->isChecked();
    rule.Format_InsertCRLFIfTranslated = m_insert->isChecked();
}

}  // namespace quillpad
