#include "view/RunExport.h"

#include <cstdio>

namespace quillpad {
namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The code point a byte is shown as; line ends are handled by the caller.
std::uint32_t Shown(std::uint8_t b) {
    if (b < 0x20 && b != '\t') {
        return 0x2400 + b;
    }
    if (b == 0x7F) {
        return 0x2421;
    }
    if (b >= 0x80 && b < 0xA0) {
        return 0xFFFD;
    }
    return b;
}

std::string Hex(std::uint32_t colour) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", ColorRed(colour), ColorGreen(colour),
                  ColorBlue(colour));
    return buffer;
}

std::string AnsiColour(int ground, std::uint32_t colour) {
    return "\x1b[" + std::to_string(ground) + ";2;" + std::to_string(ColorRed(colour)) + ";" +
           std::to_string(ColorGreen(colour)) + ";" + std::to_string(ColorBlue(colour)) + "m";
}

// Calls onLine at each line end and onText(byte) for everything else. A CR
// LF pair ends one line, also when a run boundary falls between the two.
class CLineWalker {
  public:
    template <class FText, class FLine>
    void Walk(std::string_view text, FText&& onText, FLine&& onLine) {
        for (const char c : text) {
            const bool pairedLF = c == '\n' && m_afterCR;
            m_afterCR = c == '\r';
            if (pairedLF) {
                continue;
            }
            if (c == '\r' || c == '\n') {
                onLine();
            } else {
                onText(static_cast<std::uint8_t>(c));
            }
        }
    }

  private:
    bool m_afterCR = false;
};

}  // namespace

std::string ExportAnsi(const CMemorySurface& surface, std::uint32_t background) {
    const std::string bg = AnsiColour(48, background);
    std::string out = "\x1b[0m" + bg;
    CLineWalker walker;
    for (const auto& run : surface.runs) {
        out += "\x1b[0m" + bg;
        if (run.format) {
            const SCharFormat& f = *run.format;
            out += AnsiColour(38, f.crTextColor);
            if (f.dwEffects & kEffectBold)
                out += "\x1b[1m";
            if (f.dwEffects & kEffectItalic)
                out += "\x1b[3m";
            if (f.dwEffects & kEffectUnderline)
                out += "\x1b[4m";
            if (f.dwEffects & kEffectStrikeOut)
                out += "\x1b[9m";
        }
        walker.Walk(
            std::string_view(surface.text).substr(run.start, run.length),
            [&](std::uint8_t b) { AppendUtf8(out, Shown(b)); },
            [&] { out += "\x1b[K\n"; });  // the rest of the line in the background
    }
    out += "\x1b[K\x1b[0m\n";
    return out;
}

std::string ExportHtml(const CMemorySurface& surface, std::uint32_t background,
                       std::string_view title) {
    std::string out = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    auto escape = [&](std::uint8_t b) {
        switch (b) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                AppendUtf8(out, Shown(b));
        }
    };
    for (const char c : title) {
        escape(static_cast<std::uint8_t>(c));
    }
    out += "</title>\n<style>\nbody { margin: 0; background: " + Hex(background) +
           "; }\npre { margin: 0; padding: 4px; white-space: pre-wrap; "
           "overflow-wrap: anywhere; }\n</style>\n</head>\n<body><pre>";
    CLineWalker walker;
    for (const auto& run : surface.runs) {
        out += "<span";
        if (run.format) {
            const SCharFormat& f = *run.format;
            char size[32];
            std::snprintf(size, sizeof size, "%.2fpt", f.yHeight / 20.0);
            out += " style=\"font-family: '";
            for (const char c : f.FaceName()) {
                if (c != '\'' && c != '"' && c != '<' && c != '>' && c != '&' && c != '\\') {
                    AppendUtf8(out, static_cast<std::uint8_t>(c));
                }
            }
            out += "', monospace; font-size: " + std::string(size) +
                   "; color: " + Hex(f.crTextColor) + ";";
            if (f.dwEffects & kEffectBold)
                out += " font-weight: bold;";
            if (f.dwEffects & kEffectItalic)
                out += " font-style: italic;";
            if ((f.dwEffects & kEffectUnderline) && (f.dwEffects & kEffectStrikeOut)) {
                out += " text-decoration: underline line-through;";
            } else if (f.dwEffects & kEffectUnderline) {
                out += " text-decoration: underline;";
            } else if (f.dwEffects & kEffectStrikeOut) {
                out += " text-decoration: line-through;";
            }
            if (f.yOffset != 0) {
                char offset[48];
                std::snprintf(offset, sizeof offset, " position: relative; top: %.2fpt;",
                              -f.yOffset / 20.0);
                out += offset;
            }
            out += "\"";
        }
        out += ">";
        walker.Walk(std::string_view(surface.text).substr(run.start, run.length), escape,
                    [&] { out += '\n'; });
        out += "</span>";
    }
    out += "</pre></body>\n</html>\n";
    return out;
}

}  // namespace quillpad
