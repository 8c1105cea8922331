// Without a QGuiApplication there is no font database: font calls fail with a status instead
// of crashing, and pictures still decode, draw and encode.

#include <QImage>

#include "test_support.h"

namespace zx::test {
namespace {

using WithoutGui = SessionTest;

TEST_F(WithoutGui, FontsFailPicturesWork) {
    GpFontFamily* family = reinterpret_cast<GpFontFamily*>(0x1);
    EXPECT_EQ(GdipCreateFontFamilyFromName(u"Noto Sans CJK SC", nullptr, &family), GenericError);
    EXPECT_EQ(family, nullptr);

    const QImage picture = Gradient(7, 4, true);
    Decoded d = Decode(WriteWithQt(picture, "png"));
    ASSERT_EQ(d.status, Ok);
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(7, 4, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(canvas, &graphics), Ok);
    ASSERT_EQ(GdipDrawImageRectRect(graphics, d.image, 0, 0, 7, 4, 0, 0, 7, 4, UnitPixel, nullptr,
                                    nullptr, nullptr),
              Ok);
    EXPECT_EQ(PixelsOf(canvas), picture);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(canvas);
    GdipDisposeImage(d.image);
}

}  // namespace
}  // namespace zx::test
