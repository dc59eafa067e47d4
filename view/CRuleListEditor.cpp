#include "view/CRuleListEditor.h"

#include <algorithm>

namespace quillpad {

SStyleRule* CRuleListEditor::Rule(std::size_t row) const {
    return row < Count() ? &m_scheme->Rule(row) : nullptr;
}

std::vector<std::size_t> CRuleListEditor::Rows(std::span<const std::size_t> rows) const {
    std::vector<std::size_t> out;
    for (const std::size_t row : rows) {
        if (row < Count()) {
            out.push_back(row);
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::optional<std::size_t> CRuleListEditor::Add(std::optional<std::size_t> from) {
    if (m_scheme == nullptr) {
        return std::nullopt;
    }
    SStyleRule rule;
    if (const SStyleRule* source = from ? Rule(*from) : nullptr) {
        rule = *source;  // a deep copy: values and pattern are the copy's own
    }
    rule.SetName(kNewRuleName);
    m_scheme->AppendRule(rule);
    return Count() - 1;
}

std::size_t CRuleListEditor::Remove(std::span<const std::size_t> rows) {
    const std::vector<std::size_t> valid = Rows(rows);
    // From the back, so the rows still to go keep their places.
    for (auto it = valid.rbegin(); it != valid.rend(); ++it) {
        m_scheme->RemoveRule(*it);
    }
    return valid.size();
}

std::optional<std::size_t> CRuleListEditor::MoveUp(std::size_t row) {
    if (row == 0 || row >= Count()) {
        return std::nullopt;
    }
    m_scheme->MoveRule(row, row - 1);
    return row - 1;
}

std::optional<std::size_t> CRuleListEditor::MoveDown(std::size_t row) {
    if (row + 1 >= Count()) {
        return std::nullopt;
    }
    m_scheme->MoveRule(row, row + 1);
    return row + 1;
}

void CRuleListEditor::Copy(std::span<const std::size_t> rows) {
    m_clipboard.emplace();
    for (const std::size_t row : Rows(rows)) {
        m_clipboard->push_back(m_scheme->Rule(row));
    }
}

std::size_t CRuleListEditor::Paste() {
    if (!m_clipboard || m_scheme == nullptr) {
        return 0;
    }
    for (const SStyleRule& rule : *m_clipboard) {
        m_scheme->AppendRule(rule);
    }
    const std::size_t pasted = m_clipboard->size();
    m_clipboard.reset();
    return pasted;
}

}  // namespace quillpad
