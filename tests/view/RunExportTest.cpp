#include "view/RunExport.h"

#include <gtest/gtest.h>

#include "styles/BuiltinSchemes.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

CMemorySurface Rendered(const CStyleScheme& scheme, std::string_view bytes) {
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(&scheme);
    renderer.Render(surface, MakeRecord(bytes, 1, 1, 0), false);
    return surface;
}

TEST(RunExport, AnsiCarriesColoursEffectsAndNeutralisesControlBytes) {
    // A font-only rule: every byte is written as received, ESC included.
    CStyleScheme scheme;
    SStyleRule white;
    white.Format_ApplyColor = true;
    white.CharFormat.crTextColor = 0xFFFFFF;
    scheme.AppendRule(white);
    scheme.BackgroundColor = 0;
    const auto surface = Rendered(scheme, std::string_view("ok\x1b[2J\xe9\r\n", 9));
    const std::string ansi = ExportAnsi(surface, scheme.BackgroundColor);
    EXPECT_NE(ansi.find("\x1b[48;2;0;0;0m"), std::string::npos) << "black background";
    EXPECT_NE(ansi.find("\x1b[38;2;255;255;255m"), std::string::npos) << "white text";
    EXPECT_NE(ansi.find("ok\xe2\x90\x9b[2J\xc3\xa9"), std::string::npos)
        << "ESC as a control picture, é as UTF-8";
    EXPECT_EQ(ansi.find("\x1b[2J"), std::string::npos) << "device data never drives the terminal";
    EXPECT_EQ(ansi.find('\r'), std::string::npos);
}

TEST(RunExport, AnsiBoldForRawHexRules) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    const auto surface = Rendered(*set[0], "\xff");
    const std::string ansi = ExportAnsi(surface, 0);
    EXPECT_NE(ansi.find("\x1b[38;2;255;0;0m\x1b[1m[FFh]"), std::string::npos) << ansi;
}

TEST(RunExport, HtmlIsAStandalonePageWithEscapedText) {
    auto set = MakeBuiltinSchemes(EBuiltinSet::B);
    const auto surface = Rendered(*set[2], "<a&b>\r\n");
    const std::string html = ExportHtml(surface, set[2]->BackgroundColor, "Hex <Mode>");
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<title>Hex &lt;Mode&gt;</title>"), std::string::npos);
    EXPECT_NE(html.find("background: #000000"), std::string::npos);
    EXPECT_NE(html.find("font-family: 'Courier', monospace; font-size: 12.00pt; color: #ffffff;"),
              std::string::npos);
    EXPECT_NE(html.find("[3Ch][61h][26h][62h][3Eh][0Dh]\n[0Ah]\n"), std::string::npos) << html;
    EXPECT_NE(html.find("</html>"), std::string::npos);

    CStyleScheme raw;  // no rules: bytes as received, markup escaped
    const auto plain = Rendered(raw, "<b>&\"\x01");
    const std::string page = ExportHtml(plain, raw.BackgroundColor, "t");
    EXPECT_NE(page.find("&lt;b&gt;&amp;&quot;\xe2\x90\x81"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
}

TEST(RunExport, CrLfSplitAcrossRunsIsOneLineEnd) {
    CMemorySurface surface;
    surface.AppendRun("a\r", 0);
    surface.AppendRun("\nb", 1);
    const std::string html = ExportHtml(surface, 0, "t");
    EXPECT_NE(html.find("<span>a\n</span><span>b</span>"), std::string::npos) << html;
}

}  // namespace
}  // namespace quillpad
