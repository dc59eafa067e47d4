#include "styles/CStyleScheme.h"

#include <algorithm>
#include <cstdlib>

namespace quillpad {
namespace {

std::string InfoSection(int n) {
    return "Scheme" + std::to_string(n) + ".Info";
}
std::string RuleSection(int n, std::size_t k) {
    return "Scheme" + std::to_string(n) + ".Rule" + std::to_string(k);
}
const char* Bool(bool b) {
    return b ? "TRUE" : "FALSE";
}

}  // namespace

SStyleRule CStyleScheme::DefaultMarkRule() {
    SStyleRule rule;
    rule.SetName("Marks");
    rule.Owner_MatchValue = kOwnerMarks;
    rule.Format_ApplyColor = true;
    rule.CharFormat.crTextColor = kDefaultMarkColor;
    rule.CharFormat.dwEffects = kEffectBold | kEffectRuleAfter;
    rule.Format_ApplyFormat = true;
    rule.Format_CharacterFormat = kFormatText;
    rule.Format_AlwaysInterpretCRLFBSTB = true;
    return rule;
}

void CStyleScheme::SyncPointers() {
    m_pointers.clear();
    for (const auto& rule : m_rules) {
        m_pointers.push_back(rule.get());
    }
    m_pointers.push_back(&m_markRule);
    SyncMarkFont();
}

const SStyleRule* CStyleScheme::BodyRule() const {
    for (const auto& rule : m_rules) {
        if (!rule->RegEx_Match) {
            return rule.get();
        }
    }
    return nullptr;
}

void CStyleScheme::SyncMarkFont() const {
    SCharFormat& mark = m_markRule.CharFormat;
    const SStyleRule* body = BodyRule();
    const SCharFormat first = body != nullptr ? body->CharFormat : SStyleRule().CharFormat;
    if (mark.yHeight != first.yHeight || mark.FaceName() != first.FaceName() ||
        mark.bCharSet != first.bCharSet || mark.bPitchAndFamily != first.bPitchAndFamily) {
        mark.yHeight = first.yHeight;
        mark.SetFaceName(first.FaceName());
        mark.bCharSet = first.bCharSet;
        mark.bPitchAndFamily = first.bPitchAndFamily;
    }
}

void CStyleScheme::ClearRules() {
    m_rules.clear();
    SyncPointers();
}

SStyleRule& CStyleScheme::AppendRule(const SStyleRule& rule) {
    return InsertRule(m_rules.size(), rule);
}

SStyleRule& CStyleScheme::InsertRule(std::size_t index, const SStyleRule& rule) {
    index = std::min(index, m_rules.size());
    auto it = m_rules.insert(m_rules.begin() + static_cast<std::ptrdiff_t>(index),
                             std::make_unique<SStyleRule>(rule));
    SyncPointers();
    return **it;
}

void CStyleScheme::RemoveRule(std::size_t index) {
    if (index < m_rules.size()) {
        m_rules.erase(m_rules.begin() + static_cast<std::ptrdiff_t>(index));
        SyncPointers();
    }
}

void CStyleScheme::MoveRule(std::size_t from, std::size_t to) {
    if (from >= m_rules.size() || to >= m_rules.size() || from == to) {
        return;
    }
    auto rule = std::move(m_rules[from]);
    m_rules.erase(m_rules.begin() + static_cast<std::ptrdiff_t>(from));
    m_rules.insert(m_rules.begin() + static_cast<std::ptrdiff_t>(to), std::move(rule));
    SyncPointers();
}

std::shared_ptr<CStyleScheme> CStyleScheme::Clone() const {
    auto copy = std::make_shared<CStyleScheme>();
    static_cast<CIniDocument&>(*copy) = static_cast<const CIniDocument&>(*this);
    copy->Name = Name;
    copy->Description = Description;
    copy->BackgroundColor = BackgroundColor;
    copy->LineWrap = LineWrap;
    copy->MenuCommand = MenuCommand;
    copy->Stamps = Stamps;
    copy->PatternRules = PatternRules;
    copy->m_rules.reserve(m_rules.size());
    for (const auto& rule : m_rules) {
        copy->m_rules.push_back(std::make_unique<SStyleRule>(*rule));
    }
    copy->SyncPointers();
    return copy;
}

const CCompiledScheme& CStyleScheme::Compiled() const {
    SyncMarkFont();
    m_compiled.Refresh(m_pointers, PatternRules);
    return m_compiled;
}

SStyleRule ReadRule(CIniDocument& d, const std::string& s) {
    SStyleRule rule;
    rule.SetName(d.ReadString(s, "Name", ""));
    rule.Direction_MatchValue = d.ReadInt(s, "Direction_MatchValue", 0);
    rule.CharRange_MatchValue = d.ReadInt(s, "CharRange_MatchValue", 0);
    if (rule.CharRange_MatchValue == kClassCustom) {
        rule.SetCustomValues(d.ReadString(s, "CharRange_CustomValues", ""));
    }
    rule.Owner_MatchValue = d.ReadInt(s, "Owner_MatchValue", 0);
    rule.RegEx_Match = d.ReadBool(s, "RegEx_Match", false);
    if (rule.RegEx_Match) {
        rule.RegEx_MatchValue = d.ReadString(s, "RegEx_MatchValue", "");
    }
    rule.Format_ApplyColor = d.ReadBool(s, "Format_ApplyColor", false);
    SCharFormat& f = rule.CharFormat;
    f.cbSize = kCharFormatSize;
    f.dwMask = kCharFormatMask;
    f.crTextColor = static_cast<std::uint32_t>(d.ReadInt(s, "Format_FontColor", 0));
    f.dwEffects = static_cast<std::uint32_t>(d.ReadInt(s, "Format_FontEffects", 0));
    f.yHeight = d.ReadInt(s, "Format_FontSize", 12);
    f.yOffset = d.ReadInt(s, "Format_FontOffset", 0);
    f.SetFaceName(d.ReadString(s, "Format_FontFaceName", "Courier"));
    f.bCharSet = static_cast<std::uint8_t>(d.ReadInt(s, "Format_FontCharSet", 0) & 0xFF);
    f.bPitchAndFamily =
        static_cast<std::uint8_t>(d.ReadInt(s, "Format_FontPitchAndFamily", 0) & 0xFF);
    rule.Format_ApplyFormat = d.ReadBool(s, "Format_ApplyFormat", false);
    rule.Format_CharacterFormat = d.ReadInt(s, "Format_CharacterFormat", 0);
    rule.Format_AlwaysInterpretCRLFBSTB = d.ReadBool(s, "Format_AlwaysInterpretCRLFBSTB", false);
    rule.Format_InsertCRLFIfTranslated = d.ReadBool(s, "Format_InsertCRLFIfTranslated", false);
    return rule;
}

bool CStyleScheme::ReadScheme(CIniDocument& d, int n) {
    ClearRules();
    const std::string info = InfoSection(n);
    d.FindOrCreateSection(info);
    Name = d.ReadString(info, "Name", "");
    Description = d.ReadString(info, "Description", "");
    BackgroundColor = static_cast<std::uint32_t>(d.ReadInt(info, "BackgroundColor", 16777215));
    LineWrap = d.ReadBool(info, "LineWrap", true);
    Stamps.reset();
    // Looked up without creating it: a sheet without stamps stays without.
    for (std::size_t i = 0; i < d.SectionCount(); ++i) {
        const SIniSection* section = d.SectionAt(i);
        if (section->name == kStampsSection && !section->entries.empty()) {
            SStampFormat stamps;
            stamps.FaceName = d.ReadString(section, "FaceName", "");
            stamps.PointSize = std::atoi(d.ReadString(section, "PointSize", "0").c_str());
            stamps.Color = static_cast<std::uint32_t>(
                std::atoi(d.ReadString(section, "Color", "8421504").c_str()));
            Stamps = stamps;
            break;
        }
    }
    PatternRules = d.ReadBool(info, "PatternRules", false);
    for (std::size_t k = 1;; ++k) {
        const std::string section = RuleSection(n, k);
        if (d.FindOrCreateSection(section)->entries.empty()) {
            break;
        }
        m_rules.push_back(std::make_unique<SStyleRule>(ReadRule(d, section)));
    }
    SyncPointers();
    return true;
}

bool CStyleScheme::WriteScheme(CIniDocument& d, int n) const {
    const std::string info = InfoSection(n);
    d.WriteString(info, "Name", Name);
    d.WriteString(info, "Description", Description);
    d.WriteFormatted(info, "BackgroundColor", "%d", static_cast<int>(BackgroundColor));
    d.WriteString(info, "LineWrap", Bool(LineWrap));
    // Written only once it was ever on, so a sheet without it saves as it
    // always did.
    if (PatternRules || !d.ReadString(info, "PatternRules", "").empty()) {
        d.WriteString(info, "PatternRules", Bool(PatternRules));
    }
    if (Stamps) {
        // A section of its own, which readers that know no stamps pass over.
        d.WriteString(kStampsSection, "FaceName", Stamps->FaceName);
        d.WriteFormatted(kStampsSection, "PointSize", "%d", static_cast<int>(Stamps->PointSize));
        d.WriteFormatted(kStampsSection, "Color", "%d", static_cast<int>(Stamps->Color));
    } else {
        // Stamps taken away: an empty section reads as none, as a removed
        // rule's does. A sheet that never had one gains nothing.
        for (std::size_t i = 0; i < d.SectionCount(); ++i) {
            if (d.SectionAt(i)->name == kStampsSection) {
                d.ClearSection(d.FindOrCreateSection(kStampsSection));
                break;
            }
        }
    }
    std::size_t k = 1;
    for (; k <= m_rules.size(); ++k) {
        const SStyleRule& r = *m_rules[k - 1];
        const SCharFormat& f = r.CharFormat;
        const std::string s = RuleSection(n, k);
        d.WriteString(s, "Name", r.Name);
        d.WriteFormatted(s, "Direction_MatchValue", "%d", r.Direction_MatchValue);
        d.WriteFormatted(s, "CharRange_MatchValue", "%d", r.CharRange_MatchValue);
        // A class-4 rule without values writes them empty: a key left in the
        // section by the rule that stood there before would be read as its own.
        if (r.CharRange_MatchValue == kClassCustom) {
            d.WriteString(s, "CharRange_CustomValues", r.CharRange_CustomValues.value_or(""));
        }
        d.WriteFormatted(s, "Owner_MatchValue", "%d", r.Owner_MatchValue);
        d.WriteString(s, "RegEx_Match", Bool(r.RegEx_Match));
        if (r.RegEx_Match) {
            d.WriteString(s, "RegEx_MatchValue", r.RegEx_MatchValue.value_or(""));
        }
        d.WriteString(s, "Format_ApplyColor", Bool(r.Format_ApplyColor));
        d.WriteFormatted(s, "Format_FontColor", "%d", static_cast<int>(f.crTextColor));
        d.WriteFormatted(s, "Format_FontEffects", "%d", static_cast<int>(f.dwEffects));
        d.WriteFormatted(s, "Format_FontSize", "%d", f.yHeight);
        d.WriteFormatted(s, "Format_FontOffset", "%d", f.yOffset);
        d.WriteString(s, "Format_FontFaceName", std::string(f.FaceName()));
        d.WriteFormatted(s, "Format_FontCharSet", "%d", static_cast<int>(f.bCharSet));
        d.WriteFormatted(s, "Format_FontPitchAndFamily", "%d", static_cast<int>(f.bPitchAndFamily));
        d.WriteString(s, "Format_ApplyFormat", Bool(r.Format_ApplyFormat));
        d.WriteFormatted(s, "Format_CharacterFormat", "%d", r.Format_CharacterFormat);
        d.WriteString(s, "Format_AlwaysInterpretCRLFBSTB", Bool(r.Format_AlwaysInterpretCRLFBSTB));
        d.WriteString(s, "Format_InsertCRLFIfTranslated", Bool(r.Format_InsertCRLFIfTranslated));
    }
    // Empty the sections of rules that no longer exist; the first empty one
    // ends the next read at the right rule.
    for (;; ++k) {
        SIniSection* section = d.FindOrCreateSection(RuleSection(n, k));
        if (section->entries.empty()) {
            break;
        }
        d.ClearSection(section);
    }
    return true;
}

bool CStyleScheme::HoldsScheme(const CIniDocument& d, int n) {
    const std::string prefix = "Scheme" + std::to_string(n) + ".";
    for (std::size_t i = 0; i < d.SectionCount(); ++i) {
        if (d.SectionAt(i)->Name().starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

bool CStyleScheme::Load(const std::string& path, bool createIfMissing) {
    ClearRules();
    if (!LoadFile(path, createIfMissing, true)) {
        return false;
    }
    return ReadScheme(*this, 1);
}

bool CStyleScheme::Save() {
    if (GetPath().empty()) {
        return false;
    }
    WriteScheme(*this, 1);
    return SaveFile("");
}

}  // namespace quillpad
