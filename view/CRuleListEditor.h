#pragma once
// The style editor's rule list as a model: the rules of one scheme, edited
// by row index (add, remove, move, copy, paste), with a rule clipboard that
// outlives a change of scheme. The scheme's order is the list's order; the
// dialog's list widget only shows it.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "styles/CStyleScheme.h"

namespace quillpad {

class CRuleListEditor {
  public:
    static constexpr const char* kNewRuleName = "New rule";

    // The scheme edited; none: every edit does nothing. The clipboard stays,
    // so rules copied from one style can be pasted into the next.
    void SetScheme(CStyleScheme* scheme) { m_scheme = scheme; }
    CStyleScheme* Scheme() const { return m_scheme; }
    std::size_t Count() const { return m_scheme != nullptr ? m_scheme->RuleCount() : 0; }
    // The rule at `row`, none past the end.
    SStyleRule* Rule(std::size_t row) const;

    // Appends a rule named "New rule": a deep copy of the rule at `from`
    // when given, else one with the new-rule defaults. Its row.
    std::optional<std::size_t> Add(std::optional<std::size_t> from);
    // Removes the rules at `rows` (any order, repeats and rows past the end
    // ignored); how many went.
    std::size_t Remove(std::span<const std::size_t> rows);
    // Moves the rule at `row` one place; its new row, none at the ends.
    std::optional<std::size_t> MoveUp(std::size_t row);
    std::optional<std::size_t> MoveDown(std::size_t row);

    // Copies the rules at `rows` in list order, replacing what was copied.
    void Copy(std::span<const std::size_t> rows);
    bool CanPaste() const { return m_clipboard.has_value(); }
    // Appends the copied rules; one copy pastes once. How many came.
    std::size_t Paste();
    // The rules copied and not yet pasted; none before a copy and after a paste.
    const std::vector<SStyleRule>* Clipboard() const {
        return m_clipboard ? &*m_clipboard : nullptr;
    }

  private:
    // Valid rows, ascending, each once.
    std::vector<std::size_t> Rows(std::span<const std::size_t> rows) const;

    CStyleScheme* m_scheme = nullptr;
    std::optional<std::vector<SStyleRule>> m_clipboard;
};

}  // namespace quillpad
