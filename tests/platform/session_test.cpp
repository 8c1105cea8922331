// The session and handle rules every caller relies on: outside a session nothing is made,
// drawn or encoded; every output handle starts at 0; a 0 handle fails without effect.

#include <QImage>

#include <functional>

#include "test_support.h"

namespace zx::test {
namespace {

TEST(Session, TokensOpenAndCloseTheSession) {
    GdiplusStartupInput input;
    std::uintptr_t first = 0, second = 0;
    ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
    ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    GdiplusShutdown(first);
    EXPECT_TRUE(GdiplusSessionOpen());  // the second is still open
    GdiplusShutdown(12345678);          // an unknown token closes nothing
    EXPECT_TRUE(GdiplusSessionOpen());
    GdiplusShutdown(second);
    EXPECT_FALSE(GdiplusSessionOpen());
}

TEST(Session, StartupRejectsBadArguments) {
    GdiplusStartupInput input;
    std::uintptr_t token = 99;
    EXPECT_EQ(GdiplusStartup(&token, nullptr, nullptr), InvalidParameter);
    EXPECT_EQ(token, 0u);
    input.GdiplusVersion = 2;
    EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), UnsupportedGdiplusVersion);
    EXPECT_EQ(token, 0u);
    EXPECT_EQ(GdiplusStartup(nullptr, &input, nullptr), InvalidParameter);
    EXPECT_FALSE(GdiplusSessionOpen());
}

// Objects made inside a session, then used after it has closed.
struct Leftovers {
    GpBitmap* picture = nullptr;
    GpBitmap* canvas = nullptr;
    GpGraphics* graphics = nullptr;
    GpFontFamily* family = nullptr;
    GpFont* font = nullptr;
    GpBrush* brush = nullptr;
    ByteBuffer pictureBytes;
};

