#include "tools/quillpad-log/RenderCommands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "data/CTextLogStamper.h"
#include "data/DataStore.h"
#include "data/LineStamps.h"
#include "styles/BuiltinSchemes.h"
#include "view/CMemorySurface.h"
#include "view/CStyledRenderer.h"
#include "view/RunExport.h"
#include "view/StampColumn.h"

namespace quillpad {
namespace {

constexpr int kStatusUsage = 1;
constexpr int kStatusError = 2;
constexpr int kStatusOutputFailed = 3;

void RenderUsage() {
    std::fputs(
        "usage: quillpad-log render [--style FILE.tss | --builtin NAME] [--set A|B]\n"
        "                           [--show-all-sources] [--timestamps]\n"
        "                           [--stamps absolute|start|delta] [--gap MS]\n"
        "                           [--as text|plain|ansi|html] FILE.wblog\n",
        stderr);
}

void Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

struct SRenderOptions {
    std::string styleFile;
    std::string builtin = "Normal";
    EBuiltinSet set = EBuiltinSet::B;
    bool showAllSources = false;
    bool timestamps = false;
    EStampMode stamps = EStampMode::Off;
    std::uint32_t gapMs = kDefaultGapMs;
    std::string as = "text";
    std::string log;
};

// The scheme the options name; on failure an error text.
std::shared_ptr<CStyleScheme> PickScheme(const SRenderOptions& o, std::string& error) {
    if (!o.styleFile.empty()) {
        auto scheme = std::make_unique<CStyleScheme>();
        if (!scheme->Load(o.styleFile, false)) {
            error = "cannot read style file " + o.styleFile;
            return nullptr;
        }
        return scheme;
    }
    std::shared_ptr<CStyleScheme> found;
    // As the console selects by name: the last scheme of that name wins.
    for (auto& scheme : MakeBuiltinSchemes(o.set)) {
        if (scheme->Name == o.builtin) {
            found = std::move(scheme);
        }
    }
    if (!found) {
        error = "no built-in style named \"" + o.builtin + "\" in set " +
                (o.set == EBuiltinSet::A ? "A" : "B");
    }
    return found;
}

}  // namespace

int RunRenderCommand(const std::vector<std::string>& args) {
    SRenderOptions o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string set;
        if (a == "--style") {
            if (!value(o.styleFile))
                return RenderUsage(), kStatusUsage;
        } else if (a == "--builtin") {
            if (!value(o.builtin))
                return RenderUsage(), kStatusUsage;
        } else if (a == "--set") {
            if (!value(set) || (set != "A" && set != "B"))
                return RenderUsage(), kStatusUsage;
            o.set = set == "A" ? EBuiltinSet::A : EBuiltinSet::B;
        } else if (a == "--show-all-sources") {
            o.showAllSources = true;
        } else if (a == "--timestamps") {
            o.timestamps = true;
        } else if (a == "--stamps") {
            std::string form;
            if (!value(form)) {
                return RenderUsage(), kStatusUsage;
            }
            if (form == "absolute") {
                o.stamps = EStampMode::Absolute;
            } else if (form == "start") {
                o.stamps = EStampMode::SinceStart;
            } else if (form == "delta") {
                o.stamps = EStampMode::SincePrevious;
            } else {
                std::fprintf(stderr,
                             "quillpad-log: --stamps takes absolute, start or delta, not \"%s\"\n",
                             form.c_str());
                return RenderUsage(), kStatusUsage;
            }
        } else if (a == "--gap") {
            std::string ms;
            if (!value(ms)) {
                return RenderUsage(), kStatusUsage;
            }
            char* end = nullptr;
            errno = 0;
            const unsigned long parsed = std::strtoul(ms.c_str(), &end, 10);
            if (ms.empty() || ms[0] < '0' || ms[0] > '9' || *end != '\0' || errno != 0 ||
                parsed == 0 || parsed > 0xFFFFFFFFul) {
                std::fprintf(stderr,
                             "quillpad-log: --gap takes a number of milliseconds above 0, not "
                             "\"%s\"\n",
                             ms.c_str());
                return RenderUsage(), kStatusUsage;
            }
            o.gapMs = static_cast<std::uint32_t>(parsed);
        } else if (a == "--as") {
            if (!value(o.as) ||
                (o.as != "text" && o.as != "plain" && o.as != "ansi" && o.as != "html")) {
                return RenderUsage(), kStatusUsage;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "quillpad-log: unknown option %s\n", a.c_str());
            return RenderUsage(), kStatusUsage;
        } else if (o.log.empty()) {
            o.log = a;
        } else {
            return RenderUsage(), kStatusUsage;
        }
    }
    if (o.log.empty()) {
        return RenderUsage(), kStatusUsage;
    }
    if (o.stamps != EStampMode::Off && o.as != "text" && o.as != "plain") {
        std::fputs("quillpad-log: --stamps goes with --as text or --as plain\n", stderr);
        return RenderUsage(), kStatusUsage;
    }

