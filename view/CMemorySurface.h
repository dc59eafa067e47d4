#pragma once
// A render surface that keeps everything in memory: the text, its runs with
// their formats and records, and how often formats were applied. Used by
// tests and by tools that render without a window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "view/IRenderSurface.h"

namespace quillpad {

class CMemorySurface final : public IRenderSurface {
  public:
    struct SRun {
        std::size_t start;
        std::size_t length;
        std::optional<SCharFormat> format;  // none before any format was applied
        std::uint32_t sequence;
    };

    void MoveCaretToEnd() override { ++caretMoves; }
    void ApplyFormat(const SCharFormat& format) override {
        current = format;
        ++formatsApplied;
    }
    void AppendRun(std::string_view text, std::uint32_t sequence) override {
        runs.push_back(SRun{this->text.size(), text.size(), current, sequence});
        this->text.append(text);
    }
    // CR and LF both end a line, as paragraph breaks do on screen.
    void DeleteLastCharOfCaretLine() override {
        if (text.empty() || text.back() == '\n' || text.back() == '\r') {
            return;
        }
        text.pop_back();
        ++deletions;
        // The character leaves its run; a run left empty goes too.
        while (!runs.empty()) {
            SRun& last = runs.back();
            if (last.start + last.length > text.size()) {
                last.length = text.size() - last.start;
            }
            if (last.length > 0) {
                break;
            }
            runs.pop_back();
        }
    }

    std::string text;
    std::vector<SRun> runs;
    std::optional<SCharFormat> current;
    int formatsApplied = 0;
    int caretMoves = 0;
    int deletions = 0;
};

}  // namespace quillpad
