// Font families by name with our substitution table, fonts, and text drawn on a canvas.

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QString>

#include "test_support.h"

namespace zx::test {
namespace {

using Text = SessionTest;

QString FamilyName(GpFontFamily* family) {
    char16_t name[32] = {};
    if (GdipGetFamilyName(family, name, 0) != Ok) return {};
    return QString::fromUtf16(name);
}

TEST_F(Text, FamiliesResolveByNameOrSubstitute) {
    struct Case {
        const char16_t* name;
        GpStatus status;
        const char* family;  // as installed
    };
    const Case cases[] = {
        {u"宋体", Ok, "Noto Serif CJK SC"},
        {u"SimSun", Ok, "Noto Serif CJK SC"},
        {u"simsun", Ok, "Noto Serif CJK SC"},
        {u"Noto Sans CJK SC", Ok, "Noto Sans CJK SC"},
        {u"noto sans cjk sc", Ok, "Noto Sans CJK SC"},
        {u"No Such Face 4711", FontFamilyNotFound, ""},
        {u"宋体x", FontFamilyNotFound, ""},
        {u"", FontFamilyNotFound, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.name).toStdString());
        GpFontFamily* family = reinterpret_cast<GpFontFamily*>(0x1);
        EXPECT_EQ(GdipCreateFontFamilyFromName(c.name, nullptr, &family), c.status);
        if (c.status == Ok) {
            EXPECT_EQ(FamilyName(family).section(" [", 0, 0).toStdString(), c.family);
        } else {
            EXPECT_EQ(family, nullptr);
        }
        GdipDeleteFontFamily(family);
    }
}

TEST_F(Text, FontArgumentsAreChecked) {
    GpFontFamily* family = nullptr;
    ASSERT_EQ(GdipCreateFontFamilyFromName(u"Noto Sans CJK SC", nullptr, &family), Ok);
    struct Case {
        float size;
        std::int32_t style, unit;
        GpStatus status;
    };
    const Case cases[] = {
        {100, FontStyleRegular, UnitPixel, Ok},
        {12.5f, FontStyleBold | FontStyleItalic | FontStyleUnderline | FontStyleStrikeout,
         UnitPixel, Ok},
        {0, 0, UnitPixel, InvalidParameter},
        {-5, 0, UnitPixel, InvalidParameter},
        {std::numeric_limits<float>::quiet_NaN(), 0, UnitPixel, InvalidParameter},
        {10, 16, UnitPixel, InvalidParameter},
        {10, 0, 3, InvalidParameter},  // points: not what the renderers use
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " " << c.style << " " << c.unit);
        GpFont* font = reinterpret_cast<GpFont*>(0x1);
        EXPECT_EQ(GdipCreateFont(family, c.size, c.style, c.unit, &font), c.status);
        EXPECT_EQ(font != nullptr, c.status == Ok);
        GdipDeleteFont(font);
    }
    GdipDeleteFontFamily(family);
}

// A canvas of one colour (or blank), with text drawn on it.
struct TextCanvas {
    GpBitmap* bitmap = nullptr;
    GpGraphics* graphics = nullptr;
    TextCanvas(int w, int h, bool white) {
        GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap);
        GdipGetImageGraphicsContext(bitmap, &graphics);
        if (!white) return;
        QImage fill(w, h, QImage::Format_RGB32);
        fill.fill(qRgb(255, 255, 255));
        Decoded d = Decode(WriteWithQt(fill, "png"));
        GdipDrawImageRectRect(graphics, d.image, 0, 0, static_cast<float>(w), static_cast<float>(h),
                              0, 0, static_cast<float>(w), static_cast<float>(h), UnitPixel,
                              nullptr, nullptr, nullptr);
        GdipDisposeImage(d.image);
    }
    ~TextCanvas() {
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(bitmap);
    }
    GpStatus Draw(const char16_t* text, float x, float y, float size = 40, std::int32_t style = 0,
                  std::uint32_t argb = 0xFF000000u, std::int32_t length = -1,
                  const char16_t* face = u"Noto Sans CJK SC") {
        GpFontFamily* family = nullptr;
        GdipCreateFontFamilyFromName(face, nullptr, &family);
        GpFont* font = nullptr;
        GdipCreateFont(family, size, style, UnitPixel, &font);
        GdipDeleteFontFamily(family);  // the font stays usable without it
        GpBrush* brush = nullptr;
        GdipCreateSolidFill(argb, &brush);
        const RectF box{x, y, 0, 0};
        const GpStatus status = GdipDrawString(graphics, text, length, font, &box, nullptr, brush);
        GdipDeleteBrush(brush);
        GdipDeleteFont(font);
        return status;
    }
    QImage Pixels() const { return PixelsOf(bitmap); }
};

