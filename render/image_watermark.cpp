#include "render/image_watermark.h"

#include <algorithm>
#include <cmath>

#include "platform/gdiplus.h"
#include "render/codec.h"

namespace zx {

std::int32_t ScaleSide(std::int32_t side, std::int32_t percent) {
    double value = (static_cast<double>(side) / 100.0) * percent;
    // A product a hair below an integer (29 / 100 * 100 = 28.999999999999996) counts as it.
    if (value - std::floor(value) > 0.999999999999) value = std::ceil(value);
    return static_cast<std::int32_t>(std::floor(value));
}

ByteBuffer RenderImageWatermark(const ByteBuffer& source, const ByteBuffer& watermark,
                                PlacementMode mode, std::int32_t x, std::int32_t y,
                                std::int32_t scalePercent, std::int32_t repetitions,
                                std::int32_t rotateFlip) {
    ImageHandle sourceImage = DecodeImageBytes(source);
    ImageHandle mark = DecodeImageBytes(watermark);
    // Turned first, so a quarter turn swaps the sizes for everything after.
    GdipImageRotateFlip(mark, rotateFlip);

    const std::int32_t W = ImageWidthOf(sourceImage), H = ImageHeightOf(sourceImage);
    const std::int32_t ww = ImageWidthOf(mark), wh = ImageHeightOf(mark);

    // Never enlarged: above 100 % the watermark keeps its own size.
    const std::int32_t p = std::max(scalePercent, 0);
    const std::int32_t sw = p <= 100 ? ScaleSide(ww, p) : ww;
    const std::int32_t sh = p <= 100 ? ScaleSide(wh, p) : wh;

    GpBitmap* canvas = nullptr;
    GdipCreateBitmapFromScan0(W, H, 0, PixelFormat32bppARGB, nullptr, &canvas);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(canvas, &graphics);

    std::int32_t px = 0, py = 0;
    ComputePlacement(mode, W, H, sw, sh, x, y, px, py);

    const auto f = [](std::int32_t v) { return static_cast<float>(v); };
    GdipDrawImageRectRect(graphics, sourceImage, 0, 0, f(W), f(H), 0, 0, f(W), f(H), UnitPixel,
                          nullptr, nullptr, nullptr);
    // Released as soon as it is drawn: the canvas then holds the only reference to the pixels
    // it was given, and the watermark is drawn in place instead of onto a private copy.
    GdipDisposeImage(sourceImage);
    const auto drawMarkAt = [&](std::int32_t cx, std::int32_t cy) {
        GdipDrawImageRectRect(graphics, mark, f(cx), f(cy), f(sw), f(sh), 0, 0, f(ww), f(wh),
                              UnitPixel, nullptr, nullptr, nullptr);
    };
    drawMarkAt(px, py);
    if (mode == PlacementRandom) {
        const auto extraCopies = std::clamp<std::int64_t>(std::int64_t{repetitions} - 1, 0, 8);
        for (std::int64_t k = 0; k < extraCopies; ++k) {
            ComputePlacement(mode, W, H, sw, sh, x, y, px, py);
            drawMarkAt(px, py);
        }
    }

    GdipDisposeImage(mark);
    ByteBuffer result = EncodePngBytes(canvas);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(canvas);
    return result;
}

}  // namespace zx
