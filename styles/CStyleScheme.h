#pragma once
// A style: name, description, background colour, line-wrap flag and an
// ordered list of rules, kept on the INI document it was read from so that
// sections and keys it does not know survive a save.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/CIniDocument.h"
#include "styles/CCompiledScheme.h"
#include "styles/SStyleRule.h"

namespace quillpad {

// How a style draws the console's time stamps, from its sheet's "Stamps"
// section: face, size in points and colour (a COLORREF). A sheet without the
// section draws them in its body rule's font (BodyRule), in this grey.
struct SStampFormat {
    std::string FaceName;
    std::int32_t PointSize = 0;  // 0: the body rule's size
    std::uint32_t Color = 0x808080;

    bool operator==(const SStampFormat&) const = default;
};

inline constexpr const char* kStampsSection = "Stamps";

// The marks' own colour where a sheet has no rule for them (a rule of source
// "Marks"): orange, which reads on a dark background and a light one alike.
inline constexpr std::uint32_t kDefaultMarkColor = 0x0000A5FF;

class CStyleScheme : public CIniDocument {
  public:
    CStyleScheme() { SyncPointers(); }
    ~CStyleScheme() override = default;
    CStyleScheme(const CStyleScheme&) = delete;
    CStyleScheme& operator=(const CStyleScheme&) = delete;

    std::string Name;
    std::string Description;
    std::uint32_t BackgroundColor = 0xFFFFFF;
    bool LineWrap = true;
    std::uint16_t MenuCommand = 0;
    std::optional<SStampFormat> Stamps;
    // "PatternRules" in the scheme's own section: its rules' patterns take
    // part in matching. Off, a rule's pattern is kept and edited but matches
    // as if it had none, so a sheet looks as it always did.
    bool PatternRules = false;

    std::size_t RuleCount() const { return m_rules.size(); }
    // Rules are edited in place; the compiled tables notice by themselves.
    SStyleRule& Rule(std::size_t index) { return *m_rules.at(index); }
    const SStyleRule& Rule(std::size_t index) const { return *m_rules.at(index); }
    void ClearRules();
    SStyleRule& AppendRule(const SStyleRule& rule);
    SStyleRule& InsertRule(std::size_t index, const SStyleRule& rule);
    void RemoveRule(std::size_t index);
    void MoveRule(std::size_t from, std::size_t to);

    // Replaces name, description, background, line wrap and rules with those
    // of scheme n of the document. Always true.
    bool ReadScheme(CIniDocument& document, int n);
    // Writes this scheme as scheme n into the document. Always true.
    bool WriteScheme(CIniDocument& document, int n) const;
    // Whether the document has a section of scheme n ("Scheme1.Info",
    // "Scheme1.Rule1", ...), which a style sheet always has.
    static bool HoldsScheme(const CIniDocument& document, int n);
    // Reads scheme 1 of a file into this scheme's own document; false when
    // the file cannot be opened.
    bool Load(const std::string& path, bool createIfMissing);
    // Writes scheme 1 into the own document and saves it to its path; false
    // for a built-in scheme (no path) or when the file cannot be written.
    bool Save();
    bool IsBuiltIn() const { return GetPath().empty(); }
    // An independent copy: its own document and rules (its compiled tables
    // are built when first used).
    std::shared_ptr<CStyleScheme> Clone() const;

    // The rule choice tables, rebuilt first if any rule's matching changed.
    const CCompiledScheme& Compiled() const;
    // The rules, then the marks' default rule (never a rule of the sheet):
    // the renderer's indexes go into this list.
    const std::vector<const SStyleRule*>& RulePointers() const { return m_pointers; }
    const SStyleRule& MarkRule() const { return m_markRule; }
    // The rule whose font the console's own texts (stamps, marks) follow:
    // the first that is not a pattern rule, which may sit at the top and
    // colour only what its pattern finds. None without such a rule.
    const SStyleRule* BodyRule() const;

  private:
    void SyncPointers();
    // The default mark rule takes the body rule's face and size, as edited.
    void SyncMarkFont() const;

    // Marks drawn bold in their colour with a rule across the rest of the row.
    mutable SStyleRule m_markRule = DefaultMarkRule();
    static SStyleRule DefaultMarkRule();

    std::vector<std::unique_ptr<SStyleRule>> m_rules;
    std::vector<const SStyleRule*> m_pointers;
    mutable CCompiledScheme m_compiled;
};

// Reads a rule from a rule section of a style sheet document.
SStyleRule ReadRule(CIniDocument& document, const std::string& section);

}  // namespace quillpad