// Pixels darker than mid-grey, and the box around them.
struct Ink {
    int count = 0;
    QRect box;
};
Ink InkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0 && qGray(image.pixel(x, y)) < 128) {
                ++ink.count;
                ink.box |= QRect(x, y, 1, 1);
            }
    return ink;
}

TEST_F(Text, TextIsDrawnFromTheBoxCorner) {
    TextCanvas canvas(400, 120, true);
    ASSERT_EQ(canvas.Draw(u"水印 Zandolex", 20, 30), Ok);
    const QImage out = canvas.Pixels();
    const Ink ink = InkOf(out);
    EXPECT_GT(ink.count, 300);
    EXPECT_GE(ink.box.left(), 18);
    EXPECT_GE(ink.box.top(), 30);
    EXPECT_LE(ink.box.bottom(), 30 + 60);
    // Untouched pixels stay exactly white.
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 400; ++x)
            if (x < 15 || y < 28 || y > 95) {
                ASSERT_EQ(out.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
            }
}

TEST_F(Text, BaselineIsTheAscentBelowTheBoxTop) {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(40);
    const qreal ascent = QFontMetricsF(font).ascent();
    TextCanvas canvas(200, 120, true);
    ASSERT_EQ(canvas.Draw(u"HHH", 10, 20), Ok);
    const Ink ink = InkOf(canvas.Pixels());
    // "H" sits on the baseline.
    EXPECT_NEAR(ink.box.bottom() + 1, 20 + ascent, 1.5);
}

TEST_F(Text, LongTextRunsOnWithoutWrapping) {
    TextCanvas canvas(300, 100, true);
    ASSERT_EQ(canvas.Draw(u"Zandolex Zandolex Zandolex Zandolex", 10, 10), Ok);
    const Ink ink = InkOf(canvas.Pixels());
    EXPECT_GE(ink.box.right(), 290);  // cut at the edge ...
    EXPECT_LE(ink.box.bottom(), 70);  // ... and never a second line
}

TEST_F(Text, RenderingHints) {
    struct Case {
        std::int32_t hint;
        bool smooth;
    };
    const Case cases[] = {{0, true}, {1, false}, {2, false}, {3, true}, {4, true}, {5, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hint " << c.hint);
        TextCanvas canvas(300, 80, true);
        ASSERT_EQ(GdipSetTextRenderingHint(canvas.graphics, c.hint), Ok);
        ASSERT_EQ(canvas.Draw(u"水印 Zx", 5, 5), Ok);
        const QImage out = canvas.Pixels();
        int greys = 0;
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) {
                const int g = qGray(out.pixel(x, y));
                if (g != 0 && g != 255) ++greys;
            }
        EXPECT_EQ(greys > 0, c.smooth) << greys;
        EXPECT_GT(InkOf(out).count, 100);
    }
    TextCanvas canvas(10, 10, false);
    EXPECT_EQ(GdipSetTextRenderingHint(canvas.graphics, 6), InvalidParameter);
    EXPECT_EQ(GdipSetTextRenderingHint(canvas.graphics, -1), InvalidParameter);
}

TEST_F(Text, BrushColourAndAlpha) {
    TextCanvas red(200, 80, true);
    ASSERT_EQ(red.Draw(u"水水", 5, 5, 50, 0, 0xFFFF0000u), Ok);
    const QImage out = red.Pixels();
    int reddest = 255;  // the lowest green where the text is
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x)
            if (qRed(out.pixel(x, y)) == 255) reddest = std::min(reddest, qGreen(out.pixel(x, y)));
    EXPECT_LE(reddest, 5);

    TextCanvas half(200, 80, true);
    ASSERT_EQ(half.Draw(u"水水", 5, 5, 50, 0, 0x80000000u), Ok);
    int darkest = 255;
    const QImage halfOut = half.Pixels();
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x) darkest = std::min(darkest, qGray(halfOut.pixel(x, y)));
    EXPECT_NEAR(darkest, 127, 2);

    // A fully transparent brush draws nothing.
    TextCanvas none(200, 80, true);
    ASSERT_EQ(none.Draw(u"水水", 5, 5, 50, 0, 0x00000000u), Ok);
    EXPECT_EQ(InkOf(none.Pixels()).count, 0);
}