TEST(Session, CallsOutsideTheSessionFailWithoutEffect) {
    Leftovers l;
    GdiplusStartupInput input;
    std::uintptr_t token = 0;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    l.pictureBytes = WriteWithQt(Gradient(5, 4, false), "png");
    l.picture = Decode(l.pictureBytes).image;
    ASSERT_NE(l.picture, nullptr);
    ASSERT_EQ(GdipCreateBitmapFromScan0(5, 4, 0, PixelFormat32bppARGB, nullptr, &l.canvas), Ok);
    ASSERT_EQ(GdipGetImageGraphicsContext(l.canvas, &l.graphics), Ok);
    ASSERT_EQ(GdipCreateFontFamilyFromName(u"Noto Sans CJK SC", nullptr, &l.family), Ok);
    ASSERT_EQ(GdipCreateFont(l.family, 20, 0, UnitPixel, &l.font), Ok);
    ASSERT_EQ(GdipCreateSolidFill(0xFF000000u, &l.brush), Ok);
    const QImage pictureBefore = PixelsOf(l.picture);
    GdiplusShutdown(token);
    ASSERT_FALSE(GdiplusSessionOpen());

    // Each creating call gets an output preset to a non-zero value, which must come back 0.
    bool outputCleared = false;
    const auto creates = [&outputCleared]<typename T>(auto call) {
        return [call, &outputCleared] {
            T* out = reinterpret_cast<T*>(std::uintptr_t{0x10});
            const GpStatus status = call(&out);
            outputCleared = out == nullptr;
            return status;
        };
    };
    struct Case {
        const char* name;
        std::function<GpStatus()> call;
    };
    auto stream = std::make_shared<MemoryStream>(ByteBuffer{1, 2, 3});
    const RectF box{0, 0, 0, 0};
    const Case makers[] = {
        {"decode", creates.operator()<GpBitmap>([&](GpBitmap** out) {
             return GdipCreateBitmapFromStream(std::make_shared<MemoryStream>(l.pictureBytes), out);
         })},
        {"blank bitmap", creates.operator()<GpBitmap>([&](GpBitmap** out) {
             return GdipCreateBitmapFromScan0(5, 4, 0, PixelFormat32bppARGB, nullptr, out);
         })},
        {"graphics", creates.operator()<GpGraphics>([&](GpGraphics** out) {
             return GdipGetImageGraphicsContext(l.canvas, out);
         })},
        {"font family", creates.operator()<GpFontFamily>([&](GpFontFamily** out) {
             return GdipCreateFontFamilyFromName(u"Noto Sans CJK SC", nullptr, out);
         })},
        {"font", creates.operator()<GpFont>([&](GpFont** out) {
             return GdipCreateFont(l.family, 20, 0, UnitPixel, out);
         })},
        {"brush", creates.operator()<GpBrush>(
                      [&](GpBrush** out) { return GdipCreateSolidFill(0xFF000000u, out); })},
    };
    for (const Case& c : makers) {
        SCOPED_TRACE(c.name);
        outputCleared = false;
        EXPECT_EQ(c.call(), GdiplusNotInitialized);
        EXPECT_TRUE(outputCleared);
    }
    const Case others[] = {
        {"hint", [&] { return GdipSetTextRenderingHint(l.graphics, 0); }},
        {"draw image",
         [&] {
             return GdipDrawImageRectRect(l.graphics, l.picture, 0, 0, 5, 4, 0, 0, 5, 4, UnitPixel,
                                          nullptr, nullptr, nullptr);
         }},
        {"draw string",
         [&] { return GdipDrawString(l.graphics, u"xx", -1, l.font, &box, nullptr, l.brush); }},
        {"rotate", [&] { return GdipImageRotateFlip(l.picture, 1); }},
        {"encode",
         [&] { return GdipSaveImageToStream(l.picture, stream, &PngEncoderClsid, nullptr); }},
    };
    for (const Case& c : others) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), GdiplusNotInitialized);
    }
    // Nothing changed: the stream keeps its bytes; the picture keeps its size; the canvas
    // was not drawn on.
    EXPECT_EQ(stream->Bytes(), (ByteBuffer{1, 2, 3}));
    EXPECT_EQ(Width(l.picture), 5u);
    EXPECT_EQ(Height(l.picture), 4u);

    // Releasing works outside a session too; then a new session sees the old objects intact.
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    EXPECT_EQ(PixelsOf(l.picture), pictureBefore);
    const QImage canvas = PixelsOf(l.canvas);
    ASSERT_FALSE(canvas.isNull());
    EXPECT_EQ(canvas.pixel(2, 2), 0u);
    GdiplusShutdown(token);
    EXPECT_EQ(GdipDisposeImage(l.picture), Ok);
    EXPECT_EQ(GdipDeleteGraphics(l.graphics), Ok);
    EXPECT_EQ(GdipDisposeImage(l.canvas), Ok);
    EXPECT_EQ(GdipDeleteFont(l.font), Ok);
    EXPECT_EQ(GdipDeleteFontFamily(l.family), Ok);
    EXPECT_EQ(GdipDeleteBrush(l.brush), Ok);
}

using Handles = SessionTest;

TEST_F(Handles, ZeroHandlesFailWithInvalidParameter) {
    const RectF box{0, 0, 0, 0};
    GpFont* font = nullptr;
    GpFontFamily* family = nullptr;
    std::uint32_t size = 7;
    auto stream = std::make_shared<MemoryStream>(ByteBuffer{9});
    EXPECT_EQ(GdipGetImageWidth(nullptr, &size), InvalidParameter);
    EXPECT_EQ(GdipGetImageHeight(nullptr, &size), InvalidParameter);
    EXPECT_EQ(size, 7u);  // the caller presets it; a failed query does not write
    GpGraphics* graphics = reinterpret_cast<GpGraphics*>(0x1);
    EXPECT_EQ(GdipGetImageGraphicsContext(nullptr, &graphics), InvalidParameter);
    EXPECT_EQ(graphics, nullptr);
    EXPECT_EQ(GdipSetTextRenderingHint(nullptr, 0), InvalidParameter);
    EXPECT_EQ(GdipDrawImageRectRect(nullptr, nullptr, 0, 0, 1, 1, 0, 0, 1, 1, UnitPixel, nullptr,
                                    nullptr, nullptr),
              InvalidParameter);
    EXPECT_EQ(GdipCreateFont(nullptr, 10, 0, UnitPixel, &font), InvalidParameter);
    EXPECT_EQ(font, nullptr);
    EXPECT_EQ(GdipCreateFontFamilyFromName(nullptr, nullptr, &family), InvalidParameter);
    EXPECT_EQ(family, nullptr);
    EXPECT_EQ(GdipDrawString(nullptr, u"x", -1, nullptr, &box, nullptr, nullptr), InvalidParameter);
    EXPECT_EQ(GdipImageRotateFlip(nullptr, 1), InvalidParameter);
    EXPECT_EQ(GdipSaveImageToStream(nullptr, stream, &PngEncoderClsid, nullptr), InvalidParameter);
    EXPECT_EQ(stream->Bytes(), ByteBuffer{9});
    EXPECT_EQ(GdipCreateBitmapFromStream(nullptr, nullptr), InvalidParameter);
    EXPECT_EQ(GdipDisposeImage(nullptr), InvalidParameter);
    EXPECT_EQ(GdipDeleteGraphics(nullptr), InvalidParameter);
    EXPECT_EQ(GdipDeleteFont(nullptr), InvalidParameter);
    EXPECT_EQ(GdipDeleteBrush(nullptr), InvalidParameter);
    EXPECT_EQ(GdipDeleteFontFamily(nullptr), InvalidParameter);
}

