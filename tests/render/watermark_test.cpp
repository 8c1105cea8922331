// Both renderers, checked by decoding their PNG output with Qt's reader.
#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "batch/batch_settings.h"
#include "render/image_watermark.h"
#include "render/text_watermark.h"
#include "tests/render/picture_helpers.h"

namespace zx {
namespace {

using test::DecodePng;
using test::EncodeWithQt;
using test::Filled;
using test::Patterned;
namespace bs = batch_settings;

ByteBuffer BatchText(const ByteBuffer& source, const Utf8Text& text,
                     const Utf8Text& face = bs::kFaceName, std::int32_t colour = bs::kColour,
                     std::int32_t alpha = bs::kAlpha, std::int32_t hint = bs::kTextRenderingHint) {
    return RenderTextWatermark(source, face, bs::kEmSize, colour, bs::kStyle, alpha, hint, text,
                               bs::kX, bs::kY);
}

// Pixels that differ between two pictures of one size, as the bounding box of the changes.
QRect ChangedArea(const QImage& a, const QImage& b) {
    QRect area;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) area |= QRect(x, y, 1, 1);
    return area;
}

TEST(TextWatermark, BatchValuesDrawBlackTextFromTheCorner) {
    const QImage white = Filled(800, 600, Qt::white);
    // Ten ideographs of 100 px from x = 100 run far past the right edge.
    const QImage out = DecodePng(BatchText(EncodeWithQt(white), "水印水印水印水印水印"));
    ASSERT_EQ(out.size(), QSize(800, 600));
    const QRect changed = ChangedArea(out, white.convertToFormat(QImage::Format_ARGB32));
    ASSERT_TRUE(changed.isValid());
    // Glyphs begin at the layout corner and are about an em high.
    EXPECT_GE(changed.left(), 95);
    EXPECT_LE(changed.left(), 120);
    EXPECT_GE(changed.top(), 100);
    EXPECT_LE(changed.top(), 140);
    EXPECT_GE(changed.height(), 60);
    // Cut at the right edge, not wrapped onto a second line.
    EXPECT_GE(changed.right(), 760);
    EXPECT_LE(changed.bottom(), 230);
    int dark = 0;
    for (int y = changed.top(); y <= changed.bottom(); ++y)
        for (int x = changed.left(); x <= changed.right(); ++x) {
            const QRgb p = out.pixel(x, y);
            EXPECT_EQ(qAlpha(p), 255);
            if (qRed(p) < 40 && qGreen(p) < 40 && qBlue(p) < 40) ++dark;
        }
    EXPECT_GT(dark, 2000);
}

TEST(TextWatermark, SourceComesThroughUnchangedAroundTheText) {
    const QImage source = Patterned(300, 260, /*withAlpha=*/true);
    const QImage out = DecodePng(BatchText(EncodeWithQt(source), "Zx"));
    ASSERT_EQ(out.size(), source.size());
    const QRect changed = ChangedArea(out, source);
    ASSERT_TRUE(changed.isValid());
    EXPECT_GE(changed.top(), 100);
    EXPECT_GE(changed.left(), 95);
    // Transparent and half-transparent source pixels keep their exact values outside the text.
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < source.width(); ++x) ASSERT_EQ(out.pixel(x, y), source.pixel(x, y));
}

TEST(TextWatermark, NothingIsDrawnWhenTheTextCannotShow) {
    struct Case {
        const char* what;
        QSize size;
        Utf8Text face, text;
        std::int32_t alpha;
    };
    const Case cases[] = {
        {"unknown face", {400, 300}, "No Such Face 12345", "水印", 255},
        {"empty text", {400, 300}, bs::kFaceName, "", 255},
        {"alpha 256 is transparent", {400, 300}, bs::kFaceName, "水印", 256},
        {"picture 100 wide", {100, 300}, bs::kFaceName, "水印", 255},
        {"picture 100 high", {300, 100}, bs::kFaceName, "水印", 255},
    };
    for (const Case& c : cases) {
        const QImage source = Patterned(c.size.width(), c.size.height());
        const ByteBuffer png = BatchText(EncodeWithQt(source), c.text, c.face, 0, c.alpha);
        const QImage out = DecodePng(png);
        EXPECT_EQ(out, source.convertToFormat(QImage::Format_ARGB32)) << c.what;
    }
}

TEST(TextWatermark, ColourIsRedGreenBlueFromTheLowByte) {
    const QImage white = Filled(500, 300, Qt::white);
    const ByteBuffer png = BatchText(EncodeWithQt(white), "水", bs::kFaceName, 255);
    const QImage out = DecodePng(png);
    int red = 0, other = 0;
    for (int y = 100; y < 220; ++y)
        for (int x = 100; x < 220; ++x) {
            const QRgb p = out.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60) ++red;
            if (qBlue(p) > 200 && qRed(p) < 60) ++other;
        }
    EXPECT_GT(red, 500);
    EXPECT_EQ(other, 0);
}