TEST_F(Text, StylesChangeTheInk) {
    const auto inkFor = [](std::int32_t style) {
        TextCanvas canvas(400, 100, true);
        EXPECT_EQ(canvas.Draw(u"Zandolex", 5, 5, 50, style), Ok);
        return InkOf(canvas.Pixels());
    };
    const Ink regular = inkFor(FontStyleRegular);
    EXPECT_GT(inkFor(FontStyleBold).count, regular.count * 11 / 10);
    EXPECT_GT(inkFor(FontStyleUnderline).count, regular.count + 150);
    EXPECT_GT(inkFor(FontStyleStrikeout).count, regular.count + 150);
    EXPECT_GT(inkFor(FontStyleUnderline).box.bottom(), regular.box.bottom());
    // Slanted: the same amount of ink in another place.
    const Ink italic = inkFor(FontStyleItalic);
    EXPECT_NE(italic.box, regular.box);
}

TEST_F(Text, LengthAndEmptyText) {
    TextCanvas one(200, 80, true), whole(200, 80, true), first(200, 80, true);
    ASSERT_EQ(one.Draw(u"HI", 5, 5, 40, 0, 0xFF000000u, 1), Ok);
    ASSERT_EQ(first.Draw(u"H", 5, 5), Ok);
    ASSERT_EQ(whole.Draw(u"HI", 5, 5), Ok);
    EXPECT_EQ(one.Pixels(), first.Pixels());
    EXPECT_NE(whole.Pixels(), first.Pixels());

    TextCanvas empty(50, 50, true);
    ASSERT_EQ(empty.Draw(u"", 5, 5), Ok);
    EXPECT_EQ(InkOf(empty.Pixels()).count, 0);
    EXPECT_EQ(empty.Draw(u"x", 5, 5, 40, 0, 0xFF000000u, -2), InvalidParameter);
}

TEST_F(Text, TextOnATransparentCanvasIsOnlyWhereItIs) {
    TextCanvas canvas(200, 80, false);
    ASSERT_EQ(canvas.Draw(u"水印", 10, 10, 40), Ok);
    const QImage out = canvas.Pixels();
    int opaque = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x) {
            const QRgb p = out.pixel(x, y);
            if (qAlpha(p) == 255) ++opaque;
            if (x < 8 || y < 10 || x > 100) {
                EXPECT_EQ(p, 0u) << x << "," << y;
            }
            if (qAlpha(p) > 0) {
                EXPECT_EQ(p & 0xFFFFFFu, 0u);  // black, straight alpha
            }
        }
    EXPECT_GT(opaque, 100);
}

TEST_F(Text, TextOutsideTheCanvasDrawsNothing) {
    for (const RectF& where : {RectF{500, 10, 0, 0}, RectF{10, 500, 0, 0}, RectF{-900, 10, 0, 0}}) {
        TextCanvas canvas(100, 100, true);
        ASSERT_EQ(canvas.Draw(u"水印", where.X, where.Y), Ok);
        EXPECT_EQ(InkOf(canvas.Pixels()).count, 0);
    }
}

TEST_F(Text, FractionalSizesAndTheSubstitutedFaceDraw) {
    TextCanvas small(300, 80, true), large(300, 80, true);
    ASSERT_EQ(small.Draw(u"水印 Zx", 5, 5, 30.0f, 0, 0xFF000000u, -1, u"宋体"), Ok);
    ASSERT_EQ(large.Draw(u"水印 Zx", 5, 5, 30.5f, 0, 0xFF000000u, -1, u"宋体"), Ok);
    EXPECT_GT(InkOf(small.Pixels()).count, 100);
    EXPECT_NE(small.Pixels(), large.Pixels());
}

}  // namespace
}  // namespace zx::test