TEST_F(Handles, ZeroHandleArgumentsLeaveTheOthersUntouched) {
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(4, 3, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(canvas, &graphics), Ok);
    GpBrush* brush = nullptr;
    ASSERT_EQ(GdipCreateSolidFill(0xFF000000u, &brush), Ok);
    const RectF box{0, 0, 0, 0};
    // A font that failed to be made is 0: the text call fails and draws nothing.
    EXPECT_EQ(GdipDrawString(graphics, u"xyz", -1, nullptr, &box, nullptr, brush),
              InvalidParameter);
    // A source that failed to decode is 0: nothing is drawn.
    EXPECT_EQ(GdipDrawImageRectRect(graphics, nullptr, 0, 0, 4, 3, 0, 0, 4, 3, UnitPixel, nullptr,
                                    nullptr, nullptr),
              InvalidParameter);
    const QImage pixels = PixelsOf(canvas);
    ASSERT_EQ(pixels.size(), QSize(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(pixels.pixel(x, y), 0u);
    GdipDeleteBrush(brush);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(canvas);
}

TEST_F(Handles, BlankBitmapSizes) {
    struct Case {
        std::int32_t w, h;
        GpStatus status;
    };
    const Case cases[] = {
        {1, 1, Ok},
        {0, 5, InvalidParameter},
        {5, 0, InvalidParameter},
        {-3, 5, InvalidParameter},
        {16385, 16384, ValueOverflow},
        {2147483647, 2147483647, ValueOverflow},
        {16384, 16384, Ok},  // the largest; its pixels are only allocated when drawn on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        GpBitmap* bitmap = reinterpret_cast<GpBitmap*>(0x1);
        EXPECT_EQ(GdipCreateBitmapFromScan0(c.w, c.h, 0, PixelFormat32bppARGB, nullptr, &bitmap),
                  c.status);
        EXPECT_EQ(bitmap != nullptr, c.status == Ok);
        if (bitmap != nullptr) {
            EXPECT_EQ(Width(bitmap), static_cast<std::uint32_t>(c.w));
            EXPECT_EQ(Height(bitmap), static_cast<std::uint32_t>(c.h));
        }
        GdipDisposeImage(bitmap);
    }
    // Only what the renderers ask for is supported.
    GpBitmap* bitmap = reinterpret_cast<GpBitmap*>(0x1);
    std::uint8_t pixels[16] = {};
    EXPECT_EQ(GdipCreateBitmapFromScan0(2, 2, 8, PixelFormat32bppARGB, nullptr, &bitmap),
              InvalidParameter);
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat32bppARGB, pixels, &bitmap),
              InvalidParameter);
    EXPECT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, 0x21808, nullptr, &bitmap), InvalidParameter);
    EXPECT_EQ(bitmap, nullptr);
}

TEST_F(Handles, OtherEncodersAreUnknown) {
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    Clsid jpeg = PngEncoderClsid;
    jpeg.Bytes[0] = 0x01;  // {557CF401-...}: the JPEG encoder
    auto stream = std::make_shared<MemoryStream>(ByteBuffer{7, 7});
    EXPECT_EQ(GdipSaveImageToStream(canvas, stream, &jpeg, nullptr), UnknownImageFormat);
    EXPECT_EQ(stream->Bytes(), (ByteBuffer{7, 7}));
    EXPECT_EQ(GdipSaveImageToStream(canvas, stream, nullptr, nullptr), InvalidParameter);
    GdipDisposeImage(canvas);
}

}  // namespace
}  // namespace zx::test
