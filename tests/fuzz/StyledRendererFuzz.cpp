// The styled renderer end to end: a style sheet's text, as the console reads
// a .tss file, and records cut from the rest of the input, rendered onto a
// surface and to plain text. Neither output grows beyond a fixed factor of
// the bytes; each byte comes out as the first matching rules say (the rules
// walked in order, not the compiled tables the renderer uses), in the font
// and colour of its colour rule. Between records the scheme may be switched,
// or its rules replaced in place as the style editor does.
//
// Input: the style sheet text up to the first NUL, then records, each a head
// byte, a length byte and that many bytes. The head byte's bits:
//   0-1 direction (0-3), 2-3 source (0-3), 4 not a data record,
//   5 every source shown, 6-7 before the record: 1 switch to the other
//   scheme (Scheme1 or Scheme2 of the sheet), 2 or 3 read the other scheme's
//   rules into the current one in place.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "styles/CStyleScheme.h"
#include "tests/fuzz/FuzzCheck.h"
#include "view/CMemorySurface.h"
#include "view/CStyledRenderer.h"
#include "view/SameFormat.h"

using quillpad::fuzz::Check;

namespace {

using namespace quillpad;

// The most one byte can become: a bracketed name and a line end.
constexpr std::size_t kMaxGrowth = 6;

struct SPiece {
    std::string text;
    bool backspace = false;
    std::optional<SCharFormat> format;  // of the colour rule; none: the one before
};

// How a byte is written, by the principle.
SPiece Expected(const CStyleScheme& scheme, std::uint8_t b, const SDataRecord& r) {
    const SByteChoice c = ChooseByWalking(scheme.RulePointers(), b, r.direction, r.source);
    if (CCompiledScheme::HasTable(r.direction, r.source)) {
        const SByteChoice& t = scheme.Compiled().Table(r.direction, r.source)[b];
        Check(t.colourRule == c.colourRule && t.formatRule == c.formatRule &&
              t.action == c.action && t.translatedNames == c.translatedNames);
    }
    SPiece p;
    if (c.colourRule >= 0) {
        // The sheet's rules, or the marks' rule after them (a foreign record of source 3).
        Check(static_cast<std::size_t>(c.colourRule) < scheme.RulePointers().size());
        p.format = scheme.RulePointers()[static_cast<std::size_t>(c.colourRule)]->CharFormat;
    }
    switch (c.action) {
        case EByteAction::Copy:
            p.text = std::string(1, static_cast<char>(b));
            break;
        case EByteAction::Drop:
            break;
        case EByteAction::Newline:
            p.text = "\n";
            break;
        case EByteAction::Backspace:
            p.backspace = true;
            break;
        case EByteAction::Name:
        case EByteAction::NameThenCR:
        case EByteAction::NameThenLF: {
            const std::string_view name = ByteName(b, c.translatedNames);
            Check(name.size() >= 4 && name.size() <= 5 && name.front() == '[' &&
                  name.back() == ']');
            p.text = std::string(name);
            if (c.action == EByteAction::NameThenCR) {
                p.text += '\r';
            } else if (c.action == EByteAction::NameThenLF) {
                p.text += '\n';
            }
            break;
        }
    }
    return p;
}

bool Visible(const SDataRecord& r, bool showAllSources) {
    return r.kind == kDataRecordKind && (showAllSources || r.source == kSourceOwn);
}

// The format the surface gave the character at `at`.
std::optional<SCharFormat> FormatAt(const CMemorySurface& surface, std::size_t at) {
    for (const CMemorySurface::SRun& run : surface.runs) {
        if (at >= run.start && at < run.start + run.length) {
            return run.format;
        }
    }
    Check(false);
    return std::nullopt;
}

bool Same(const std::optional<SCharFormat>& a, const std::optional<SCharFormat>& b) {
    return a.has_value() == b.has_value() && (!a || SameFormat(*a, *b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view sheet = input.substr(0, nul);

    CIniDocument document;
    document.LoadText(sheet, true);
    CStyleScheme schemes[2];
    schemes[0].ReadScheme(document, 1);
    schemes[1].ReadScheme(document, 2);
    int current = 0;
    int rulesFrom[2] = {1, 2};

    CStyledRenderer renderer;
    renderer.SetScheme(&schemes[0]);
    CStyledRenderer plainRenderer;  // no scheme: the bytes as they are, less NULs
    CMemorySurface surface;
    CMemorySurface plainSurface;
    std::string plainExpected;
    std::size_t rendered = 0;

    std::size_t pos = nul == std::string_view::npos ? size : nul + 1;
    for (std::uint32_t sequence = 0; pos + 2 <= size; ++sequence) {
        const auto head = static_cast<std::uint8_t>(input[pos]);
        const std::string_view bytes =
            input.substr(pos + 2, static_cast<std::uint8_t>(input[pos + 1]));
        pos += 2 + bytes.size();

        const int change = head >> 6;
        if (change == 1) {
            current = 1 - current;
            renderer.SetScheme(&schemes[current]);
        } else if (change >= 2) {
            rulesFrom[current] = 3 - rulesFrom[current];
            schemes[current].ReadScheme(document, rulesFrom[current]);
        }
        SDataRecord r = MakeRecord(bytes, head & 3, (head >> 2) & 3, sequence);
        if ((head & 0x10) != 0) {
            r.kind = 2;
        }
        const bool showAll = (head & 0x20) != 0;
        const CStyleScheme& scheme = schemes[current];

        // To text: no visibility test, backspaces within the record only,
        // each taking back the last byte shown whole.
        std::string text;
        bool anyBackspace = false;
        std::vector<SPiece> pieces;
        std::vector<std::size_t> standing;
        for (const char ch : bytes) {
            pieces.push_back(Expected(scheme, static_cast<std::uint8_t>(ch), r));
            if (pieces.back().backspace) {
                anyBackspace = true;
                if (!standing.empty()) {
                    text.resize(text.size() - standing.back());
                    standing.pop_back();
                }
            } else if (!pieces.back().text.empty()) {
                text += pieces.back().text;
                standing.push_back(pieces.back().text.size());
            }
        }
        const std::string toString = CStyledRenderer::RenderToString(&scheme, r);
        Check(toString.size() <= kMaxGrowth * bytes.size());
        Check(toString == text);

        // Onto the surface: each character in its colour rule's format, or
        // in the one before it when the byte has no colour rule.
        const std::size_t before = surface.text.size();
        std::optional<SCharFormat> format = surface.current;
        renderer.Render(surface, r, showAll);
        if (!Visible(r, showAll)) {
            Check(surface.text.size() == before);
        } else {
            rendered += bytes.size();
            if (!anyBackspace) {
                Check(surface.text.size() - before == text.size());
                std::size_t at = before;
                for (const SPiece& p : pieces) {
                    if (p.format) {
                        format = p.format;
                    }
                    for (const char ch : p.text) {
                        Check(surface.text[at] == ch);
                        Check(Same(FormatAt(surface, at), format));
                        ++at;
                    }
                }
            }
        }
        Check(surface.text.size() <= kMaxGrowth * rendered);

        plainRenderer.Render(plainSurface, r, showAll);
        if (Visible(r, showAll)) {
            for (const char ch : bytes) {
                if (ch != '\0') {
                    plainExpected += ch;
                }
            }
        }
        Check(CStyledRenderer::RenderToString(nullptr, r).size() <= bytes.size());
    }
    Check(plainSurface.text == plainExpected);
    return 0;
}