TEST(TextWatermark, HintMinusOneStillDrawsText) {
    const QImage white = Filled(400, 300, Qt::white);
    const QImage out = DecodePng(BatchText(EncodeWithQt(white), "水", bs::kFaceName, 0, 255, -1));
    EXPECT_TRUE(ChangedArea(out, white.convertToFormat(QImage::Format_ARGB32)).isValid());
}

TEST(TextWatermark, UndecodableSourceGivesNothing) {
    EXPECT_TRUE(BatchText({}, "水印").empty());
    EXPECT_TRUE(BatchText(ByteBuffer(100, 0x42), "水印").empty());
}

// A watermark of four solid quadrants, so turns and mirrors are visible after scaling.
QImage Quadrants(int width, int height) {
    QImage mark(width, height, QImage::Format_ARGB32);
    QPainter painter(&mark);
    painter.fillRect(0, 0, width / 2, height / 2, QColor(255, 0, 0));
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, QColor(0, 255, 0));
    painter.fillRect(0, height / 2, width / 2, height - height / 2, QColor(0, 0, 255));
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2,
                     QColor(255, 255, 0));
    return mark;
}

TEST(ImageWatermark, BatchValuesDrawThirtyPercentAtTheCorner) {
    const QImage source = Filled(1000, 800, Qt::white);
    const ByteBuffer png =
        RenderImageWatermark(EncodeWithQt(source), EncodeWithQt(Quadrants(200, 100)), bs::kMode,
                             bs::kX, bs::kY, bs::kScalePercent, bs::kRepetitions, bs::kRotateFlip);
    const QImage out = DecodePng(png);
    ASSERT_EQ(out.size(), QSize(1000, 800));
    EXPECT_EQ(ChangedArea(out, source.convertToFormat(QImage::Format_ARGB32)),
              QRect(100, 100, 60, 30));
    EXPECT_EQ(out.pixel(110, 105), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(150, 125), qRgb(255, 255, 0));
}

TEST(ImageWatermark, ScaleAndRotateFlipTable) {
    // Which colour each quadrant of the drawn watermark shows: top-left, top-right,
    // bottom-left, bottom-right.
    const QRgb R = qRgb(255, 0, 0), G = qRgb(0, 255, 0), B = qRgb(0, 0, 255), Y = qRgb(255, 255, 0);
    struct Case {
        std::int32_t scale, rotateFlip;
        QSize drawn;
        QRgb tl, tr, bl, br;
    };
    const Case cases[] = {
        {100, 0, {200, 100}, R, G, B, Y}, {150, 0, {200, 100}, R, G, B, Y},
        {33, 0, {66, 33}, R, G, B, Y},    {50, 1, {50, 100}, B, R, Y, G},
        {50, 2, {100, 50}, Y, B, G, R},   {50, 3, {50, 100}, G, Y, R, B},
        {50, 4, {100, 50}, G, R, Y, B},   {50, 5, {50, 100}, R, B, G, Y},
        {50, 6, {100, 50}, B, Y, R, G},   {50, 7, {50, 100}, Y, G, B, R},
    };
    const QImage source = Filled(600, 400, Qt::white);
    const ByteBuffer sourcePng = EncodeWithQt(source), markPng = EncodeWithQt(Quadrants(200, 100));
    for (const Case& c : cases) {
        const QImage out = DecodePng(
            RenderImageWatermark(sourcePng, markPng, 0, 10, 20, c.scale, 1, c.rotateFlip));
        const QRect area = ChangedArea(out, source.convertToFormat(QImage::Format_ARGB32));
        EXPECT_EQ(area, QRect(QPoint(10, 20), c.drawn))
            << "scale " << c.scale << " type " << c.rotateFlip;
        const int w = c.drawn.width(), h = c.drawn.height();
        EXPECT_EQ(out.pixel(10 + w / 4, 20 + h / 4), c.tl) << c.rotateFlip;
        EXPECT_EQ(out.pixel(10 + 3 * w / 4, 20 + h / 4), c.tr) << c.rotateFlip;
        EXPECT_EQ(out.pixel(10 + w / 4, 20 + 3 * h / 4), c.bl) << c.rotateFlip;
        EXPECT_EQ(out.pixel(10 + 3 * w / 4, 20 + 3 * h / 4), c.br) << c.rotateFlip;
    }
}

