// Drawing pictures on a canvas, turning them, and using separate handles on several threads.

#include <QImage>

#include <thread>
#include <vector>

#include "test_support.h"

namespace zx::test {
namespace {

using Drawing = SessionTest;

struct Canvas {
    GpBitmap* bitmap = nullptr;
    GpGraphics* graphics = nullptr;
    Canvas(int w, int h) {
        GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap);
        GdipGetImageGraphicsContext(bitmap, &graphics);
    }
    ~Canvas() {
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(bitmap);
    }
    GpStatus Draw(GpImage* image, float x, float y, float w, float h, float sx, float sy, float sw,
                  float sh) {
        return GdipDrawImageRectRect(graphics, image, x, y, w, h, sx, sy, sw, sh, UnitPixel,
                                     nullptr, nullptr, nullptr);
    }
    GpStatus DrawWhole(GpImage* image, float x, float y, float w, float h) {
        return Draw(image, x, y, w, h, 0, 0, static_cast<float>(Width(image)),
                    static_cast<float>(Height(image)));
    }
};

GpBitmap* DecodeQImage(const QImage& image) {
    Decoded d = Decode(WriteWithQt(image, "png"));
    EXPECT_EQ(d.status, Ok);
    return d.image;
}

// Straight alpha with semi-transparent pixels of every colour: premultiplying and back
// would change many of them.
QImage StraightAlphaPicture(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           qRgba((x * 37 + y) & 255, (y * 59 + x * 3) & 255, (x * y * 7 + 11) & 255,
                                 1 + ((x * 3 + y * 5) % 254)));
    return image;
}

TEST_F(Drawing, SourceComesThroughBitExact) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "straight alpha" : "opaque");
        const QImage picture = alpha ? StraightAlphaPicture(31, 17) : Gradient(31, 17, false);
        GpBitmap* source = DecodeQImage(picture);
        Canvas canvas(31, 17);
        ASSERT_EQ(canvas.DrawWhole(source, 0, 0, 31, 17), Ok);
        GdipDisposeImage(source);
        EXPECT_EQ(PixelsOf(canvas.bitmap), picture.convertToFormat(QImage::Format_ARGB32));
    }
}

TEST_F(Drawing, FastPathGivesThePlainPathsPixels) {
    // Whole source onto a blank canvas of its size shares the pixels; drawing it in two
    // parts goes the plain way. Both must give the same picture, and a watermark drawn after
    // must change the canvas only, never the source.
    const QImage picture = StraightAlphaPicture(40, 22);
    const QImage mark = Gradient(9, 7, true);
    GpBitmap* source = DecodeQImage(picture);
    GpBitmap* watermark = DecodeQImage(mark);
    Canvas fast(40, 22), plain(40, 22);
    ASSERT_EQ(fast.DrawWhole(source, 0, 0, 40, 22), Ok);
    ASSERT_EQ(plain.Draw(source, 0, 0, 40, 10, 0, 0, 40, 10), Ok);
    ASSERT_EQ(plain.Draw(source, 0, 10, 40, 12, 0, 10, 40, 12), Ok);
    EXPECT_EQ(PixelsOf(fast.bitmap), PixelsOf(plain.bitmap));
    ASSERT_EQ(fast.DrawWhole(watermark, 5, 6, 9, 7), Ok);
    ASSERT_EQ(plain.DrawWhole(watermark, 5, 6, 9, 7), Ok);
    EXPECT_EQ(PixelsOf(fast.bitmap), PixelsOf(plain.bitmap));
    EXPECT_EQ(PixelsOf(source), picture);  // the shared source did not change
    EXPECT_NE(PixelsOf(fast.bitmap), picture);
    GdipDisposeImage(source);
    GdipDisposeImage(watermark);
}

TEST_F(Drawing, WatermarkChangesOnlyWhatItCovers) {
    const QImage picture = StraightAlphaPicture(30, 20);
    QImage mark(4, 3, QImage::Format_ARGB32);
    mark.fill(qRgba(255, 255, 255, 255));
    mark.setPixel(1, 1, qRgba(0, 0, 0, 0));  // a hole: the source shows through unchanged
    GpBitmap* source = DecodeQImage(picture);
    GpBitmap* watermark = DecodeQImage(mark);
    Canvas canvas(30, 20);
    ASSERT_EQ(canvas.DrawWhole(source, 0, 0, 30, 20), Ok);
    ASSERT_EQ(canvas.DrawWhole(watermark, 10, 5, 4, 3), Ok);
    const QImage out = PixelsOf(canvas.bitmap);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            const bool covered = x >= 10 && x < 14 && y >= 5 && y < 8 && !(x == 11 && y == 6);
            EXPECT_EQ(out.pixel(x, y), covered ? qRgba(255, 255, 255, 255) : picture.pixel(x, y))
                << x << "," << y;
        }
    }
    GdipDisposeImage(source);
    GdipDisposeImage(watermark);
}