    std::string error;
    const auto scheme = PickScheme(o, error);
    if (!scheme) {
        std::fprintf(stderr, "quillpad-log: %s\n", error.c_str());
        return kStatusError;
    }
    CQueuedChannel channel;
    CDataStore store(channel);
    const SBinaryLogLoad load = store.LoadLog(o.log);
    if (!load.accepted) {
        std::fprintf(stderr, "Error loading specified log file.\n%s: %s\n", o.log.c_str(),
                     load.error.c_str());
        return kStatusError;
    }

    if (o.as == "text" || o.as == "plain") {
        // Exactly what a formatted (or plain) text log of these records holds.
        const bool plain = o.as == "plain";
        CTextLogStamper stamper(o.timestamps);
        // Line stamps stand in for the log's own, as in a log written while
        // the console shows them; "start" counts from the log's first record.
        STimeBase base{store.StartTime(), store.StartTick()};
        if (o.stamps == EStampMode::SinceStart && store.RecordCount() > 0) {
            base.startTick = store.Record(0)->tick;
        }
        CLineStartStamps lines(o.stamps, base);
        // A style without the device's lines gets gap stamps, as on screen.
        const bool gaps = !plain && o.stamps != EStampMode::Off && UsesGapStamps(scheme.get());
        CGapStamps bursts(o.stamps, base, o.gapMs);
        std::string out;
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            const SDataRecord r = *store.Record(i);
            const bool shown =
                plain ? r.kind == kDataRecordKind && (o.showAllSources || r.source == kSourceOwn)
                      : IsShownRecord(r, o.showAllSources);
            if (!shown) {
                continue;
            }
            const std::string text =
                plain ? std::string() : CStyledRenderer::RenderToString(scheme.get(), r);
            if (o.stamps == EStampMode::Off) {
                out += stamper.Next(r.tick, store.StartTime(), store.StartTick());
            }
            if (gaps) {
                bursts.Append(out, text, r.tick);
            } else {
                lines.Append(out, plain ? r.bytes : std::string_view(text), r.tick);
            }
            if (out.size() >= (std::size_t{1} << 16)) {
                Write(out);
                out.clear();
            }
        }
        Write(out);
    } else {
        CMemorySurface surface;
        CStyledRenderer renderer;
        renderer.SetScheme(scheme.get());
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            renderer.Render(surface, *store.Record(i), o.showAllSources);
        }
        Write(o.as == "ansi"
                  ? ExportAnsi(surface, scheme->BackgroundColor)
                  : ExportHtml(surface, scheme->BackgroundColor, scheme->Name + " - " + o.log));
    }
    std::fflush(stdout);
    return std::ferror(stdout) ? kStatusOutputFailed : 0;
}

namespace {

void StyleUsage() {
    std::fputs(
        "usage: quillpad-log style show FILE.tss\n"
        "       quillpad-log style new --from NAME [--set A|B] OUT.tss\n",
        stderr);
}

// A built-in style written as a style sheet file, through the same writer
// as the style editor's OK. An existing file is left alone.
int NewStyle(const std::vector<std::string>& args) {
    std::string from;
    std::string out;
    EBuiltinSet set = EBuiltinSet::B;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--from" || a == "--set") && i + 1 >= args.size()) {
            return StyleUsage(), kStatusUsage;
        }
        if (a == "--from") {
            from = args[++i];
        } else if (a == "--set") {
            const std::string& value = args[++i];
            if (value != "A" && value != "B") {
                return StyleUsage(), kStatusUsage;
            }
            set = value == "A" ? EBuiltinSet::A : EBuiltinSet::B;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "quillpad-log: unknown option %s\n", a.c_str());
            return StyleUsage(), kStatusUsage;
        } else if (out.empty()) {
            out = a;
        } else {
            return StyleUsage(), kStatusUsage;
        }
    }
    if (from.empty() || out.empty()) {
        return StyleUsage(), kStatusUsage;
    }
    SRenderOptions o;
    o.builtin = from;
    o.set = set;
    std::string error;
    const auto builtin = PickScheme(o, error);
    if (!builtin) {
        std::fprintf(stderr, "quillpad-log: %s\n", error.c_str());
        return kStatusError;
    }
    if (std::FILE* existing = std::fopen(out.c_str(), "rb")) {
        std::fclose(existing);
        std::fprintf(stderr, "quillpad-log: %s exists; not overwritten\n", out.c_str());
        return kStatusError;
    }
    CStyleScheme scheme;
    if (!scheme.Load(out, true)) {
        std::fprintf(stderr, "quillpad-log: cannot create %s: %s\n", out.c_str(),
                     scheme.LastError().c_str());
        return kStatusError;
    }
    scheme.Name = builtin->Name;
    scheme.Description = builtin->Description;
    scheme.BackgroundColor = builtin->BackgroundColor;
    scheme.LineWrap = builtin->LineWrap;
    for (std::size_t i = 0; i < builtin->RuleCount(); ++i) {
        scheme.AppendRule(builtin->Rule(i));
    }
    if (!scheme.Save()) {
        std::fprintf(stderr, "quillpad-log: cannot write %s: %s\n", out.c_str(),
                     scheme.LastError().c_str());
        return kStatusError;
    }
    return 0;
}

}  // namespace