TEST(ImageWatermark, ShrinkingAveragesInsteadOfPickingPixels) {
    // Stripes of black and white one pixel wide: any pick of single pixels gives black or
    // white, an average gives grey.
    QImage stripes(100, 100, QImage::Format_ARGB32);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage out = DecodePng(RenderImageWatermark(EncodeWithQt(Filled(300, 300, Qt::red)),
                                                      EncodeWithQt(stripes), 0, 0, 0, 25, 1, 0));
    const QRgb p = out.pixel(12, 12);
    EXPECT_GT(qRed(p), 80);
    EXPECT_LT(qRed(p), 175);
    EXPECT_EQ(qRed(p), qGreen(p));
}

TEST(ImageWatermark, CentreModeCutsALargeWatermarkAtEveryEdge) {
    const QImage source = Filled(100, 80, Qt::white);
    const QImage out =
        DecodePng(RenderImageWatermark(EncodeWithQt(source), EncodeWithQt(Quadrants(300, 200)), 9));
    // Corner (-100, -60): the four quadrants meet at (50, 40), all edges covered.
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(99, 0), qRgb(0, 255, 0));
    EXPECT_EQ(out.pixel(0, 79), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(99, 79), qRgb(255, 255, 0));
}

// How many copies a quarter-opaque black watermark left, summed over the nine anchors: each
// copy lets three quarters of what was there show through.
int CopiesDrawn(std::int32_t mode, std::int32_t repetitions) {
    const QImage source = Filled(300, 300, Qt::white);
    const QImage mark = Filled(30, 30, QColor(0, 0, 0, 64), QImage::Format_ARGB32);
    const QImage out = DecodePng(RenderImageWatermark(EncodeWithQt(source), EncodeWithQt(mark),
                                                      mode, 0, 0, 100, repetitions, 0));
    int copies = 0;
    for (PlacementMode anchor = 1; anchor <= 9; ++anchor) {
        std::int32_t x = 0, y = 0;
        ComputePlacement(anchor, 300, 300, 30, 30, 0, 0, x, y);
        const int level = qRed(out.pixel(x + 15, y + 15));
        int nearest = 0;
        for (int k = 1; k <= 9; ++k)
            if (std::abs(level - 255 * std::pow(191.0 / 255, k)) <
                std::abs(level - 255 * std::pow(191.0 / 255, nearest)))
                nearest = k;
        copies += nearest;
    }
    return copies;
}

TEST(ImageWatermark, RandomModeDrawsOneCopyPerRepetitionUpToNine) {
    const struct {
        std::int32_t mode, repetitions, copies;
    } cases[] = {{10, 0, 1}, {10, 1, 1},   {10, 3, 3},  {10, 5, 5},
                 {10, 9, 9}, {10, 100, 9}, {10, -5, 1}, {2, 5, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(CopiesDrawn(c.mode, c.repetitions), c.copies)
            << "mode " << c.mode << " repetitions " << c.repetitions;
}

TEST(ImageWatermark, AlphaOfTheSourceIsKept) {
    const QImage source = Patterned(200, 200, /*withAlpha=*/true);
    const QImage out = DecodePng(
        RenderImageWatermark(EncodeWithQt(source), EncodeWithQt(Quadrants(100, 100)), 0, 150, 150));
    ASSERT_EQ(out.size(), source.size());
    EXPECT_EQ(ChangedArea(out, source), QRect(150, 150, 50, 50));

    const QImage opaque = DecodePng(RenderImageWatermark(EncodeWithQt(Patterned(120, 90)),
                                                         EncodeWithQt(Quadrants(10, 10)), 0, 5, 5));
    for (int y = 0; y < opaque.height(); ++y)
        for (int x = 0; x < opaque.width(); ++x) ASSERT_EQ(qAlpha(opaque.pixel(x, y)), 255);
}

TEST(ImageWatermark, BadInputs) {
    const ByteBuffer source = EncodeWithQt(Patterned(64, 48));
    EXPECT_TRUE(RenderImageWatermark({}, source, 0).empty());
    EXPECT_TRUE(RenderImageWatermark(ByteBuffer(50, 7), source, 0).empty());
    // A watermark that is no picture, or scaled to nothing, leaves the source alone.
    const QImage expected = Patterned(64, 48).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(DecodePng(RenderImageWatermark(source, ByteBuffer(50, 7), 0, 1, 1)), expected);
    EXPECT_EQ(DecodePng(RenderImageWatermark(source, {}, 0, 1, 1)), expected);
    EXPECT_EQ(DecodePng(RenderImageWatermark(source, source, 0, 1, 1, 0)), expected);
    EXPECT_EQ(DecodePng(RenderImageWatermark(source, source, 0, 1, 1, -20)), expected);
}

}  // namespace
}  // namespace zx
