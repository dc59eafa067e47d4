// The display document against the plain in-memory surface: any sequence of
// formats, runs (some long enough to cross the 64 KiB blocks of its indexes)
// and backspaces must give the same text, the same record for every
// character, the same format for every character that draws, and a line
// start after every break.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "view/CDisplayDocument.h"
#include "view/CMemorySurface.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    CDisplayDocument doc;
    CMemorySurface model;
    std::size_t i = 0;
    std::uint32_t sequence = 0;
    auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t op = next();
        switch (op % 4) {
            case 0: {
                SCharFormat f;
                f.crTextColor = next() % 4;
                doc.ApplyFormat(f);
                model.ApplyFormat(f);
                break;
            }
            case 1:
            case 2: {
                const std::size_t n = 1 + next() % 16;
                std::string text;
                for (std::size_t k = 0; k < n; ++k) {
                    text.push_back(static_cast<char>(next()));
                }
                // Now and then a long run, repeated, to cross index blocks.
                if (op >= 0xF0) {
                    std::string longer;
                    while (longer.size() < 66000) {
                        longer += text;
                    }
                    text = std::move(longer);
                }
                sequence += op % 4 == 2 ? 1 : 0;
                doc.AppendRun(text, sequence);
                model.AppendRun(text, sequence);
                break;
            }
            case 3:
                doc.DeleteLastCharOfCaretLine();
                model.DeleteLastCharOfCaretLine();
                break;
        }
    }
    Check(doc.Text() == model.text);
    std::size_t run = 0;
    std::size_t line = 0;
    for (std::size_t pos = 0; pos < model.text.size(); ++pos) {
        while (model.runs[run].start + model.runs[run].length <= pos) {
            ++run;
        }
        Check(doc.SequenceAt(pos) == model.runs[run].sequence);
        const auto b = static_cast<unsigned char>(model.text[pos]);
        if (b >= 0x20 && !(b >= 0x7F && b < 0xA0)) {
            Check(doc.Format(doc.RunFormat(doc.RunAt(pos))) ==
                  model.runs[run].format.value_or(SCharFormat{}));
        }
        Check(doc.LineOf(pos) == line);
        if (b == '\r' || b == '\n') {
            ++line;
            Check(doc.LineStart(line) == pos + 1);
        }
    }
    Check(doc.LineCount() == line + 1);
    Check(!doc.SequenceAt(model.text.size()));
    return 0;
}
