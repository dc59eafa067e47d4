// Cost of the INI engine on a document shaped like a large style sheet file
// (20 schemes of 8 rules, 180 sections, about 60 KB),
// against the floor of merely splitting the same text into lines; and the
// cost of one registry save of a settings-sized document (a locked, flushed,
// atomic rewrite of the hive, timed by the wall clock since it waits on the disk).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/CIniDocument.h"

namespace quillpad {
namespace {

// Schemes of rules with the keys a style sheet holds. Section lookups scan
// the section list, so the size is kept to what a real file holds.
const std::string& StyleSheetText() {
    static const std::string text = [] {
        std::string t;
        for (int scheme = 1; scheme <= 20; ++scheme) {
            t += "[Scheme" + std::to_string(scheme) + ".Info]\nName=Scheme " +
                 std::to_string(scheme) + "\nDescription=A generated style\nBackColor=16777215\n" +
                 "LineWrap=TRUE\n\n";
            for (int rule = 1; rule <= 8; ++rule) {
                t += "[Scheme" + std::to_string(scheme) + ".Rule" + std::to_string(rule) + "]\n" +
                     "Name=Rule " + std::to_string(rule) +
                     "\nCharacters=0x20-0x7E,0x0D,0x0A\nFaceName=DejaVu Sans Mono\n"
                     "Height=200\nColor=255 // red\nEffects=0\nFormat=1\nDirection=3\n\n";
            }
        }
        return t;
    }();
    return text;
}

void BM_SplitLinesBaseline(benchmark::State& state) {
    const std::string& text = StyleSheetText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SplitTokens(text, "\n"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SplitLinesBaseline)->Unit(benchmark::kMillisecond);

void BM_LoadText(benchmark::State& state) {
    const std::string& text = StyleSheetText();
    CIniDocument doc;
    for (auto _ : state) {
        doc.LoadText(text, true);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadText)->Unit(benchmark::kMillisecond);

void BM_SaveText(benchmark::State& state) {
    CIniDocument doc;
    doc.LoadText(StyleSheetText(), true);
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = doc.SaveText();
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_SaveText)->Unit(benchmark::kMillisecond);

void BM_LookupLastSection(benchmark::State& state) {
    CIniDocument doc;
    doc.LoadText(StyleSheetText(), true);
    const std::string last = doc.SectionAt(doc.SectionCount() - 1)->name;
    for (auto _ : state) {
        benchmark::DoNotOptimize(doc.ReadInt(last, "Direction", 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupLastSection);

void BM_SaveToRegistry(benchmark::State& state) {
    const std::string home =
        (std::filesystem::temp_directory_path() / ("quillpad-bench-" + std::to_string(getpid())))
            .string();
    ::setenv("WORKBAY_HOME", home.c_str(), 1);
    CIniDocument settings;
    for (const char* section : {"Schemes", "Logging", "General", "Text Info", "Key Mapping"}) {
        for (int i = 0; i < 8; ++i) {
            settings.WriteString(section, "Key" + std::to_string(i), "/some/value/of/a/setting");
        }
    }
    for (auto _ : state) {
        settings.SaveToRegistry(ERegistryRoot::CurrentUser,
                                "Software\\Korvane\\Workbay\\Plugins\\Quillpad2");
    }
    state.SetItemsProcessed(state.iterations());
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
}
BENCHMARK(BM_SaveToRegistry)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillpad
