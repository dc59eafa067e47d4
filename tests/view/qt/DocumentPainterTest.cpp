// The painter drawing rows into an image, the font table that feeds it, and
// the font-metrics cache under both.

#include "view/qt/CDocumentPainter.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <functional>
#include <optional>

#include "view/qt/CFontMetricsCache.h"
#include "view/qt/CFontTable.h"

namespace quillpad {
namespace {

SCharFormat Format(std::uint32_t colour, int yOffset = 0) {
    SCharFormat f;
    f.SetFaceName("DejaVu Sans Mono");
    f.bPitchAndFamily = 49;
    f.yHeight = 400;  // 20 points: strokes several pixels wide
    f.dwEffects = kEffectBold;
    f.crTextColor = colour;
    f.yOffset = yOffset;
    return f;
}

constexpr std::uint32_t kRed = 0x0000FF;  // 0x00BBGGRR
constexpr std::uint32_t kBlack = 0;

struct SInk {
    int left = 1 << 30;
    int right = -1;
    int top = 1 << 30;
    int bottom = -1;
    int count = 0;
};

SInk InkOf(const QImage& image, const std::function<bool(QColor)>& is, int fromX = 0,
           int toX = 1 << 30) {
    SInk ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = std::max(0, fromX); x < std::min(image.width(), toX); ++x) {
            if (is(image.pixelColor(x, y))) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.count;
            }
        }
    }
    return ink;
}

bool Reddish(QColor c) {
    return c.red() > 150 && c.green() < 110 && c.blue() < 110;
}
bool Dark(QColor c) {
    return c.red() < 100 && c.green() < 100 && c.blue() < 100;
}

class DocumentPainter : public ::testing::Test {
  protected:
    DocumentPainter() : image(480, 80, QImage::Format_RGB32) {}

    void Append(std::string_view text, const SCharFormat& format) {
        document.ApplyFormat(format);
        document.AppendRun(text, 0);
    }
    // Paints the whole text with [selStart, selEnd) selected.
    void Paint(std::size_t selStart = 0, std::size_t selEnd = 0) {
        fonts.Sync(document, layout, QFont(), image, cache);
        layout.SetWidth(static_cast<float>(image.width() - 2 * painter.Margin()));
        const auto lines = layout.RowsFrom(0, 10);
        rows = PaintRowsOf(document, layout, lines, selStart, selEnd);
        image.fill(Qt::white);
        QPainter p(&image);
        painter.Paint(p, image.rect(), rows, fonts, colours);
    }
    // The pixels a piece of the first row covers, left edge included.
    std::pair<int, int> Span(std::size_t piece) const {
        const SPaintPiece& p = rows.at(0).pieces.at(piece);
        const double left = painter.Margin() + p.x;
        return {static_cast<int>(std::floor(left)), static_cast<int>(std::ceil(left + p.width))};
    }

    QImage image;
    CDisplayDocument document;
    CLineLayout layout{document};
    CFontMetricsCache cache;
    CFontTable fonts;
    CDocumentPainter painter{3};
    SPaintColours colours{Qt::white, QColor(0, 0, 128), QColor(255, 255, 0)};
    std::vector<SPaintRow> rows;
};

TEST_F(DocumentPainter, ARunIsDrawnInItsColourWhereTheLayoutPutsIt) {
    Append("HHHH", Format(kBlack));
    Append("HHHH", Format(kRed));
    Paint();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].pieces.size(), 2u);
    const auto [blackFrom, blackTo] = Span(0);
    const auto [redFrom, redTo] = Span(1);
    EXPECT_GE(blackFrom, painter.Margin()) << "the margin stays free";

    const SInk red = InkOf(image, Reddish);
    ASSERT_GT(red.count, 40) << "the red run is drawn";
    EXPECT_GE(red.left, redFrom);
    EXPECT_LE(red.right, redTo);
    EXPECT_LT(red.right - red.left, redTo - redFrom) << "four letters, not a block";
    const SInk dark = InkOf(image, Dark);
    ASSERT_GT(dark.count, 40);
    EXPECT_GE(dark.left, blackFrom);
    EXPECT_LE(dark.right, blackTo) << "each run in its own colour";
    // Both sit on one baseline inside the row.
    EXPECT_EQ(red.top, dark.top);
    EXPECT_EQ(red.bottom, dark.bottom);
    EXPECT_GE(red.top, 0);
    EXPECT_LT(red.bottom, fonts.RowHeight());
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), QColor(Qt::white))
        << "the background fills the area";
}

TEST_F(DocumentPainter, AnOffsetRunIsRaisedByItsOffsetAndTheRowMakesRoom) {
    Append("HH", Format(kBlack));
    Append("HH", Format(kBlack, 120));  // 6 points up
    Paint();
    const int rise = CFontTable::OffsetPixels(120, image.logicalDpiY());
    ASSERT_GT(rise, 4);
    const auto [plainFrom, plainTo] = Span(0);
    const auto [raisedFrom, raisedTo] = Span(1);
    const SInk plain = InkOf(image, Dark, plainFrom, plainTo);
    const SInk raised = InkOf(image, Dark, raisedFrom, raisedTo);
    ASSERT_GT(plain.count, 0);
    ASSERT_GT(raised.count, 0);
    EXPECT_EQ(plain.top - raised.top, rise);
    EXPECT_EQ(plain.bottom - raised.bottom, rise);
    EXPECT_GE(raised.top, 0) << "the row is high enough for the raised text";

    const SFontMetrics metrics = cache.Of(fonts.Entry(1).font, image);
    EXPECT_EQ(fonts.RowHeight(), metrics.ascent + rise + metrics.descent);
    EXPECT_EQ(fonts.Ascent(), metrics.ascent + rise);
}

TEST_F(DocumentPainter, ASelectedRunIsDrawnInTheHighlightsColours) {
    Append("HHHH", Format(kBlack));
    Append("HHHH", Format(kRed));
    Append("\r", Format(kRed));
    Paint(4, 9);  // the red run and the line break after it
    const auto [redFrom, redTo] = Span(1);
    const auto navy = [](QColor c) { return c == QColor(0, 0, 128); };
    const auto yellowish = [](QColor c) {
        return c.red() > 150 && c.green() > 150 && c.blue() < 100;
    };
    EXPECT_EQ(InkOf(image, Reddish).count, 0) << "no red left: the selection's text colour";
    const SInk text = InkOf(image, yellowish);
    ASSERT_GT(text.count, 40);
    EXPECT_GE(text.left, redFrom);
    EXPECT_LE(text.right, redTo);
    const SInk highlight = InkOf(image, navy);
    EXPECT_GE(highlight.left, redFrom);
    EXPECT_EQ(highlight.top, 0);
    EXPECT_EQ(highlight.bottom, fonts.RowHeight() - 1) << "the whole row's height";
    // The break shows as a space's room after the run.
    const int breakEnd =
        static_cast<int>(std::ceil(painter.Margin() + rows[0].breakX + rows[0].breakWidth));
    EXPECT_GT(rows[0].breakWidth, 0);
    EXPECT_GE(highlight.right, breakEnd - 2);
    EXPECT_LE(highlight.right, breakEnd);
    EXPECT_EQ(InkOf(image, navy, 0, redFrom).count, 0) << "nothing before the selection";
    EXPECT_GT(InkOf(image, Dark, 0, redFrom).count, 40) << "the unselected run keeps its colour";
}

TEST(FontMetricsCache, EachFontIsMeasuredOncePerResolution) {
    CFontMetricsCache cache;
    QImage device(10, 10, QImage::Format_RGB32);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPointSize(11);
    const SFontMetrics first = cache.Of(mono, device);
    const QFontMetricsF measured(mono, &device);
    EXPECT_FLOAT_EQ(first.advances['M'], static_cast<float>(measured.horizontalAdvance('M')));
    EXPECT_EQ(first.ascent, static_cast<int>(std::ceil(measured.ascent())));
    EXPECT_EQ(first.descent, static_cast<int>(std::ceil(measured.descent())));
    EXPECT_EQ(first.advances['\t'], 0) << "bytes that take no room are not measured";
    EXPECT_EQ(first.advances[0x85], 0);

    QFont same(QStringLiteral("DejaVu Sans Mono"));
    same.setPointSize(11);
    EXPECT_EQ(cache.Of(same, device).advances, first.advances);
    EXPECT_EQ(cache.Measurements(), 1u) << "an equal font is found, not measured";

    QFont bigger = mono;
    bigger.setPointSize(22);
    const SFontMetrics big = cache.Of(bigger, device);
    EXPECT_GT(big.advances['M'], first.advances['M']);
    QImage sharper(10, 10, QImage::Format_RGB32);
    sharper.setDotsPerMeterX(device.dotsPerMeterX() * 2);
    sharper.setDotsPerMeterY(device.dotsPerMeterY() * 2);
    cache.Of(mono, sharper);
    EXPECT_EQ(cache.Measurements(), 3u) << "another size, another resolution: measured";
    EXPECT_EQ(cache.Size(), 3u);

    // Documents of the same formats (every console of a process) share the
    // measures: a second table measures nothing.
    CDisplayDocument a;
    CDisplayDocument b;
    for (CDisplayDocument* d : {&a, &b}) {
        d->ApplyFormat(Format(kRed));
        d->AppendRun("x", 0);
    }
    CLineLayout layoutA(a);
    CLineLayout layoutB(b);
    CFontTable tableA;
    CFontTable tableB;
    tableA.Sync(a, layoutA, mono, device, cache);
    const std::size_t afterFirst = cache.Measurements();
    tableB.Sync(b, layoutB, mono, device, cache);
    EXPECT_EQ(cache.Measurements(), afterFirst);
    EXPECT_EQ(layoutB.FormatCount(), 2u) << "the layout learns each format's advances";
    a.Clear();
    tableA.Sync(a, layoutA, mono, device, cache);
    EXPECT_EQ(tableA.Count(), 1u) << "a cleared document starts the table again";
    EXPECT_EQ(layoutA.FormatCount(), 1u);
}

}  // namespace
}  // namespace quillpad
