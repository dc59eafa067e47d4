#include "styles/BuiltinSchemes.h"

#include <algorithm>

#include <cstdint>
#include <string_view>

namespace quillpad {
namespace {

// One row of a built-in scheme; the fields common to every built-in rule
// (size 240, offset 0, "Courier", charset 0, pitch and family 49, no
// pattern) are written by RuleText.
struct SRow {
    const char* name;
    int dir, cls, src;
    bool font;
    std::uint32_t colour;
    int effects;
    bool fmt;
    int code;
    bool always;
    bool insert;
    bool writeInsertKey = true;
};

const char* Bool(bool b) {
    return b ? "TRUE" : "FALSE";
}

std::string RuleText(int k, const SRow& r) {
    std::string t = "[Scheme1.Rule" + std::to_string(k) + "]\n";
    t += "Name=" + std::string(r.name) + "\n";
    t += "Direction_MatchValue=" + std::to_string(r.dir) + "\n";
    t += "CharRange_MatchValue=" + std::to_string(r.cls) + "\n";
    t += "Owner_MatchValue=" + std::to_string(r.src) + "\n";
    t += "RegEx_Match=FALSE\n";
    t += std::string("Format_ApplyColor=") + Bool(r.font) + "\n";
    t += "Format_FontColor=" + std::to_string(r.colour) + "\n";
    t += "Format_FontEffects=" + std::to_string(r.effects) + "\n";
    t += "Format_FontSize=240\n";
    t += "Format_FontOffset=0\n";
    t += "Format_FontFaceName=Courier\n";
    t += "Format_FontCharSet=0\n";
    t += "Format_FontPitchAndFamily=49\n";
    t += std::string("Format_ApplyFormat=") + Bool(r.fmt) + "\n";
    t += "Format_CharacterFormat=" + std::to_string(r.code) + "\n";
    t += std::string("Format_AlwaysInterpretCRLFBSTB=") + Bool(r.always) + "\n";
    if (r.writeInsertKey) {
        t += std::string("Format_InsertCRLFIfTranslated=") + Bool(r.insert) + "\n";
    }
    return t + "\n";
}

std::string SchemeText(std::string_view name, const std::vector<SRow>& rows) {
    std::string t = "[Scheme1.Info]\nName=" + std::string(name) +
                    "\nDescription=\nBackgroundColor=0\nLineWrap=TRUE\n\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        t += RuleText(static_cast<int>(i + 1), rows[i]);
    }
    return t;
}

constexpr std::uint32_t kWhite = 16777215, kRed = 255, kYellow = 65535, kCyan = 16776960,
                        kSilver = 12632256, kDimGrey = 6579300, kGrey = 8421504;

std::vector<std::string> SetA() {
    std::vector<SRow> normal = {
        {"Hide My Outgoing(Local Echo)", 2, 0, 1, false, kSilver, 0, true, 0, false, false},
        {"Low as raw hex", 1, 1, 0, true, kRed, 1, true, 2, true, true},
        {"High as raw hex", 0, 3, 0, true, kRed, 1, true, 2, false, false},
        {"Others's Outgoing", 2, 0, 2, true, kCyan, 0, true, 1, false, false},
        {"Other's Incoming", 1, 0, 2, true, kDimGrey, 0, true, 1, false, false},
        {"All Other", 0, 0, 0, true, kWhite, 0, true, 1, false, false},
    };
    std::vector<SRow> echo = normal;
    echo[0].font = true;
    echo[0].colour = kYellow;
    echo[0].code = 1;
    const std::vector<SRow> hex = {
        {"Others outgoing hex", 2, 0, 2, true, kCyan, 0, true, 2, false, true},
        {"Other's incoming hex", 1, 0, 2, true, kGrey, 0, true, 2, false, true},
        {"My outgoing", 2, 0, 1, true, kYellow, 0, true, 2, false, true},
        {"My incoming", 1, 0, 1, true, kWhite, 0, true, 2, false, true},
    };
    const std::vector<SRow> fast = {
        {"All Data", 0, 0, 0, true, kWhite, 0, true, 1, true, true},
    };
    return {SchemeText("Normal", normal), SchemeText("Normal (Local Echo)", echo),
            SchemeText("Hex Mode", hex), SchemeText("High Performance", fast)};
}

std::vector<std::string> SetB() {
    std::vector<SRow> normal = {
        {"Hide Outgoing(Local Echo)", 2, 0, 1, false, kYellow, 0, true, 0, false, false},
        {"Low as raw hex", 1, 1, 1, true, kRed, 1, true, 2, true, true},
        {"High as raw hex", 0, 3, 0, true, kRed, 1, true, 2, false, false},
        {"All Other", 0, 0, 0, true, kWhite, 0, false, 0, false, false, false},
    };
    std::vector<SRow> echo = normal;
    echo[0].font = true;
    echo[0].code = 1;
    const std::vector<SRow> hex = {
        {"Outgoing", 2, 0, 1, true, kYellow, 0, true, 2, false, true},
        {"Incoming", 1, 0, 1, true, kWhite, 0, true, 2, false, true},
    };
    return {SchemeText("Normal", normal), SchemeText("Normal (Local Echo)", echo),
            SchemeText("Hex Mode", hex)};
}

}  // namespace

std::vector<std::string> BuiltinSchemeTexts(EBuiltinSet set) {
    // Written once: every console reads them when it is made.
    static const std::vector<std::string> a = SetA();
    static const std::vector<std::string> b = SetB();
    return set == EBuiltinSet::A ? a : b;
}

bool IsBuiltinSchemeName(std::string_view name) {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const EBuiltinSet set : {EBuiltinSet::A, EBuiltinSet::B}) {
            for (const auto& scheme : MakeBuiltinSchemes(set)) {
                all.push_back(scheme->Name);
            }
        }
        return all;
    }();
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::shared_ptr<CStyleScheme>> MakeBuiltinSchemes(EBuiltinSet set) {
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
    for (const std::string& text : BuiltinSchemeTexts(set)) {
        CIniDocument document;
        document.LoadText(text, true);
        auto scheme = std::make_shared<CStyleScheme>();
        scheme->ReadScheme(document, 1);
        schemes.push_back(std::move(scheme));
    }
    return schemes;
}

}  // namespace quillpad