int RunStyleCommand(const std::vector<std::string>& args) {
    if (args.size() >= 2 && args[1] == "new") {
        return NewStyle(args);
    }
    if (args.size() != 3 || args[1] != "show") {
        StyleUsage();
        return kStatusUsage;
    }
    CStyleScheme scheme;
    if (!scheme.Load(args[2], false)) {
        std::fprintf(stderr, "quillpad-log: cannot read style file %s\n", args[2].c_str());
        return kStatusError;
    }
    auto b = [](bool v) { return v ? "TRUE" : "FALSE"; };
    std::printf(
        "Name: %s\nDescription: %s\nBackgroundColor: %u (0x%06X)\nLineWrap: %s\n"
        "Rules: %zu\n",
        scheme.Name.c_str(), scheme.Description.c_str(), scheme.BackgroundColor,
        scheme.BackgroundColor, b(scheme.LineWrap), scheme.RuleCount());
    for (std::size_t i = 0; i < scheme.RuleCount(); ++i) {
        const SStyleRule& r = scheme.Rule(i);
        const SCharFormat& f = r.CharFormat;
        std::printf("\nRule %zu\n", i + 1);
        std::printf("  Name: %s\n", r.Name.c_str());
        std::printf("  Direction_MatchValue: %d\n", r.Direction_MatchValue);
        std::printf("  CharRange_MatchValue: %d\n", r.CharRange_MatchValue);
        if (r.CharRange_CustomValues) {
            std::printf("  CharRange_CustomValues: %s (%zu values)\n",
                        r.CharRange_CustomValues->c_str(),
                        r.CustomValueSet ? r.CustomValueSet->size() : 0);
        }
        std::printf("  Owner_MatchValue: %d\n", r.Owner_MatchValue);
        std::printf("  RegEx_Match: %s\n", b(r.RegEx_Match));
        if (r.RegEx_MatchValue) {
            std::printf("  RegEx_MatchValue: %s\n", r.RegEx_MatchValue->c_str());
        }
        std::printf("  Format_ApplyColor: %s\n", b(r.Format_ApplyColor));
        std::printf("  Format_FontColor: %u (0x%06X)\n", f.crTextColor, f.crTextColor);
        std::printf("  Format_FontEffects: %u\n", f.dwEffects);
        std::printf("  Format_FontSize: %d\n", f.yHeight);
        std::printf("  Format_FontOffset: %d\n", f.yOffset);
        std::printf("  Format_FontFaceName: %s\n", std::string(f.FaceName()).c_str());
        std::printf("  Format_FontCharSet: %u\n", static_cast<unsigned>(f.bCharSet));
        std::printf("  Format_FontPitchAndFamily: %u\n", static_cast<unsigned>(f.bPitchAndFamily));
        std::printf("  Format_ApplyFormat: %s\n", b(r.Format_ApplyFormat));
        std::printf("  Format_CharacterFormat: %d\n", r.Format_CharacterFormat);
        std::printf("  Format_AlwaysInterpretCRLFBSTB: %s\n", b(r.Format_AlwaysInterpretCRLFBSTB));
        std::printf("  Format_InsertCRLFIfTranslated: %s\n", b(r.Format_InsertCRLFIfTranslated));
    }
    return 0;
}

}  // namespace quillpad