TEST_F(Drawing, BlendingFollowsSourceOver) {
    struct Case {
        const char* name;
        QRgb below, above, expected;
    };
    const Case cases[] = {
        {"half black over white", qRgb(255, 255, 255), qRgba(0, 0, 0, 128), qRgb(127, 127, 127)},
        {"opaque replaces", qRgba(10, 20, 30, 40), qRgb(200, 100, 50), qRgb(200, 100, 50)},
        {"transparent keeps", qRgba(10, 20, 30, 40), qRgba(200, 100, 50, 0), qRgba(10, 20, 30, 40)},
        {"over transparent gives the source", qRgba(0, 0, 0, 0), qRgba(200, 100, 50, 77),
         qRgba(200, 100, 50, 77)},
        {"half red over half blue", qRgba(0, 0, 255, 128), qRgba(255, 0, 0, 128),
         qRgba(170, 0, 85, 192)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage below(1, 1, QImage::Format_ARGB32), above(1, 1, QImage::Format_ARGB32);
        below.setPixel(0, 0, c.below);
        above.setPixel(0, 0, c.above);
        GpBitmap* b = DecodeQImage(below);
        GpBitmap* a = DecodeQImage(above);
        Canvas canvas(1, 1);
        ASSERT_EQ(canvas.DrawWhole(b, 0, 0, 1, 1), Ok);
        ASSERT_EQ(canvas.DrawWhole(a, 0, 0, 1, 1), Ok);
        const QRgb got = PixelsOf(canvas.bitmap).pixel(0, 0);
        EXPECT_NEAR(qRed(got), qRed(c.expected), 1);
        EXPECT_NEAR(qGreen(got), qGreen(c.expected), 1);
        EXPECT_NEAR(qBlue(got), qBlue(c.expected), 1);
        EXPECT_NEAR(qAlpha(got), qAlpha(c.expected), 1);
        GdipDisposeImage(b);
        GdipDisposeImage(a);
    }
}

TEST_F(Drawing, ShrinkingAveragesPixels) {
    QImage pair(2, 1, QImage::Format_RGB32);
    pair.setPixel(0, 0, qRgb(0, 0, 0));
    pair.setPixel(1, 0, qRgb(255, 255, 255));
    GpBitmap* source = DecodeQImage(pair);
    Canvas canvas(1, 1);
    ASSERT_EQ(canvas.DrawWhole(source, 0, 0, 1, 1), Ok);
    const QRgb got = PixelsOf(canvas.bitmap).pixel(0, 0);
    EXPECT_NEAR(qRed(got), 128, 2);  // grey: neither neighbour alone
    EXPECT_NEAR(qGreen(got), 128, 2);
    EXPECT_EQ(qAlpha(got), 255);

    // A 1-pixel checkerboard shrunk to a third is an even grey everywhere.
    QImage checker(300, 90, QImage::Format_RGB32);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 300; ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    GpBitmap* big = DecodeQImage(checker);
    Canvas small(100, 30);
    ASSERT_EQ(small.DrawWhole(big, 0, 0, 100, 30), Ok);
    const QImage out = PixelsOf(small.bitmap);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_NEAR(qRed(out.pixel(x, y)), 128, 30) << x << "," << y;
    GdipDisposeImage(source);
    GdipDisposeImage(big);
}

TEST_F(Drawing, PartsOutsideTheCanvasAreCutOff) {
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    GpBitmap* mark = DecodeQImage(red);
    struct Case {
        float x, y;
        QRect visible;  // on a 20 x 20 canvas
    };
    const Case cases[] = {
        {-5, -5, {0, 0, 5, 5}}, {15, 15, {15, 15, 5, 5}}, {-10, 0, {}}, {20, 3, {}},
        {5, -8, {5, 0, 10, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        Canvas canvas(20, 20);
        EXPECT_EQ(canvas.DrawWhole(mark, c.x, c.y, 10, 10), Ok);
        const QImage out = PixelsOf(canvas.bitmap);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(out.pixel(x, y), c.visible.contains(x, y) ? qRgb(255, 0, 0) : 0u)
                    << x << "," << y;
    }
    // Zero or negative sizes draw nothing.
    Canvas canvas(20, 20);
    EXPECT_EQ(canvas.DrawWhole(mark, 0, 0, 0, 0), Ok);
    EXPECT_EQ(canvas.DrawWhole(mark, 0, 0, -4, 5), Ok);
    EXPECT_EQ(PixelsOf(canvas.bitmap).pixel(0, 0), 0u);
    // Only pixel units; no attributes or callbacks.
    EXPECT_EQ(GdipDrawImageRectRect(canvas.graphics, mark, 0, 0, 5, 5, 0, 0, 5, 5, 3, nullptr,
                                    nullptr, nullptr),
              InvalidParameter);
    int attributes = 0;
    EXPECT_EQ(GdipDrawImageRectRect(canvas.graphics, mark, 0, 0, 5, 5, 0, 0, 5, 5, UnitPixel,
                                    &attributes, nullptr, nullptr),
              NotImplemented);
    EXPECT_EQ(PixelsOf(canvas.bitmap).pixel(0, 0), 0u);
    GdipDisposeImage(mark);
}

// 3 x 2 with distinct pixels a b c / d e f.
QImage SixPixels() {
    QImage image(3, 2, QImage::Format_ARGB32);
    const QRgb values[6] = {qRgba(1, 0, 0, 255), qRgba(2, 0, 0, 200), qRgba(3, 0, 0, 100),
                            qRgba(4, 0, 0, 50),  qRgba(5, 0, 0, 255), qRgba(6, 0, 0, 1)};
    for (int i = 0; i < 6; ++i) image.setPixel(i % 3, i / 3, values[i]);
    return image;
}

TEST_F(Drawing, RotateFlipTypes) {
    // Rows of the result, as letters of the source  a b c / d e f.
    struct Case {
        int type;
        int w, h;
        const char* rows;
    };
    const Case cases[] = {
        {0, 3, 2, "abc/def"},  {1, 2, 3, "da/eb/fc"},  // a quarter clockwise
        {2, 3, 2, "fed/cba"},  {3, 2, 3, "cf/be/ad"},  // three quarters clockwise
        {4, 3, 2, "cba/fed"},                          // mirrored left-right
        {5, 2, 3, "ad/be/cf"},                         // a quarter clockwise, then mirrored
        {6, 3, 2, "def/abc"},                          // upside down
        {7, 2, 3, "fc/eb/da"},                         // three quarters clockwise, then mirrored
    };
    const QImage source = SixPixels();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        GpBitmap* image = DecodeQImage(source);
        ASSERT_EQ(GdipImageRotateFlip(image, c.type), Ok);
        EXPECT_EQ(Width(image), static_cast<std::uint32_t>(c.w));
        EXPECT_EQ(Height(image), static_cast<std::uint32_t>(c.h));
        const QImage out = PixelsOf(image);
        ASSERT_EQ(out.size(), QSize(c.w, c.h));
        int x = 0, y = 0;
        for (const char* p = c.rows; *p != 0; ++p) {
            if (*p == '/') {
                ++y;
                x = 0;
                continue;
            }
            const int index = *p - 'a';
            EXPECT_EQ(out.pixel(x, y), source.pixel(index % 3, index / 3)) << x << "," << y;
            ++x;
        }
        GdipDisposeImage(image);
    }
    for (int bad : {-1, 8, 100}) {
        GpBitmap* image = DecodeQImage(source);
        EXPECT_EQ(GdipImageRotateFlip(image, bad), InvalidParameter);
        EXPECT_EQ(PixelsOf(image), source);
        GdipDisposeImage(image);
    }
}

TEST_F(Drawing, BlankCanvasTurnsAndEncodesTransparent) {
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(5, 2, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    ASSERT_EQ(GdipImageRotateFlip(canvas, 3), Ok);
    EXPECT_EQ(Width(canvas), 2u);
    EXPECT_EQ(Height(canvas), 5u);
    const QImage out = PixelsOf(canvas);
    ASSERT_EQ(out.size(), QSize(2, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(out.pixel(x, y), 0u);
    GdipDisposeImage(canvas);
}

TEST_F(Drawing, SeparateHandlesOnSeveralThreads) {
    // The same job on four threads at once gives each the result it gets alone.
    const QImage picture = StraightAlphaPicture(300, 200);
    const QImage mark = Gradient(50, 40, true);
    const ByteBuffer pictureBytes = WriteWithQt(picture, "png");
    const ByteBuffer markBytes = WriteWithQt(mark, "png");
    const auto job = [&](int turn) {
        GpBitmap* source = Decode(pictureBytes).image;
        GpBitmap* watermark = Decode(markBytes).image;
        GdipImageRotateFlip(watermark, turn);
        ByteBuffer result;
        {
            Canvas canvas(300, 200);
            canvas.DrawWhole(source, 0, 0, 300, 200);
            canvas.DrawWhole(watermark, 10.0f * turn, 20, 25, 20);
            GpFontFamily* family = nullptr;
            GdipCreateFontFamilyFromName(u"宋体", nullptr, &family);
            GpFont* font = nullptr;
            GdipCreateFont(family, 30.0f + turn, 0, UnitPixel, &font);
            GdipDeleteFontFamily(family);
            GpBrush* brush = nullptr;
            GdipCreateSolidFill(0xC0102030u, &brush);
            const RectF box{5, 100, 0, 0};
            GdipDrawString(canvas.graphics, u"水印 Zandolex", -1, font, &box, nullptr, brush);
            GdipDeleteBrush(brush);
            GdipDeleteFont(font);
            result = EncodePng(canvas.bitmap);
        }
        GdipDisposeImage(source);
        GdipDisposeImage(watermark);
        return result;
    };
    std::vector<ByteBuffer> alone;
    for (int t = 0; t < 4; ++t) alone.push_back(job(t));
    std::vector<ByteBuffer> together(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) together[t] = job(t);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_NE(alone[0], alone[1]);
    for (int t = 0; t < 4; ++t) {
        ASSERT_FALSE(alone[t].empty());
        EXPECT_EQ(together[t], alone[t]) << "thread " << t;
    }
}

}  // namespace
}  // namespace zx::test
